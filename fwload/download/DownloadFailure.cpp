// Names of the failure record's stages, causes and D2XX statuses.
#include "DownloadFailure.h"

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
        case DownloadFailure::Cause::None: break;
    }
    return "none";
}

std::string D2xxStatusName(FT_STATUS status) {
    switch (status) {
        case FT_OK: return "FT_OK";
        case FT_INVALID_HANDLE: return "FT_INVALID_HANDLE";
        case FT_DEVICE_NOT_FOUND: return "FT_DEVICE_NOT_FOUND";
        case FT_DEVICE_NOT_OPENED: return "FT_DEVICE_NOT_OPENED";
        case FT_IO_ERROR: return "FT_IO_ERROR";
        case FT_INSUFFICIENT_RESOURCES: return "FT_INSUFFICIENT_RESOURCES";
        case FT_INVALID_PARAMETER: return "FT_INVALID_PARAMETER";
        case FT_NOT_SUPPORTED: return "FT_NOT_SUPPORTED";
        case FT_OTHER_ERROR: return "FT_OTHER_ERROR";
        default: break;
    }
    return std::to_string(status);
}
