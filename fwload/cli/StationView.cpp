// The station's rows, lines and JSON events.
#include "StationView.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "JsonText.h"
#include "LiveLine.h"
#include "SuiteVersion.h"
#include "Terminal.h"
#include "VisibleText.h"
#include "qvxStrUtils.h"

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

}  // namespace

std::string AttemptSummary(const AttemptRecord& record) {
    return (record.Passed() ? "passed: " : "failed: ") + record.outcome + " (exit " + std::to_string(record.exitCode) +
           "), " + MinutesSeconds(static_cast<double>(record.durationMs) / 1000.0);
}

StationView::StationView(Mode mode, const StationModel& model, const StationJob& job,
                         std::chrono::steady_clock::time_point start)
    : mode_(mode), model_(model), job_(job), start_(start) {}

long long StationView::SinceStart() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

void StationView::Emit(nlohmann::json event) const {
    std::printf("%s\n", JsonText(std::move(event)).c_str());
    std::fflush(stdout);
}

void StationView::Begin() {
    if (mode_ == Mode::Json) {
        Emit({{"event", "station"},
              {"t_ms", 0},
              {"file", job_.file},
              {"size", job_.size},
              {"sha256", job_.sha256},
              {"model", job_.model},
              {"station", job_.station},
              {"version", SUITE_VERSION}});
        return;
    }
    if (mode_ == Mode::Plain) {
        std::printf("Station: %s, %s bytes, byte sum 0x%04X, model %s; waiting for card printers\n",
                    VisibleText(job_.file).c_str(), FormatWithThousands(job_.size).c_str(),
                    static_cast<unsigned>(job_.byteSum), VisibleText(job_.model).c_str());
        std::fflush(stdout);
    }
}

void StationView::Say(std::size_t printer, const std::string& text, const char* event, nlohmann::json fields,
                      bool lasting) {
    const bool aboutOne = printer < model_.Printers().size();
    if (mode_ == Mode::Json) {
        nlohmann::json line{{"event", event}, {"t_ms", SinceStart()}};
        if (aboutOne) {
            line["serial"] = model_.Printers()[printer].serial;
            line["location"] = model_.Printers()[printer].location;
        }
        if (fields.is_object()) line.update(fields);
        Emit(std::move(line));
    } else if (mode_ == Mode::Plain || lasting) {
        const std::string line = aboutOne ? VisibleText(model_.Printers()[printer].serial) + " at " +
                                                model_.Printers()[printer].location + ": " + VisibleText(text)
                                          : "Station: " + VisibleText(text);
        AboveRows([&] { std::printf("%s\n", line.c_str()); });
    }
}

void StationView::AboveRows(const std::function<void()>& print) {
    const int rows = mode_ == Mode::Rows ? rowsDrawn_ : 0;
    if (rows > 0) std::printf("\x1b[%dA\r\x1b[J", rows);
    std::fflush(stdout);
    print();
    std::fflush(stdout);
    std::fflush(stderr);
    if (rows > 0) {
        rowsDrawn_ = 0;
        Draw(true, stoppingShown_);
    }
}

void StationView::Noticed(const StationNotice& notice) {
    using Kind = StationNotice::Kind;
    const bool plainWords =
        notice.kind == Kind::Attached || notice.kind == Kind::Removed || notice.kind == Kind::Restarting;
    // What the rows cannot show stays above them: how printers whose serials fail are told apart.
    const bool lasting =
        notice.kind == Kind::SharedSerial || notice.kind == Kind::NotAimable || notice.kind == Kind::NoSerial;
    Say(notice.printer, notice.text, NoticeId(notice.kind),
        plainWords ? nlohmann::json::object() : nlohmann::json{{"message", notice.text}}, lasting);
}

void StationView::Started(std::size_t printer, int pid) {
    stageShown_[printer] = DownloadStage::None;
    Say(printer, "started", "started", {{"pid", pid}});
}

void StationView::RunSaid(std::size_t printer, const nlohmann::json& line, const RunEvent& event) {
    if (mode_ == Mode::Json) {
        nlohmann::json tagged = line;
        tagged["serial"] = model_.Printers()[printer].serial;
        tagged["location"] = model_.Printers()[printer].location;
        Emit(std::move(tagged));
        return;
    }
    if (mode_ != Mode::Plain || event.kind == RunEvent::Kind::Outcome || event.stage == stageShown_[printer]) return;
    stageShown_[printer] = event.stage;
    Say(printer, DownloadStageId(event.stage), "stage");
}

