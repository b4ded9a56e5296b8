// The recording side of the fake SDK library.
#include "FakeSdk.h"

#include <cstdio>
#include <cstring>

#include "KX47XX_Dyn.h"

FakeSdk* FakeSdk::current = nullptr;

FakeSdk::FakeSdk(VirtualClock& clock) : clock_(clock) { current = this; }

FakeSdk::~FakeSdk() {
    UnloadKX47XXLibrary();
    current = nullptr;
}

bool FakeSdk::Preload() {
    if (!LoadKX47XXLibrary(FAKE_SDK_LIBRARY_PATH)) return false;
    using SetHooks = void (*)(const FakeSdkHooks*);
    void* address = platform::FindLibraryEntry(KX47XXLibHandle, "FakeSdk_SetHooks");
    if (address == nullptr) return false;
    SetHooks setHooks;
    std::memcpy(&setHooks, &address, sizeof setHooks);
    static const FakeSdkHooks hooks = {
        [](std::uint8_t*, std::uint8_t*) { return current->GetStatusEx(); },
        [](std::int32_t a, std::int32_t l, std::int32_t k, const char* t) {
            return current->Write("UserLCDMemoryWrite", a, l, k, t);
        },
        [](std::int32_t a, std::int32_t l, std::int32_t k, const char* t) {
            return current->Write("UserLCDMemoryWriteEx", a, l, k, t);
        },
        [](std::int32_t m, std::int32_t a, std::int32_t b) {
            current->Record("LCD_DISPLAY(" + std::to_string(m) + "," + std::to_string(a) + "," + std::to_string(b) +
                            ")");
            return std::int32_t{0};
        },
    };
    setHooks(&hooks);
    return true;
}

void FakeSdk::Record(const std::string& call) {
    calls.push_back(call);
    if (journal != nullptr) journal->push_back(call);
}

std::vector<std::string> FakeSdk::LineWrites() const {
    std::vector<std::string> writes;
    for (const std::string& call : calls) {
        if (call.rfind("UserLCD", 0) == 0) writes.push_back(call);
    }
    return writes;
}

std::int32_t FakeSdk::GetStatusEx() {
    Record("Get_StatusEx@" + std::to_string(clock_.NowMs()));
    if (busyCalls < 0) return 1;
    if (busyCalls > 0) {
        --busyCalls;
        return 1;
    }
    return 0;
}

std::int32_t FakeSdk::Write(const char* name, std::int32_t area, std::int32_t line, std::int32_t kind, const char* text) {
    char head[64];
    std::snprintf(head, sizeof head, "%s(%d,'%c',0x%02X,\"", name, static_cast<int>(area), static_cast<char>(line),
                  static_cast<unsigned>(kind));
    Record(std::string(head) + text + "\")");
    return ++lineWrites_ == failingLineWrite ? 1 : 0;
}
