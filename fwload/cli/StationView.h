// fwload-cli station's screen over the station model: a row per printer redrawn in place on a
// terminal, a line per event otherwise, or JSON events (the workers' own, with serial and location,
// and the station's). It shows; the model and the runner decide.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "StationModel.h"
#include "StationRecords.h"
#include "StationRunner.h"

class StationView : public StationRunner::Listener {
public:
    enum class Mode { Rows, Plain, Json };

    StationView(Mode mode, const StationModel& model, const StationJob& job,
                std::chrono::steady_clock::time_point start);

    // The station's first line: what it flashes.
    void Begin();
    // Redraws the rows when due (at most every 100 ms), or now when forced.
    void Draw(bool force, bool stopping);
    // The station's last line: the summary and the exit code.
    void End(const std::string& summary, int exitCode);
    // A warning on standard error (and an event in JSON).
    void Warn(const std::string& event, const std::string& text);

    void Noticed(const StationNotice& notice) override;
    void Started(std::size_t printer, int pid) override;
    void RunSaid(std::size_t printer, const nlohmann::json& line, const RunEvent& event) override;
    void Ended(std::size_t printer, const AttemptRecord& record) override;
    void RecordFailed(const std::string& problem) override;
    void HookFailed(const std::string& problem) override { Warn("hook-failed", problem); }

private:
    // A line about a printer: "SERIAL at PORT: text", or its JSON event. Lines are the plain mode's;
    // on a terminal only a lasting one is printed, above the rows.
    void Say(std::size_t printer, const std::string& text, const char* event, nlohmann::json fields = {},
             bool lasting = false);
    // Prints a line that stays: on a terminal the rows make way for it and are drawn again below it.
    void AboveRows(const std::function<void()>& print);
    void Emit(nlohmann::json event) const;
    std::string Row(const StationPrinter& printer, std::size_t serialWidth) const;
    long long SinceStart() const;

    const Mode mode_;
    const StationModel& model_;
    const StationJob& job_;
    const std::chrono::steady_clock::time_point start_;
    std::map<std::size_t, DownloadStage> stageShown_;  // the plain lines' last stage per printer
    int rowsDrawn_ = 0;
    bool stoppingShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// How an attempt ended, as a row and a line show it: "passed: complete (exit 0), 0:05".
std::string AttemptSummary(const AttemptRecord& record);
