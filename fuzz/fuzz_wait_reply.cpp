// WaitReply's collection over arbitrary read sequences, with lengths up to and past 65,536 in all:
// a scripted device answers the queue query and each read from the fuzzer's bytes. Nothing may be
// stored past the reply buffer, and the verdict must be the reply check's on what arrived.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "DownloadFrames.h"
#include "FuzzInput.h"

namespace {

struct Script {
    std::vector<std::uint32_t> reads;  // bytes each read delivers, in order
    std::size_t next = 0;
    std::uint32_t queued = 0;          // what the queue query reports
    std::uint8_t fill = 0;
    std::vector<std::uint8_t> delivered;
} script;

FT_STATUS FT_API QueueStatus(FT_HANDLE, std::uint32_t* bytes) {
    *bytes = script.queued;
    return FT_OK;
}

FT_STATUS FT_API Read(FT_HANDLE, void* buffer, std::uint32_t count, std::uint32_t* received) {
    std::uint32_t length = script.next < script.reads.size() ? script.reads[script.next++] : 0;
    length = std::min(length, count);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(script.fill + script.delivered.size());
        script.delivered.push_back(bytes[i]);
    }
    *received = length;
    return FT_OK;
}

// A window whose timer runs out after a few hundred pumps.
class ScriptHost : public DownloadHost {
public:
    DownloadEngine* engine = nullptr;
    int pumps = 0;
    std::string StatusText() const override { return "Status"; }
    void SetStatusText(const std::string&) override {}
    void SetSizeText(const std::string&) override {}
    int ProgressPosition() const override { return 0; }
    void SetProgressPosition(int) override {}
    int ProgressMaximum() const override { return 1; }
    void SetProgressMaximum(int) override {}
    void SetStopEnabled(bool) override {}
    void SetTimerInterval(unsigned) override {}
    void SetTimerEnabled(bool) override {}
    void PumpMessages() override {
        if (++pumps % 300 == 0) engine->Timer1Timer();
    }
    void WaitForMessages() override { engine->Timer1Timer(); }
    void Sleep(unsigned) override {}
    std::string SelectedModel() const override { return std::string(); }
    std::string SettingsFileName() const override { return std::string(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    static const std::string kStages[] = {"", std::string(kStageModeChange), std::string(kStageWrite),
                                          std::string(kStageChecksum)};
    script = Script{};
    const std::string stage = kStages[input.Byte() % 4];
    script.queued = input.Byte() % 8;
    script.fill = input.Byte();
    std::uint64_t total = 0;
    for (int i = 0; i < 64 && total < 300000; ++i) {
        const std::uint32_t length = input.Word() * (1u + input.Byte() % 2);  // some reads past 65,535 asked for
        script.reads.push_back(length);
        total += length;
        if (length == 0) break;
    }

    D2XXSlots = D2XXEntryPoints{};
    D2XXSlots.FT_GetQueueStatus = &QueueStatus;
    D2XXSlots.FT_Read = &Read;
    ScriptHost host;
    DownloadEngine engine(host);
    host.engine = &engine;
    engine.Stage = stage;

    const bool accepted = engine.WaitReply();

    bool expected = false;
    if (script.queued > 0) {
        std::vector<std::uint8_t> kept(script.delivered.begin(),
                                       script.delivered.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(script.delivered.size(), 65536)));
        kept.resize(std::max<std::size_t>(kept.size(), 1), 0);
        expected = CheckReply(kept.data(), script.delivered.size(), stage);
    }
    if (accepted != expected || engine.Stage != stage) std::abort();
    return 0;
}
