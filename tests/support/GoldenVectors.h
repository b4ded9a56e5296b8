// The download exchange's bytes, written out once from the protocol's definition and checked by a
// third reading of the CRC, never by the code under test: the host's tests compare what it sends
// with them, and the printer's tests send them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace golden {

using Bytes = std::vector<std::uint8_t>;

inline const std::string kHeader = "[NOV Card Printer]";  // the 18 bytes every firmware file starts with

inline const Bytes kModeChange{0x1B, 0x52, 0x44, 0x0D};
inline const Bytes kModeChangeAnswer{0x06};
inline const Bytes kPoll{0x02, 0x40, 0x03, 0x00, 0x27};
inline const Bytes kWriteToMemory{0x02, 0x42, 0x03, 0x8C, 0x24};

// Replies: STX, result code, the request's letter, ETX, CRC.
inline const Bytes kPollAccepted{0x02, 0x30, 0x40, 0x03, 0x2B, 0xCF};
inline const Bytes kPollRefused{0x02, 0x15, 0x40, 0x03, 0xA9, 0x08};
inline const Bytes kDataAccepted{0x02, 0x30, 0x41, 0x03, 0xAD, 0xCC};
inline const Bytes kDataRefused{0x02, 0x15, 0x41, 0x03, 0x2F, 0x0B};
inline const Bytes kWriteAccepted{0x02, 0x30, 0x42, 0x03, 0xA7, 0xCC};
inline const Bytes kChecksumAccepted{0x02, 0x30, 0x43, 0x03, 0x21, 0xCF};
inline const Bytes kChecksumMismatch{0x02, 0x31, 0x43, 0x03, 0xA1, 0xD8};

// A data frame: STX 'A', the sequence number, the 512 payload bytes (zero after the image ends),
// ETX and the given CRC.
inline Bytes DataFrame(std::uint16_t sequence, const Bytes& payload, std::uint8_t crcHigh, std::uint8_t crcLow) {
    Bytes frame(519, 0x00);
    frame[0] = 0x02;
    frame[1] = 0x41;
    frame[2] = static_cast<std::uint8_t>(sequence >> 8);
    frame[3] = static_cast<std::uint8_t>(sequence & 0xFF);
    for (std::size_t i = 0; i < payload.size() && i < 512; ++i) frame[4 + i] = payload[i];
    frame[516] = 0x03;
    frame[517] = crcHigh;
    frame[518] = crcLow;
    return frame;
}

struct Download {
    std::string image;            // what follows the header in the file
    std::vector<Bytes> requests;  // every request the host writes, in order
    std::vector<Bytes> replies;   // the printer's answer to each
};

// The image 01 02 03: one data frame, byte sum 0x0006.
inline Download ThreeByteImage() {
    return {"\x01\x02\x03",
            {kModeChange, kPoll, DataFrame(0, {0x01, 0x02, 0x03}, 0x73, 0xB1), kWriteToMemory,
             {0x02, 0x43, 0x00, 0x06, 0x03, 0x28, 0xE4}},
            {kModeChangeAnswer, kPollAccepted, kDataAccepted, kWriteAccepted, kChecksumAccepted}};
}

// A file of the header alone: one data frame of zeros, byte sum 0.
inline Download HeaderOnly() {
    return {"",
            {kModeChange, kPoll, DataFrame(0, {}, 0xDA, 0xF0), kWriteToMemory, {0x02, 0x43, 0x00, 0x00, 0x03, 0x3C, 0xE4}},
            {kModeChangeAnswer, kPollAccepted, kDataAccepted, kWriteAccepted, kChecksumAccepted}};
}

// 512 bytes 00 01 .. FF 00 .. FF: a whole frame, then a frame of zeros; byte sum 0xFF00.
inline Download BoundaryImage() {
    Bytes payload;
    for (int i = 0; i < 512; ++i) payload.push_back(static_cast<std::uint8_t>(i & 0xFF));
    return {std::string(payload.begin(), payload.end()),
            {kModeChange, kPoll, DataFrame(0, payload, 0xF8, 0xA9), DataFrame(1, {}, 0x2E, 0xE7), kWriteToMemory,
             {0x02, 0x43, 0xFF, 0x00, 0x03, 0x30, 0xE8}},
            {kModeChangeAnswer, kPollAccepted, kDataAccepted, kDataAccepted, kWriteAccepted, kChecksumAccepted}};
}

}  // namespace golden
