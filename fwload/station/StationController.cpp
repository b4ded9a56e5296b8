// The station window's behaviour, apart from its views.
#include "StationController.h"

#include <csignal>

#include "D2XX_Dyn.h"
#include "D2xxDevices.h"
#include "Durations.h"
#include "Terminal.h"
#include "VisibleText.h"
#include "qvxStrUtils.h"

namespace {

StationTime Now() { return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()}; }

// What a device or a file hands us, as a window may show it (UTF-8).
std::string Shown(const std::string& system) { return VisibleText(platform::SystemTextToUtf8(system)); }

}  // namespace

StationController::StationController(std::string workerProgram) : workerProgram_(std::move(workerProgram)) {}

StationController::~StationController() {
    // Runs still under way go on to their end in their own processes; their records are theirs.
    if (runner_ != nullptr) UnloadD2XXLibrary();
}

void StationController::Say(const std::string& line) {
    if (onEvent) onEvent(line);
}

std::string StationController::Start(const StationOptions& options) {
    if (runner_ != nullptr) return "";
    options_ = options;
    if (const std::optional<std::string> problem = CheckStationOptions(options_)) return *problem;
    auto log = std::make_unique<StationLog>();
    std::string problem;
    int exitCode = 0;
    nlohmann::json fields;
    std::optional<StationStart> prepared = PrepareStation(options_, workerProgram_, *log, problem, exitCode, fields);
    if (!prepared) return problem;
    if (!LoadD2XXLibrary()) return DriverMissingText();
    log_ = std::move(log);
    start_ = std::make_unique<StationStart>(std::move(*prepared));
    station_ = std::make_unique<StationModel>(start_->rules, start_->memory.passed);
    station_->ExpectPorts(options_.locations);
    hooks_ = std::make_unique<EndHooks>(options_.onEnd, std::chrono::seconds(options_.onEndTimeout));
    StationRunner::Listener& listener = *this;
    runner_ = std::make_unique<StationRunner>(*station_, start_->setup, options_.locationIds, *log_, start_->job,
                                              *hooks_, listener);
    for (const std::string& line : start_->memory.problems) Say(Shown(line));
    if (!start_->memory.passed.empty()) {
        Say("The log remembers " + std::to_string(start_->memory.passed.size()) +
            " printers that passed with this firmware.");
    }
    finished_ = false;
    closing_ = false;
    started_ = std::chrono::steady_clock::now();
    Poll();
    return "";
}

void StationController::Poll() {
    if (runner_ == nullptr || finished_) return;
    const StationTime now = Now();
    runner_->Poll(now);
    tiles_ = StationTiles(*station_, now.steady);
    if (station_->Finished() && runner_->HooksRunning() == 0) Finish();
}

void StationController::Finish() {
    finished_ = true;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    for (const std::string& problem : WriteStationReports(options_, start_->job, *station_, seconds))
        Say(Shown(problem));
    const StationCounts counts = station_->Counts();
    Say("Done: " + std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed" +
        (runner_->Stopping()                 ? "; stopped by hand"
         : !runner_->RecordProblem().empty() ? "; a record could not be kept"
                                             : "") +
        ".");
}

std::string StationController::Tally() const {
    if (station_ == nullptr) return "";
    const StationTally tally = ::Tally(*station_, std::chrono::system_clock::now());
    return TallyText(tally) + (runner_->Stopping() && tally.running > 0 ? "   stopping" : "");
}

std::string StationController::JobLine() const {
    if (start_ == nullptr) return "";
    const StationJob& job = start_->job;
    return Shown(job.model) + "     " + Shown(job.file) + "     " + FormatWithThousands(job.size) +
           " bytes     byte sum " + Hex4(job.byteSum) + "     " + job.mode +
           (job.operatorName.empty() ? "" : "     operator " + Shown(job.operatorName));
}

std::string StationController::Sha256() const { return start_ == nullptr ? "" : "SHA-256 " + start_->job.sha256; }

std::string StationController::ShortSha256() const {
    return start_ == nullptr ? "" : "SHA-256 " + start_->job.sha256.substr(0, 16) + "\u2026";
}

bool StationController::CanRetry(int tile) const {
    return station_ != nullptr && !finished_ && tile >= 0 && tile < static_cast<int>(tiles_.size()) &&
           tiles_[static_cast<std::size_t>(tile)].retryable && station_->Starting();
}

void StationController::Retry(int tile) {
    if (!CanRetry(tile)) return;
    const StationTile& chosen = tiles_[static_cast<std::size_t>(tile)];
    if (!chosen.printer || !station_->Retry(*chosen.printer)) return;
    Say("Retry: " + chosen.serial + " at " + chosen.location);
    Poll();
}

bool StationController::CanStopAll() const { return runner_ != nullptr && !finished_ && !runner_->Stopping(); }

void StationController::StopAll() {
    if (!CanStopAll()) return;
    Say("Stop all: every run stops as soon as it may (the write to memory first).");
    runner_->StopAll(SIGINT);
    Poll();
}

bool StationController::CanChangeJob() const {
    return runner_ != nullptr && station_->Counts().running == 0 && runner_->HooksRunning() == 0;
}

void StationController::ChangeJob() {
    if (!CanChangeJob()) return;
    if (!finished_) {
        runner_->StopAll(SIGINT);
        Finish();
    }
    runner_.reset();
    hooks_.reset();
    station_.reset();
    start_.reset();
    log_.reset();
    tiles_.clear();
    UnloadD2XXLibrary();
}

StationController::Closing StationController::CloseRequested() {
    if (runner_ == nullptr || finished_) return Closing::Close;
    if (closing_) return Closing::Wait;  // it closes once the runs under way have ended
    if (station_->Counts().running > 0) return Closing::Ask;
    // Nothing runs: the station ends at once (its reports written), and so does the window.
    closing_ = true;
    runner_->StopAll(SIGINT);
    Poll();
    return finished_ ? Closing::Close : Closing::Wait;
}

std::string StationController::CloseQuestion() const {
    const std::size_t running = station_ != nullptr ? station_->Counts().running : 0;
    return running == 1 ? "Stop 1 download and close?" : "Stop " + std::to_string(running) + " downloads and close?";
}

void StationController::CloseConfirmed() {
    closing_ = true;
    StopAll();
}

void StationController::Noticed(const StationNotice& notice) {
    using Kind = StationNotice::Kind;
    // The tiles show these.
    if (notice.kind == Kind::Attached || notice.kind == Kind::Removed || notice.kind == Kind::Restarting ||
        notice.kind == Kind::Restarted) {
        return;
    }
    const bool aboutOne = notice.printer < station_->Printers().size();
    const std::string who = aboutOne ? Shown(station_->Printers()[notice.printer].serial) + " at " +
                                           station_->Printers()[notice.printer].location + ": "
                                     : "";
    Say(who + Shown(notice.text));
}

void StationController::Ended(std::size_t printer, const AttemptRecord& record) {
    const StationPrinter& which = station_->Printers()[printer];
    Say(Shown(which.serial) + " at " + which.location + ": " + (record.Passed() ? "passed" : "failed") + ", " +
        MinutesSeconds(static_cast<double>(record.durationMs) / 1000.0) + ": " + Shown(record.message));
}

void StationController::RecordFailed(const std::string& problem) {
    Say(Shown(problem) + ": the record could not be kept, so no further printer is flashed");
}

void StationController::HookFailed(const std::string& problem) { Say(Shown(problem)); }