void StationView::Ended(std::size_t printer, const AttemptRecord& record) {
    stageShown_.erase(printer);
    if (mode_ == Mode::Json) {
        nlohmann::json event{{"event", "ended"}, {"t_ms", SinceStart()}};
        event.update(RecordJson(job_, record));
        Emit(std::move(event));
    } else if (mode_ == Mode::Plain) {
        Say(printer, AttemptSummary(record) + ": " + record.message, "ended");
    }
}

void StationView::Warn(const std::string& event, const std::string& text) {
    AboveRows([&] { std::fprintf(stderr, "fwload-cli: %s\n", VisibleText(text).c_str()); });
    if (mode_ == Mode::Json) Emit({{"event", event}, {"t_ms", SinceStart()}, {"message", text}});
}

void StationView::RecordFailed(const std::string& problem) {
    Warn("record-failed", problem +
                              ": the record could not be kept, so no further printer is flashed; the runs "
                              "under way finish");
}

std::string StationView::Row(const StationPrinter& printer, std::size_t serialWidth) const {
    std::string head = printer.location;
    head.resize(std::max<std::size_t>(head.size(), 10), ' ');
    std::string serial = VisibleText(printer.serial);
    serial.resize(std::max(serial.size(), serialWidth), ' ');
    head += " " + serial + " ";
    const std::string last = printer.lastRecord ? AttemptSummary(model_.Records()[*printer.lastRecord]) : "";
    if (printer.run) {
        const PrinterRun& run = *printer.run;
        char stage[24];
        std::snprintf(stage, sizeof stage, "%-16s",
                      printer.state == PrinterState::Restarting ? "restarting" : DownloadStageId(run.stage));
        return head + std::string(stage) + ProgressBar(run.sent, run.total, 20) + " " + FormatWithThousands(run.sent) +
               " / " + FormatWithThousands(run.total) + "  " +
               MinutesSeconds(
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - run.started.steady).count());
    }
    switch (printer.state) {
        case PrinterState::Passed: return head + std::string("done, remove   ") + last;
        case PrinterState::Failed: return head + last + "; remove";
        case PrinterState::Restarting: return head + last + "; restarting";
        case PrinterState::DoneEarlier: return head + std::string("done earlier, remove");
        case PrinterState::SharedSerial: return head + std::string("not flashed: no port tells it apart");
        case PrinterState::Removed: return head + (last.empty() ? std::string("removed") : last + "; removed");
        case PrinterState::Waiting:
        case PrinterState::Running: break;
    }
    return head + std::string("waiting");
}

void StationView::Draw(bool force, bool stopping) {
    if (mode_ != Mode::Rows) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < kRedrawEvery) return;
    lastDraw_ = now;
    stoppingShown_ = stopping;
    const int columns = platform::TerminalColumns(stdout);
    std::string screen;
    if (rowsDrawn_ > 0) screen += "\x1b[" + std::to_string(rowsDrawn_) + "A";
    // The printers on the bus: one that left is in the records, and its row makes room.
    int rows = 0;
    // The serials' column is as wide as the widest shown, so that the stages stand in one column.
    std::size_t serialWidth = 14;
    for (const StationPrinter& printer : model_.Printers()) {
        if (printer.Present()) serialWidth = std::max(serialWidth, VisibleText(printer.serial).size());
    }
    for (const StationPrinter& printer : model_.Printers()) {
        if (!printer.Present()) continue;
        screen += LiveLine(true).Draw(Row(printer, serialWidth), columns) + "\n";
        ++rows;
    }
    const StationCounts counts = model_.Counts();
    screen +=
        LiveLine(true).Draw("passed " + std::to_string(counts.passed) + "   failed " + std::to_string(counts.failed) +
                                "   in progress " + std::to_string(counts.running) + (stopping ? "   stopping" : ""),
                            columns) +
        "\n";
    ++rows;
    if (rows < rowsDrawn_) screen += "\x1b[J";  // the lines of rows that went
    rowsDrawn_ = rows;
    std::fputs(screen.c_str(), stdout);
    std::fflush(stdout);
}

void StationView::End(const std::string& summary, int exitCode) {
    if (mode_ == Mode::Json) {
        const StationCounts counts = model_.Counts();
        Emit({{"event", "summary"},
              {"t_ms", SinceStart()},
              {"passed", counts.passed},
              {"failed", counts.failed},
              {"attempts", model_.Records().size()},
              {"exit_code", exitCode},
              {"message", summary}});
        return;
    }
    std::printf("Station: %s.\n", summary.c_str());
    std::fflush(stdout);
}
