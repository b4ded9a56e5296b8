// Why a download failed, recorded by the engine as it happens and handed to its host. The window
// ignores it; fwload-cli tells the user. Recording changes nothing the window shows.
#pragma once

#include <cstdint>
#include <string>

#include "D2XXTypes.h"

struct DownloadFailure {
    enum class Stage { None, ModeChange, Polling, Data, WriteToMemory, Checksum, DisplaySetUp };
    enum class Cause {
        None,
        Refused,           // a result code the reply check rejects (resultCode)
        DamagedReply,      // CRC, length or letter wrong (damage says which)
        NoReply,           // nothing arrived within the wait (waitMs)
        ShortWrite,        // written of asked bytes went out
        DeviceError,       // a D2XX call failed (d2xxStatus), e.g. the printer was unplugged
        ChecksumMismatch,  // the printer's sum differs from the image's (byteSum)
        FileError,         // the firmware file could not be opened or read (reason)
        Stopped,           // Stop (or Ctrl-C)
        NoSdkLibrary,      // display set-up: no card printer SDK library
        TimerRanOut,       // the wait's timer ran out before an accepted reply was read: the program was held
        NoPrinter,         // discovery found no printer to open (and told the user)
        NotFirmware,       // the file is not card printer firmware, or too large for it (the user was told)
    };

    Stage stage = Stage::None;
    Cause cause = Cause::None;
    int frame = -1;                  // data frame's sequence number, -1 outside the data stage
    int resultCode = -1;             // the printer's (or the SDK's) result code, -1 when none
    std::string damage;              // "bad CRC", "wrong length 3", ...
    std::uint32_t written = 0;       // short write: bytes written ...
    std::uint32_t asked = 0;         // ... of bytes asked
    FT_STATUS d2xxStatus = FT_OK;    // device error
    unsigned waitMs = 0;             // no reply: the wait that ran out
    std::uint16_t byteSum = 0;       // checksum mismatch: the image's sum
    std::string reason;              // file error: the system's reason
    std::int32_t bytesSent = 0;      // image bytes the printer had accepted
    std::int32_t fileSize = 0;       // the firmware file's size, header included

    bool Failed() const { return cause != Cause::None; }
};

// Short ids for scripts: "mode-change", "refused", ...
const char* StageId(DownloadFailure::Stage stage);
const char* CauseId(DownloadFailure::Cause cause);
