// Terminal output of the download, Ctrl-C, and the bounded wait for the printer's restart.
#include "TerminalHost.h"

#include <csignal>

#include <algorithm>

#include "DownloadEngine.h"
#include "FailureText.h"
#include "FirmwareImage.h"
#include "JsonText.h"
#include "LinkTrace.h"
#include "Terminal.h"
#include "VisibleText.h"
#include "qvxStrUtils.h"

std::atomic<int> TerminalHost::interrupts_{0};
std::atomic<int> TerminalHost::lastSignal_{SIGINT};

namespace {

constexpr int kBarWidth = 30;
constexpr int kMinimumBarWidth = 10;
// A box's text on one line: its line breaks become blanks.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

TerminalHost::TerminalHost(OutputMode mode, std::FILE* out, std::FILE* err,
                           std::chrono::steady_clock::time_point started)
    : mode_(mode),
      out_(out),
      err_(err),
      liveLine_(mode == OutputMode::Terminal && platform::EnableTerminalEscapes(out)),
      start_(started) {
    // A terminal's download need not spin: many run side by side on a line PC.
    yieldAwaitingReplies = true;
}

void TerminalHost::Interrupt(int signal) {
    lastSignal_.store(signal);
    interrupts_.fetch_add(1);
}

long long TerminalHost::ElapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

double TerminalHost::ElapsedSeconds() const { return static_cast<double>(ElapsedMs()) / 1000.0; }

void TerminalHost::Event(const char* name, const nlohmann::json& fields) {
    RunEvent base;
    base.stage = stage_;
    Emit(EncodeRunEvent(base, name), fields);
}

void TerminalHost::Emit(nlohmann::json event, const nlohmann::json& fields) {
    event["t_ms"] = ElapsedMs();
    event.update(fields);
    std::fprintf(out_, "%s\n", JsonText(std::move(event)).c_str());
    std::fflush(out_);
}

void TerminalHost::EmitProgress(RunProgress::Bar bar, long long position, long long maximum) {
    RunEvent event;
    event.kind = RunEvent::Kind::Progress;
    event.stage = stage_;
    event.progress = {bar, position, maximum};
    Emit(EncodeRunEvent(event));
}

void TerminalHost::Line(const std::string& text) {
    EndLiveLine();
    std::fprintf(out_, "%s\n", VisibleText(text).c_str());
    std::fflush(out_);
}

void TerminalHost::DrawLiveLine(const std::string& text) {
    std::fputs(liveLine_.Draw(VisibleText(text), platform::TerminalColumns(out_)).c_str(), out_);
    std::fflush(out_);
    liveLineShown_ = true;
}

void TerminalHost::EndLiveLine() {
    if (!liveLineShown_) return;
    std::fputc('\n', out_);
    liveLine_.End();
    liveLineShown_ = false;
}

void TerminalHost::ShowMessage(const platform::MessageBoxRequest& request) {
    if (mode_ == OutputMode::Json) {
        Event("message", nlohmann::json{{"caption", request.caption}, {"text", request.text}});
    }
    EndLiveLine();
    std::fflush(out_);
    // The text may hold a file name as the user typed it: shown, never obeyed by the terminal.
    std::fprintf(err_, "%s: %s\n", request.caption.c_str(), VisibleText(OneLine(request.text)).c_str());
    std::fflush(err_);
}

void TerminalHost::Warn(const std::string& text) {
    EndLiveLine();
    std::fflush(out_);
    std::fprintf(err_, "fwload-cli: %s\n", VisibleText(text).c_str());
    std::fflush(err_);
}

void TerminalHost::Inform(const std::string& event, const std::string& text, const nlohmann::json& fields) {
    if (mode_ == OutputMode::Json) {
        Event(event.c_str(), fields);
    } else if (mode_ != OutputMode::Quiet) {
        Line(text);
    }
}

void TerminalHost::StageEntered(DownloadStage stage) {
    stage_ = stage;
    if (stage == DownloadStage::Complete) firmwareWritten_ = true;
    if (stage == DownloadStage::Data) {
        transferStart_ = std::chrono::steady_clock::now();
        transferStartBytes_ = engine() != nullptr ? engine()->SentBytes : 0;
        dataStatusShown_ = false;
    }
    if (stage == DownloadStage::DisplaySetUp) {
        restartStart_ = std::chrono::steady_clock::now();
        restartSecondsShown_ = -1;
    }
    if (mode_ == OutputMode::Json) {
        RunEvent event;
        event.kind = RunEvent::Kind::Stage;
        event.stage = stage;
        Emit(EncodeRunEvent(event));
    }
    // The data stage is over: the whole file is handled, so the transfer bar ends at its maximum.
    if (stage == DownloadStage::WriteToMemory && transferShown_) {
        transferShown_ = false;
        if (mode_ == OutputMode::Json) {
            EmitProgress(RunProgress::Bar::Transfer, ProgressMaximum(), ProgressMaximum());
        } else if (mode_ != OutputMode::Quiet) {
            DrawTransferLine(ProgressMaximum());
        }
    }
}

void TerminalHost::StatusChanged(const std::string& text) {
    NoteInLinkTrace(text);
    // Before the first stage the status line is only being cleared: nothing to tell.
    if (stage_ == DownloadStage::None) return;
    switch (mode_) {
        case OutputMode::Quiet: return;
        case OutputMode::Json: Event("status", nlohmann::json{{"text", text}}); return;
        case OutputMode::Plain:
        case OutputMode::Terminal: break;
    }
    // In the data stage the first text says it began; every later one counts bytes, which the
    // transfer line shows instead.
    if (stage_ == DownloadStage::Data && dataStatusShown_) {
        DrawTransferLine(ProgressPosition());
        return;
    }
    if (stage_ == DownloadStage::Data) dataStatusShown_ = true;
    if (mode_ == OutputMode::Plain && !pendingPlainProgress_.empty()) {
        // The data stage is over: its last count, unless it was just printed.
        Line(pendingPlainProgress_);
        pendingPlainProgress_.clear();
    }
    if (text != lastPrinted_) Line(text);
    lastPrinted_ = text;
}

void TerminalHost::ProgressChanged(int position, int maximum) {
    const bool ticks = stage_ == DownloadStage::WriteToMemory || stage_ == DownloadStage::Checksum;
    if (stage_ == DownloadStage::Data) transferShown_ = true;
    // Outside the stages that count on the bar it is only being reset: nothing to tell.
    if (stage_ != DownloadStage::Data && !ticks) return;
    if (mode_ == OutputMode::Json) {
        const RunProgress::Bar bar = stage_ == DownloadStage::WriteToMemory ? RunProgress::Bar::WriteToMemory
                                     : stage_ == DownloadStage::Checksum    ? RunProgress::Bar::Checksum
                                                                            : RunProgress::Bar::Transfer;
        EmitProgress(bar, position, maximum);
        return;
    }
    if (mode_ == OutputMode::Terminal && ticks && position > 0) DrawTickLine();
}

void TerminalHost::DrawTransferLine(int sent) {
    // Bytes against the whole file, as the window's status line counts them; the bar is drawn at
    // its end once the data stage is over.
    const int total = ProgressMaximum();
    const int percent = total > 0 ? static_cast<int>(100LL * std::min(sent, total) / total) : 100;
    const std::string counts =
        FormatWithThousands(sent) + " / " + FormatWithThousands(total) + " bytes " + std::to_string(percent) + "%";
    if (mode_ == OutputMode::Plain) {
        // Off a terminal: a line at most every 10 % and every second, whichever is rarer.
        const auto now = std::chrono::steady_clock::now();
        pendingPlainProgress_ = "Downloading: " + counts;
        if (percent - lastPlainPercent_ >= 10 && now - lastPlainProgress_ >= std::chrono::seconds(1)) {
            Line(pendingPlainProgress_);
            pendingPlainProgress_.clear();
            lastPlainPercent_ = percent;
            lastPlainProgress_ = now;
        }
        return;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - transferStart_).count();
    const double rate = elapsed > 0 ? (sent - transferStartBytes_) / elapsed : 0;
    std::string tail;
    // The first frames say little about the rate; wait for half a second of them.
    if (rate > 0 && elapsed >= 0.5) {
        char speed[32];
        std::snprintf(speed, sizeof speed, "  %.1f KiB/s", rate / 1024.0);
        if (sent < total) tail = speed + ("  " + MinutesSeconds((total - sent) / rate) + " left");
    }
    const int columns = platform::TerminalColumns(out_);
    int width = kBarWidth;
    if (columns > 0) {
        const int room = columns - 1 - static_cast<int>(counts.size() + tail.size()) - 3;
        if (room < kMinimumBarWidth) tail.clear();
        width =
            std::clamp(columns - 1 - static_cast<int>(counts.size() + tail.size()) - 3, kMinimumBarWidth, kBarWidth);
    }
    DrawLiveLine(ProgressBar(sent, total, width) + " " + counts + tail);
}

void TerminalHost::DrawTickLine() {
    const std::string what = stage_ == DownloadStage::WriteToMemory ? "writing to memory" : "checking the sum";
    DrawLiveLine(ProgressBar(ProgressPosition(), ProgressMaximum(), kMinimumBarWidth) + " " +
                 std::to_string(ProgressPosition()) + " / " + std::to_string(ProgressMaximum()) + "  " + what +
                 ", please wait");
}

void TerminalHost::WatchRestart() {
    // The printer's restart is waited for while the set-up's polling may still be stopped.
    if (stage_ != DownloadStage::DisplaySetUp || !StopEnabled()) return;
    const long long seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - restartStart_).count();
    if (seconds >= restartTimeoutSeconds) {
        restartTimedOut_ = true;
        if (engine() != nullptr) engine()->BtnCancelClick();
        return;
    }
    if (seconds == restartSecondsShown_) return;
    restartSecondsShown_ = seconds;
    const std::string text = "Waiting for the printer to restart: " + std::to_string(seconds) + " s of at most " +
                             std::to_string(restartTimeoutSeconds) + " s";
    switch (mode_) {
        case OutputMode::Terminal: DrawLiveLine(text); break;
        case OutputMode::Plain:
            if (seconds > 0 && seconds % 10 == 0) Line(text);
            break;
        case OutputMode::Json: EmitProgress(RunProgress::Bar::Restart, seconds, restartTimeoutSeconds); break;
        case OutputMode::Quiet: break;
    }
}

