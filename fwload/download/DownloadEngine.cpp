// The download procedure, its reply waits, its timer and Stop.
#include "DownloadEngine.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "D2XX_Dyn.h"
#include "DownloadFrames.h"
#include "FirmwareImage.h"
#include "MessageBox.h"
#include "qvxStrUtils.h"

namespace {

constexpr unsigned kPollingPauseMs = 2000;
constexpr unsigned kChecksumPauseMs = 100;
constexpr unsigned kWriteTickMs = 2000;
constexpr unsigned kReplyTickMs = 5000;
constexpr unsigned kRetrySleepMs = 10;
constexpr unsigned kCompleteSleepMs = 5000;
constexpr int kWriteTicks = 30;
constexpr int kChecksumTicks = 5;
constexpr int kMaxWritesPerFrame = 4;
constexpr std::uint32_t kReadAll = 65535;

std::string Formatted(long double value) { return FormatWithThousands(value); }

void ShowError(const std::string& text, platform::MessageIcon icon, bool topMost) {
    platform::ShowMessageBox(platform::MessageBoxRequest{"Error", text, icon, topMost, false});
}

}  // namespace

void DownloadEngine::BeginDownload() {
    Idle = false;
    host_.SetTimerEnabled(false);
    SentBytes = 0;
    host_.SetProgressPosition(0);
    StopFlag = false;
    Stage.clear();
    host_.SetStatusText(status_text::kIdle);
    host_.SetStopEnabled(true);
}

void DownloadEngine::EndDownload() {
    host_.SetStopEnabled(false);
    Idle = true;
}

void DownloadEngine::CloseFirmwareFile() { FirmwareStream.Close(); }

void DownloadEngine::BtnCancelClick() {
    StopFlag = true;
    CloseFirmwareFile();
}

void DownloadEngine::FailWithText() {
    host_.SetStatusText(host_.StatusText() + " -> Failure");
    StopFlag = true;
}

void DownloadEngine::FailWithFileError(const char* action, const std::string& fileName) {
    host_.SetStatusText(status_text::kFailure);
    StopFlag = true;
    const std::string reason = FirmwareStream.ErrorText().empty() ? "Read error" : FirmwareStream.ErrorText();
    ShowError(std::string("Cannot ") + action + " file \"" + fileName + "\". " + reason + ".", platform::MessageIcon::Error, false);
}

void DownloadEngine::Timer1Timer() {
    if (Stage == kStageWrite || Stage == kStageChecksum) {
        const int position = host_.ProgressPosition() + 1;
        host_.SetProgressPosition(position);
        if (position >= host_.ProgressMaximum()) {
            StopFlag = true;
            host_.SetTimerEnabled(false);
        }
        return;
    }
    StopFlag = true;
    host_.SetTimerEnabled(false);
}

void DownloadEngine::Pause(unsigned milliseconds) {
    host_.SetTimerInterval(milliseconds);
    host_.SetTimerEnabled(true);
    while (!StopFlag) host_.WaitForMessages();
    // Stop may have ended the pause before the tick did.
    host_.SetTimerEnabled(false);
    StopFlag = false;
}

bool DownloadEngine::WaitReply() {
    host_.SetTimerEnabled(false);
    StopFlag = false;
    host_.SetTimerInterval(Stage == kStageWrite ? kWriteTickMs : kReplyTickMs);
    host_.SetTimerEnabled(true);

    do {
        host_.PumpMessages();
        if (GetFTDeviceQueueStatus() != FT_OK) StopFlag = true;
    } while (!StopFlag && FTRxQueueBytes == 0);

    if (FTRxQueueBytes > 0) {
        reply_.fill(0);
        // An over-long reply is read to its end but only its first 65,536 bytes are kept; it is
        // judged by its real length.
        std::size_t length = 0;
        std::uint32_t got = 0;
        do {
            host_.PumpMessages();
            got = ReadFTDevice(kReadAll);
            if (got > 0 && length < reply_.size()) {
                const std::size_t kept = std::min<std::size_t>(got, reply_.size() - length);
                std::memcpy(reply_.data() + length, FTInBuffer, kept);
            }
            length += got;
        } while (!StopFlag && got != 0);
        if (!CheckReply(reply_.data(), length, Stage)) StopFlag = true;
    }

    host_.SetTimerEnabled(false);
    return !StopFlag;
}

void DownloadEngine::WaitCountedReply(int ticks) {
    host_.SetProgressPosition(0);
    host_.SetProgressMaximum(ticks);
    WaitReply();  // a rejected or missing reply leaves StopFlag set
}

bool DownloadEngine::WriteFrame(std::uint32_t count) { return WriteFTDevice(count) == count; }

bool DownloadEngine::WriteDataFrame() {
    std::uint32_t remaining = static_cast<std::uint32_t>(kDataFrameLength);
    for (int attempt = 1;; ++attempt) {
        const std::uint32_t written = WriteFTDevice(remaining);
        if (written == remaining) return true;
        if (attempt == kMaxWritesPerFrame) {
            FailWithText();
            return false;
        }
        host_.Sleep(kRetrySleepMs);
        std::memmove(FTOutBuffer, FTOutBuffer + written, remaining - written);
        remaining -= written;
    }
}

