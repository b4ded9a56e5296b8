// What a device's strings become on a screen and in the records, the workers' events read back as
// written, and what the log remembers of earlier station runs.
#include <gtest/gtest.h>

#include "JsonText.h"
#include "RunEvents.h"
#include "StationRecords.h"
#include "TempDir.h"
#include "Terminal.h"
#include "VisibleText.h"

namespace {

TEST(DeviceStrings, AreShownVisiblyKeptExactInJsonAndDefusedInCsvAndXml) {
    const struct {
        std::string text;
        std::string shown;  // on a screen
        std::string csv;
        std::string xml;
    } cases[] = {
        {"FWSIM1000", "FWSIM1000", "FWSIM1000", "FWSIM1000"},
        {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07", "\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},
        {"\x1b[2J", "\\x1b[2J", "\x1b[2J", "\\x1b[2J"},
        {"=1+2", "=1+2", "'=1+2", "=1+2"},
        {"+1", "+1", "'+1", "+1"},
        {"-1", "-1", "'-1", "-1"},
        {"@SUM(A1)", "@SUM(A1)", "'@SUM(A1)", "@SUM(A1)"},
        {"\tx", "\\x09x", "'\tx", "&#9;x"},
        {"\rx", "\\x0dx", "\"'\rx\"", "&#13;x"},
        {"=a,b", "=a,b", "\"'=a,b\"", "=a,b"},
        {"say \"hi\"", "say \"hi\"", "\"say \"\"hi\"\"\"", "say &quot;hi&quot;"},
        {"a&b<c>", "a&b<c>", "a&b<c>", "a&amp;b&lt;c&gt;"},
        {"caf\xc3\xa9", "caf\xc3\xa9", "caf\xc3\xa9", "caf\xc3\xa9"},
        {"\xc2\x9b"
         "2J",
         "\\u009b2J",
         "\xc2\x9b"
         "2J",
         "\xc2\x9b"
         "2J"},
        {"abc\xe2\x80\xae"
         "def",
         "abc\\u202edef",
         "abc\xe2\x80\xae"
         "def",
         "abc\xe2\x80\xae"
         "def"},
        {"bad\xff", "bad\xff", "bad\xff", "bad\\xff"},
        {"\xef\xbf\xbe", "\xef\xbf\xbe", "\xef\xbf\xbe", "\\ufffe"},
        {std::string("nul\0", 4), "nul\\x00", std::string("nul\0", 4), "nul\\x00"},
        {"del\x7f", "del\\x7f", "del\x7f", "del\x7f"},  // XML allows DEL
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(VisibleText(c.text), c.shown);
        EXPECT_EQ(CsvCell(c.text), c.csv);
        // XML and JSON are UTF-8 made from the system's code page: where that is not UTF-8 (Windows),
        // the bytes of these rows mean other characters.
        if (platform::SystemTextToUtf8(c.text) != c.text) continue;
        EXPECT_EQ(XmlText(c.text), c.xml);
        // JSON keeps every character, escaped: read back, it is the text itself.
        if (c.text.find('\xff') == std::string::npos) {
            EXPECT_EQ(nlohmann::json::parse(JsonText(c.text)).get<std::string>(), c.text);
        }
    }
}

TEST(RunEvents, ReadBackAsWrittenAndAnythingElseIsNoEvent) {
    RunEvent stage;
    stage.kind = RunEvent::Kind::Stage;
    stage.stage = DownloadStage::WriteToMemory;
    RunEvent progress;
    progress.kind = RunEvent::Kind::Progress;
    progress.stage = DownloadStage::Data;
    progress.progress = {RunProgress::Bar::Transfer, 1024, 65554};
    RunEvent restart = progress;
    restart.stage = DownloadStage::DisplaySetUp;
    restart.progress = {RunProgress::Bar::Restart, 7, 120};
    RunEvent passed;
    passed.kind = RunEvent::Kind::Outcome;
    passed.stage = DownloadStage::Complete;
    passed.outcome = {"complete", 0, "Download complete; display set-up skipped as asked.", "", true};
    RunEvent failed = passed;
    failed.stage = DownloadStage::Data;
    failed.outcome = {"failed", 1, "The download failed.", "the printer refused data frame 2 (result code 0x15)",
                      false};
    RunEvent status;
    status.stage = DownloadStage::Polling;
    for (const RunEvent& event : {stage, progress, restart, passed, failed, status}) {
        const std::string line = JsonText(EncodeRunEvent(event));
        SCOPED_TRACE(line);
        const std::optional<RunEvent> read = DecodeRunEvent(line);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, event);
    }
    EXPECT_EQ(JsonText(EncodeRunEvent(failed)),
              "{\"event\":\"outcome\",\"exit_code\":1,\"firmware_written\":false,\"message\":\"The download failed.\","
              "\"outcome\":\"failed\",\"reason\":\"the printer refused data frame 2 (result code "
              "0x15)\",\"stage\":\"data\"}");
    for (const char* line :
         {"", "not json", "[1,2]", "{\"stage\":\"data\"}", "{\"event\":\"progress\",\"bar\":\"moon\"}",
          "{\"event\":\"outcome\",\"outcome\":\"complete\"}", "{\"event\":7}"}) {
        EXPECT_FALSE(DecodeRunEvent(std::string(line)).has_value()) << line;
    }
}

TEST(StationMemory, RemembersPrintersWhoseLatestRecordForThisFirmwarePassed) {
    TempDir dir;
    const std::string sha = std::string(64, 'a');
    const auto record = [&](const std::string& serial, int exitCode, const std::string& firmware = "",
                            const std::string& knownBy = "serial") {
        return "{\"sha256\":\"" + (firmware.empty() ? sha : firmware) + "\",\"serial\":\"" + serial +
               "\",\"exit_code\":" + std::to_string(exitCode) + ",\"known_by\":\"" + knownBy + "\"}\n";
    };
    const struct {
        const char* name;
        std::string log;
        std::set<std::string> passed;
        std::size_t problems;
        bool endsMidLine;
    } cases[] = {
        {"passed", record("A", 0) + record("B", 1), {"A"}, 0, false},
        {"passed, then failed", record("A", 0) + record("A", 1), {}, 0, false},
        {"failed, then passed", record("A", 1) + record("A", 0), {"A"}, 0, false},
        {"another firmware", record("A", 0, std::string(64, 'b')), {}, 0, false},
        {"known by its port", record("D", 0, "", "port") + record("", 0), {}, 0, false},
        {"a line that is no record", record("A", 0) + "garbage\n" + record("B", 0), {"A", "B"}, 1, false},
        {"cut off as it was written", record("A", 0) + "{\"sha256\":\"aaa", {"A"}, 1, true},
        {"written by an earlier version",
         "{\"sha256\":\"" + sha + "\",\"serial\":\"C\",\"exit_code\":0}\r\n",
         {"C"},
         0,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StationMemory memory = ReadStationMemory(dir.Write("log.jsonl", c.log), sha);
        EXPECT_EQ(memory.passed, c.passed);
        EXPECT_EQ(memory.problems.size(), c.problems);
        EXPECT_EQ(memory.endsMidLine, c.endsMidLine);
    }
    EXPECT_TRUE(ReadStationMemory(dir.File("none.jsonl"), sha).passed.empty());
}

}  // namespace
