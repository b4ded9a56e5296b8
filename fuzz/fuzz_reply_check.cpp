// The reply check over arbitrary bytes and stages: it may only accept or reject.
#include <cstdlib>

#include "DownloadFrames.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    static const std::string kStages[] = {"", std::string(kStageModeChange), std::string(kStageWrite),
                                          std::string(kStageChecksum), "OTHER"};
    const std::string before = kStages[input.Byte() % 5];
    const std::string reply = input.Rest();
    const bool accepted = CheckReply(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size(), before);
    // Outside the mode change, only six-byte replies are judged at all.
    if (before != kStageModeChange && reply.size() != kReplyLength && !accepted) std::abort();
    return 0;
}
