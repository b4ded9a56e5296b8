// What the station window does, for both of its views (Qt and Win32): it starts a station from
// the options, polls its runner from the window's timer, and answers the window's clicks (Retry,
// Stop all, Change job, closing) from the model. The views only show what it says and forward
// what the operator does.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EndHooks.h"
#include "StationOptions.h"
#include "StationRunner.h"
#include "StationStart.h"
#include "StationTiles.h"

inline constexpr char kStationCaption[] = "Card Printer Flashing Station";

class StationController : private StationRunner::Listener {
public:
    // workerProgram: the fwload-cli that flashes each printer.
    explicit StationController(std::string workerProgram);
    ~StationController() override;
    StationController(const StationController&) = delete;
    StationController& operator=(const StationController&) = delete;

    // A line for the window's event list, UTF-8 and safe to show, as things happen.
    std::function<void(const std::string&)> onEvent;

    // Starts the station; empty when it runs, else the sentence for an error box.
    std::string Start(const StationOptions& options);
    bool Started() const { return runner_ != nullptr; }
    // The runner's poll and what to show from it; the window's timer calls it.
    void Poll();
    bool Finished() const { return finished_; }

    const std::vector<StationTile>& Tiles() const { return tiles_; }
    std::string Tally() const;    // "passed 7   failed 1   running 2   yield 88 %   41 per hour"
    std::string JobLine() const;  // the model, the file, its size and byte sum, the mode, the operator
    std::string Sha256() const;   // whole
    std::string ShortSha256() const;

    bool CanRetry(int tile) const;
    void Retry(int tile);
    bool CanStopAll() const;
    void StopAll();
    bool CanChangeJob() const;
    // Ends the station (its reports written) so that another job can be set up.
    void ChangeJob();

    // A close request: Close at once, Ask the question first, or Wait for the runs to end.
    enum class Closing { Close, Ask, Wait };
    Closing CloseRequested();
    std::string CloseQuestion() const;  // "Stop 2 downloads and close?"
    // The question was answered Yes: every run stops, and the window may close once ShouldClose.
    void CloseConfirmed();
    bool ShouldClose() const { return closing_ && finished_; }

    const StationModel* Model() const { return station_.get(); }

private:
    void Noticed(const StationNotice& notice) override;
    void Ended(std::size_t printer, const AttemptRecord& record) override;
    void RecordFailed(const std::string& problem) override;
    void HookFailed(const std::string& problem) override;
    void Say(const std::string& line);
    void Finish();

    const std::string workerProgram_;
    StationOptions options_;
    std::chrono::steady_clock::time_point started_{};
    std::vector<StationTile> tiles_;
    bool finished_ = false;
    bool closing_ = false;
    std::unique_ptr<StationLog> log_;
    std::unique_ptr<EndHooks> hooks_;
    std::unique_ptr<StationStart> start_;
    std::unique_ptr<StationModel> station_;
    std::unique_ptr<StationRunner> runner_;
};
