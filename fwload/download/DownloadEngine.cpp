// The download procedure, its reply waits, its timer and Stop.
#include "DownloadEngine.h"

#include <algorithm>
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

bool DownloadHost::FindPrinter() { return FindCardPrinter(); }

void DownloadEngine::BeginDownload() {
    failure_ = DownloadFailure{};
    failureStage_ = DownloadFailure::Stage::None;
    frame_ = -1;
    confirmedBytes_ = 0;
    fileSize_ = 0;
    image_ = FirmwareImage{};
    stopPressed_ = false;
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
    stopPressed_ = true;
    StopFlag = true;
    CloseFirmwareFile();
}

void DownloadEngine::FailWithText() {
    host_.SetStatusText(host_.StatusText() + " -> Failure");
    StopFlag = true;
}

void DownloadEngine::EnterStage(DownloadFailure::Stage stage) {
    failureStage_ = stage;
    switch (stage) {
        case DownloadFailure::Stage::ModeChange: Stage = kStageModeChange; break;
        case DownloadFailure::Stage::WriteToMemory: Stage = kStageWrite; break;
        case DownloadFailure::Stage::Checksum: Stage = kStageChecksum; break;
        default: Stage.clear(); break;
    }
}

void DownloadEngine::NoteFailure(DownloadFailure::Cause cause) {
    if (failure_.Failed()) return;
    failure_.cause = cause;
    failure_.stage = failureStage_;
    failure_.frame = failureStage_ == DownloadFailure::Stage::Data ? frame_ : -1;
    failure_.bytesSent = confirmedBytes_;
    failure_.fileSize = fileSize_;
}

void DownloadEngine::NoteWaitFailure(bool replyCollected, bool replyAccepted, std::size_t length, bool queueFailed) {
    if (stopPressed_) {
        NoteFailure(DownloadFailure::Cause::Stopped);
    } else if (queueFailed) {
        NoteFailure(DownloadFailure::Cause::DeviceError);
        failure_.d2xxStatus = FTLastStatus;
    } else if (replyAccepted) {
        // The tick came first although the answer was there: the wait was not pumped in time.
        NoteFailure(DownloadFailure::Cause::TimerRanOut);
    } else if (replyCollected) {
        const ReplyRejection rejection = DescribeRejection(reply_.data(), std::min(length, reply_.size()), Stage);
        if (!rejection.damage.empty()) {
            NoteFailure(DownloadFailure::Cause::DamagedReply);
            failure_.damage = rejection.damage;
        } else if (failureStage_ == DownloadFailure::Stage::Checksum && rejection.code == '1') {
            NoteFailure(DownloadFailure::Cause::ChecksumMismatch);
            failure_.resultCode = rejection.code;
            failure_.byteSum = image_.byteSum;
        } else {
            NoteFailure(DownloadFailure::Cause::Refused);
            failure_.resultCode = rejection.code;
        }
    } else {
        NoteFailure(DownloadFailure::Cause::NoReply);
        failure_.waitMs = Stage == kStageWrite      ? kWriteTickMs * kWriteTicks
                          : Stage == kStageChecksum ? kReplyTickMs * kChecksumTicks
                                                    : kReplyTickMs;
    }
}

void DownloadEngine::FailWithFileError(const char* action, const std::string& fileName) {
    host_.StageEntered(DownloadStage::Failed);
    host_.SetStatusText(status_text::kFailure);
    StopFlag = true;
    const std::string reason = FirmwareStream.ErrorText().empty() ? "Read error" : FirmwareStream.ErrorText();
    NoteFailure(DownloadFailure::Cause::FileError);
    failure_.reason = std::string("cannot ") + action + " the file: " + reason;
    ShowError(std::string("Cannot ") + action + " file \"" + fileName + "\". " + reason + ".",
              platform::MessageIcon::Error, false);
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

    bool queueFailed = false;
    do {
        host_.PumpMessages();
        if (GetFTDeviceQueueStatus() != FT_OK) StopFlag = queueFailed = true;
    } while (!StopFlag && FTRxQueueBytes == 0);

    const bool replyCollected = FTRxQueueBytes > 0;
    std::size_t length = 0;
    bool accepted = false;
    if (replyCollected) {
        reply_.fill(0);
        length = fastReplies ? CollectWholeReply() : CollectReply();
        accepted = CheckReply(reply_.data(), length, Stage);
        if (!accepted) StopFlag = true;
    }

    host_.SetTimerEnabled(false);
    if (StopFlag) NoteWaitFailure(replyCollected, accepted, length, queueFailed);
    return !StopFlag;
}

