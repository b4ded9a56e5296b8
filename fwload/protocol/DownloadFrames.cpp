// Building the loader's requests and judging its replies.
#include "DownloadFrames.h"

#include <cstdio>

#include "crc16.h"

namespace {

constexpr std::uint8_t kResultOne = 0x31;  // '1'
constexpr std::uint8_t kResultTwo = 0x32;  // '2'

// Appends the CRC of the first length bytes, high byte first; returns the new length.
std::size_t AppendCrc(std::uint8_t* buffer, std::size_t length) {
    std::uint16_t crc = 0;
    UpdateCrc16(buffer, static_cast<std::uint16_t>(length), crc);
    buffer[length] = static_cast<std::uint8_t>(crc >> 8);
    buffer[length + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return length + 2;
}

std::size_t BuildBareFrame(std::uint8_t* buffer, std::uint8_t letter) {
    buffer[0] = kStx;
    buffer[1] = letter;
    buffer[2] = kEtx;
    return AppendCrc(buffer, 3);
}

bool ResultAccepted(std::uint8_t letter, std::uint8_t code) {
    switch (letter) {
        case kPollLetter:
        case kDataLetter:
            return code != kNak;
        case kWriteToMemoryLetter:
            return code != kResultOne && code != kResultTwo && code != kNak;
        case kChecksumLetter:
            return code != kResultOne && code != kNak;
        default:
            return false;
    }
}

}  // namespace

std::size_t BuildModeChangeCommand(std::uint8_t* buffer) {
    buffer[0] = 0x1B;
    buffer[1] = 0x52;
    buffer[2] = 0x44;
    buffer[3] = 0x0D;
    return kModeChangeLength;
}

std::size_t BuildPollFrame(std::uint8_t* buffer) { return BuildBareFrame(buffer, kPollLetter); }

std::size_t BuildWriteToMemoryFrame(std::uint8_t* buffer) {
    return BuildBareFrame(buffer, kWriteToMemoryLetter);
}

std::size_t BuildChecksumFrame(std::uint8_t* buffer, std::uint16_t byteSum) {
    buffer[0] = kStx;
    buffer[1] = kChecksumLetter;
    buffer[2] = static_cast<std::uint8_t>(byteSum >> 8);
    buffer[3] = static_cast<std::uint8_t>(byteSum & 0xFF);
    buffer[4] = kEtx;
    return AppendCrc(buffer, 5);
}

void PutDataFrameHead(std::uint8_t* buffer, std::uint16_t sequence) {
    buffer[0] = kStx;
    buffer[1] = kDataLetter;
    buffer[2] = static_cast<std::uint8_t>(sequence >> 8);
    buffer[3] = static_cast<std::uint8_t>(sequence & 0xFF);
}

std::size_t CompleteDataFrame(std::uint8_t* buffer) {
    buffer[kDataPayloadOffset + kDataPayloadSize] = kEtx;
    return AppendCrc(buffer, kDataPayloadOffset + kDataPayloadSize + 1);
}

std::size_t BuildReply(std::uint8_t* buffer, std::uint8_t code, std::uint8_t letter) {
    buffer[0] = kStx;
    buffer[1] = code;
    buffer[2] = letter;
    buffer[3] = kEtx;
    return AppendCrc(buffer, 4);
}

bool CheckReply(const std::uint8_t* reply, std::size_t length, std::string_view stage) {
    if (length == kReplyLength) {
        std::uint16_t crc = 0;
        UpdateCrc16(reply, kReplyLength, crc);
        return crc == 0 && ResultAccepted(reply[2], reply[1]);
    }
    if (stage == kStageModeChange) {
        // An empty reply reads as a first byte of 0, which is not ACK.
        return length > 0 && reply[0] == kAck;
    }
    return true;
}

ReplyRejection DescribeRejection(const std::uint8_t* reply, std::size_t length, std::string_view stage) {
    char text[32];
    if (length == kReplyLength) {
        std::uint16_t crc = 0;
        UpdateCrc16(reply, kReplyLength, crc);
        if (crc != 0) return {"bad CRC", -1};
        if (reply[2] < kPollLetter || reply[2] > kChecksumLetter) {
            std::snprintf(text, sizeof text, "unknown letter 0x%02X", reply[2]);
            return {text, -1};
        }
        return {"", reply[1]};
    }
    if (stage == kStageModeChange && length > 0 && reply[0] == kNak) return {"", kNak};
    std::snprintf(text, sizeof text, "wrong length %zu", length);
    return {text, -1};
}

bool IsReplyComplete(const std::uint8_t* reply, std::size_t length, std::string_view stage) {
    if (length == 0) return false;
    if (stage == kStageModeChange && reply[0] != kStx) return true;
    return length >= kReplyLength;
}
