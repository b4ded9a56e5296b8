// The station's printers, ledger, start rule and restarts.
#include "StationModel.h"

#include <algorithm>
#include <map>

#include "LocationId.h"

const char* PrinterStateId(PrinterState state) {
    switch (state) {
        case PrinterState::Waiting: return "waiting";
        case PrinterState::Running: return "running";
        case PrinterState::Restarting: return "restarting";
        case PrinterState::Passed: return "passed";
        case PrinterState::Failed: return "failed";
        case PrinterState::Removed: return "removed";
        case PrinterState::DoneEarlier: return "done-earlier";
        case PrinterState::SharedSerial: return "shared-serial";
    }
    return "waiting";
}

const char* NoticeId(StationNotice::Kind kind) {
    switch (kind) {
        case StationNotice::Kind::Attached: return "attached";
        case StationNotice::Kind::Removed: return "removed";
        case StationNotice::Kind::Restarting: return "restarting";
        case StationNotice::Kind::Restarted: return "restarted";
        case StationNotice::Kind::DoneEarlier: return "done-earlier";
        case StationNotice::Kind::SharedSerial: return "shared-serial";
        case StationNotice::Kind::NoSerial: return "no-serial";
        case StationNotice::Kind::NotAimable: return "not-aimable";
    }
    return "attached";
}

StationModel::StationModel(StationRules rules, std::set<std::string> passedEarlier)
    : rules_(rules), passedEarlier_(std::move(passedEarlier)) {}

void StationModel::Say(StationNotice::Kind kind, std::size_t printer, std::string text) {
    notices_.push_back({kind, printer, std::move(text)});
}

std::vector<StationNotice> StationModel::TakeNotices() {
    std::vector<StationNotice> taken;
    taken.swap(notices_);
    return taken;
}

std::size_t StationModel::Running() const {
    return static_cast<std::size_t>(std::count_if(
        printers_.begin(), printers_.end(), [](const StationPrinter& printer) { return printer.run.has_value(); }));
}

bool StationModel::CountReached() const { return rules_.count != 0 && records_.size() + Running() >= rules_.count; }

bool StationModel::Finished() const { return !Starting() && Running() == 0; }

StationCounts StationModel::Counts() const {
    StationCounts counts;
    for (const AttemptRecord& record : records_) (record.Passed() ? counts.passed : counts.failed) += 1;
    counts.running = Running();
    counts.waiting =
        static_cast<std::size_t>(std::count_if(printers_.begin(), printers_.end(), [](const StationPrinter& printer) {
            return printer.state == PrinterState::Waiting;
        }));
    return counts;
}

void StationModel::NoteSharedSerials(const std::vector<BusPrinter>& attached) {
    std::map<std::string, std::size_t> seen;
    std::set<std::string> portless;  // shared by a printer whose port the library cannot tell
    for (const BusPrinter& printer : attached) {
        if (!printer.serial.empty()) ++seen[printer.serial];
        if (printer.location.empty()) portless.insert(printer.serial);
    }
    for (const auto& [serial, printers] : seen) {
        if (printers < 2 || !sharedSerials_.insert(serial).second) continue;
        // Chips of one batch are often programmed alike. From now on the port tells these apart; which
        // of them passed in an earlier run cannot be told, so each is flashed.
        for (StationPrinter& printer : printers_) {
            if (printer.knownByPort || printer.serial != serial) continue;
            printer.knownByPort = true;
            if (printer.state == PrinterState::DoneEarlier) printer.state = PrinterState::Waiting;
        }
        // Without ports to tell them apart, the not-aimable notice says what becomes of them.
        if (portless.count(serial) > 0) continue;
        Say(StationNotice::Kind::SharedSerial, static_cast<std::size_t>(-1),
            std::to_string(printers) + " printers report serial " + serial +
                ": each is flashed and recorded by its port");
    }
}

std::optional<std::size_t> StationModel::Find(const BusPrinter& seen, bool byPort) const {
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        const StationPrinter& printer = printers_[i];
        if (printer.serial != seen.serial) continue;
        // A printer known by its port is forgotten once it leaves: another may take that port.
        if (byPort ? printer.knownByPort && printer.Present() && printer.location == seen.location
                   : !printer.knownByPort) {
            return i;
        }
    }
    return std::nullopt;
}

void StationModel::AddPort(const std::string& location) {
    const bool known =
        std::any_of(ports_.begin(), ports_.end(), [&](const StationPort& port) { return port.location == location; });
    if (!location.empty() && !known) ports_.push_back({location, static_cast<int>(ports_.size()) + 1});
}