void TerminalHost::PollInput() {
    WatchRestart();
    const int interrupts = interrupts_.load();
    if (interrupts == interruptsSeen_) return;
    interruptsSeen_ = interrupts;
    if (StopEnabled()) {
        if (!stopRequested_) {
            stopRequested_ = true;
            if (mode_ != OutputMode::Quiet && mode_ != OutputMode::Json) Line("Stopping...");
            if (engine() != nullptr) engine()->BtnCancelClick();
        }
        return;
    }
    // Like the window's Stop button, which is disabled now: the printer must finish this step. The
    // stop is kept for the first moment the download may end.
    if (stopKept_) return;
    stopKept_ = true;
    Warn(
        "the printer is writing its memory and must not be interrupted now; the run will stop as soon as the "
        "firmware is written.");
}

DownloadHost::DisplaySetUpPlan TerminalHost::PlanDisplaySetUp() {
    PollInput();  // a stop that came during the last wait
    if (stopKept_) return DisplaySetUpPlan::Stop;
    if (skipDisplaySetUp) return DisplaySetUpPlan::Skip;
    if (refuseDisplaySetUp) displaySetUpRefused_ = refuseDisplaySetUp();
    return displaySetUpRefused_.empty() ? DisplaySetUpPlan::Run : DisplaySetUpPlan::Skip;
}

