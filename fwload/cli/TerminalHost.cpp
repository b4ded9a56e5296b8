// Terminal output of the download and the handling of Ctrl-C.
#include "TerminalHost.h"

#include <nlohmann/json.hpp>

#include "DownloadEngine.h"
#include "LinkTrace.h"
#include "qvxStrUtils.h"

std::atomic<int> TerminalHost::interrupts_{0};

namespace {

constexpr int kBarWidth = 30;
constexpr char kDownloadingPrefix[] = "Status: Downloading(";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string Bar(int position, int maximum) {
    const int filled = maximum > 0 ? static_cast<int>(static_cast<long long>(kBarWidth) * std::min(position, maximum) / maximum) : 0;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') + std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]";
}

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

std::string Duration(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace

TerminalHost::TerminalHost(OutputMode mode, std::FILE* out, std::FILE* err) : mode_(mode), out_(out), err_(err) {}

void TerminalHost::Interrupt() { interrupts_.fetch_add(1); }

void TerminalHost::Event(const std::string& json) {
    std::fprintf(out_, "%s\n", json.c_str());
    std::fflush(out_);
}

void TerminalHost::Line(const std::string& text) {
    EndLiveLine();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void TerminalHost::EndLiveLine() {
    if (!liveLine_) return;
    std::fputc('\n', out_);
    liveLine_ = false;
}

void TerminalHost::ShowMessage(const platform::MessageBoxRequest& request) {
    if (mode_ == OutputMode::Json) {
        Event(nlohmann::json{{"event", "message"}, {"caption", request.caption}, {"text", request.text}}.dump());
    }
    EndLiveLine();
    std::fflush(out_);
    std::fprintf(err_, "%s: %s\n", request.caption.c_str(), OneLine(request.text).c_str());
    std::fflush(err_);
}

void TerminalHost::StatusChanged(const std::string& text) {
    NoteInLinkTrace(text);
    switch (mode_) {
        case OutputMode::Quiet:
            return;
        case OutputMode::Json:
            Event(nlohmann::json{{"event", "status"}, {"text", text}}.dump());
            return;
        case OutputMode::Plain:
            if (text != lastPrinted_) Line(text);
            lastPrinted_ = text;
            return;
        case OutputMode::Terminal:
            break;
    }
    if (text == status_text::kDownloadNow) {
        transferStart_ = std::chrono::steady_clock::now();
        transferStartBytes_ = engine() != nullptr ? engine()->SentBytes : 0;
    }
    if (StartsWith(text, kDownloadingPrefix)) {
        DrawTransferLine();
        return;
    }
    if (text != lastPrinted_) Line(text);
    lastPrinted_ = text;
}

void TerminalHost::ProgressChanged(int position, int maximum) {
    if (mode_ == OutputMode::Json) {
        Event(nlohmann::json{{"event", "progress"}, {"position", position}, {"maximum", maximum}}.dump());
        return;
    }
    if (mode_ != OutputMode::Terminal) return;
    const std::string& status = Status();
    if ((status == status_text::kWriteToMemory || status == status_text::kCheckSum) && position > 0) DrawTickLine();
}

void TerminalHost::DrawTransferLine() {
    const int sent = ProgressPosition();
    const int total = ProgressMaximum();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - transferStart_).count();
    const double rate = elapsed > 0 ? (sent - transferStartBytes_) / elapsed : 0;
    std::string line = "\r" + Bar(sent, total) + " " + FormatWithThousands(sent) + " / " + FormatWithThousands(total) +
                       " bytes " + std::to_string(total > 0 ? static_cast<int>(100LL * sent / total) : 0) + "%";
    // The first frames say little about the rate; wait for half a second of them.
    if (rate > 0 && elapsed >= 0.5) {
        char speed[32];
        std::snprintf(speed, sizeof speed, "  %.1f KiB/s", rate / 1024.0);
        line += speed;
        line += "  " + Duration((total - sent) / rate) + " left";
    }
    std::fprintf(out_, "%s\x1b[K", line.c_str());
    std::fflush(out_);
    liveLine_ = true;
}

void TerminalHost::DrawTickLine() {
    const std::string what = Status() == status_text::kWriteToMemory ? "writing to memory" : "checking the sum";
    std::fprintf(out_, "\r%s %d / %d  %s, please wait\x1b[K", Bar(ProgressPosition(), ProgressMaximum()).c_str(),
                 ProgressPosition(), ProgressMaximum(), what.c_str());
    std::fflush(out_);
    liveLine_ = true;
}

void TerminalHost::PollInput() {
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
    // Like the window's Stop button, which is disabled now: the printer must finish this step.
    EndLiveLine();
    std::fprintf(err_, "fwload-cli: the printer is writing its memory and must not be interrupted now; the download goes on.\n");
    std::fflush(err_);
}

void TerminalHost::Finish(const std::string& outcome, const std::string& description, int exitCode) {
    if (mode_ == OutputMode::Json) {
        Event(nlohmann::json{{"event", "outcome"}, {"outcome", outcome}, {"status", Status()}, {"exit_code", exitCode}}.dump());
        return;
    }
    Line(description);
}