void StationModel::ExpectPorts(const std::vector<std::string>& locations) {
    for (const std::string& location : locations) AddPort(location);
}

void StationModel::SeeBus(const std::vector<BusPrinter>& attached, const StationTime& now) {
    // New ports are numbered in port order: a hub's ports come out as they sit.
    std::vector<std::string> locations;
    for (const BusPrinter& printer : attached) locations.push_back(printer.location);
    std::sort(locations.begin(), locations.end(), [](const std::string& a, const std::string& b) {
        return d2xx::ParseLocation(a).value_or(0) < d2xx::ParseLocation(b).value_or(0);
    });
    for (const std::string& location : locations) AddPort(location);
    NoteSharedSerials(attached);
    std::vector<bool> listed(printers_.size(), false);
    std::map<std::string, std::size_t> notAimable;  // by serial: printers no port tells apart
    for (const BusPrinter& seen : attached) {
        const bool byPort = seen.serial.empty() || sharedSerials_.count(seen.serial) > 0;
        std::optional<std::size_t> found = Find(seen, byPort);
        // Printers that nothing tells apart are as many entries as there are of them.
        while (found && *found < listed.size() && listed[*found]) {
            found.reset();
            for (std::size_t i = 0; i < printers_.size() && !found; ++i) {
                const StationPrinter& printer = printers_[i];
                if ((i >= listed.size() || !listed[i]) && printer.state == PrinterState::SharedSerial &&
                    printer.serial == seen.serial && printer.location == seen.location) {
                    found = i;
                }
            }
        }
        if (!found) {
            StationPrinter printer;
            printer.serial = seen.serial;
            printer.location = seen.location;
            printer.knownByPort = byPort;
            printer.state = PrinterState::Removed;  // until it is attached, below
            printers_.push_back(printer);
            found = printers_.size() - 1;
        }
        if (*found >= listed.size()) listed.resize(*found + 1, false);
        listed[*found] = true;
        StationPrinter& printer = printers_[*found];
        if (!seen.location.empty()) printer.location = seen.location;
        if (byPort && printer.location.empty()) ++notAimable[seen.serial];
        if (printer.state == PrinterState::Removed || printer.state == PrinterState::Restarting) Attach(*found, seen);
    }
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        const PrinterState state = printers_[i].state;
        if ((i >= listed.size() || !listed[i]) && state != PrinterState::Removed && state != PrinterState::Restarting) {
            Detach(i, now);
        }
    }
    for (const auto& [serial, printers] : notAimable) {
        if (!notAimableSaid_.insert(serial).second) continue;
        const auto first = std::find_if(printers_.begin(), printers_.end(), [&](const StationPrinter& printer) {
            return printer.state == PrinterState::SharedSerial && printer.serial == serial;
        });
        const std::string who = serial.empty()
                                    ? (printers > 1 ? std::to_string(printers) + " printers report no serial number"
                                                    : std::string("a printer reports no serial number"))
                                    : std::to_string(printers) + " printers report serial " + serial;
        Say(StationNotice::Kind::NotAimable, static_cast<std::size_t>(first - printers_.begin()),
            who + " and the D2XX library does not tell their ports: none of them can be aimed at, so none is flashed");
    }
}

void StationModel::Attach(std::size_t index, const BusPrinter& seen) {
    StationPrinter& printer = printers_[index];
    if (printer.state == PrinterState::Restarting) {
        printer.restartUntil.reset();  // the one restart of that firmware is over
        printer.state = printer.run                                                    ? PrinterState::Running
                        : printer.lastRecord && records_[*printer.lastRecord].Passed() ? PrinterState::Passed
                                                                                       : PrinterState::Failed;
        Say(StationNotice::Kind::Restarted, index, "back after its restart");
        return;
    }
    Say(StationNotice::Kind::Attached, index, "attached");
    if (printer.knownByPort && printer.location.empty()) {
        printer.state = PrinterState::SharedSerial;
    } else if (!printer.knownByPort && printer.passedHere && !rules_.again) {
        printer.state = PrinterState::Passed;
    } else if (!printer.knownByPort && passedEarlier_.count(seen.serial) > 0 && !rules_.again) {
        printer.state = PrinterState::DoneEarlier;
        Say(StationNotice::Kind::DoneEarlier, index,
            "passed with this firmware in an earlier station run: done earlier, remove");
    } else {
        printer.state = PrinterState::Waiting;
        if (seen.serial.empty())
            Say(StationNotice::Kind::NoSerial, index,
                "reports no serial number: it is flashed and recorded by its port");
    }
}

