// fwload-cli station against several virtual printers: what each printer received, what the
// station printed, and the records it kept.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

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
        std::string devices;
        for (int i = 0; i < printers; ++i) devices += (i > 0 ? ";" : "") + std::string("CARD PRINTER");
        ProcessOptions options;
        options.environment = {"LD_LIBRARY_PATH=" + kSimDir, "FWSIM_STATE_DIR=" + sim.StateDir(), "FWSIM_LATENCY_MS=1",
                               "FWSIM_WRITE_MS=5", "FWSIM_RESTART_CALLS=0", "FWSIM_DEVICES=" + devices,
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
            options.onOutLine = [onEvent](const std::string& line, int pid) { onEvent(nlohmann::json::parse(line), pid); };
        }
        std::vector<std::string> arguments{"station", "--json", "--ini", ini, "-m", "KX-4700", "--operator", "Ann",
                                           "--log", dir.File("log.jsonl")};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(firmware);
        return RunProcess(kCli, arguments, options);
    }

    std::vector<nlohmann::json> Records() const { return JsonLines(ReadWholeFile(dir.File("log.jsonl"))); }
    std::string ImageIn(const std::string& serial) const {
        const std::string folder = serial == "FWSIM1000" ? sim.StateDir() : sim.StateDir() + "/" + serial;
        return ReadWholeFile(folder + "/image.bin").substr(0, image.size());
    }

    SimEnvironment sim;
    TempDir dir;
    std::string ini;
    std::string image;
    std::string firmware;
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
        std::size_t atOnce;                 // at most this many runs at once
    } cases[] = {
        {"eight at once", 8, "", {"--count", "8", "--csv", "CSV", "--junit", "JUNIT"}, 0, eight, 8},
        {"one refuses, one is unplugged", 4, "FWSIM1001@nak:data:2,FWSIM1002@vanish:data:1",
         {"--count", "4", "--csv", "CSV", "--junit", "JUNIT"}, 1, {"complete", "failed", "failed", "complete"}, 4},
        {"plugged in one after another", 3, "FWSIM1001@attach-after:3,FWSIM1002@attach-after:6", {"--count", "3"}, 0,
         {"complete", "complete", "complete"}, 3},
        {"two at a time", 5, "", {"--count", "5", "--parallel", "2"}, 0, {eight.begin(), eight.begin() + 5}, 2},
        {"one port only", 3, "", {"--count", "1", "--location", "1-2"}, 0, {"", "complete", ""}, 1},
        {"display set-up among several", 2, "", {"--count", "2", "--display-setup"}, 1,
         {"display-not-set-up", "display-not-set-up"}, 2},
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
        EXPECT_LE(atOnce, c.atOnce);
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
            for (const char* varies : {"started", "ended", "duration_ms", "serial", "outcome", "exit_code", "message"}) {
                EXPECT_TRUE(same.contains(varies)) << varies;
                same.erase(varies);
            }
            EXPECT_EQ(same, (nlohmann::json{{"file", firmware}, {"size", 1518}, {"byte_sum", "0x0F58"}, {"sha256", sha256},
                                            {"model", "KX-4700"}, {"mode", "standard"}, {"operator", "Ann"},
                                            {"version", SUITE_VERSION}, {"station", hostName}, {"known_by", "serial"},
                                            {"location", "1-" + std::to_string(std::stoi(serial.substr(5)) - 999)}}));
        }
        EXPECT_EQ(outcomes, expected);
        if (std::find(c.options.begin(), c.options.end(), "CSV") != c.options.end()) {
            const std::string csv = ReadWholeFile(dir.File("CSV"));
            EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(expected.size()) + 1);
            EXPECT_THAT(csv, ::testing::StartsWith("started,ended,station,operator,version,file,size,byte_sum,sha256,"
                                                   "model,mode,serial,location,outcome,exit_code,message,duration_ms\r\n"));
            const std::string junit = ReadWholeFile(dir.File("JUNIT"));
            const auto failed = std::count_if(expected.begin(), expected.end(), [](auto& o) { return o.second != "complete"; });
            EXPECT_THAT(junit, HasSubstr("tests=\"" + std::to_string(expected.size()) + "\" failures=\"" +
                                         std::to_string(failed) + "\""));
            for (const auto& [serial, outcome] : expected) {
                const std::string testcase = "name=\"" + serial + "\" time=\"[0-9.]+\"" +
                                             (outcome == "complete" ? "/>" : ">\n    <failure message=\"The download failed \\(");
                EXPECT_TRUE(std::regex_search(junit, std::regex(testcase))) << testcase;
            }
        }
    }
}

// A signal once the runs are under way (or a second after the last of some events): every attempt
// is recorded once, the station says how it ended. A printer is not flashed again while it stays
// attached, passed or failed, nor when it restarts after its firmware is written, even with --again.
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
        const ProcessResult result = Run(
            c.printers, c.faults, c.options,
            [&](const nlohmann::json& event, int station) {
                if (event["event"] == "started") workers[event["serial"]] = event["pid"];
                if (c.after == "data" ? event.value("stage", "") == "data" : event["event"] == c.after) {
                    seen.insert(event["serial"].get<std::string>());
                }
                if (sent || seen.size() < static_cast<std::size_t>(c.printers)) return;
                sent = true;
                // Nothing more may start: four lists' worth of time to show it.
                if (c.after != "data") std::this_thread::sleep_for(std::chrono::milliseconds(1000));
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

// On a terminal (script(1) gives it one): a row per printer redrawn in place, then the counters.
TEST_F(Station, OnATerminalEachPrinterHasARowRedrawnInPlace) {
    const std::string station = "stty cols 100; exec " + kCli + " station --ini " + ini + " -m KX-4700 --count 2 " + firmware;
    const ProcessResult result = RunProcess("/usr/bin/script", {"-qec", station, "/dev/null"}, Printers(2, ""));
    EXPECT_EQ(result.exitCode, 0) << result.out;
    const std::size_t lastRedraw = result.out.rfind("\x1b[3A");  // up over two rows and the counters
    ASSERT_NE(lastRedraw, std::string::npos) << result.out;
    const std::string screen = std::regex_replace(result.out.substr(lastRedraw), std::regex("0:0[0-9]"), "0:0S");
    EXPECT_EQ(screen, "\x1b[3A\r1-1        FWSIM1000      done, remove   passed: complete (exit 0), 0:0S\x1b[K\r\n"
                      "\r1-2        FWSIM1001      done, remove   passed: complete (exit 0), 0:0S\x1b[K\r\n"
                      "\rpassed 2   failed 0   in progress 0\x1b[K\r\n"
                      "Station: 2 passed, 0 failed.\r\n");
    // A row while its printer is flashed: port, serial, stage, bar, bytes and time.
    EXPECT_TRUE(std::regex_search(result.out, std::regex(R"(\r1-1        FWSIM1000      [a-z-]+ +\[[#.]{20}\] [0-9,]+ / 1,518  0:0[0-9])")));
}

}  // namespace
