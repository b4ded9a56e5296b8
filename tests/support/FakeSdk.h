// An SDK library for the display set-up tests: libfakesdk.so exports the four operations fwload
// calls and forwards them to the FakeSdk object of the running test, which records every call and
// takes failure switches. Preload() binds it through fwload's own binding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VirtualClock.h"

extern "C" {
struct FakeSdkHooks {
    std::int32_t (*getStatusEx)(std::uint8_t*, std::uint8_t*);
    std::int32_t (*write)(std::int32_t, std::int32_t, std::int32_t, const char*);
    std::int32_t (*writeEx)(std::int32_t, std::int32_t, std::int32_t, const char*);
    std::int32_t (*display)(std::int32_t, std::int32_t, std::int32_t);
};
}

class FakeSdk {
public:
    explicit FakeSdk(VirtualClock& clock);
    ~FakeSdk();
    FakeSdk(const FakeSdk&) = delete;
    FakeSdk& operator=(const FakeSdk&) = delete;

    // Loads libfakesdk.so through LoadKX47XXLibrary, so that the set-up's own load finds it loaded.
    bool Preload();

    int busyCalls = 0;          // Get_StatusEx answers non-zero this many times (-1: always)
    int failingLineWrite = 0;   // the line write (1-based, both kinds) that returns non-zero

    // "Get_StatusEx@<ms>", "UserLCDMemoryWrite(17,'0',0x40,"HELLO")", "LCD_DISPLAY(9,0,0)"...
    std::vector<std::string> calls;
    std::vector<std::string> LineWrites() const;
    // When set, every call is also appended here, to order it against another fake's calls.
    std::vector<std::string>* journal = nullptr;
    void Record(const std::string& call);

    static FakeSdk* current;

private:
    VirtualClock& clock_;
    int lineWrites_ = 0;
    std::int32_t GetStatusEx();
    std::int32_t Write(const char* name, std::int32_t area, std::int32_t line, std::int32_t kind, const char* text);
};
