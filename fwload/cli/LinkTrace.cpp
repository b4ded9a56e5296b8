// The link trace: the binding's FT_Write and FT_Read slots, wrapped.
#include "LinkTrace.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "Clock.h"
#include "D2XX_Dyn.h"

namespace {

std::FILE* traceFile = nullptr;
FT_WriteProc realWrite = nullptr;
FT_ReadProc realRead = nullptr;
const auto traceStart = std::chrono::steady_clock::now();

void Stamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long milliseconds =
        static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    const std::tm parts = platform::CalendarTime(seconds, false);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - traceStart).count();
    std::fprintf(traceFile, "%s.%03ld +%.3fs ", text, milliseconds, elapsed);
}

// Long frames keep their head and tail; the middle is told by its count.
constexpr std::uint32_t kHeadBytes = 32;
constexpr std::uint32_t kTailBytes = 16;

void Bytes(const void* data, std::uint32_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (count <= kHeadBytes + kTailBytes + 16) {
        for (std::uint32_t i = 0; i < count; ++i) std::fprintf(traceFile, " %02X", bytes[i]);
        return;
    }
    for (std::uint32_t i = 0; i < kHeadBytes; ++i) std::fprintf(traceFile, " %02X", bytes[i]);
    std::fprintf(traceFile, " ... %u bytes ...", count - kHeadBytes - kTailBytes);
    for (std::uint32_t i = count - kTailBytes; i < count; ++i) std::fprintf(traceFile, " %02X", bytes[i]);
}

FT_STATUS FT_API TracedWrite(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* written) {
    const FT_STATUS status = realWrite(handle, buffer, count, written);
    if (traceFile != nullptr) {
        Stamp();
        std::fprintf(traceFile, "write %u/%u status %u:", written ? *written : 0u, count, status);
        Bytes(buffer, written ? *written : 0u);
        std::fputc('\n', traceFile);
        std::fflush(traceFile);
    }
    return status;
}

FT_STATUS FT_API TracedRead(FT_HANDLE handle, void* buffer, std::uint32_t count, std::uint32_t* received) {
    const FT_STATUS status = realRead(handle, buffer, count, received);
    // Empty reads end every reply; only reads that brought bytes are worth a line.
    if (traceFile != nullptr && received != nullptr && (*received > 0 || status != FT_OK)) {
        Stamp();
        std::fprintf(traceFile, "read %u status %u:", *received, status);
        Bytes(buffer, *received);
        std::fputc('\n', traceFile);
        std::fflush(traceFile);
    }
    return status;
}

}  // namespace

bool StartLinkTrace(const std::string& fileName, const std::string& header) {
    traceFile = std::fopen(fileName.c_str(), "a");
    if (traceFile == nullptr) return false;
    // Runs appended to one file are told apart by a blank line and their header.
    std::fseek(traceFile, 0, SEEK_END);
    if (std::ftell(traceFile) > 0) std::fputc('\n', traceFile);
    Stamp();
    std::fprintf(traceFile, "=== %s\n", header.c_str());
    std::fflush(traceFile);
    realWrite = D2XXSlots.FT_Write;
    realRead = D2XXSlots.FT_Read;
    D2XXSlots.FT_Write = &TracedWrite;
    D2XXSlots.FT_Read = &TracedRead;
    return true;
}

void NoteInLinkTrace(const std::string& text) {
    if (traceFile == nullptr) return;
    Stamp();
    std::fprintf(traceFile, "%s\n", text.c_str());
    std::fflush(traceFile);
}

void StopLinkTrace(const std::string& outcome) {
    if (traceFile == nullptr) return;
    Stamp();
    std::fprintf(traceFile, "=== outcome: %s\n", outcome.c_str());
    D2XXSlots.FT_Write = realWrite;
    D2XXSlots.FT_Read = realRead;
    std::fclose(traceFile);
    traceFile = nullptr;
}