void TerminalHost::Finish(const std::string& outcome, const std::string& description, int exitCode) {
    if (mode_ == OutputMode::Json) {
        RunEvent event;
        event.kind = RunEvent::Kind::Outcome;
        event.stage = stage_;
        event.outcome = {outcome, exitCode, description, failure_.Failed() ? DescribeFailure(failure_) : "",
                         firmwareWritten_};
        nlohmann::json fields{{"status", Status()}, {"elapsed_ms", ElapsedMs()}};
        if (failure_.Failed()) {
            fields["stage"] = StageId(failure_.stage);
            fields["cause"] = CauseId(failure_.cause);
            fields["frame"] = failure_.frame >= 0 ? nlohmann::json(failure_.frame) : nlohmann::json(nullptr);
            fields["result_code"] =
                failure_.resultCode >= 0 ? nlohmann::json(failure_.resultCode) : nlohmann::json(nullptr);
            fields["bytes_sent"] = failure_.bytesSent;
            fields["file_size"] = failure_.fileSize;
            if (failure_.cause == DownloadFailure::Cause::DeviceError) fields["d2xx_status"] = failure_.d2xxStatus;
        }
        fields.update(outcomeExtras);
        Emit(EncodeRunEvent(event), fields);
        return;
    }
    Line(description + " Took " + MinutesSeconds(ElapsedSeconds()) + ".");
}
