// What a flashing station knows, apart from any screen: every card printer it has seen, each in one
// state; the once-per-printer ledger; the one rule that starts a run; the restart that follows a
// written firmware; and the record of every attempt. It does no I/O and reads no clock: the runner
// tells it what the bus shows, what each run says and what time it is, and views draw it.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "RunEvents.h"

// A moment as both clocks tell it: the steady one for durations and deadlines, the wall clock for
// the records.
struct StationTime {
    std::chrono::steady_clock::time_point steady;
    std::chrono::system_clock::time_point wall;
};

struct StationRules {
    bool again = false;     // a printer that passed is flashed again once it is plugged in again
    unsigned parallel = 0;  // at most this many runs at once; 0: no cap
    unsigned count = 0;     // no attempt starts once this many have; 0: no end
    std::chrono::seconds restartTimeout{120};
    long long fileSize = 0;  // what a run's transfer counts up to, before the run says so itself
};

// A card printer as one listing of the bus shows it.
struct BusPrinter {
    std::string serial;
    std::string location;  // its USB port ("1-2.3"); empty when the library cannot tell
};

enum class PrinterState {
    Waiting,       // attached, to be flashed
    Running,       // its run is under way
    Restarting,    // off the bus after its firmware was written (or during its run)
    Passed,        // its last attempt passed and it is still attached: done, remove
    Failed,        // its last attempt failed and it is still attached: remove
    Removed,       // it left the bus
    DoneEarlier,   // it passed with this firmware in an earlier station run: not flashed
    SharedSerial,  // it cannot be told apart from another (same or no serial, no port): not flashed
};
// "waiting", "running", "restarting", "passed", "failed", "removed", "done-earlier", "shared-serial".
const char* PrinterStateId(PrinterState state);

// One ended attempt, as the records keep it.
struct AttemptRecord {
    std::chrono::system_clock::time_point started;
    std::chrono::system_clock::time_point ended;
    long long durationMs = 0;
    std::string serial;
    std::string location;
    bool knownByPort = false;  // its serial was shared or blank: the port told it apart
    std::string outcome;
    int exitCode = 0;
    std::string message;

    bool Passed() const { return exitCode == 0; }
};

// The run under way for a printer.
struct PrinterRun {
    DownloadStage stage = DownloadStage::None;
    long long sent = 0;
    long long total = 0;
    StationTime started;
    bool firmwareWritten = false;
};

struct StationPrinter {
    std::string serial;
    std::string location;
    bool knownByPort = false;
    PrinterState state = PrinterState::Waiting;
    std::optional<PrinterRun> run;          // Running, or Restarting during its run
    std::optional<std::size_t> lastRecord;  // its latest attempt, in the model's records
    bool passedHere = false;                // an attempt of this station run passed
    // Its firmware was written: leaving the bus before then is its restart, once.
    std::optional<std::chrono::steady_clock::time_point> restartUntil;

    // On the bus (or restarting): the states a view shows as the printer's own, not a gone one's.
    bool Present() const { return state != PrinterState::Removed; }
};

// Something a view may want to say, once, as it happens.
struct StationNotice {
    enum class Kind { Attached, Removed, Restarting, Restarted, DoneEarlier, SharedSerial, NoSerial, NotAimable };
    Kind kind;
    std::size_t printer;  // the printer it concerns (the first of several for SharedSerial, NotAimable)
    std::string text;     // "attached", "2 printers report serial DUP1: ..."
};
// "attached", "removed", "restarting", "restarted", "done-earlier", "shared-serial", "no-serial",
// "not-aimable": the JSON event names.
const char* NoticeId(StationNotice::Kind kind);

// A USB port the station has seen a card printer on, or was asked to serve: a window's tile.
struct StationPort {
    std::string location;
    int slot = 0;  // 1, 2, ...: the ports asked for in their order, then each one as first seen
};

struct StationCounts {
    std::size_t passed = 0;   // attempts that passed
    std::size_t failed = 0;   // attempts that failed
    std::size_t running = 0;  // runs under way
    std::size_t waiting = 0;  // printers waiting to be flashed
};

class StationModel {
public:
    // passedEarlier: the serial numbers whose latest record for this firmware passed, from the log.
    explicit StationModel(StationRules rules, std::set<std::string> passedEarlier = {});

    // What the bus shows now: the card printers attached (those of the ports asked for), in the
    // listing's order.
    void SeeBus(const std::vector<BusPrinter>& attached, const StationTime& now);
    // A restart that outlasts the time allowed ends as a removal.
    void Tick(const StationTime& now);
    // The printers whose runs start now, by the one start rule; each is Running from now on.
    std::vector<std::size_t> StartDue(const StationTime& now);
    // What the printer's run said.
    void RunSaid(std::size_t printer, const RunEvent& event);
    // The printer's run ended so; returns its record.
    const AttemptRecord& RunEnded(std::size_t printer, const RunOutcome& outcome, const StationTime& now);
    // No attempt starts from now on (a stop, a record that cannot be kept); runs under way go on.
    void StopStarting() { starting_ = false; }
    // A new attempt for a printer that failed and is still attached; false for any other.
    bool Retry(std::size_t printer);

    // The ports asked for (--location), shown before a printer arrives on them.
    void ExpectPorts(const std::vector<std::string>& locations);

    const std::vector<StationPrinter>& Printers() const { return printers_; }
    const std::vector<StationPort>& Ports() const { return ports_; }
    const std::vector<AttemptRecord>& Records() const { return records_; }
    StationCounts Counts() const;
    bool Starting() const { return starting_ && !CountReached(); }
    // Nothing more will start and nothing runs.
    bool Finished() const;
    // What happened since the last call, in order.
    std::vector<StationNotice> TakeNotices();

private:
    std::size_t Running() const;
    bool CountReached() const;
    void Say(StationNotice::Kind kind, std::size_t printer, std::string text);
    // The printer this listing entry is, if the station knows it; keyed by serial, or by port.
    std::optional<std::size_t> Find(const BusPrinter& seen, bool byPort) const;
    void Attach(std::size_t printer, const BusPrinter& seen);
    void Detach(std::size_t printer, const StationTime& now);
    void NoteSharedSerials(const std::vector<BusPrinter>& attached);

    const StationRules rules_;
    const std::set<std::string> passedEarlier_;
    void AddPort(const std::string& location);

    std::vector<StationPrinter> printers_;
    std::vector<StationPort> ports_;
    std::vector<AttemptRecord> records_;
    std::set<std::string> sharedSerials_;   // seen on two printers at once: a port tells them apart
    std::set<std::string> notAimableSaid_;  // serials already said to be unaimable
    std::vector<StationNotice> notices_;
    bool starting_ = true;
};
