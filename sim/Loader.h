// The printer's side of the download exchange: it takes the bytes the host writes, in pieces of
// any size, and answers each request after a delay, with the faults the configuration asks for.
// Knows nothing of clocks: every reply carries its delay, and the caller schedules it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "SimConfig.h"

namespace sim {

struct LoaderReply {
    std::vector<std::uint8_t> bytes;
    unsigned delayMs = 0;
};

// What the printer kept from a download whose checksum matched.
struct CompletedImage {
    std::vector<std::uint8_t> payload;  // every data frame's 512 bytes, padding included
    std::uint16_t byteSum = 0;
};

class Loader {
public:
    explicit Loader(const Config& config) : config_(&config) {}

    // Takes bytes written by the host; returns the replies they cause, in order.
    std::vector<LoaderReply> Receive(const std::uint8_t* bytes, std::size_t count);

    bool InLoaderMode() const { return loaderMode_; }
    bool Vanished() const { return vanished_; }
    // The request was answered by halting the endpoints (the USB face's stall).
    bool Stalled() const { return stalled_; }
    // The sequence number of the data frame the printer expects next, once polling has been
    // answered and until the image is written; otherwise nullopt.
    std::optional<int> ExpectedDataFrame() const;
    // The image of a download that has just completed, once.
    std::optional<CompletedImage> TakeCompletedImage();

private:
    std::vector<LoaderReply> Answer(RequestKind kind, std::uint8_t letter, std::uint8_t code, int frame,
                                    unsigned delayMs);
    std::uint8_t Handle(RequestKind kind, const std::uint8_t* frame);

    const Config* config_;
    std::vector<std::uint8_t> pending_;
    bool loaderMode_ = false;
    bool polled_ = false;
    bool written_ = false;
    bool vanished_ = false;
    bool stalled_ = false;
    std::uint16_t expectedSequence_ = 0;
    std::vector<std::uint8_t> payload_;
    std::optional<CompletedImage> completed_;
};

// Keeps a completed download in device N's state, so every face sees the image and the restart.
void RecordCompletedDownload(const Config& config, std::size_t index, const CompletedImage& image);

}  // namespace sim
