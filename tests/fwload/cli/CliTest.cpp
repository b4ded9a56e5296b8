// fwload-cli as scripts and production lines run it: a separate process against the virtual
// printer, judged by its exit code, its output and what the printer received.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include <cstring>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "LiveLine.h"
#include "SimEnvironment.h"
#include "Subprocess.h"
#include "SuiteVersion.h"
#include "TempDir.h"
#include "TraceTime.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kCli = FWLOAD_CLI_PATH;
const std::string kSimDir = SIM_LIBRARY_DIR;

// The last lines of standard output, the elapsed time cut from the outcome line.
std::vector<std::string> LastLines(const ProcessResult& result, std::size_t count) {
    std::vector<std::string> lines = result.OutLines();
    if (!lines.empty() && lines.back().find(" Took ") != std::string::npos) {
        lines.back().erase(lines.back().find(" Took "));
    }
    return std::vector<std::string>(lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())),
                                    lines.end());
}

nlohmann::json Outcome(const ProcessResult& result) { return nlohmann::json::parse(result.OutLines().back()); }

class Cli : public ::testing::Test {
protected:
    Cli() {
        ini = dir.Write("fwload.ini", "[KX-4700]\n1=T,R,LEFT,HELLO\n[KX-4710 Basic]\n");
        firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(1500, '\x5A'));
    }

    ProcessResult Run(std::vector<std::string> arguments, std::vector<std::string> environment = {},
                      std::function<void(const std::string&, int)> onLine = nullptr) {
        ProcessOptions options;
        options.environment = {"LD_LIBRARY_PATH=" + kSimDir, "FWSIM_STATE_DIR=" + sim.StateDir(), "FWSIM_LATENCY_MS=1",
                               "FWSIM_WRITE_MS=5", "FWSIM_RESTART_CALLS=0"};
        options.environment.insert(options.environment.end(), environment.begin(), environment.end());
        options.onOutLine = std::move(onLine);
        return RunProcess(kCli, arguments, options);
    }

    ProcessResult Download(std::vector<std::string> extra = {}, std::vector<std::string> environment = {},
                           std::function<void(const std::string&, int)> onLine = nullptr) {
        std::vector<std::string> arguments = {"--ini", ini, "--model", "kx-4700"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(firmware);
        return Run(arguments, environment, std::move(onLine));
    }

    SimEnvironment sim;
    TempDir dir;
    std::string ini;
    std::string firmware;
};

TEST_F(Cli, HelpDocumentsTheExitCodesAndUsageErrorsExitWith2) {
    const ProcessResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("Exit codes:"));
    EXPECT_THAT(help.out, HasSubstr("130  stopped by the user"));
    EXPECT_THAT(help.out, HasSubstr("4    firmware written and checked, but the printer's display was not set up"));
    EXPECT_THAT(help.out, HasSubstr("  2    usage or bad input (missing or unreadable file, not a firmware file,\n"
                                    "       unknown model)"));
    for (const std::string& line : help.OutLines()) EXPECT_LE(line.size(), 79u) << line;  // 80 columns off a terminal
    EXPECT_EQ(Run({"-V"}).out, std::string("fwload-cli ") + SUITE_VERSION + "\n");
    const ProcessResult bogus = Run({"-j", "--bogus"});
    EXPECT_EQ(bogus.exitCode, 2);
    EXPECT_EQ(Outcome(bogus)["outcome"], "bad-input");
    EXPECT_EQ(Outcome(bogus)["exit_code"], 2);

    EXPECT_EQ(Run({}).exitCode, 2);
    EXPECT_EQ(Run({firmware}).exitCode, 2);  // no --model
    EXPECT_EQ(Run({"--quiet", "--json", "--model", "KX-4700", firmware}).exitCode, 2);
    const ProcessResult unknownOption = Run({"--speed", "9", firmware});
    EXPECT_EQ(unknownOption.exitCode, 2);
    EXPECT_THAT(unknownOption.err, HasSubstr("fwload-cli:"));
}

// What a terminal receives as the progress line is redrawn: ESC[K where the console acts on it,
// otherwise blanks over what a longer line left, never a line as wide as the terminal.
TEST(LiveLineTest, RedrawsInPlaceWithOrWithoutEscapes) {
    struct Case {
        bool escapes;
        std::vector<std::pair<std::string, int>> draws;  // text, columns (0: unknown)
        bool endBeforeLast;
        std::string bytes;
    };
    const Case cases[] = {
        {true, {{"[##..] 2 / 4", 80}, {"[###.] 3", 80}}, false, "\r[##..] 2 / 4\x1b[K\r[###.] 3\x1b[K"},
        {false, {{"short", 0}, {"longer line", 0}, {"mid", 0}}, false, "\rshort\rlonger line\rmid        "},
        {false, {{"a long line", 0}, {"new", 0}}, true, "\ra long line\rnew"},
        {false, {{"0123456789", 6}, {"01", 6}}, false, "\r01234\r01   "},
    };
    for (const Case& c : cases) {
        LiveLine line(c.escapes);
        std::string bytes;
        for (std::size_t i = 0; i < c.draws.size(); ++i) {
            if (c.endBeforeLast && i + 1 == c.draws.size()) line.End();
            bytes += line.Draw(c.draws[i].first, c.draws[i].second);
        }
        EXPECT_EQ(bytes, c.bytes) << ::testing::PrintToString(c.draws);
    }
}

