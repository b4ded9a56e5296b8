// A stand-in SDK library that tells which file was loaded: CloseDevice returns PROBE_IDENTITY.
// It has OpenDevice and CloseDevice only, so every other entry point is missing.
#include <cstdint>

#include "TestExport.h"

TEST_EXPORT std::int32_t OpenDevice(const char*, std::int32_t) { return 0; }
TEST_EXPORT std::int32_t CloseDevice(std::int32_t) { return PROBE_IDENTITY; }
