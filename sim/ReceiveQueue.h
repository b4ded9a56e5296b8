// Bytes on their way from the printer to the host, each chunk readable from a given moment on
// (times in microseconds on whatever clock the owner uses).
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace sim {

class ReceiveQueue {
public:
    void Push(std::int64_t readableAtUs, std::vector<std::uint8_t> bytes);
    void Clear() { chunks_.clear(); }
    // Bytes readable at the given moment.
    std::size_t Readable(std::int64_t nowUs) const;
    // Moves up to count readable bytes into the buffer; returns how many.
    std::size_t Take(std::int64_t nowUs, std::uint8_t* buffer, std::size_t count);
    // When the next not yet readable chunk becomes readable, if there is one.
    std::optional<std::int64_t> NextReadableAt(std::int64_t nowUs) const;

private:
    struct Chunk {
        std::int64_t readableAtUs;
        std::vector<std::uint8_t> bytes;
        std::size_t taken = 0;
    };
    std::deque<Chunk> chunks_;
};

}  // namespace sim
