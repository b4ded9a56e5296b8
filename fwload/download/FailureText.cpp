// The failure record as a sentence.
#include "FailureText.h"

#include <cstdio>

#include "qvxStrUtils.h"

namespace {

using Stage = DownloadFailure::Stage;
using Cause = DownloadFailure::Cause;

std::string Hex(int value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// The request in the stage, as a sentence names it.
std::string Request(const DownloadFailure& failure) {
    switch (failure.stage) {
        case Stage::ModeChange: return "the mode change";
        case Stage::Polling: return "the poll";
        case Stage::Data: return "data frame " + std::to_string(failure.frame);
        case Stage::WriteToMemory: return "the write to memory";
        case Stage::Checksum: return "the checksum";
        case Stage::DisplaySetUp:
            return failure.frame > 0 ? "display line " + std::to_string(failure.frame) : "the display set-up";
        case Stage::None: break;
    }
    return "the download";
}

std::string Progress(const DownloadFailure& failure) {
    if (failure.stage != Stage::Data) return "";
    return " after " + FormatWithThousands(failure.bytesSent) + " of " + FormatWithThousands(failure.fileSize) +
           " bytes";
}

}  // namespace

std::string DescribeFailure(const DownloadFailure& failure) {
    const std::string request = Request(failure);
    switch (failure.cause) {
        case Cause::Refused:
            if (failure.stage == Stage::DisplaySetUp) {
                return "the card printer SDK refused " + request + " (result " + std::to_string(failure.resultCode) + ")";
            }
            return "the printer refused " + request + " (result code " + Hex(failure.resultCode, 2) + ")" +
                   Progress(failure);
        case Cause::DamagedReply:
            return "the printer's reply to " + request + " was damaged (" + failure.damage + ")" + Progress(failure);
        case Cause::NoReply: {
            const unsigned seconds = failure.waitMs / 1000;
            return "the printer did not answer " + request + " within " + std::to_string(seconds) + " s" +
                   Progress(failure);
        }
        case Cause::ShortWrite:
            return "only " + FormatWithThousands(failure.written) + " of " + FormatWithThousands(failure.asked) +
                   " bytes of " + request + " could be written" + Progress(failure);
        case Cause::DeviceError:
            return "the printer failed or was unplugged during " + request + " (D2XX status " +
                   std::to_string(failure.d2xxStatus) + ", " + FTStatusName(failure.d2xxStatus) + ")" +
                   Progress(failure);
        case Cause::ChecksumMismatch:
            return "the printer's checksum does not match the image's byte sum " + Hex(failure.byteSum, 4) +
                   " (result code " + Hex(failure.resultCode, 2) + ")";
        case Cause::FileError: return "the firmware file failed: " + failure.reason;
        case Cause::Stopped: return "stopped by the user during " + request + Progress(failure);
        case Cause::TimerRanOut:
            return "the wait for the printer's answer to " + request +
                   " ran out while the program was held (suspended or kept busy), before the answer was read" +
                   Progress(failure);
        case Cause::NoPrinter: return "no card printer was found";
        case Cause::NotFirmware: return "the file is not card printer firmware";
        case Cause::NoSdkLibrary:
            return "no card printer SDK library" + (failure.reason.empty() ? std::string() : " (" + failure.reason + ")");
        case Cause::None: break;
    }
    return "the download failed";
}
