// The station model on a virtual clock, with no processes: what the bus shows and what the runs say,
// step by step, and which runs it started, how each printer ends up, what it said and recorded.
#include <sstream>

#include <gtest/gtest.h>

#include "StationModel.h"

namespace {

// "SERIAL@PORT" (either may be empty) as a step names a printer.
BusPrinter PrinterOf(const std::string& word) {
    const std::size_t at = word.find('@');
    return {word.substr(0, at), word.substr(at + 1)};
}

std::string NameOf(const std::string& serial, const std::string& location) { return serial + "@" + location; }

// How a run ends in a step: its outcome, exit code and whether the firmware was written.
RunOutcome OutcomeOf(const std::string& word) {
    if (word == "complete") return {"complete", 0, "Download complete.", "", true};
    if (word == "not-set-up") return {"display-not-set-up", 4, "Download complete; display set-up not done.", "", true};
    if (word == "stopped") return {"stopped", 130, "Stopped by the user.", "stopped", false};
    return {"failed", 1, "The download failed.", "the printer refused data frame 2", false};
}

struct Played {
    std::string starts;   // the printers whose runs started, in order
    std::string states;   // every printer the station knows, and its state
    std::string notices;  // what it said, in order
    std::string records;  // each attempt's printer, outcome and how it was known
};

// Steps, separated by "; ": "bus A@1-1 B@1-2" (a listing), "end A@1-1 complete" (the run's end),
// "said A@1-1 complete" (the run entered that stage), "+N" (N seconds pass), "stop", "retry A@1-1".
// The runner's order is kept: each step is followed by the starts it makes due.
Played Play(const StationRules& rules, const std::set<std::string>& earlier, const std::string& steps) {
    StationModel model(rules, earlier);
    const auto origin = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    StationTime now{origin, std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 365 * 50)};
    Played played;
    const auto find = [&](const std::string& name) {
        const BusPrinter wanted = PrinterOf(name);
        for (std::size_t i = 0; i < model.Printers().size(); ++i) {
            const StationPrinter& printer = model.Printers()[i];
            if (printer.serial == wanted.serial && printer.location == wanted.location && printer.Present()) return i;
        }
        ADD_FAILURE() << "no printer " << name;
        return std::size_t{0};
    };
    std::istringstream stepList(steps);
    for (std::string step; std::getline(stepList, step, ';');) {
        std::istringstream words(step);
        std::string verb;
        words >> verb;
        if (verb == "bus") {
            std::vector<BusPrinter> attached;
            for (std::string word; words >> word;) attached.push_back(PrinterOf(word));
            model.SeeBus(attached, now);
        } else if (verb == "end" || verb == "said" || verb == "retry") {
            std::string name, what;
            words >> name >> what;
            if (verb == "end") model.RunEnded(find(name), OutcomeOf(what), now);
            if (verb == "retry") {
                EXPECT_TRUE(model.Retry(find(name))) << step;
            }
            if (verb == "said") {
                RunEvent event;
                event.kind = RunEvent::Kind::Stage;
                event.stage = DownloadStage::Complete;
                model.RunSaid(find(name), event);
            }
        } else if (verb[0] == '+') {
            now.steady += std::chrono::seconds(std::stoi(verb.substr(1)));
            now.wall += std::chrono::seconds(std::stoi(verb.substr(1)));
        } else if (verb == "stop") {
            model.StopStarting();
        }
        model.Tick(now);
        for (std::size_t started : model.StartDue(now)) {
            const StationPrinter& printer = model.Printers()[started];
            played.starts += (played.starts.empty() ? "" : " ") + NameOf(printer.serial, printer.location);
        }
        for (const StationNotice& notice : model.TakeNotices()) {
            played.notices += (played.notices.empty() ? "" : " ") + std::string(NoticeId(notice.kind));
        }
    }
    for (const StationPrinter& printer : model.Printers()) {
        played.states += (played.states.empty() ? "" : " ") + NameOf(printer.serial, printer.location) + ":" +
                         PrinterStateId(printer.state);
    }
    for (const AttemptRecord& record : model.Records()) {
        played.records += (played.records.empty() ? "" : " ") + NameOf(record.serial, record.location) + ":" +
                          record.outcome + (record.knownByPort ? ":port" : "");
    }
    const StationCounts counts = model.Counts();
    played.records += " (" + std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed" +
                      (model.Finished() ? ", finished)" : ")");
    return played;
}

