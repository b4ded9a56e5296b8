// fwload-cli station against several virtual printers: what each printer received, what the
// station printed, and the records it kept.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "SimEnvironment.h"
#include "Subprocess.h"
#include "SuiteVersion.h"
#include "TempDir.h"

namespace {

using ::testing::HasSubstr;

const std::string kCli = FWLOAD_CLI_PATH;
const std::string kSimDir = SIM_LIBRARY_DIR;

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

class Station : public ::testing::Test {
protected:
    Station() {
        ini = dir.Write("fwload.ini", "[KX-4700]\n1=T,R,LEFT,HELLO\n");
        image = std::string(1500, '\x5A');
        firmware = dir.Write("fw.bin", "[NOV Card Printer]" + image);
    }

    // The virtual printers attached, with the faults.
    ProcessOptions Printers(int printers, const std::string& faults, std::vector<std::string> environment = {}) {
        ProcessOptions options;
        options.environment = {"LD_LIBRARY_PATH=" + kSimDir, "FWSIM_STATE_DIR=" + sim.StateDir(),
                               "FWSIM_LATENCY_MS=1",         "FWSIM_WRITE_MS=5",
                               "FWSIM_RESTART_CALLS=0",      "FWSIM_DEVICES=" + SimEnvironment::CardPrinters(printers),
                               "FWSIM_FAULTS=" + faults};
        options.environment.insert(options.environment.end(), environment.begin(), environment.end());
        return options;
    }

    // The station with the printers attached, --json, its log in the test's folder.
    ProcessResult Run(int printers, const std::string& faults, std::vector<std::string> extra,
                      std::function<void(const nlohmann::json&, int)> onEvent = nullptr,
                      std::vector<std::string> environment = {}) {
        ProcessOptions options = Printers(printers, faults, std::move(environment));
        if (onEvent) {
            options.onOutLine = [onEvent](const std::string& line, int pid) {
                onEvent(nlohmann::json::parse(line), pid);
            };
        }
        std::vector<std::string> arguments{
            "station", "--ini", ini, "-m", "KX-4700", "--operator", "Ann", "--log", dir.File("log.jsonl")};
        if (json) arguments.insert(arguments.begin() + 1, "--json");
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(firmware);
        return RunProcess(kCli, arguments, options);
    }

    std::vector<nlohmann::json> Records() const { return JsonLines(ReadWholeFile(dir.File("log.jsonl"))); }
    std::string ImageIn(const std::string& serial) const {
        const std::string folder = serial == "FWSIM1000" ? sim.StateDir() : sim.StateDir() + "/" + serial;
        return ReadWholeFile(folder + "/image.bin").substr(0, image.size());
    }

    // The image a printer got, by its folder in the virtual printer's state ("" the first one's).
    std::string ImageInFolder(const std::string& folder) const {
        return ReadWholeFile(sim.StateDir() + (folder.empty() ? "" : "/" + folder) + "/image.bin")
            .substr(0, image.size());
    }

