// The printer's own reading of the download exchange on the wire, kept apart from the host's code
// so that a mistake on one side cannot pass through the other: the mode-change command, the
// request frames by their letter, the CRC and the reply the printer sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim::wire {

constexpr std::uint8_t kStartOfText = 0x02;
constexpr std::uint8_t kEndOfText = 0x03;
constexpr std::uint8_t kAcknowledge = 0x06;
constexpr std::uint8_t kRefuse = 0x15;  // NAK
constexpr std::uint8_t kEscape = 0x1B;

// ESC 'R' 'D' CR switches the printer into its loader.
constexpr std::uint8_t kModeChange[] = {0x1B, 'R', 'D', 0x0D};

// The requests' letters.
constexpr std::uint8_t kPoll = '@';
constexpr std::uint8_t kData = 'A';
constexpr std::uint8_t kWriteToMemory = 'B';
constexpr std::uint8_t kChecksum = 'C';

// A data request: STX 'A', the sequence number (2 bytes, high first), 512 image bytes, ETX, CRC.
constexpr std::size_t kPayloadOffset = 4;
constexpr std::size_t kPayloadSize = 512;

// The whole length of the request a letter starts, CRC included; 0 for a letter the loader does
// not know.
std::size_t RequestLength(std::uint8_t letter);

// CRC-16 with the generator x^16 + x^15 + x^2 + 1, worked out one bit at a time, most significant
// bit first, from a register of zero.
std::uint16_t Crc(const std::uint8_t* bytes, std::size_t count);

// True when a request of the given length ends in ETX and the CRC (high byte first) of all that
// comes before it.
bool Intact(const std::uint8_t* request, std::size_t length);

// The printer's answer to a framed request: STX, the result code, the request's letter, ETX and
// the CRC of those four, high byte first.
std::vector<std::uint8_t> Reply(std::uint8_t code, std::uint8_t letter);

}  // namespace sim::wire