void StationModel::Detach(std::size_t index, const StationTime& now) {
    StationPrinter& printer = printers_[index];
    // Off the bus during its run, or soon after its firmware was written: a restart, until its run
    // or the time for a restart says otherwise.
    if (printer.run || (printer.restartUntil && now.steady < *printer.restartUntil)) {
        printer.state = PrinterState::Restarting;
        Say(StationNotice::Kind::Restarting, index, "restarting");
        return;
    }
    printer.state = PrinterState::Removed;
    printer.restartUntil.reset();
    Say(StationNotice::Kind::Removed, index, "removed");
}

void StationModel::Tick(const StationTime& now) {
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        StationPrinter& printer = printers_[i];
        if (printer.state != PrinterState::Restarting || printer.run) continue;
        if (printer.restartUntil && now.steady < *printer.restartUntil) continue;
        printer.state = PrinterState::Removed;
        printer.restartUntil.reset();
        Say(StationNotice::Kind::Removed, i,
            "removed: not back within " + std::to_string(rules_.restartTimeout.count()) + " s of its restart");
    }
}

std::vector<std::size_t> StationModel::StartDue(const StationTime& now) {
    std::vector<std::size_t> started;
    for (std::size_t i = 0; i < printers_.size() && Starting(); ++i) {
        StationPrinter& printer = printers_[i];
        if (printer.state != PrinterState::Waiting) continue;
        if (rules_.parallel != 0 && Running() >= rules_.parallel) break;
        printer.state = PrinterState::Running;
        printer.run = PrinterRun{DownloadStage::None, 0, rules_.fileSize, now, false};
        started.push_back(i);
    }
    return started;
}

void StationModel::RunSaid(std::size_t index, const RunEvent& event) {
    std::optional<PrinterRun>& run = printers_[index].run;
    // An outcome's stage is where a failed run failed; the run ends with it.
    if (!run || event.kind == RunEvent::Kind::Outcome) return;
    run->stage = event.stage;
    if (event.stage == DownloadStage::Complete) run->firmwareWritten = true;
    if (event.kind == RunEvent::Kind::Progress && event.progress.bar == RunProgress::Bar::Transfer) {
        run->sent = event.progress.position;
        run->total = event.progress.maximum;
    }
}

const AttemptRecord& StationModel::RunEnded(std::size_t index, const RunOutcome& outcome, const StationTime& now) {
    StationPrinter& printer = printers_[index];
    const StationTime started = printer.run ? printer.run->started : now;
    const bool written = outcome.firmwareWritten || (printer.run && printer.run->firmwareWritten);
    AttemptRecord record;
    record.started = started.wall;
    record.ended = now.wall;
    record.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(now.steady - started.steady).count();
    record.serial = printer.serial;
    record.location = printer.location;
    record.knownByPort = printer.knownByPort;
    record.outcome = outcome.outcome;
    record.exitCode = outcome.exitCode;
    record.message = outcome.message;
    // Why a run failed, as its own standard error said it: "The download failed (the printer refused ...)."
    if (!outcome.reason.empty() && outcome.exitCode != 0 && outcome.outcome != "display-not-set-up") {
        if (!record.message.empty() && record.message.back() == '.') record.message.pop_back();
        record.message += " (" + outcome.reason + ").";
    }
    records_.push_back(record);
    printer.lastRecord = records_.size() - 1;
    printer.passedHere = printer.passedHere || record.Passed();
    printer.run.reset();
    // With its firmware written the printer restarts, within the time a run waits for that; without,
    // a printer off the bus went away.
    if (written) {
        printer.restartUntil = now.steady + rules_.restartTimeout;
    } else {
        printer.restartUntil.reset();
    }
    if (printer.state == PrinterState::Restarting && !written) {
        printer.state = PrinterState::Removed;
        Say(StationNotice::Kind::Removed, index, "removed");
    } else if (printer.state == PrinterState::Running) {
        printer.state = record.Passed() ? PrinterState::Passed : PrinterState::Failed;
    }
    return records_.back();
}

bool StationModel::Retry(std::size_t index) {
    StationPrinter& printer = printers_[index];
    if (printer.state != PrinterState::Failed || !Starting()) return false;
    printer.state = PrinterState::Waiting;
    return true;
}