TEST_F(Cli, BadInputGetsOneClearLineAndExit2WithoutTouchingThePrinter) {
    const std::string trace = dir.File("printer.trace");
    const std::string huge = dir.Write("huge.bin", "[NOV Card Printer]");
    std::filesystem::resize_file(huge, 2147483649ULL);
    const std::string binaryIni =
        dir.Write("binary.ini", std::string("\x00\xFF\x13[\x01\x02", 6) + std::string(3000, '\x7F'));
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--ini", ini, "--model", "KX-4700", dir.File("missing.bin")}, "No such file or directory"},
        {{"--ini", ini, "--model", "KX-4700", dir.Path()}, "is a directory"},
        {{"--ini", ini, "--model", "KX-4700", dir.Write("empty.bin", "")}, "not a card printer firmware file"},
        {{"--ini", ini, "--model", "KX-4700", dir.Write("17.bin", "[NOV Card Printer")},
         "not a card printer firmware file"},
        {{"--ini", ini, "--model", "KX-4700", dir.Write("lower.bin", "[nov card printer]xx")},
         "not a card printer firmware file"},
        {{"--ini", ini, "--model", "KX-4700", huge}, "too large"},
        {{"--ini", dir.Path(), "--model", "KX-4700", firmware}, "is a directory"},
        {{"--ini", dir.File("missing.ini"), "--model", "KX-4700", firmware}, "missing.ini: No such file or directory"},
        {{"--ini", binaryIni, "--model", "KX-4700", firmware}, "unknown model \"KX-4700\""},
        {{"--ini", ini, "--model", "KX-9999", firmware},
         "unknown model \"KX-9999\"; " + ini + " lists:\n  KX-4700\n  KX-4710 Basic"},
    };
    for (const Case& c : cases) {
        const ProcessResult result = Run(c.arguments, {"FWSIM_TRACE=" + trace});
        EXPECT_EQ(result.exitCode, 2) << c.message;
        EXPECT_THAT(result.err, HasSubstr(c.message));
        EXPECT_THAT(result.err, ::testing::StartsWith("fwload-cli: "));
    }
    EXPECT_EQ(ReadWholeFile(trace), "");
}

TEST_F(Cli, AMissingDriverOrPrinterExitsWith3) {
    ProcessOptions noDriver;
    noDriver.unset = {"LD_LIBRARY_PATH"};
    const ProcessResult missing = RunProcess(kCli, {"--ini", ini, "--model", "KX-4700", firmware}, noDriver);
    if (missing.err.find("was not found") == std::string::npos) GTEST_SKIP() << "a D2XX library is installed here";
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err,
              "fwload-cli: the FTDI D2XX driver library (libftd2xx.so) was not found; install the "
              "cardprinter-suite-d2xx package (from the suite's apt repository, or its .deb file with apt "
              "install ./cardprinter-suite-d2xx_*.deb), or FTDI's own libftd2xx.so\n");
    EXPECT_EQ(RunProcess(kCli, {"--list"}, noDriver).exitCode, 3);

    const ProcessResult none = Download({}, {"FWSIM_DEVICES="});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_EQ(none.err, "Error: USB device not found.\n");
    const ProcessResult other = Download({}, {"FWSIM_DEVICES=USB Serial Converter"});
    EXPECT_EQ(other.exitCode, 3);
    EXPECT_EQ(other.err, "Error: Card Printer not found.\n");
}

