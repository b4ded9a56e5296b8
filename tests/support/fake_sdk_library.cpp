// libfakesdk.so: the four SDK operations of the display set-up, forwarded to the running test.
#include <cstdint>

#include "FakeSdk.h"
#include "TestExport.h"

namespace {
const FakeSdkHooks* hooks = nullptr;
}

TEST_EXPORT void FakeSdk_SetHooks(const FakeSdkHooks* installed) { hooks = installed; }

TEST_EXPORT std::int32_t Get_StatusEx(std::uint8_t* status, std::uint8_t* detail) {
    return hooks ? hooks->getStatusEx(status, detail) : -1;
}
TEST_EXPORT std::int32_t UserLCDMemoryWrite(std::int32_t area, std::int32_t line, std::int32_t kind, const char* text) {
    return hooks ? hooks->write(area, line, kind, text) : -1;
}
TEST_EXPORT std::int32_t UserLCDMemoryWriteEx(std::int32_t area, std::int32_t line, std::int32_t kind, const char* text) {
    return hooks ? hooks->writeEx(area, line, kind, text) : -1;
}
TEST_EXPORT std::int32_t LCD_DISPLAY(std::int32_t mode, std::int32_t first, std::int32_t second) {
    return hooks ? hooks->display(mode, first, second) : -1;
}
