// The printer's loader: mode change, framed requests checked by CRC, letter and sequence.
#include "Loader.h"

#include <algorithm>
#include <iterator>

#include "PrinterStore.h"
#include "Wire.h"

namespace sim {

namespace {

using namespace wire;

constexpr std::uint8_t kOk = '0';
constexpr std::uint8_t kChecksumMismatch = '1';
constexpr std::size_t kOverlongExtraBytes = 70000;

RequestKind KindOf(std::uint8_t letter) {
    switch (letter) {
        case kData: return RequestKind::Data;
        case kWriteToMemory: return RequestKind::WriteToMemory;
        case kChecksum: return RequestKind::Checksum;
        default: return RequestKind::Poll;
    }
}

}  // namespace

std::optional<int> Loader::ExpectedDataFrame() const {
    if (!loaderMode_ || !polled_ || written_) return std::nullopt;
    return static_cast<int>(expectedSequence_);
}

std::optional<CompletedImage> Loader::TakeCompletedImage() {
    std::optional<CompletedImage> image;
    image.swap(completed_);
    return image;
}

std::vector<LoaderReply> Loader::Receive(const std::uint8_t* bytes, std::size_t count) {
    std::vector<LoaderReply> replies;
    if (vanished_) return replies;
    pending_.insert(pending_.end(), bytes, bytes + count);

    std::size_t used = 0;
    while (used < pending_.size() && !vanished_) {
        const std::uint8_t* const start = pending_.data() + used;
        const std::size_t available = pending_.size() - used;
        if (start[0] == kEscape) {
            // The mode-change command also restarts a loader left running by an earlier download.
            if (available < sizeof kModeChange) break;
            if (std::equal(std::begin(kModeChange), std::end(kModeChange), start)) {
                loaderMode_ = true;
                polled_ = written_ = false;
                expectedSequence_ = 0;
                payload_.clear();
                used += sizeof kModeChange;
                for (LoaderReply& reply : Answer(RequestKind::ModeChange, 0, kAcknowledge, -1, config_->latencyMs)) {
                    replies.push_back(std::move(reply));
                }
                continue;
            }
            ++used;
            continue;
        }
        if (!loaderMode_ || start[0] != kStartOfText) {
            ++used;  // outside a frame: noise the loader skips
            continue;
        }
        if (available < 2) break;
        const std::size_t length = RequestLength(start[1]);
        if (length == 0) {
            replies.push_back({Reply(kRefuse, start[1]), config_->latencyMs});
            used += 2;
            continue;
        }
        if (available < length) break;

        const RequestKind kind = KindOf(start[1]);
        const int frame = kind == RequestKind::Data ? (start[2] << 8 | start[3]) : -1;
        const std::uint8_t code = Intact(start, length) ? Handle(kind, start) : kRefuse;
        const unsigned delay = config_->latencyMs + (kind == RequestKind::WriteToMemory ? config_->writeMs : 0);
        for (LoaderReply& reply : Answer(kind, start[1], code, frame, delay)) replies.push_back(std::move(reply));
        used += length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(std::min(used, pending_.size())));
    return replies;
}

std::uint8_t Loader::Handle(RequestKind kind, const std::uint8_t* frame) {
    // A request the fault plan rejects must leave no trace in the printer.
    const ReplyFaultRule* fault =
        FindReplyFault(*config_, kind, kind == RequestKind::Data ? (frame[2] << 8 | frame[3]) : -1);
    if (fault != nullptr && fault->fault != ReplyFault::Corrupt && fault->fault != ReplyFault::Overlong &&
        fault->fault != ReplyFault::Split) {
        return kRefuse;
    }

    switch (kind) {
        case RequestKind::Poll:
            polled_ = true;
            return kOk;
        case RequestKind::Data: {
            const std::uint16_t sequence = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
            if (!polled_ || written_ || sequence != expectedSequence_) return kRefuse;
            payload_.insert(payload_.end(), frame + kPayloadOffset, frame + kPayloadOffset + kPayloadSize);
            ++expectedSequence_;
            return kOk;
        }
        case RequestKind::WriteToMemory:
            if (!polled_) return kRefuse;
            written_ = true;
            return kOk;
        case RequestKind::Checksum: {
            std::uint16_t sum = 0;
            for (std::uint8_t byte : payload_) sum = static_cast<std::uint16_t>(sum + byte);
            const std::uint16_t claimed = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
            if (!written_ || sum != claimed) return kChecksumMismatch;
            completed_ = CompletedImage{payload_, sum};
            loaderMode_ = false;
            return kOk;
        }
        case RequestKind::ModeChange:
            break;
    }
    return kRefuse;
}

std::vector<LoaderReply> Loader::Answer(RequestKind kind, std::uint8_t letter, std::uint8_t code, int frame,
                                        unsigned delayMs) {
    std::vector<std::uint8_t> bytes =
        kind == RequestKind::ModeChange ? std::vector<std::uint8_t>{code} : Reply(code, letter);
    const ReplyFaultRule* fault = FindReplyFault(*config_, kind, frame);
    if (fault != nullptr) {
        switch (fault->fault) {
            case ReplyFault::Nak:
                bytes = kind == RequestKind::ModeChange ? std::vector<std::uint8_t>{kRefuse} : Reply(kRefuse, letter);
                break;
            case ReplyFault::Code:
                bytes = kind == RequestKind::ModeChange ? std::vector<std::uint8_t>{fault->code}
                                                        : Reply(fault->code, letter);
                break;
            case ReplyFault::Silence:
                return {};
            case ReplyFault::Corrupt:
                if (kind == RequestKind::ModeChange) bytes = {0x07}; else bytes.back() ^= 0xFF;
                break;
            case ReplyFault::Overlong:
                bytes.insert(bytes.end(), kOverlongExtraBytes, kOk);
                break;
            case ReplyFault::Split: {
                const std::size_t first = (bytes.size() + 1) / 2;
                std::vector<std::uint8_t> rest(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end());
                bytes.resize(first);
                if (rest.empty()) break;
                return {LoaderReply{std::move(bytes), delayMs}, LoaderReply{std::move(rest), delayMs + kSplitGapMs}};
            }
            case ReplyFault::Vanish:
                vanished_ = true;
                return {};
            case ReplyFault::Stall:
                stalled_ = true;
                vanished_ = true;  // the D2XX face has no endpoints to halt: the device is lost
                return {};
        }
    }
    return {LoaderReply{std::move(bytes), delayMs}};
}

void RecordCompletedDownload(const Config& config, std::size_t index, const CompletedImage& image) {
    const PrinterStore store(PrinterFolder(config, index));
    store.SaveImage(image.payload);
    store.Update([&](PrinterState& state) {
        ++state.downloads;
        state.imageLength = static_cast<std::uint32_t>(image.payload.size());
        state.imageSum = image.byteSum;
        state.busyCalls = config.restartCalls;
        state.busyUntilMs = WallClockMs() + config.restartMs;
    });
}

}  // namespace sim
