// Names of the failure record's stages, causes and D2XX statuses.
#include "DownloadFailure.h"

#include "DownloadHost.h"

const char* StageId(DownloadFailure::Stage stage) {
    switch (stage) {
        case DownloadFailure::Stage::ModeChange: return "mode-change";
        case DownloadFailure::Stage::Polling: return "polling";
        case DownloadFailure::Stage::Data: return "data";
        case DownloadFailure::Stage::WriteToMemory: return "write-to-memory";
        case DownloadFailure::Stage::Checksum: return "checksum";
        case DownloadFailure::Stage::DisplaySetUp: return "display-set-up";
        case DownloadFailure::Stage::None: break;
    }
    return "none";
}

const char* DownloadStageId(DownloadStage stage) {
    switch (stage) {
        case DownloadStage::None: return "start";
        case DownloadStage::ModeChange: return "mode-change";
        case DownloadStage::Polling: return "polling";
        case DownloadStage::Data: return "data";
        case DownloadStage::WriteToMemory: return "write-to-memory";
        case DownloadStage::Checksum: return "checksum";
        case DownloadStage::Complete: return "complete";
        case DownloadStage::DisplaySetUp: return "display-set-up";
        case DownloadStage::Failed: return "failed";
    }
    return "start";
}

const char* CauseId(DownloadFailure::Cause cause) {
    switch (cause) {
        case DownloadFailure::Cause::Refused: return "refused";
        case DownloadFailure::Cause::DamagedReply: return "damaged-reply";
        case DownloadFailure::Cause::NoReply: return "no-reply";
        case DownloadFailure::Cause::ShortWrite: return "short-write";
        case DownloadFailure::Cause::DeviceError: return "device-error";
        case DownloadFailure::Cause::ChecksumMismatch: return "checksum-mismatch";
        case DownloadFailure::Cause::FileError: return "file-error";
        case DownloadFailure::Cause::Stopped: return "stopped";
        case DownloadFailure::Cause::NoSdkLibrary: return "no-sdk-library";
        case DownloadFailure::Cause::TimerRanOut: return "timer-ran-out";
        case DownloadFailure::Cause::NoPrinter: return "no-printer";
        case DownloadFailure::Cause::NotFirmware: return "not-firmware";
        case DownloadFailure::Cause::None: break;
    }
    return "none";
}
