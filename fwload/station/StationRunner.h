// The station's hands: it lists the bus, starts a worker process (fwload-cli --json aimed at one
// printer) for each run the model starts, reads the workers' output, keeps each record on disk and
// asks the workers to stop. Offered as a poll that never blocks, which a terminal's loop calls as a
// window's timer will; the model hears of everything, a listener (the view) of what to show.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "EndHooks.h"
#include "StationModel.h"
#include "StationRecords.h"

namespace platform {
class ChildProcess;
}

// How each worker is started: fwload-cli with the station's model, settings, firmware and mode.
struct WorkerSetup {
    std::string program;  // the fwload-cli to run
    std::string firmware;
    std::string model;
    std::string ini;
    std::string sha256;  // every worker is pinned to the file the station checked
    unsigned restartTimeout = 120;
    bool fast = false;
    bool displaySetUp = false;
};

// The worker's command line for a printer: aimed by its serial number, or by its port when that is
// what tells it apart.
std::vector<std::string> WorkerArguments(const WorkerSetup& setup, const StationPrinter& printer);

class StationRunner {
public:
    // What a view hears, in the order it happened; every call is made from Poll.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void Noticed(const StationNotice& /*notice*/) {}
        virtual void Started(std::size_t /*printer*/, int /*pid*/) {}
        // A line of the printer's run, and what it said.
        virtual void RunSaid(std::size_t /*printer*/, const nlohmann::json& /*line*/, const RunEvent& /*event*/) {}
        // The attempt ended; its record is on disk when there is a log.
        virtual void Ended(std::size_t /*printer*/, const AttemptRecord& /*record*/) {}
        // The record could not be kept: no attempt starts from now on.
        virtual void RecordFailed(const std::string& /*problem*/) {}
        // The --on-end command failed (the station goes on).
        virtual void HookFailed(const std::string& /*problem*/) {}
    };

    // ports: only the card printers on these ports (none: every one). log: where records go (may be
    // closed: no log). hooks: run after each record (may have no command). The model, log, job,
    // hooks and listener must outlive the runner.
    StationRunner(StationModel& model, WorkerSetup setup, std::vector<std::uint32_t> ports, StationLog& log,
                  const StationJob& job, EndHooks& hooks, Listener& listener);
    ~StationRunner();  // a worker still running is left to end on its own
    StationRunner(const StationRunner&) = delete;
    StationRunner& operator=(const StationRunner&) = delete;

    // Lists the bus when it is due (every 250 ms), starts the runs the model starts, reads what the
    // workers said and ends the runs whose workers ended. Never blocks.
    void Poll(const StationTime& now);
    // Waits until a worker has output or the time is up (at most until the next listing).
    void Wait(int milliseconds, const StationTime& now) const;
    // Asks every worker to stop as a single run stops (the signal's way); no run starts from now on.
    void StopAll(int signal);
    bool Stopping() const { return stopping_; }
    // Why a record could not be kept on disk; empty while every one was.
    const std::string& RecordProblem() const { return recordProblem_; }
    // --on-end commands still at work (a station ends once they have, or their time is up).
    std::size_t HooksRunning() const;

private:
    struct Worker;
    void List(const StationTime& now);
    void Start(std::size_t printer, const StationTime& now);
    void Collect(std::size_t printer, Worker& worker, const StationTime& now);
    void End(std::size_t printer, const RunOutcome& outcome, const StationTime& now);
    void ForwardNotices();

    StationModel& model_;
    const WorkerSetup setup_;
    const std::vector<std::uint32_t> ports_;
    StationLog& log_;
    const StationJob& job_;
    EndHooks& hooks_;
    Listener& listener_;
    std::map<std::size_t, std::unique_ptr<Worker>> workers_;  // by printer
    std::chrono::steady_clock::time_point nextList_{};
    bool stopping_ = false;
    std::string recordProblem_;
};