    SimEnvironment sim;
    TempDir dir;
    std::string ini;
    std::string image;
    std::string firmware;
    bool json = true;
};

// Each row: printers and faults, the station's options, its exit code, and each printer's outcome.
TEST_F(Station, FlashesEveryPrinterOnceAndRecordsEachAttempt) {
    const std::vector<std::string> eight(8, "complete");
    const struct {
        const char* name;
        int printers;
        std::string faults;
        std::vector<std::string> options;
        int exitCode;
        std::vector<std::string> outcomes;  // FWSIM1000's first; "": not flashed
        std::size_t atOnce;                 // this many runs at once, and never more
    } cases[] = {
        {"eight at once", 8, "", {"--count", "8", "--csv", "CSV", "--junit", "JUNIT"}, 0, eight, 8},
        {"one refuses, one is unplugged",
         4,
         "FWSIM1001@nak:data:2,FWSIM1002@vanish:data:1",
         {"--count", "4", "--csv", "CSV", "--junit", "JUNIT"},
         1,
         {"complete", "failed", "failed", "complete"},
         4},
        {"plugged in one after another",
         3,
         "FWSIM1001@attach-after:3,FWSIM1002@attach-after:6",
         {"--count", "3"},
         0,
         {"complete", "complete", "complete"},
         3},
        {"two at a time", 5, "", {"--count", "5", "--parallel", "2"}, 0, {eight.begin(), eight.begin() + 5}, 2},
        {"one port only", 3, "", {"--count", "1", "--location", "1-2"}, 0, {"", "complete", ""}, 1},
        {"display set-up among several",
         2,
         "",
         {"--count", "2", "--display-setup"},
         1,
         {"display-not-set-up", "display-not-set-up"},
         2},
        {"display set-up alone", 1, "", {"--count", "1", "--display-setup"}, 0, {"complete"}, 1},
    };
    std::string hostName = ReadWholeFile("/proc/sys/kernel/hostname");
    hostName.erase(hostName.find_last_not_of('\n') + 1);
    const std::string sha256 = RunProcess("/usr/bin/sha256sum", {firmware}).out.substr(0, 64);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> expected;  // by serial
        for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
            if (!c.outcomes[i].empty()) expected["FWSIM" + std::to_string(1000 + i)] = c.outcomes[i];
        }
        std::remove(dir.File("log.jsonl").c_str());
        std::vector<std::string> options = c.options;
        for (std::string& option : options) {
            if (option == "CSV" || option == "JUNIT") option = dir.File(option);
        }
        std::size_t running = 0;
        std::size_t atOnce = 0;
        const ProcessResult result = Run(c.printers, c.faults, options, [&](const nlohmann::json& event, int) {
            if (event["event"] == "started") atOnce = std::max(atOnce, ++running);
            if (event["event"] == "ended") --running;
        });
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        EXPECT_EQ(atOnce, c.atOnce);
        const nlohmann::json summary = JsonLines(result.out).back();
        EXPECT_EQ(summary["event"], "summary");
        EXPECT_EQ(summary["exit_code"], c.exitCode);

        std::map<std::string, std::string> outcomes;
        for (const nlohmann::json& record : Records()) {
            const std::string serial = record["serial"];
            EXPECT_EQ(outcomes.count(serial), 0u) << serial << " flashed twice";
            outcomes[serial] = record["outcome"];
            if (record["outcome"] == "complete") {
                EXPECT_EQ(ImageIn(serial), image) << serial;
            }
            if (record["outcome"] == "display-not-set-up") {
                EXPECT_EQ(record["message"], "Download complete; display set-up not done: 2 card printers attached.");
            }
            for (const char* time : {"started", "ended"}) {
                EXPECT_TRUE(std::regex_match(record[time].get<std::string>(),
                                             std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
            }
            // What every record of this file says alike, the printer's port, and the fields present.
            nlohmann::json same = record;
            for (const char* varies :
                 {"started", "ended", "duration_ms", "serial", "outcome", "exit_code", "message"}) {
                EXPECT_TRUE(same.contains(varies)) << varies;
                same.erase(varies);
            }
            EXPECT_EQ(same, (nlohmann::json{{"file", firmware},
                                            {"size", 1518},
                                            {"byte_sum", "0x0F58"},
                                            {"sha256", sha256},
                                            {"model", "KX-4700"},
                                            {"mode", "standard"},
                                            {"operator", "Ann"},
                                            {"version", SUITE_VERSION},
                                            {"station", hostName},
                                            {"known_by", "serial"},
                                            {"location", "1-" + std::to_string(std::stoi(serial.substr(5)) - 999)}}));
        }
        EXPECT_EQ(outcomes, expected);
        if (std::find(c.options.begin(), c.options.end(), "CSV") != c.options.end()) {
            const std::string csv = ReadWholeFile(dir.File("CSV"));
            EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(expected.size()) + 1);
            EXPECT_THAT(csv,
                        ::testing::StartsWith("started,ended,station,operator,version,file,size,byte_sum,sha256,"
                                              "model,mode,serial,location,outcome,exit_code,message,duration_ms\r\n"));
            const std::string junit = ReadWholeFile(dir.File("JUNIT"));
            const auto failed =
                std::count_if(expected.begin(), expected.end(), [](auto& o) { return o.second != "complete"; });
            EXPECT_THAT(junit, HasSubstr("tests=\"" + std::to_string(expected.size()) + "\" failures=\"" +
                                         std::to_string(failed) + "\""));
            for (const auto& [serial, outcome] : expected) {
                const std::string testcase =
                    "name=\"" + serial + "\" time=\"[0-9.]+\"" +
                    (outcome == "complete" ? "/>" : ">\n    <failure message=\"The download failed \\(");
                EXPECT_TRUE(std::regex_search(junit, std::regex(testcase))) << testcase;
            }
        }
    }
}

