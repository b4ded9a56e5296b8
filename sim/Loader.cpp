// The printer's loader: mode change, framed requests checked by CRC, letter and sequence.
#include "Loader.h"

#include "DownloadFrames.h"
#include "PrinterStore.h"
#include "crc16.h"

namespace sim {

namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kOk = 0x30;
constexpr std::uint8_t kChecksumMismatch = 0x31;
constexpr std::size_t kOverlongExtraBytes = 70000;
constexpr std::uint8_t kModeChange[kModeChangeLength] = {0x1B, 0x52, 0x44, 0x0D};

std::size_t FrameLength(std::uint8_t letter) {
    switch (letter) {
        case kPollLetter: return kPollFrameLength;
        case kDataLetter: return kDataFrameLength;
        case kWriteToMemoryLetter: return kWriteToMemoryFrameLength;
        case kChecksumLetter: return kChecksumFrameLength;
        default: return 0;
    }
}

RequestKind KindOf(std::uint8_t letter) {
    switch (letter) {
        case kDataLetter: return RequestKind::Data;
        case kWriteToMemoryLetter: return RequestKind::WriteToMemory;
        case kChecksumLetter: return RequestKind::Checksum;
        default: return RequestKind::Poll;
    }
}

std::vector<std::uint8_t> FramedReply(std::uint8_t code, std::uint8_t letter) {
    std::vector<std::uint8_t> reply(kReplyLength);
    BuildReply(reply.data(), code, letter);
    return reply;
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
        if (start[0] == kEsc) {
            // The mode-change command also restarts a loader left running by an earlier download.
            if (available < kModeChangeLength) break;
            if (std::equal(kModeChange, kModeChange + kModeChangeLength, start)) {
                loaderMode_ = true;
                polled_ = written_ = false;
                expectedSequence_ = 0;
                payload_.clear();
                used += kModeChangeLength;
                for (LoaderReply& reply : Answer(RequestKind::ModeChange, 0, kAck, -1, config_->latencyMs)) {
                    replies.push_back(std::move(reply));
                }
                continue;
            }
            ++used;
            continue;
        }
        if (!loaderMode_ || start[0] != kStx) {
            ++used;  // outside a frame: noise the loader skips
            continue;
        }
        if (available < 2) break;
        const std::size_t length = FrameLength(start[1]);
        if (length == 0) {
            replies.push_back({FramedReply(kNak, start[1]), config_->latencyMs});
            used += 2;
            continue;
        }
        if (available < length) break;

        const RequestKind kind = KindOf(start[1]);
        const int frame = kind == RequestKind::Data ? (start[2] << 8 | start[3]) : -1;
        std::uint16_t crc = 0;
        UpdateCrc16(start, static_cast<std::uint16_t>(length), crc);
        const bool intact = crc == 0 && start[length - 3] == kEtx;
        const std::uint8_t code = intact ? Handle(kind, start) : kNak;
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
    if (fault != nullptr && fault->fault != ReplyFault::Corrupt && fault->fault != ReplyFault::Overlong) return kNak;

    switch (kind) {
        case RequestKind::Poll:
            polled_ = true;
            return kOk;
        case RequestKind::Data: {
            const std::uint16_t sequence = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
            if (!polled_ || written_ || sequence != expectedSequence_) return kNak;
            payload_.insert(payload_.end(), frame + kDataPayloadOffset, frame + kDataPayloadOffset + kDataPayloadSize);
            ++expectedSequence_;
            return kOk;
        }
        case RequestKind::WriteToMemory:
            if (!polled_) return kNak;
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
    return kNak;
}

std::vector<LoaderReply> Loader::Answer(RequestKind kind, std::uint8_t letter, std::uint8_t code, int frame,
                                        unsigned delayMs) {
    std::vector<std::uint8_t> bytes =
        kind == RequestKind::ModeChange ? std::vector<std::uint8_t>{code} : FramedReply(code, letter);
    const ReplyFaultRule* fault = FindReplyFault(*config_, kind, frame);
    if (fault != nullptr) {
        switch (fault->fault) {
            case ReplyFault::Nak:
                bytes = kind == RequestKind::ModeChange ? std::vector<std::uint8_t>{kNak} : FramedReply(kNak, letter);
                break;
            case ReplyFault::Code:
                bytes = kind == RequestKind::ModeChange ? std::vector<std::uint8_t>{fault->code}
                                                        : FramedReply(fault->code, letter);
                break;
            case ReplyFault::Silence:
                return {};
            case ReplyFault::Corrupt:
                if (kind == RequestKind::ModeChange) bytes = {0x07}; else bytes.back() ^= 0xFF;
                break;
            case ReplyFault::Overlong:
                bytes.insert(bytes.end(), kOverlongExtraBytes, kOk);
                break;
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