bool DownloadEngine::CheckFirmwareFile(const std::string& fileName, std::int32_t& fileSize) {
    const std::int64_t size = FirmwareStream.Size();
    if (size < 0) {
        FailWithFileError("read", fileName);
        return false;
    }
    host_.SetSizeText(Formatted(static_cast<long double>(size)) + " Bytes");
    if (size > std::numeric_limits<std::int32_t>::max()) {
        // The sizes and counts of the download are 32-bit: refuse before anything is sent.
        host_.SetStatusText(status_text::kIdle);
        ShowError("The file is too large for card printer firmware file.\n\nSelect another file.",
                  platform::MessageIcon::Exclamation, true);
        return false;
    }
    fileSize = static_cast<std::int32_t>(size);
    host_.SetProgressMaximum(fileSize);

    std::uint8_t header[kFirmwareHeaderSize] = {};
    const std::size_t got = FirmwareStream.Read(header, sizeof header);
    if (FirmwareStream.Failed()) {
        FailWithFileError("read", fileName);
        return false;
    }
    if (!IsFirmwareHeader(header, got)) {
        host_.SetStatusText(status_text::kIdle);
        ShowError("The file is not card printer firmware file.\n\nSelect another file.",
                  platform::MessageIcon::Exclamation, true);
        return false;
    }
    return true;
}

void DownloadEngine::SendImage(const std::string& fileName, std::int32_t fileSize) {
    std::uint16_t sequence = 0;
    const std::string ofSize = Formatted(fileSize);
    std::size_t readCount = 0;
    do {
        // Stop closes the file: never read from it afterwards.
        if (!FirmwareStream.IsOpen()) {
            StopFlag = true;
            return;
        }
        std::memset(FTOutBuffer, 0, 65535);
        PutDataFrameHead(FTOutBuffer, sequence);
        readCount = FirmwareStream.Read(FTOutBuffer + kDataPayloadOffset, kDataPayloadSize);
        if (FirmwareStream.Failed()) {
            FailWithFileError("read", fileName);
            return;
        }
        SentBytes += static_cast<std::int32_t>(readCount);
        CompleteDataFrame(FTOutBuffer);
        host_.SetProgressPosition(SentBytes);
        host_.SetStatusText("Status: Downloading( " + Formatted(SentBytes) + " / " + ofSize + " bytes )");
        if (!WriteDataFrame()) return;
        if (!WaitReply()) StopFlag = true;
        ++sequence;
    } while (!StopFlag && readCount == kDataPayloadSize);
}

void DownloadEngine::RunDownload(const std::string& fileName) {
    if (!FindCardPrinter()) return;

    std::int32_t fileSize = 0;
    if (!FirmwareStream.Open(fileName)) {
        FailWithFileError("open", fileName);
    } else if (CheckFirmwareFile(fileName, fileSize)) {
        // Mode change.
        Stage = kStageModeChange;
        host_.SetStatusText(status_text::kModeChange);
        if (!WriteFrame(static_cast<std::uint32_t>(BuildModeChangeCommand(FTOutBuffer))) || !WaitReply()) FailWithText();

        // Polling.
        if (!StopFlag) {
            Pause(kPollingPauseMs);
            if (!FirmwareStream.IsOpen()) StopFlag = true;  // Stop pressed during the pause
        }
        if (!StopFlag) {
            Stage.clear();
            host_.SetStatusText(status_text::kPolling);
            if (!WriteFrame(static_cast<std::uint32_t>(BuildPollFrame(FTOutBuffer))) || !WaitReply()) FailWithText();
        }

        // Data.
        if (!StopFlag) {
            Stage.clear();
            host_.SetStatusText(status_text::kDownloadNow);
            SendImage(fileName, fileSize);
        }

        // Write to memory.
        if (!StopFlag) {
            host_.SetStopEnabled(false);
            Stage = kStageWrite;
            const bool written = WriteFrame(static_cast<std::uint32_t>(BuildWriteToMemoryFrame(FTOutBuffer)));
            host_.SetStatusText(status_text::kWriteToMemory);
            if (!written) {
                FailWithText();
            } else {
                WaitCountedReply(kWriteTicks);
            }
        }
        Stage.clear();

        // Checksum.
        if (!StopFlag) {
            Pause(kChecksumPauseMs);
            Stage = kStageChecksum;
            host_.SetStatusText(status_text::kCheckSum);
            std::uint16_t byteSum = 0;
            if (!FirmwareStream.IsOpen() || !ComputeImageByteSum(FirmwareStream, FTOutBuffer, byteSum)) {
                FailWithFileError("read", fileName);
            } else if (!WriteFrame(static_cast<std::uint32_t>(BuildChecksumFrame(FTOutBuffer, byteSum)))) {
                FailWithText();
            } else {
                WaitCountedReply(kChecksumTicks);
            }
            Stage.clear();
        }

        // Outcome.
        if (StopFlag) {
            host_.SetStatusText(status_text::kFailure);
        } else {
            host_.SetStatusText(status_text::kComplete);
            host_.Sleep(kCompleteSleepMs);
            SetUpPrinterDisplay();
        }
    }

    CloseFirmwareFile();
    CloseCardPrinter();
}