StationRules Rules(bool again = false, unsigned parallel = 0, unsigned count = 0) {
    StationRules rules;
    rules.again = again;
    rules.parallel = parallel;
    rules.count = count;
    rules.restartTimeout = std::chrono::seconds(120);
    return rules;
}

TEST(StationModel, FlashesEachPrinterOnceByItsSerialOrItsPortAndRecordsEveryAttempt) {
    const struct {
        const char* name;
        StationRules rules;
        std::set<std::string> earlier;  // passed with this firmware, the log says
        const char* steps;
        Played expected;
    } cases[] = {
        {"plugged in, each flashed at once",
         Rules(),
         {},
         "bus A@1-1 B@1-2; end A@1-1 complete; end B@1-2 failed",
         {"A@1-1 B@1-2", "A@1-1:passed B@1-2:failed", "attached attached",
          "A@1-1:complete B@1-2:failed (1 passed, 1 failed)"}},
        {"left attached, passed or failed: not again",
         Rules(true),
         {},
         "bus A@1-1 B@1-2; end A@1-1 complete; end B@1-2 failed; +1; bus A@1-1 B@1-2; +1; bus A@1-1 B@1-2",
         {"A@1-1 B@1-2", "A@1-1:passed B@1-2:failed", "attached attached",
          "A@1-1:complete B@1-2:failed (1 passed, 1 failed)"}},
        {"failed, unplugged and plugged in again: tried again",
         Rules(),
         {},
         "bus A@1-1; end A@1-1 failed; bus; bus A@1-1; end A@1-1 complete",
         {"A@1-1 A@1-1", "A@1-1:passed", "attached removed attached",
          "A@1-1:failed A@1-1:complete (1 passed, 1 failed)"}},
        {"passed, plugged in again: done",
         Rules(),
         {},
         "bus A@1-1; end A@1-1 complete; +200; bus; bus A@1-2",
         {"A@1-1", "A@1-2:passed", "attached removed attached", "A@1-1:complete (1 passed, 0 failed)"}},
        {"--again: passed, plugged in again elsewhere: flashed again",
         Rules(true),
         {},
         "bus A@1-1; end A@1-1 complete; +200; bus; bus A@1-2",
         {"A@1-1 A@1-2", "A@1-2:running", "attached removed attached", "A@1-1:complete (1 passed, 0 failed)"}},
        {"--again: restarts after its firmware, back in time: not flashed for it",
         Rules(true),
         {},
         "bus A@1-1; end A@1-1 complete; +5; bus; +30; bus A@1-1",
         {"A@1-1", "A@1-1:passed", "attached restarting restarted", "A@1-1:complete (1 passed, 0 failed)"}},
        {"--again: a restart that outlasts its time is a removal",
         Rules(true),
         {},
         "bus A@1-1; end A@1-1 not-set-up; +5; bus; +114; +1; bus A@1-1",
         {"A@1-1 A@1-1", "A@1-1:running", "attached restarting removed attached",
          "A@1-1:display-not-set-up (0 passed, 1 failed)"}},
        {"--again: unplugged soon after coming back from its restart: a plug-in",
         Rules(true),
         {},
         "bus A@1-1; end A@1-1 complete; bus; +5; bus A@1-1; +5; bus; bus A@1-1",
         {"A@1-1 A@1-1", "A@1-1:running", "attached restarting restarted removed attached",
          "A@1-1:complete (1 passed, 0 failed)"}},
        {"--again: off the bus during its run, its firmware written: a restart",
         Rules(true),
         {},
         "bus A@1-1; said A@1-1 complete; bus; end A@1-1 complete; +60; bus A@1-1",
         {"A@1-1", "A@1-1:passed", "attached restarting restarted", "A@1-1:complete (1 passed, 0 failed)"}},
        {"vanished mid-run and failed: tried again when back",
         Rules(),
         {},
         "bus A@1-1; bus; end A@1-1 failed; bus A@1-1",
         {"A@1-1 A@1-1", "A@1-1:running", "attached restarting removed attached", "A@1-1:failed (0 passed, 1 failed)"}},
        {"--parallel 2: the third when one ends",
         Rules(false, 2),
         {},
         "bus A@1-1 B@1-2 C@1-3; end A@1-1 complete",
         {"A@1-1 B@1-2 C@1-3", "A@1-1:passed B@1-2:running C@1-3:running", "attached attached attached",
          "A@1-1:complete (1 passed, 0 failed)"}},
        {"--count 2: ends once two have ended",
         Rules(false, 0, 2),
         {},
         "bus A@1-1 B@1-2 C@1-3; end A@1-1 complete; end B@1-2 failed",
         {"A@1-1 B@1-2", "A@1-1:passed B@1-2:failed C@1-3:waiting", "attached attached attached",
          "A@1-1:complete B@1-2:failed (1 passed, 1 failed, finished)"}},
        {"stopped: nothing more starts",
         Rules(),
         {},
         "bus A@1-1; stop; bus A@1-1 B@1-2; end A@1-1 stopped",
         {"A@1-1", "A@1-1:failed B@1-2:waiting", "attached attached", "A@1-1:stopped (0 passed, 1 failed, finished)"}},
        {"retried by hand",
         Rules(),
         {},
         "bus A@1-1; end A@1-1 failed; retry A@1-1; end A@1-1 complete",
         {"A@1-1 A@1-1", "A@1-1:passed", "attached", "A@1-1:failed A@1-1:complete (1 passed, 1 failed)"}},
        {"two report one serial: each known by its port, said once",
         Rules(),
         {},
         "bus D@1-1 D@1-2; bus D@1-1 D@1-2; end D@1-1 complete; end D@1-2 complete",
         {"D@1-1 D@1-2", "D@1-1:passed D@1-2:passed", "shared-serial attached attached",
          "D@1-1:complete:port D@1-2:complete:port (2 passed, 0 failed)"}},
        {"a serial shared once it is plugged in twice",
         Rules(),
         {},
         "bus D@1-1; bus D@1-1 D@1-2",
         {"D@1-1 D@1-2", "D@1-1:running D@1-2:running", "attached shared-serial attached", " (0 passed, 0 failed)"}},
        {"no serial: known by its port; a new one when plugged in again",
         Rules(),
         {},
         "bus @1-3; end @1-3 complete; +200; bus; bus @1-3",
         {"@1-3 @1-3", "@1-3:removed @1-3:running", "attached no-serial removed attached no-serial",
          "@1-3:complete:port (1 passed, 0 failed)"}},
        {"one serial and no port to tell them apart: neither flashed",
         Rules(),
         {},
         "bus D@ D@; bus D@ D@",
         {"", "D@:shared-serial D@:shared-serial", "attached attached not-aimable", " (0 passed, 0 failed)"}},
        {"passed in an earlier run: done earlier",
         Rules(),
         {"A"},
         "bus A@1-1 B@1-2",
         {"B@1-2", "A@1-1:done-earlier B@1-2:running", "attached done-earlier attached", " (0 passed, 0 failed)"}},
        {"--again: flashed whatever the log says",
         Rules(true),
         {"A"},
         "bus A@1-1",
         {"A@1-1", "A@1-1:running", "attached", " (0 passed, 0 failed)"}},
        {"done earlier, but its serial is shared: which one cannot be told",
         Rules(),
         {"D"},
         "bus D@1-1; bus D@1-1 D@1-2",
         {"D@1-1 D@1-2", "D@1-1:running D@1-2:running", "attached done-earlier shared-serial attached",
          " (0 passed, 0 failed)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Played played = Play(c.rules, c.earlier, c.steps);
        EXPECT_EQ(played.starts, c.expected.starts);
        EXPECT_EQ(played.states, c.expected.states);
        EXPECT_EQ(played.notices, c.expected.notices);
        EXPECT_EQ(played.records, c.expected.records);
    }
}

}  // namespace