// A signal once the runs are under way (or after the last of some events): every attempt is
// recorded once, the station says how it ended. A printer is not flashed again while it stays
// attached, passed or failed, nor when it restarts after its firmware is written, even with --again
// (the model's tests try the rules at length; these try them on the real processes).
TEST_F(Station, StopsLostWorkersAndPrintersLeftAttachedAreRecordedOnce) {
    firmware = dir.Write("big.bin", "[NOV Card Printer]" + std::string(32768, '\x5A'));
    const struct {
        const char* name;
        int printers;
        std::string faults;
        std::vector<std::string> options;
        std::string after;  // "data": once every run is in its data stage; else this many events of the name
        int signal;
        bool toTheWorker;  // to the first worker (SIGKILL) instead of the station
        int exitCode;
        std::string outcome;  // of every attempt, its exit code
        int recordExitCode;
    } cases[] = {
        {"Ctrl-C with four printers mid-download", 4, "", {}, "data", SIGINT, false, 130, "stopped", 130},
        {"SIGTERM", 2, "", {}, "data", SIGTERM, false, 143, "stopped", 143},
        {"a worker killed", 1, "", {"--count", "1"}, "data", SIGKILL, true, 1, "worker-died", 137},
        {"left attached", 2, "FWSIM1001@nak:poll", {}, "ended", SIGTERM, false, 143, "", 0},
        {"restarting", 1, "restart-detaches", {"--again"}, "restarted", SIGTERM, false, 143, "complete", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(dir.File("log.jsonl").c_str());
        std::map<std::string, int> workers;  // serial -> pid
        std::set<std::string> seen;          // the serials of the events waited for
        bool sent = false;
        const ProcessResult result =
            Run(c.printers, c.faults, c.options,
                [&](const nlohmann::json& event, int station) {
                    if (event["event"] == "started") workers[event["serial"]] = event["pid"];
                    if (c.after == "data" ? event.value("stage", "") == "data" : event["event"] == c.after) {
                        seen.insert(event["serial"].get<std::string>());
                    }
                    if (sent || seen.size() < static_cast<std::size_t>(c.printers)) return;
                    sent = true;
                    kill(c.toTheWorker ? workers.begin()->second : station, c.signal);
                },
                {"FWSIM_LATENCY_MS=4", "FWSIM_RESTART_MS=1500"});
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        std::set<std::string> serials;
        for (const nlohmann::json& record : Records()) {
            EXPECT_TRUE(serials.insert(record["serial"].get<std::string>()).second) << record["serial"] << " twice";
            if (!c.outcome.empty()) {
                EXPECT_EQ(record["outcome"], c.outcome);
                EXPECT_EQ(record["exit_code"], c.recordExitCode);
            }
        }
        EXPECT_EQ(serials.size(), static_cast<std::size_t>(c.printers));
    }
}

// On a terminal (script(1) gives it one): a row per printer redrawn in place, then the counters. What
// the rows cannot show (two printers sharing a serial, a line's command that failed) stays once above
// them; said while rows are drawn, the rows make way for it and are drawn anew below it.
TEST_F(Station, OnATerminalEachPrinterHasARowRedrawnInPlace) {
    const struct {
        const char* name;
        std::string serials;
        std::vector<std::string> extra;
        std::vector<std::string> lasting;  // the lines above the rows, each said once
        bool madeWay;                      // rows were drawn when they were said
    } cases[] = {
        {"two printers", "FWSIM1000;FWSIM1001", {}, {}, false},
        {"two printers sharing a serial",
         "DUP1;DUP1",
         {},
         {"Station: 2 printers report serial DUP1: each is flashed and recorded by its port\r\n"},
         false},
        {"a line's command that fails",
         "FWSIM1000;FWSIM1001",
         {"--on-end", "/bin/false"},
         {"fwload-cli: the --on-end command (/bin/false) for FWSIM1000 at 1-1 ended with exit code 1\r\n",
          "fwload-cli: the --on-end command (/bin/false) for FWSIM1001 at 1-2 ended with exit code 1\r\n"},
         true},
        // Shown with its control characters made visible; the column grows to it.
        {"a serial wider than the column", "\\x1b]0\\x3bowned\\x07;FWSIM1001", {}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string station = "stty cols 100; exec " + kCli + " station --ini " + ini + " -m KX-4700 --count 2 ";
        for (const std::string& word : c.extra) station += word + " ";
        const ProcessResult result = RunProcess("/usr/bin/script", {"-qec", station + firmware, "/dev/null"},
                                                Printers(2, "", {"FWSIM_SERIALS=" + c.serials}));
        EXPECT_EQ(result.exitCode, 0) << result.out;
        const std::size_t lastRedraw = result.out.rfind("\x1b[3A");  // up over two rows and the counters
        ASSERT_NE(lastRedraw, std::string::npos) << result.out;
        const std::string screen = std::regex_replace(result.out.substr(lastRedraw), std::regex("0:0[0-9]"), "0:0S");
        // As shown: the escapes the virtual printer takes are the ones a screen shows, but for \x3b.
        const std::string shown = std::regex_replace(c.serials, std::regex(R"(\\x3b)"), ";");
        const std::string first = shown.substr(0, shown.rfind(';'));
        const std::string second = shown.substr(first.size() + 1);
        const std::size_t width = std::max<std::size_t>({14, first.size(), second.size()}) + 1;
        EXPECT_EQ(screen, "\x1b[3A\r1-1        " + first + std::string(width - first.size(), ' ') +
                              "done, remove   passed: complete (exit 0), 0:0S\x1b[K\r\n"
                              "\r1-2        " +
                              second + std::string(width - second.size(), ' ') +
                              "done, remove   passed: complete (exit 0), 0:0S\x1b[K\r\n"
                              "\rpassed 2   failed 0   in progress 0\x1b[K\r\n"
                              "Station: 2 passed, 0 failed.\r\n");
        for (const std::string& line : c.lasting) {
            const std::size_t said = result.out.find(line);
            ASSERT_NE(said, std::string::npos) << result.out;
            EXPECT_EQ(result.out.find(line, said + 1), std::string::npos) << "said twice";
            EXPECT_EQ(said >= 4 && result.out.compare(said - 4, 4, "\r\x1b[J") == 0, c.madeWay) << result.out;
            EXPECT_EQ(result.out.compare(said + line.size(), 6, "\r1-1  "), 0) << "no rows below it";
        }
        // A row while its printer is flashed: port, serial, stage, bar, bytes and time.
        EXPECT_NE(result.out.find("\r1-1        " + first + " "), std::string::npos);
        EXPECT_TRUE(std::regex_search(result.out, std::regex(R"( +[a-z-]+ +\[[#.]{20}\] [0-9,]+ / 1,518  0:0[0-9])")));
    }
}

// Serial numbers are whatever the chips hold: shared, missing, or with control characters and
// formula text. Each printer is still flashed and recorded, known by its port where its serial
// fails, and what it holds reaches no screen raw, no spreadsheet as a formula and no XML unescaped.
TEST_F(Station, KnowsPrintersByPortWhenSerialsFailAndShowsTheirStringsAsData) {
    json = false;
    const std::string retitle = "\x1b]0;owned\x07";
    const struct {
        const char* name;
        std::string serials;
        std::string faults;
        int exitCode;
        // Each printer's record (serial, port, how known, outcome) and where the printer kept its image.
        std::vector<std::vector<std::string>> records;
        std::vector<std::string> shown;  // lines of the station's output
        std::string csv;                 // a line of the CSV
        std::string junit;               // a test case of the JUnit report
    } cases[] = {
        {"two share a serial, one has none",
         "DUP1;DUP1;-",
         "",
         0,
         {{"DUP1", "1-1", "port", "complete", ""},
          {"DUP1", "1-2", "port", "complete", "port-1-2"},
          {"", "1-3", "port", "complete", "port-1-3"}},
         {"Station: 2 printers report serial DUP1: each is flashed and recorded by its port",
          " at 1-3: reports no serial number: it is flashed and recorded by its port"},
         ",DUP1,1-2,complete,0,",
         "name=\"(no serial) at 1-3\""},
        {"control characters and a formula",
         "\\x1b]0\\x3bowned\\x07;=1+2;\\x1b[2J",
         "=1+2@nak:data:1",
         1,
         {{retitle, "1-1", "serial", "complete", ""},
          {"=1+2", "1-2", "serial", "failed", "-"},
          {"\x1b[2J", "1-3", "serial", "complete", "port-1-3"}},
         {"\\x1b]0;owned\\x07 at 1-1: attached", "=1+2 at 1-2: failed: failed (exit 1)"},
         ",KX-4700,standard,'=1+2,1-2,failed,1,",
         "name=\"\\x1b]0;owned\\x07\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(dir.File("log.jsonl").c_str());
        const ProcessResult result =
            Run(3, c.faults, {"--count", "3", "--csv", dir.File("csv"), "--junit", dir.File("junit")}, nullptr,
                {"FWSIM_SERIALS=" + c.serials});
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
        for (const std::string& output : {result.out, result.err}) {
            EXPECT_EQ(output.find_first_of("\x1b\x07"), std::string::npos) << output;
        }
        for (const std::string& line : c.shown) {
            const std::size_t at = result.out.find(line);
            EXPECT_NE(at, std::string::npos) << line << "\n" << result.out;
            EXPECT_EQ(result.out.find(line, at + 1), std::string::npos) << line << " said twice";
        }
        std::set<std::vector<std::string>> records;
        for (const nlohmann::json& record : Records()) {
            records.insert({record["serial"].get<std::string>(), record["location"].get<std::string>(),
                            record["known_by"].get<std::string>(), record["outcome"].get<std::string>()});
        }
        for (const std::vector<std::string>& expected : c.records) {
            EXPECT_EQ(records.count({expected[0], expected[1], expected[2], expected[3]}), 1u) << expected[0];
            if (expected[4] != "-") {
                EXPECT_EQ(ImageInFolder(expected[4]), image) << expected[1];
            }
        }
        EXPECT_EQ(records.size(), c.records.size());
        EXPECT_THAT(ReadWholeFile(dir.File("csv")), HasSubstr(c.csv));
        const std::string junit = ReadWholeFile(dir.File("junit"));
        EXPECT_THAT(junit, HasSubstr(c.junit));
        EXPECT_TRUE(std::none_of(junit.begin(), junit.end(), [](char k) { return k != '\n' && k >= 0 && k < 0x20; }));
    }
}

// The log is opened before any printer is flashed, takes each record synced as its attempt ends,
// stops the station from flashing more once it cannot, and is the memory of the next station run.
TEST_F(Station, TheLogIsTheStationsMemoryAndEachRecordReachesTheDiskFirst) {
    const auto station = [&](int printers, std::vector<std::string> arguments,
                             std::vector<std::string> environment = {}) {
        arguments.push_back(firmware);
        return RunProcess(kCli, arguments, Printers(printers, "", std::move(environment)));
    };
    const std::string log = dir.File("log.jsonl");
    const std::string missing = dir.File("missing") + "/log.jsonl";
    const ProcessResult unopened = station(1, {"station", "--ini", ini, "-m", "KX-4700", "--log", missing});
    EXPECT_EQ(unopened.exitCode, 2);
    EXPECT_EQ(unopened.err,
              "fwload-cli: " + missing + ": No such file or directory (the log must take a record per attempt)\n");
    EXPECT_EQ(sim.State().downloads, 0);

    // The first record cannot be written: the printer waiting behind it is not flashed.
    const ProcessResult full = station(2, {"station", "--ini", ini, "-m", "KX-4700", "--parallel", "1", "--log",
                                           "/dev/full", "--csv", dir.File("csv")});
    EXPECT_EQ(full.exitCode, 2) << full.out;
    EXPECT_EQ(full.err,
              "fwload-cli: /dev/full: No space left on device: the record could not be kept, so no further "
              "printer is flashed; the runs under way finish\n");
    EXPECT_EQ(full.OutLines().back(), "Station: 1 passed, 0 failed; a record could not be kept.");
    const std::string csv = ReadWholeFile(dir.File("csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2) << csv;  // the header and the one attempt
    EXPECT_EQ(ImageIn("FWSIM1000"), image);
    EXPECT_EQ(ReadWholeFile(sim.StateDir() + "/FWSIM1001/image.bin"), "");

    // Two flashed; then a power cut mid-write leaves half a line behind.
    ASSERT_EQ(station(2, {"station", "--ini", ini, "-m", "KX-4700", "--count", "2", "--log", log}).exitCode, 0);
    { std::ofstream(log, std::ios::app) << "{\"started\":\"2026-12-10T"; }
    // Started again on its log (the options before the command, as with git): the two are done
    // earlier, the third is flashed, and the cut line is named once.
    const ProcessResult again =
        station(3, {"--ini", ini, "--json", "station", "-m", "KX-4700", "--count", "1", "--log", log});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    std::vector<std::string> events;
    for (const nlohmann::json& event : JsonLines(again.out)) {
        if (event["event"] == "done-earlier" || event["event"] == "started" || event["event"] == "log-problem") {
            events.push_back(event["event"].get<std::string>() + " " + event.value("serial", ""));
        }
    }
    EXPECT_THAT(events, ::testing::UnorderedElementsAre("log-problem ", "done-earlier FWSIM1000",
                                                        "done-earlier FWSIM1001", "started FWSIM1002"));
    EXPECT_EQ(again.err, "fwload-cli: " + log +
                             ": its last line is not a whole record (cut off as it was written); it is skipped\n");
    std::vector<std::string> serials;
    std::istringstream lines(ReadWholeFile(log));
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        if (record.is_object()) serials.push_back(record["serial"]);
    }
    EXPECT_THAT(serials, ::testing::UnorderedElementsAre("FWSIM1000", "FWSIM1001", "FWSIM1002"));
}

// A record is on the disk before the screen says how its attempt ended, so a power cut never loses
// an attempt that an operator saw end. (The recorder puts a line on the output for each sync.)
TEST_F(Station, EachRecordIsOnTheDiskBeforeItsOutcomeIsShown) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    const ProcessResult result =
        Run(3, "", {"--count", "3"}, nullptr,
            {"LD_PRELOAD=" SYNC_RECORDER,
             "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    int syncs = 0;
    int ended = 0;
    for (const std::string& line : result.OutLines()) {
        if (line == "#sync " + dir.File("log.jsonl")) ++syncs;
        if (line.find("\"event\":\"ended\"") != std::string::npos) {
            ++ended;
            EXPECT_GT(syncs, ended) << line;  // the log's opening, then one sync per record before it
        }
    }
    EXPECT_EQ(ended, 3);
    EXPECT_EQ(syncs, 4);
}

// The line's own command after each attempt: its record on the disk already, the record on the
// command's standard input and its printer in its environment; its failure told, never fatal.
TEST_F(Station, RunsTheLinesCommandAfterEachRecordIsKept) {
    const std::string out = dir.File("hook.out");
    const std::string log = dir.File("log.jsonl");
    // A lamp that notes whether its record is in the log yet, and what it was told.
    const std::string lamp = dir.Write("lamp.sh",
                                       "read -r record\n"
                                       "grep -c \"\\\"serial\\\":\\\"$SERIAL\\\"\" \"$1\" >> \"$2\"\n"
                                       "echo \"$SERIAL $LOCATION $OUTCOME $EXIT_CODE $(echo \"$record\" | "
                                       "grep -o '\"outcome\":\"[a-z]*\"')\" >> \"$2\"\n");
    const struct {
        const char* name;
        std::string command;
        std::vector<std::string> wrote;  // the lines the command wrote, sorted
        std::string err;
    } cases[] = {
        {"a lamp for each printer",
         "sh '" + lamp + "' '" + log + "' '" + out + "'",
         {"1", "1", "FWSIM1000 1-1 complete 0 \"outcome\":\"complete\"",
          "FWSIM1001 1-2 failed 1 \"outcome\":\"failed\""},
         ""},
        {"a lamp that is not there",
         "sh -c 'echo no lamp >&2; exit 5'",
         {},
         "fwload-cli: the --on-end command (sh -c 'echo no lamp >&2; exit 5') for FWSIM1000 at 1-1 ended with exit "
         "code 5: no lamp\n"
         "fwload-cli: the --on-end command (sh -c 'echo no lamp >&2; exit 5') for FWSIM1001 at 1-2 ended with exit "
         "code 5: no lamp\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(log.c_str());
        std::remove(out.c_str());
        json = false;
        const ProcessResult result =
            Run(2, "FWSIM1001@nak:poll", {"--count", "2", "--parallel", "1", "--on-end", c.command});
        EXPECT_EQ(result.exitCode, 1) << result.err;  // the refusal, whatever the command did
        std::vector<std::string> wrote;
        std::istringstream lines(ReadWholeFile(out));
        for (std::string line; std::getline(lines, line);) wrote.push_back(line);
        std::sort(wrote.begin(), wrote.end());
        EXPECT_EQ(wrote, c.wrote);
        EXPECT_EQ(result.err, c.err);
    }
}

}  // namespace
