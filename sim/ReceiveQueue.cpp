// The printer-to-host byte queue with delivery times.
#include "ReceiveQueue.h"

#include <algorithm>
#include <cstring>

namespace sim {

void ReceiveQueue::Push(std::int64_t readableAtUs, std::vector<std::uint8_t> bytes) {
    if (bytes.empty()) return;
    // The wire keeps order: a chunk never overtakes the one sent before it.
    if (!chunks_.empty()) readableAtUs = std::max(readableAtUs, chunks_.back().readableAtUs);
    chunks_.push_back(Chunk{readableAtUs, std::move(bytes), 0});
}

std::size_t ReceiveQueue::Readable(std::int64_t nowUs) const {
    std::size_t total = 0;
    for (const Chunk& chunk : chunks_) {
        if (chunk.readableAtUs > nowUs) break;
        total += chunk.bytes.size() - chunk.taken;
    }
    return total;
}

std::size_t ReceiveQueue::Take(std::int64_t nowUs, std::uint8_t* buffer, std::size_t count) {
    std::size_t moved = 0;
    while (moved < count && !chunks_.empty() && chunks_.front().readableAtUs <= nowUs) {
        Chunk& chunk = chunks_.front();
        const std::size_t step = std::min(count - moved, chunk.bytes.size() - chunk.taken);
        std::memcpy(buffer + moved, chunk.bytes.data() + chunk.taken, step);
        moved += step;
        chunk.taken += step;
        if (chunk.taken == chunk.bytes.size()) chunks_.pop_front();
    }
    return moved;
}

std::optional<std::int64_t> ReceiveQueue::NextReadableAt(std::int64_t nowUs) const {
    for (const Chunk& chunk : chunks_) {
        if (chunk.readableAtUs > nowUs) return chunk.readableAtUs;
    }
    return std::nullopt;
}

}  // namespace sim
