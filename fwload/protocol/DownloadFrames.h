// The byte-level exchange with the printer's loader: the mode-change command, the framed requests
// (STX, letter, fields, ETX, CRC-16 high byte first) and the check of the printer's replies.
// Builders write from the start of the caller's buffer and return the length written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;

inline constexpr std::uint8_t kPollLetter = 0x40;
inline constexpr std::uint8_t kDataLetter = 0x41;
inline constexpr std::uint8_t kWriteToMemoryLetter = 0x42;
inline constexpr std::uint8_t kChecksumLetter = 0x43;

inline constexpr std::size_t kModeChangeLength = 4;
inline constexpr std::size_t kPollFrameLength = 5;
inline constexpr std::size_t kDataFrameLength = 519;
inline constexpr std::size_t kWriteToMemoryFrameLength = 5;
inline constexpr std::size_t kChecksumFrameLength = 7;
inline constexpr std::size_t kReplyLength = 6;

inline constexpr std::size_t kDataPayloadOffset = 4;
inline constexpr std::size_t kDataPayloadSize = 512;

// The exchange in progress, which chooses reply timeouts and how a reply is checked.
inline constexpr std::string_view kStageModeChange = "MODECHANGE";
inline constexpr std::string_view kStageWrite = "WRITE";
inline constexpr std::string_view kStageChecksum = "CHECKSUM";

// ESC R D CR, without check bytes. The buffer holds at least 4 bytes.
std::size_t BuildModeChangeCommand(std::uint8_t* buffer);
// 02 40 03 and its CRC. The buffer holds at least 5 bytes.
std::size_t BuildPollFrame(std::uint8_t* buffer);
// 02 42 03 and its CRC. The buffer holds at least 5 bytes.
std::size_t BuildWriteToMemoryFrame(std::uint8_t* buffer);
// 02 43, the byte sum high byte first, 03 and the CRC. The buffer holds at least 7 bytes.
std::size_t BuildChecksumFrame(std::uint8_t* buffer, std::uint16_t byteSum);

// A data frame is built in two steps so that the payload can be read straight into place:
// the head (02 41 and the sequence number) before the payload at offset 4, the trailer (03 and the
// CRC over offsets 0 to 516) after. Payload bytes not read must already be zero. The buffer holds
// at least 519 bytes.
void PutDataFrameHead(std::uint8_t* buffer, std::uint16_t sequence);
std::size_t CompleteDataFrame(std::uint8_t* buffer);

// The printer's reply form: 02, result code, the request's letter, 03, and the CRC over those four,
// high byte first. The buffer holds at least 6 bytes.
std::size_t BuildReply(std::uint8_t* buffer, std::uint8_t code, std::uint8_t letter);

// Judges the bytes collected as the printer's reply in the given stage. A six-byte reply must carry
// its CRC and a result code that its letter accepts; a reply of another length is accepted, except
// in the mode-change stage, where it is accepted only if it starts with ACK.
bool CheckReply(const std::uint8_t* reply, std::size_t length, std::string_view stage);

// True when the bytes collected so far make a whole reply: six bytes for a framed reply, the one
// byte of a bare answer to the mode change. Further bytes may still follow an over-long reply.
bool IsReplyComplete(const std::uint8_t* reply, std::size_t length, std::string_view stage);

// Why CheckReply would reject a reply in the given stage: a damage ("bad CRC", "wrong length 3",
// "unknown letter 0x44") or, when the reply is sound, the result code that refuses it.
struct ReplyRejection {
    std::string damage;  // empty when the reply is sound
    int code = -1;       // the refusing result code
};
ReplyRejection DescribeRejection(const std::uint8_t* reply, std::size_t length, std::string_view stage);
