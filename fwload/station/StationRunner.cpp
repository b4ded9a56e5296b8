// Listing, workers, pipes and stops.
#include "StationRunner.h"

#include <algorithm>

#include "ChildProcess.h"
#include "D2xxDevices.h"
#include "LocationId.h"

namespace {

constexpr auto kListEvery = std::chrono::milliseconds(250);

}  // namespace

struct StationRunner::Worker {
    platform::ChildProcess process;
    std::string pending;  // output not yet a whole line
    bool outputEnded = false;
    std::optional<RunOutcome> outcome;  // the run's outcome event, once it came
};

std::vector<std::string> WorkerArguments(const WorkerSetup& setup, const StationPrinter& printer) {
    std::vector<std::string> arguments{"--json",
                                       "-m",
                                       setup.model,
                                       "--ini",
                                       setup.ini,
                                       "--restart-timeout",
                                       std::to_string(setup.restartTimeout),
                                       "--sha256",
                                       setup.sha256};
    if (printer.knownByPort) {
        arguments.insert(arguments.end(), {"--location", printer.location});
    } else {
        arguments.insert(arguments.end(), {"--serial", printer.serial});
    }
    if (setup.fast) arguments.push_back("--fast");
    arguments.push_back(setup.displaySetUp ? "--display-setup-alone" : "--no-display-setup");
    arguments.push_back(setup.firmware);
    return arguments;
}

StationRunner::StationRunner(StationModel& model, WorkerSetup setup, std::vector<std::uint32_t> ports, StationLog& log,
                             const StationJob& job, EndHooks& hooks, Listener& listener)
    : model_(model),
      setup_(std::move(setup)),
      ports_(std::move(ports)),
      log_(log),
      job_(job),
      hooks_(hooks),
      listener_(listener) {}

std::size_t StationRunner::HooksRunning() const { return hooks_.Running(); }

StationRunner::~StationRunner() = default;

void StationRunner::ForwardNotices() {
    for (const StationNotice& notice : model_.TakeNotices()) listener_.Noticed(notice);
}

void StationRunner::List(const StationTime& now) {
    std::vector<D2xxDevice> devices;
    // A list that cannot be taken tells nothing about who left.
    if (!ListD2xxDevices(devices)) return;
    std::vector<BusPrinter> attached;
    for (const D2xxDevice& device : CardPrinters(devices)) {
        if (!ports_.empty() && std::find(ports_.begin(), ports_.end(), device.locationId) == ports_.end()) continue;
        attached.push_back({device.serial, device.locationId != 0 ? d2xx::LocationText(device.locationId) : ""});
    }
    model_.SeeBus(attached, now);
}

void StationRunner::Poll(const StationTime& now) {
    if (now.steady >= nextList_) {
        List(now);
        nextList_ = now.steady + kListEvery;
    }
    model_.Tick(now);
    ForwardNotices();
    for (std::size_t printer : model_.StartDue(now)) Start(printer, now);
    // A worker's end erases it: walk a copy of the printers that have one.
    std::vector<std::size_t> running;
    for (const auto& entry : workers_) running.push_back(entry.first);
    for (std::size_t printer : running) Collect(printer, *workers_.at(printer), now);
    for (const std::string& failure : hooks_.Poll(now.steady)) listener_.HookFailed(failure);
    ForwardNotices();
}

void StationRunner::Start(std::size_t printer, const StationTime& now) {
    auto worker = std::make_unique<Worker>();
    if (!worker->process.Start(setup_.program, WorkerArguments(setup_, model_.Printers()[printer]))) {
        End(printer,
            {"worker-died", kExitFailed, "The worker process could not be started (" + setup_.program + ").", "",
             false},
            now);
        return;
    }
    listener_.Started(printer, worker->process.Id());
    workers_[printer] = std::move(worker);
}

void StationRunner::Collect(std::size_t printer, Worker& worker, const StationTime& now) {
    if (!worker.outputEnded) worker.outputEnded = !worker.process.Read(worker.pending);
    for (std::size_t end; (end = worker.pending.find('\n')) != std::string::npos;) {
        std::string line = worker.pending.substr(0, end);
        worker.pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        const std::optional<RunEvent> event = DecodeRunEvent(object);
        if (!event) continue;
        model_.RunSaid(printer, *event);
        if (event->kind == RunEvent::Kind::Outcome) worker.outcome = event->outcome;
        listener_.RunSaid(printer, object, *event);
    }
    int exitCode = 0;
    int signal = 0;
    if (!worker.outputEnded || !worker.process.Ended(exitCode, signal)) return;
    RunOutcome outcome;
    if (worker.outcome) {
        outcome = *worker.outcome;
    } else {
        outcome = {"worker-died", exitCode,
                   signal != 0 ? "The worker process was ended by signal " + std::to_string(signal) + "."
                               : "The worker process ended without an outcome (exit " + std::to_string(exitCode) + ").",
                   "", false};
    }
    workers_.erase(printer);
    End(printer, outcome, now);
}

void StationRunner::End(std::size_t printer, const RunOutcome& outcome, const StationTime& now) {
    const AttemptRecord& record = model_.RunEnded(printer, outcome, now);
    // On disk before anyone is told: what a screen showed as done is never lost to a power cut.
    std::string problem;
    if (log_.IsOpen() && recordProblem_.empty() && !log_.Append(job_, record, problem)) {
        recordProblem_ = problem;
        model_.StopStarting();
        listener_.RecordFailed(problem);
    }
    listener_.Ended(printer, record);
    if (hooks_.Enabled()) {
        const std::string failure = hooks_.Start(job_, record, now.steady);
        if (!failure.empty()) listener_.HookFailed(failure);
    }
}

void StationRunner::Wait(int milliseconds, const StationTime& now) const {
    const auto untilList = std::chrono::duration_cast<std::chrono::milliseconds>(nextList_ - now.steady).count();
    std::vector<platform::ChildProcess*> children;
    for (const auto& entry : workers_) {
        if (!entry.second->outputEnded) children.push_back(&entry.second->process);
    }
    platform::WaitForOutput(children, static_cast<int>(std::clamp<long long>(untilList, 1, std::max(1, milliseconds))));
}

void StationRunner::StopAll(int signal) {
    stopping_ = true;
    model_.StopStarting();
    for (auto& entry : workers_) entry.second->process.Stop(signal);
}