namespace {

// Appends what the last read brought to the reply; an over-long reply is counted to its end but
// only its first 65,536 bytes are kept, so it is judged by its real length.
void Append(std::array<std::uint8_t, 65536>& reply, std::size_t& length, std::uint32_t got) {
    if (got > 0 && length < reply.size()) {
        std::memcpy(reply.data() + length, FTInBuffer, std::min<std::size_t>(got, reply.size() - length));
    }
    length += got;
}

}  // namespace

std::size_t DownloadEngine::CollectReply() {
    std::size_t length = 0;
    std::uint32_t got = 0;
    do {
        host_.PumpMessages();
        got = ReadFTDevice(kReadAll);
        Append(reply_, length, got);
    } while (!StopFlag && got != 0);
    return length;
}

std::size_t DownloadEngine::CollectWholeReply() {
    std::size_t length = 0;
    for (;;) {
        host_.PumpMessages();
        if (GetFTDeviceQueueStatus() != FT_OK) break;
        if (IsReplyComplete(reply_.data(), std::min(length, reply_.size()), Stage)) {
            // Bytes already queued behind a whole reply belong to it: an over-long reply stays one.
            if (FTRxQueueBytes > 0) Append(reply_, length, ReadFTDevice(std::min(FTRxQueueBytes, kReadAll)));
            break;
        }
        // What is queued, or else what the reply still lacks, waiting at most the read timeout.
        const std::uint32_t lacking = static_cast<std::uint32_t>(kReplyLength - std::min(length, kReplyLength));
        const std::uint32_t got = ReadFTDevice(FTRxQueueBytes > 0 ? std::min(FTRxQueueBytes, kReadAll) : lacking);
        Append(reply_, length, got);
        // A read that brings nothing ends an unfinished reply, as it ends every reply in the window.
        if (got == 0 || StopFlag) break;
    }
    return length;
}

void DownloadEngine::WaitCountedReply(int ticks) {
    host_.SetProgressPosition(0);
    host_.SetProgressMaximum(ticks);
    WaitReply();  // a rejected or missing reply leaves StopFlag set
}

bool DownloadEngine::WriteFrame(std::uint32_t count) {
    const std::uint32_t written = WriteFTDevice(count);
    if (written == count) return true;
    NoteShortWrite(written, count);
    return false;
}

void DownloadEngine::NoteShortWrite(std::uint32_t written, std::uint32_t asked) {
    if (FTLastStatus != FT_OK) {
        NoteFailure(DownloadFailure::Cause::DeviceError);
        failure_.d2xxStatus = FTLastStatus;
    } else {
        NoteFailure(DownloadFailure::Cause::ShortWrite);
    }
    failure_.written = written;
    failure_.asked = asked;
}