TEST_F(Cli, ListsDevicesAndWhichIsACardPrinter) {
    const ProcessResult list =
        Run({"--list"}, {"FWSIM_DEVICES=USB Serial Converter;Card Printer", "FWSIM_LOCATIONS=1-2.3;1-4"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_THAT(list.OutLines(), ElementsAre("0\t\"USB Serial Converter\"\tFWSIM1000\tnot a card printer\t1-2.3",
                                             "1\t\"Card Printer\"\tFWSIM1001\tcard printer\t1-4"));
    const ProcessResult json = Run({"--list", "--json"}, {"FWSIM_DEVICES=Card Printer", "FWSIM_SERIALS=SN-7"});
    ASSERT_EQ(json.OutLines().size(), 2u);
    EXPECT_EQ(json.OutLines().front(), R"({"card_printer":true,"description":"Card Printer","index":0,)"
                                       R"("location":"1-1","serial":"SN-7"})");
    EXPECT_EQ(Outcome(json)["outcome"], "listed");
    EXPECT_EQ(Outcome(json)["card_printers"], 1);
    // Every device on a port of its own, the sixteenth on the next bus.
    const ProcessResult sixteen = Run({"--list"}, {"FWSIM_DEVICES=" + SimEnvironment::CardPrinters(16)});
    ASSERT_GE(sixteen.OutLines().size(), 16u);
    EXPECT_EQ(sixteen.OutLines()[14], "14\t\"CARD PRINTER\"\tFWSIM1014\tcard printer\t1-15");
    EXPECT_EQ(sixteen.OutLines()[15], "15\t\"CARD PRINTER\"\tFWSIM1015\tcard printer\t2-1");
    const ProcessResult none = Run({"--list"}, {"FWSIM_DEVICES="});
    EXPECT_THAT(none.OutLines(), ElementsAre("No D2XX devices attached."));
    EXPECT_EQ(none.err,
              "fwload-cli: no USB device with an FTDI chip is attached: is the printer plugged in and "
              "switched on?\n");
}

// A serial number or description is whatever the chip holds, and a file name whatever was typed:
// a terminal is shown them with their control characters made visible, JSON keeps them exact, and
// a serial that two printers report chooses neither.
TEST_F(Cli, DeviceStringsAreShownAsDataAndASharedSerialChoosesNeither) {
    const std::string odd = "FWSIM_SERIALS=\\x1b]0\\x3bowned\\x07";
    const std::string oddFile = dir.Write("fw\x1b[2J.bin", "[NOV Card Printer]" + std::string(1500, '\x5A'));
    const std::string shown = dir.File("fw\\x1b[2J.bin");
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        int exitCode;
        std::string out;  // its first line
        std::string err;
    } cases[] = {
        {"--list", {"--list"}, {odd}, 0, "0\t\"CARD PRINTER\"\t\\x1b]0;owned\\x07\tcard printer\t1-1", ""},
        {"--list --json",
         {"--list", "--json"},
         {odd},
         0,
         R"({"card_printer":true,"description":"CARD PRINTER","index":0,"location":"1-1","serial":"\u001b]0;owned\u0007"})",
         ""},
        {"a download",
         {"--ini", ini, "-m", "KX-4700", "--no-display-setup", oddFile},
         {odd},
         0,
         "Printer: \"CARD PRINTER\", serial \\x1b]0;owned\\x07; firmware: " + shown + ", 1,518 bytes, byte sum 0x0F58",
         ""},
        {"--check", {"--check", oddFile}, {}, 0, "File:        " + shown, ""},
        {"a missing file",
         {"--ini", ini, "-m", "KX-4700", oddFile + "\x07"},
         {},
         2,
         "",
         "fwload-cli: " + shown + "\\x07: No such file or directory\n"},
        {"a serial two printers report",
         {"--ini", ini, "-m", "KX-4700", "--serial", "DUP1", firmware},
         {"FWSIM_DEVICES=CARD PRINTER;CARD PRINTER", "FWSIM_SERIALS=DUP1;DUP1"},
         3,
         "",
         "fwload-cli: 2 card printers report serial number DUP1; choose one with --location\n"
         "  0\t\"CARD PRINTER\"\tDUP1\tcard printer\t1-1\n  1\t\"CARD PRINTER\"\tDUP1\tcard printer\t1-2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult result = Run(c.arguments, c.environment);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(result.OutLines().empty() ? "" : result.OutLines().front(), c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ((result.out + result.err).find_first_of("\x1b\x07"), std::string::npos);
    }
    const ProcessResult ambiguous = Run({"--ini", ini, "-m", "KX-4700", "--json", "--serial", "DUP1", firmware},
                                        {"FWSIM_DEVICES=CARD PRINTER;CARD PRINTER", "FWSIM_SERIALS=DUP1;DUP1"});
    const nlohmann::json outcome = Outcome(ambiguous);
    EXPECT_EQ(outcome["outcome"], "ambiguous");
    std::vector<std::string> locations;
    for (const nlohmann::json& candidate : outcome["candidates"]) locations.push_back(candidate["location"]);
    EXPECT_THAT(locations, ElementsAre("1-1", "1-2"));
    EXPECT_EQ(sim.State().downloads, 1);  // the odd serial's download; neither DUP1 was touched
}

TEST_F(Cli, ARefusedPollFailsWithExit1AndTheWindowsTexts) {
    const ProcessResult result = Download({}, {"FWSIM_FAULTS=nak:poll"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(LastLines(result, 3), ElementsAre("Status: Ready to download(Polling). -> Failure",
                                                  "Status: Download Failure!!...", "The download failed."));
}

TEST_F(Cli, FaultsEndInTheirExitCodes) {
    const struct {
        const char* faults;
        int exitCode;
        const char* lastStatus;
        const char* outcome = nullptr;
    } cases[] = {
        {"count-error", 3, nullptr, "no-printer"},
        {"open-error:0", 3, nullptr, "busy"},
        {"description-error:0", 3, nullptr, "no-access"},
        {"nak:mode", 1, "Status: Download Failure!!..."},
        {"vanish:data:1", 1, "Status: Download Failure!!..."},
        {"short:0:4", 1, "Status: Download Failure!!..."},
        {"code:checksum:31", 1, "Status: Download Failure!!..."},
    };
    for (const auto& c : cases) {
        const ProcessResult result = Download({"--json"}, {std::string("FWSIM_FAULTS=") + c.faults});
        EXPECT_EQ(result.exitCode, c.exitCode) << c.faults;
        const nlohmann::json outcome = nlohmann::json::parse(result.OutLines().back());
        EXPECT_EQ(outcome["exit_code"], c.exitCode) << c.faults;
        if (c.outcome != nullptr) {
            EXPECT_EQ(outcome["outcome"], c.outcome) << c.faults;
        }
        if (c.lastStatus != nullptr) {
            EXPECT_EQ(outcome["status"], c.lastStatus) << c.faults;
        }
    }
}

TEST_F(Cli, JsonReportsEveryEventOfASuccessfulDownload) {
    const ProcessResult result = Download({"--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> statuses;
    std::vector<std::string> transfer;  // the transfer bar's "position/maximum"
    nlohmann::json last;
    int progress = 0;
    for (const std::string& line : result.OutLines()) {
        const nlohmann::json event = nlohmann::json::parse(line);
        if (event["event"] == "status") statuses.push_back(event["text"]);
        if (event["event"] == "progress") ++progress;
        if (event["event"] == "progress" && event["bar"] == "transfer") {
            transfer.push_back(std::to_string(event["position"].get<int>()) + "/" +
                               std::to_string(event["maximum"].get<int>()));
        }
        last = event;
    }
    // The bar counts against the whole file, as the window does, and ends at its maximum.
    EXPECT_THAT(transfer, ElementsAre("512/1518", "1024/1518", "1500/1518", "1518/1518"));
    EXPECT_THAT(statuses,
                ElementsAre("Status: Ready to download(mode change).", "Status: Ready to download(Polling).",
                            "Status: Download now.", "Status: Downloading( 512 / 1,518 bytes )",
                            "Status: Downloading( 1,024 / 1,518 bytes )", "Status: Downloading( 1,500 / 1,518 bytes )",
                            "Status: Write to memory.", "Status: Check sum", "Status: Download complete!!...",
                            "Status: Initializing!!...", "Status: Initialization complete!!..."));
    EXPECT_GE(progress, 3);
    EXPECT_EQ(last["outcome"], "complete");
    EXPECT_EQ(last["status"], "Status: Initialization complete!!...");
    EXPECT_EQ(last["exit_code"], 0);
    EXPECT_EQ(last["device"]["serial"], "FWSIM1000");
    EXPECT_EQ(sim.State().lines[0].text, "HELLO           ");
}

TEST_F(Cli, QuietPrintsOnlyTheOutcomeAndTheTraceHasEveryFrame) {
    const std::string trace = dir.File("support.trace");
    const ProcessResult result = Download({"--quiet", "--trace", trace});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(LastLines(result, 2), ElementsAre("Download complete; the printer's display is set up."));
    EXPECT_EQ(result.OutLines().size(), 1u);
    const std::string text = ReadWholeFile(trace);
    EXPECT_THAT(text, HasSubstr("write 4/4 status 0: 1B 52 44 0D\n"));
    EXPECT_THAT(text, HasSubstr("read 1 status 0: 06\n"));
    EXPECT_THAT(text, HasSubstr("write 5/5 status 0: 02 40 03 00 27\n"));
    EXPECT_THAT(text, HasSubstr("read 6 status 0: 02 30 40 03 2B CF\n"));
    EXPECT_THAT(text, HasSubstr("Status: Write to memory.\n"));
    EXPECT_THAT(text, HasSubstr("=== fwload-cli "));
    EXPECT_THAT(text, HasSubstr("=== model: KX-4700\n"));
    EXPECT_THAT(text, HasSubstr(" ... 471 bytes ... "));  // a data frame, its middle told by its count
    EXPECT_THAT(text, ::testing::EndsWith(
                          "=== outcome: complete (exit 0): Download complete; the printer's display is set up.\n"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n') > 10, true);
}

TEST_F(Cli, CtrlCSigtermAndSighupDuringAReplyWaitStopWith128PlusTheSignal) {
    const struct {
        int signal;
        int times;  // sent in quick succession
        int exitCode;
    } cases[] = {{SIGINT, 1, 130}, {SIGINT, 3, 130}, {SIGTERM, 1, 143}, {SIGHUP, 1, 129}};
    for (const auto& c : cases) {
        const ProcessResult result = Download({}, {"FWSIM_LATENCY_MS=4000"}, [&](const std::string& line, int pid) {
            if (line != "Status: Ready to download(mode change).") return;
            for (int i = 0; i < c.times; ++i) kill(pid, c.signal);
        });
        EXPECT_EQ(result.exitCode, c.exitCode) << strsignal(c.signal) << " x" << c.times;
        EXPECT_THAT(LastLines(result, 3), ElementsAre("Status: Ready to download(mode change). -> Failure",
                                                      "Status: Download Failure!!...", "Stopped by the user."))
            << strsignal(c.signal);
        EXPECT_EQ(result.err, "fwload-cli: stopped by the user during the mode change\n") << strsignal(c.signal);
    }
}

// A stop that comes while the printer writes its memory is kept and honoured before the display
// set-up; a reader that goes away, or firmware only on purpose, ends with the firmware in.
TEST_F(Cli, StopsAndClosedOutputsLeaveTheFirmwareInAndTheOutcomeTrue) {
    const std::string noSdk = dir.File("no-sdk");
    std::filesystem::create_directory(noSdk);
    std::filesystem::create_symlink(kSimDir + "/libftd2xx.so", noSdk + "/libftd2xx.so");
    const std::string kept =
        "fwload-cli: the printer is writing its memory and must not be interrupted now; the run "
        "will stop as soon as the firmware is written.";
    const std::string stopped =
        "Stopped by the user: the firmware is in the printer and checked; its display was not set up.";
    const struct {
        const char* name;
        std::vector<std::string> extra;
        std::vector<std::string> environment;
        int signal;  // sent when the write to memory begins, three times
        bool closedOutput;
        int exitCode;
        std::vector<std::string> errLines;
        std::string lastLine;  // empty: not looked at
        bool displaySetUp;
    } cases[] = {
        {"Ctrl-C", {}, {"FWSIM_WRITE_MS=1500"}, SIGINT, false, 130, {kept}, stopped, false},
        {"SIGTERM", {}, {"FWSIM_WRITE_MS=1500"}, SIGTERM, false, 143, {kept}, stopped, false},
        {"output closed", {"--json"}, {}, 0, true, 0, {}, "", true},
        {"firmware only",
         {"--no-display-setup"},
         {"LD_LIBRARY_PATH=" + noSdk},
         0,
         false,
         0,
         {},
         "Download complete; display set-up skipped as asked.",
         false},
    };
    for (const auto& c : cases) {
        const TempDir printer;  // a new printer for each case
        const auto press = [&](const std::string& line, int pid) {
            if (c.signal == 0 || line != "Status: Write to memory.") return;
            for (int i = 0; i < 3; ++i, usleep(100000)) kill(pid, c.signal);
        };
        ProcessResult result;
        if (c.closedOutput) {
            // Like `fwload-cli --json ... | head -1`: the reader is gone after the first line.
            ProcessOptions options;
            options.environment = {"LD_LIBRARY_PATH=" + kSimDir, "FWSIM_STATE_DIR=" + printer.Path(),
                                   "FWSIM_LATENCY_MS=1", "FWSIM_WRITE_MS=5", "FWSIM_RESTART_CALLS=0"};
            std::vector<std::string> arguments = {
                "-c",     "\"$0\" \"$@\" | head -n 1 >/dev/null; exit ${PIPESTATUS[0]}", kCli, "--ini", ini, "--model",
                "KX-4700"};
            arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
            arguments.push_back(firmware);
            result = RunProcess("/bin/bash", arguments, options);
        } else {
            std::vector<std::string> environment = {"FWSIM_STATE_DIR=" + printer.Path()};
            environment.insert(environment.end(), c.environment.begin(), c.environment.end());
            result = Download(c.extra, environment, press);
        }
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(result.ErrLines(), c.errLines) << c.name;
        if (!c.lastLine.empty()) {
            EXPECT_THAT(LastLines(result, 1), ElementsAre(c.lastLine)) << c.name;
        }
        const sim::PrinterState state = sim::PrinterStore(printer.Path()).Load();
        EXPECT_EQ(state.downloads, 1) << c.name;
        EXPECT_EQ(state.lines[0].written, c.displaySetUp) << c.name;
    }
}

TEST_F(Cli, EveryFailureSaysWhyOnStderrAndInTheJsonOutcome) {
    // A directory with the D2XX face alone: no card printer SDK library to set the display up with.
    const std::string noSdk = dir.File("no-sdk");
    std::filesystem::create_directory(noSdk);
    std::filesystem::create_symlink(kSimDir + "/libftd2xx.so", noSdk + "/libftd2xx.so");
    const struct {
        std::vector<std::string> environment;
        int exitCode;
        const char* stage;
        const char* cause;
        int frame;
        int resultCode;
        int bytesSent;
        std::string message;
    } cases[] = {
        {{"FWSIM_FAULTS=nak:data:1"},
         1,
         "data",
         "refused",
         1,
         0x15,
         512,
         "the printer refused data frame 1 (result code 0x15) after 512 of 1,518 bytes"},
        {{"FWSIM_FAULTS=corrupt:poll"},
         1,
         "polling",
         "damaged-reply",
         -1,
         -1,
         0,
         "the printer's reply to the poll was damaged (bad CRC)"},
        {{"FWSIM_FAULTS=corrupt:mode"},
         1,
         "mode-change",
         "damaged-reply",
         -1,
         -1,
         0,
         "the printer's reply to the mode change was damaged (wrong length 1)"},
        {{"FWSIM_FAULTS=silence:data:0"},
         1,
         "data",
         "no-reply",
         0,
         -1,
         0,
         "the printer did not answer data frame 0 within 5 s after 0 of 1,518 bytes"},
        {{"FWSIM_FAULTS=short:1:4"},
         1,
         "data",
         "short-write",
         1,
         -1,
         512,
         "only 518 of 519 bytes of data frame 1 could be written after 512 of 1,518 bytes"},
        {{"FWSIM_FAULTS=vanish:data:2"},
         1,
         "data",
         "device-error",
         2,
         -1,
         1024,
         "the printer failed or was unplugged during data frame 2 (D2XX status 4, FT_IO_ERROR) after 1,024 of 1,518 "
         "bytes"},
        {{"FWSIM_FAULTS=code:checksum:31"},
         1,
         "checksum",
         "checksum-mismatch",
         -1,
         0x31,
         1500,
         "the printer's checksum does not match the image's byte sum 0x0F58 (result code 0x31)"},
        {{"FWSIM_FAULTS=sdk-fail:UserLCDMemoryWrite"},
         4,
         "display-set-up",
         "refused",
         1,
         1,
         1500,
         "The firmware is in the printer and checked, but its display was not set up: the card printer SDK refused "
         "display line 1 (result 1)."},
        {{"LD_LIBRARY_PATH=" + noSdk},
         4,
         "display-set-up",
         "no-sdk-library",
         -1,
         -1,
         1500,
         "The firmware is in the printer and checked, but its display was not set up: no card printer SDK library; "
         "--no-display-setup downloads the firmware alone."},
    };
    for (const auto& c : cases) {
        const ProcessResult result = Download({"--json"}, c.environment);
        const std::string name = c.environment.front();
        EXPECT_EQ(result.exitCode, c.exitCode) << name;
        const nlohmann::json outcome = Outcome(result);
        EXPECT_EQ(outcome["stage"], c.stage) << name;
        EXPECT_EQ(outcome["cause"], c.cause) << name;
        EXPECT_EQ(outcome["frame"], c.frame < 0 ? nlohmann::json(nullptr) : nlohmann::json(c.frame)) << name;
        EXPECT_EQ(outcome["result_code"], c.resultCode < 0 ? nlohmann::json(nullptr) : nlohmann::json(c.resultCode))
            << name;
        EXPECT_EQ(outcome["bytes_sent"], c.bytesSent) << name;
        EXPECT_EQ(c.exitCode == 1 ? result.err : outcome["message"].get<std::string>(),
                  c.exitCode == 1 ? "fwload-cli: " + c.message + "\n" : c.message)
            << name;
    }
}

// A file name in another encoding than UTF-8 (Latin-1 here) still gives valid JSON on every line.
TEST_F(Cli, JsonLinesStayValidForANameThatIsNotUtf8) {
    const std::string latin1 = dir.File("caf\xe9.bin");
    std::filesystem::copy_file(firmware, latin1);
    firmware = latin1;
    const ProcessResult result = Download({"--json"});
    EXPECT_EQ(result.exitCode, 0);
    std::vector<nlohmann::json> events;
    for (const std::string& line : result.OutLines()) events.push_back(nlohmann::json::parse(line));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front()["file"], dir.File("caf\xEF\xBF\xBD.bin"));
    EXPECT_EQ(events.back()["outcome"], "complete");
}

// --check describes a file without a printer or a D2XX library; --sha256 pins the file a line
// released, refused before any device is listed. SHA-256 sums come from coreutils' sha256sum.
TEST_F(Cli, ChecksAndPinsTheFirmwareFile) {
    const auto sha256sum = [](const std::string& file) {
        return RunProcess("/usr/bin/sha256sum", {file}).out.substr(0, 64);
    };
    const std::string full = dir.Write("full.bin", "[NOV Card Printer]" + std::string(1024, '\x01'));
    const std::string other = dir.Write("other.bin", "[NOV Card Printer");
    const std::vector<std::string> noDriver = {"LD_LIBRARY_PATH=" + dir.Path()};
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::vector<std::string> lines;  // of standard output, or of standard error when that is empty
    } cases[] = {
        {{"--check", firmware},
         0,
         {"File:        " + firmware, "Header:      card printer firmware", "Size:        1,518 bytes",
          "Image:       1,500 bytes in 3 data frames", "Byte sum:    0x0F58", "SHA-256:     " + sha256sum(firmware)}},
        {{"--check", full},
         0,
         {"File:        " + full, "Header:      card printer firmware", "Size:        1,042 bytes",
          "Image:       1,024 bytes in 3 data frames", "Byte sum:    0x0400", "SHA-256:     " + sha256sum(full)}},
        {{"--check", other},
         2,
         {"File:        " + other, "Header:      not card printer firmware", "Size:        17 bytes",
          "SHA-256:     " + sha256sum(other)}},
        {{"--ini", ini, "-m", "KX-4700", "--sha256", std::string(64, 'A'), firmware},
         2,
         {"fwload-cli: " + firmware + ": its SHA-256 is " + sha256sum(firmware) + ", not the " + std::string(64, 'a') +
          " that --sha256 asks for"}},
        {{"--ini", ini, "-m", "KX-4700", "--sha256", "abc", firmware},
         2,
         {"fwload-cli: --sha256: \"abc\" is not 64 hex digits", "Run fwload-cli --help for usage."}},
    };
    for (const auto& c : cases) {
        const ProcessResult result = Run(c.arguments, noDriver);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[1];
        EXPECT_EQ(result.out.empty() ? result.ErrLines() : result.OutLines(), c.lines) << c.arguments[1];
    }
    const nlohmann::json check = Outcome(Run({"--check", firmware, "--json"}, noDriver));
    EXPECT_EQ(check["data_frames"], 3);
    EXPECT_EQ(check["byte_sum"], "0x0F58");
    EXPECT_EQ(check["sha256"], sha256sum(firmware));
    const ProcessResult pinned = Download({"--json", "--sha256", sha256sum(firmware)});
    EXPECT_EQ(pinned.exitCode, 0);
    EXPECT_EQ(Outcome(pinned)["sha256"], sha256sum(firmware));
}

// A display line the set-up cannot read is passed over, as in the window, but named once first.
TEST_F(Cli, NamesTheDisplayLinesItPassesOver) {
    ini = dir.Write("lines.ini", "[KX-4700]\n1=garbage\n2=T,R,LEFT,OK\n3=\n4=T,R\n");
    const std::string named = "not a display line (T,attribute,alignment,text; I,-,-,image; or A); it is passed over";
    const struct {
        std::vector<std::string> extra;
        std::vector<std::string> err;
    } cases[] = {
        {{},
         {"fwload-cli: " + ini + ", [KX-4700] 1=garbage: " + named,
          "fwload-cli: " + ini + ", [KX-4700] 4=T,R: " + named}},
        {{"--no-display-setup"}, {}},
    };
    for (const auto& c : cases) {
        const ProcessResult result = Download(c.extra);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.ErrLines(), c.err);
    }
}

TEST_F(Cli, TheRestartWaitIsBoundedAndCtrlCThereStillMeansTheFirmwareIsIn) {
    const ProcessResult late = Download({"--restart-timeout", "1"}, {"FWSIM_RESTART_MS=60000"});
    EXPECT_EQ(late.exitCode, 4);
    EXPECT_THAT(LastLines(late, 1), ElementsAre("The firmware is in the printer and checked, but its display was not "
                                                "set up: the printer did not answer within 1 s."));
    const ProcessResult interrupted = Download({}, {"FWSIM_RESTART_MS=60000"}, [](const std::string& line, int pid) {
        if (line == "Status: Initializing!!...") kill(pid, SIGINT);
    });
    EXPECT_EQ(interrupted.exitCode, 4);
    EXPECT_EQ(sim.State().downloads, 2);
}

TEST_F(Cli, WithSeveralPrintersTheChoiceIsMadeOrRefused) {
    const std::string two = "FWSIM_DEVICES=CARD PRINTER;Card Printer";
    const ProcessResult unclear = Download({"--json"}, {two});
    EXPECT_EQ(unclear.exitCode, 3);
    EXPECT_EQ(unclear.err,
              "fwload-cli: 2 card printers are attached; choose one with --serial, --location or --index\n"
              "  0\t\"CARD PRINTER\"\tFWSIM1000\tcard printer\t1-1\n"
              "  1\t\"Card Printer\"\tFWSIM1001\tcard printer\t1-2\n");
    EXPECT_EQ(Outcome(unclear)["outcome"], "ambiguous");
    EXPECT_EQ(
        Outcome(unclear)["candidates"],
        nlohmann::json::parse(R"([{"description":"CARD PRINTER","index":0,"location":"1-1","serial":"FWSIM1000"},)"
                              R"({"description":"Card Printer","index":1,"location":"1-2","serial":"FWSIM1001"}])"));

    // The printer chosen from the list is the one opened: unplugged after the list, it is not
    // replaced by whatever else opens.
    for (const std::vector<std::string>& choice :
         {std::vector<std::string>{"--serial", "FWSIM1001"}, std::vector<std::string>{"--index", "1"}}) {
        const ProcessResult gone = Download(choice, {two, "FWSIM_FAULTS=detach-after:1"});
        EXPECT_EQ(gone.exitCode, 3) << choice[0];
        EXPECT_THAT(LastLines(gone, 1), ElementsAre("The card printer chosen (\"Card Printer\", serial FWSIM1001) is "
                                                    "no longer attached."))
            << choice[0];
    }

    const ProcessResult bySerial = Download({"--serial", "FWSIM1001"}, {two});
    EXPECT_EQ(bySerial.exitCode, 0) << bySerial.err;
    EXPECT_THAT(bySerial.OutLines().front(),
                ::testing::StartsWith("Printer: \"Card Printer\", serial FWSIM1001; firmware: " + firmware +
                                      ", 1,518 bytes, byte sum 0x0F58"));
    EXPECT_EQ(ReadWholeFile(sim.StateDir() + "/FWSIM1001/image.bin").size(), 1536u);
    EXPECT_EQ(sim.State().downloads, 0);  // the other printer has not been touched

    EXPECT_EQ(Download({"--index", "0"}, {two}).exitCode, 0);
    EXPECT_EQ(sim.State().downloads, 1);
    EXPECT_EQ(Download({"--index", "2"}, {two}).exitCode, 3);
    EXPECT_EQ(Download({"--serial", "NOPE"}, {two}).exitCode, 3);

    // A second process on a printer in use gets the driver's refusal.
    ProcessResult second;
    const ProcessResult first = Download({"--serial", "FWSIM1001"}, {two}, [&](const std::string& line, int) {
        if (line == "Status: Ready to download(mode change).") second = Download({"--serial", "FWSIM1001"}, {two});
    });
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_EQ(second.err,
              "fwload-cli: the card printer \"Card Printer\" (serial FWSIM1001) could not be opened "
              "(D2XX status 3, FT_DEVICE_NOT_OPENED); another program may be using it\n");
}

// A fixture picks its printer by the USB port it is plugged into, and may wait for it to appear.
TEST_F(Cli, LocationPicksThePortAndWaitWaitsBoundedForThePrinter) {
    const std::string two = "FWSIM_DEVICES=USB Serial Converter;Card Printer";
    const std::string places = "FWSIM_LOCATIONS=1-2.3;1-4";
    const std::string waiting = "Waiting up to 5 s for the device at location 1-4 to be attached...";
    const struct {
        std::vector<std::string> options;
        std::string faults;
        int exitCode;
        std::string firstLine;  // of standard output
        std::string err;
    } cases[] = {
        {{"--location", "1-4"}, "", 0, "Printer: \"Card Printer\", serial FWSIM1001; firmware: " + firmware, ""},
        {{"--location", "1-2.3"},
         "",
         3,
         "",
         "fwload-cli: the device at location 1-2.3 is not a card printer: "
         "0\t\"USB Serial Converter\"\tFWSIM1000\tnot a card printer\t1-2.3\n"},
        {{"--location", "1-5"}, "", 3, "", "fwload-cli: no device is attached at location 1-5\n"},
        {{"--location", "1-4.16"},
         "",
         2,
         "",
         "fwload-cli: --location: \"1-4.16\" is not a USB port path such as 1-2.3\nRun fwload-cli --help for usage.\n"},
        {{"--location", "1-4", "--index", "1"},
         "",
         2,
         "",
         "fwload-cli: choose the printer with one of --serial, --index and --location\n"
         "Run fwload-cli --help for usage.\n"},
        // The device list is empty for its first three reads (about half a second).
        {{"--wait", "5", "--location", "1-4"}, "attach-after:3", 0, waiting, ""},
        {{"--wait", "5", "--location", "1-4"},
         "",
         0,
         "Printer: \"Card Printer\", serial FWSIM1001; firmware: " + firmware,
         ""},
        {{"--wait", "1", "--serial", "FWSIM1001"},
         "attach-after:1000",
         3,
         "Waiting up to 1 s for the card printer with serial number FWSIM1001 to be attached...",
         "fwload-cli: no card printer with serial number FWSIM1001 is attached\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = Download(c.options, {two, places, "FWSIM_FAULTS=" + c.faults});
        const std::string name = ::testing::PrintToString(c.options);
        EXPECT_EQ(result.exitCode, c.exitCode) << name;
        EXPECT_EQ(result.OutLines().empty() ? "" : result.OutLines().front().substr(0, c.firstLine.size()), c.firstLine)
            << name;
        EXPECT_EQ(result.err, c.err) << name;
    }
    EXPECT_EQ(ReadWholeFile(sim.StateDir() + "/FWSIM1001/image.bin").size(), 1536u);

    // The wait counts in the run's time: two empty lists 250 ms apart come before the printer.
    const ProcessResult waited =
        Download({"--json", "--wait", "5", "--location", "1-4"}, {two, places, "FWSIM_FAULTS=attach-after:3"});
    EXPECT_GE(Outcome(waited)["waited_ms"], 500);
    EXPECT_GE(Outcome(waited)["elapsed_ms"], Outcome(waited)["waited_ms"]);

    // Ctrl-C ends the wait, with the outcome object.
    const ProcessResult stopped = Download({"--json", "--wait", "60"}, {"FWSIM_FAULTS=attach-after:100000"},
                                           [](const std::string& line, int pid) {
                                               if (line.find("\"waiting\"") != std::string::npos) kill(pid, SIGINT);
                                           });
    EXPECT_EQ(stopped.exitCode, 130);
    EXPECT_EQ(Outcome(stopped)["outcome"], "stopped");
    EXPECT_EQ(Outcome(stopped)["message"], "stopped while waiting for a card printer");
}

TEST_F(Cli, FastSendsTheSameBytesAndGivesTheLatencyTimerBack) {
    // The same image, standard and --fast: byte for byte the same requests reach the printer. The
    // printer refuses the checksum, so each run ends there instead of waiting for the restart.
    for (std::size_t imageBytes : {std::size_t{100}, std::size_t{3000}, std::size_t{0}}) {
        firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(imageBytes, '\x33'));
        const std::string standard = dir.File("standard" + std::to_string(imageBytes) + ".trace");
        const std::string fast = dir.File("fast" + std::to_string(imageBytes) + ".trace");
        const std::string refused = "FWSIM_FAULTS=nak:checksum";
        ASSERT_EQ(Download({"-q"}, {"FWSIM_TRACE=" + standard, refused}).exitCode, 1) << imageBytes;
        const ProcessResult result = Download({"-j", "--fast"}, {"FWSIM_TRACE=" + fast, refused});
        ASSERT_EQ(result.exitCode, 1) << imageBytes;
        EXPECT_EQ(Outcome(result)["mode"], "fast");
        EXPECT_EQ(WrittenBytes(fast), WrittenBytes(standard)) << imageBytes;
        EXPECT_EQ(WrittenBytes(fast).size(), imageBytes / 512 + 5) << imageBytes;
        // Each reply read once when it is whole, not until a read comes back empty.
        const auto reads = [](const std::string& trace) {
            const std::string text = ReadWholeFile(trace);
            std::size_t count = 0;
            for (std::size_t at = text.find(" FT_Read("); at != std::string::npos;
                 at = text.find(" FT_Read(", at + 1)) {
                ++count;
            }
            return count;
        };
        EXPECT_LE(reads(fast) * 2, reads(standard)) << imageBytes;
    }

    // The chip's latency timer goes to 1 ms for the download and back to its value however it ends
    // (an image long enough for Ctrl-C, or a change to the file, to land in the data stage; the file
    // that shrinks meanwhile still goes in whole, as it was when the download began).
    const struct {
        const char* faults;
        bool interrupt;
        bool truncate;  // the file shrinks under the download
        int exitCode;
    } endings[] = {
        {"", false, false, 0}, {"nak:data:1", false, false, 1}, {"", true, false, 130}, {"", false, true, 0}};
    for (const auto& ending : endings) {
        firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(200000, '\x44'));
        const std::string trace = dir.File("latency.trace");
        std::filesystem::remove(trace);
        const ProcessResult result = Download(
            {"--fast"}, {"FWSIM_TRACE=" + trace, "FWSIM_LATENCY_MS=16", std::string("FWSIM_FAULTS=") + ending.faults},
            [&](const std::string& line, int pid) {
                if (ending.interrupt && line == "Status: Download now.") kill(pid, SIGINT);
                if (ending.truncate && line.rfind("Downloading: ", 0) == 0) {
                    std::filesystem::resize_file(firmware, 18 + 100);
                }
            });
        EXPECT_EQ(result.exitCode, ending.exitCode) << ending.faults;
        std::vector<std::string> latency;
        std::istringstream lines(ReadWholeFile(trace));
        for (std::string line; std::getline(lines, line);) {
            if (line.find("FT_SetLatencyTimer(") != std::string::npos) latency.push_back(line.substr(line.find("FT_")));
        }
        EXPECT_THAT(latency, ElementsAre("FT_SetLatencyTimer(1) = FT_OK", "FT_SetLatencyTimer(16) = FT_OK"))
            << ending.faults << (ending.interrupt ? " Ctrl-C" : "") << (ending.truncate ? " file changed" : "");
    }
}

}  // namespace