bool DownloadEngine::WriteDataFrame() {
    std::uint32_t remaining = static_cast<std::uint32_t>(kDataFrameLength);
    for (int attempt = 1;; ++attempt) {
        const std::uint32_t written = WriteFTDevice(remaining);
        if (written == remaining) return true;
        if (attempt == kMaxWritesPerFrame) {
            NoteShortWrite(static_cast<std::uint32_t>(kDataFrameLength) - remaining + written,
                           static_cast<std::uint32_t>(kDataFrameLength));
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
        NoteFailure(DownloadFailure::Cause::NotFirmware);
        ShowError("The file is too large for card printer firmware file.\n\nSelect another file.",
                  platform::MessageIcon::Exclamation, true);
        return false;
    }
    fileSize = static_cast<std::int32_t>(size);
    fileSize_ = fileSize;
    host_.SetProgressMaximum(fileSize);

    std::uint8_t header[kFirmwareHeaderSize] = {};
    const std::size_t got = FirmwareStream.Read(header, sizeof header);
    if (FirmwareStream.Failed()) {
        FailWithFileError("read", fileName);
        return false;
    }
    if (!IsFirmwareHeader(header, got)) {
        host_.SetStatusText(status_text::kIdle);
        NoteFailure(DownloadFailure::Cause::NotFirmware);
        ShowError("The file is not card printer firmware file.\n\nSelect another file.",
                  platform::MessageIcon::Exclamation, true);
        return false;
    }
    // The printer gets the file as it is now: a file cut, grown or rewritten during the download
    // changes nothing that is sent or summed.
    if (!ReadFirmwareImage(FirmwareStream, image_)) {
        FailWithFileError("read", fileName);
        return false;
    }
    return true;
}

void DownloadEngine::SendImage(std::int32_t fileSize) {
    std::uint16_t sequence = 0;
    const std::string ofSize = Formatted(fileSize);
    std::size_t readCount = 0;
    do {
        // Stop closes the file: never read from it afterwards.
        if (!FirmwareStream.IsOpen()) {
            NoteFailure(DownloadFailure::Cause::Stopped);
            StopFlag = true;
            return;
        }
        frame_ = sequence;
        std::memset(FTOutBuffer, 0, 65535);
        PutDataFrameHead(FTOutBuffer, sequence);
        const std::size_t offset = static_cast<std::size_t>(SentBytes);
        readCount = std::min(kDataPayloadSize, image_.bytes.size() - offset);
        if (readCount > 0) std::memcpy(FTOutBuffer + kDataPayloadOffset, image_.bytes.data() + offset, readCount);
        SentBytes += static_cast<std::int32_t>(readCount);
        CompleteDataFrame(FTOutBuffer);
        host_.SetProgressPosition(SentBytes);
        host_.SetStatusText("Status: Downloading( " + Formatted(SentBytes) + " / " + ofSize + " bytes )");
        if (!WriteDataFrame()) return;
        if (!WaitReply()) {
            StopFlag = true;
        } else {
            confirmedBytes_ = SentBytes;
        }
        ++sequence;
    } while (!StopFlag && readCount == kDataPayloadSize);
}

void DownloadEngine::RunDownload(const std::string& fileName) {
    if (!host_.FindPrinter()) {
        NoteFailure(DownloadFailure::Cause::NoPrinter);
        host_.DownloadFailed(failure_);
        return;
    }
    exchangeEnded_ = false;

    std::int32_t fileSize = 0;
    if (!FirmwareStream.Open(fileName)) {
        FailWithFileError("open", fileName);
    } else if (CheckFirmwareFile(fileName, fileSize)) {
        // Mode change.
        EnterStage(DownloadFailure::Stage::ModeChange);
        host_.StageEntered(DownloadStage::ModeChange);
        host_.SetStatusText(status_text::kModeChange);
        if (!WriteFrame(static_cast<std::uint32_t>(BuildModeChangeCommand(FTOutBuffer))) || !WaitReply())
            FailWithText();

        // Polling.
        if (!StopFlag) {
            Pause(kPollingPauseMs);
            if (!FirmwareStream.IsOpen()) {  // Stop pressed during the pause
                NoteFailure(DownloadFailure::Cause::Stopped);
                StopFlag = true;
            }
        }
        if (!StopFlag) {
            EnterStage(DownloadFailure::Stage::Polling);
            host_.StageEntered(DownloadStage::Polling);
            host_.SetStatusText(status_text::kPolling);
            if (!WriteFrame(static_cast<std::uint32_t>(BuildPollFrame(FTOutBuffer))) || !WaitReply()) FailWithText();
        }

        // Data.
        if (!StopFlag) {
            EnterStage(DownloadFailure::Stage::Data);
            host_.StageEntered(DownloadStage::Data);
            host_.SetStatusText(status_text::kDownloadNow);
            SendImage(fileSize);
        }

        // Write to memory.
        if (!StopFlag) {
            host_.SetStopEnabled(false);
            EnterStage(DownloadFailure::Stage::WriteToMemory);
            const bool written = WriteFrame(static_cast<std::uint32_t>(BuildWriteToMemoryFrame(FTOutBuffer)));
            host_.StageEntered(DownloadStage::WriteToMemory);
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
            EnterStage(DownloadFailure::Stage::Checksum);
            host_.StageEntered(DownloadStage::Checksum);
            host_.SetStatusText(status_text::kCheckSum);
            if (!FirmwareStream.IsOpen()) {
                FailWithFileError("read", fileName);
            } else if (!WriteFrame(static_cast<std::uint32_t>(BuildChecksumFrame(FTOutBuffer, image_.byteSum)))) {
                FailWithText();
            } else {
                WaitCountedReply(kChecksumTicks);
            }
            Stage.clear();
        }

        // Outcome.
        EndExchange();
        if (StopFlag) {
            host_.StageEntered(DownloadStage::Failed);
            host_.SetStatusText(status_text::kFailure);
        } else {
            host_.StageEntered(DownloadStage::Complete);
            host_.SetStatusText(status_text::kComplete);
            switch (host_.PlanDisplaySetUp()) {
                case DownloadHost::DisplaySetUpPlan::Run:
                    host_.Sleep(kCompleteSleepMs);
                    EnterStage(DownloadFailure::Stage::DisplaySetUp);
                    SetUpPrinterDisplay();
                    break;
                case DownloadHost::DisplaySetUpPlan::Stop:
                    EnterStage(DownloadFailure::Stage::DisplaySetUp);
                    NoteFailure(DownloadFailure::Cause::Stopped);
                    break;
                case DownloadHost::DisplaySetUpPlan::Skip: break;
            }
        }
    }

    EndExchange();
    CloseFirmwareFile();
    image_ = FirmwareImage{};  // the copy serves one download only
    CloseCardPrinter();
    if (failure_.Failed()) host_.DownloadFailed(failure_);
}

void DownloadEngine::EndExchange() {
    if (exchangeEnded_) return;
    exchangeEnded_ = true;
    host_.ExchangeEnded();
}
