// The line's --on-end command as real processes, with the station's time passed in: what it is
// given, and what is said when it fails, takes too long or is not there.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "EndHooks.h"
#include "TempDir.h"

namespace {

TEST(EndHooks, SplitAtBlanksWithQuotesAndNoShell) {
    const struct {
        const char* command;
        std::vector<std::string> words;
    } cases[] = {
        {"stacklight --red", {"stacklight", "--red"}},
        {"  lamp   3  ", {"lamp", "3"}},
        {"'C:\\Tools\\label printer.exe' --copies 2", {"C:\\Tools\\label printer.exe", "--copies", "2"}},
        {"post \"line 3\" ''", {"post", "line 3", ""}},
        {"echo $SERIAL; rm -rf /", {"echo", "$SERIAL;", "rm", "-rf", "/"}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommand(c.command), c.words) << c.command;
}

TEST(EndHooks, GetTheRecordAndThePrinterAndTheirFailuresAreToldNotFatal) {
    TempDir dir;
    const std::string out = dir.File("hook.out");
    const StationJob job{"line-pc", "Ann",     "1.2.0", "fw.bin", 1518, 0x0F58, std::string(64, 'a'),
                         "KX-4700", "standard"};
    AttemptRecord record;
    record.serial = "FWSIM1002";
    record.location = "1-3";
    record.outcome = "failed";
    record.exitCode = 1;
    record.message = "The download failed.";
    const struct {
        const char* name;
        std::string command;
        int secondsLater;  // the station's clock when it looks again
        std::string failure;
        std::string wrote;  // what the command put in hook.out
    } cases[] = {
        {"given the record and the printer",
         "sh -c 'cat > " + out + "; echo \"$SERIAL $LOCATION $OUTCOME $EXIT_CODE\" >> " + out + "'", 0, "",
         "{\"byte_sum\":\"0x0F58\",\"duration_ms\":0,\"ended\":\"1970-01-01T00:00:00.000Z\",\"exit_code\":1,\"file\":"
         "\"fw.bin\","
         "\"known_by\":\"serial\",\"location\":\"1-3\",\"message\":\"The download failed.\",\"mode\":\"standard\","
         "\"model\":\"KX-4700\",\"operator\":\"Ann\",\"outcome\":\"failed\",\"serial\":\"FWSIM1002\",\"sha256\":\"" +
             std::string(64, 'a') +
             "\",\"size\":1518,\"started\":\"1970-01-01T00:00:00.000Z\",\"station\":\"line-pc\","
             "\"version\":\"1.2.0\"}\nFWSIM1002 1-3 failed 1\n"},
        {"failing", "sh -c 'echo no lamp on port 3 >&2; exit 3'", 0,
         "the --on-end command (sh -c 'echo no lamp on port 3 >&2; exit 3') for FWSIM1002 at 1-3 ended with exit code "
         "3: "
         "no lamp on port 3",
         ""},
        {"taking too long", "sleep 30", 30,
         "the --on-end command (sleep 30) for FWSIM1002 at 1-3 did not end within 30 s and was ended", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(out.c_str());
        EndHooks hooks(c.command, std::chrono::seconds(30));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(hooks.Start(job, record, start), "");
        std::vector<std::string> failures;
        // The command's own time, waited for; the limit is the station's clock, moved on.
        for (int i = 0; i < 500 && hooks.Running() > 0; ++i) {
            for (const std::string& failure : hooks.Poll(start + std::chrono::seconds(c.secondsLater)))
                failures.push_back(failure);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(hooks.Running(), 0u);
        EXPECT_EQ(failures, c.failure.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.failure});
        EXPECT_EQ(ReadWholeFile(out), c.wrote);
    }
    EndHooks missing("/no/such/lamp --red", std::chrono::seconds(30));
    EXPECT_EQ(missing.Start(job, record, std::chrono::steady_clock::now()),
              "the --on-end command (/no/such/lamp --red) for FWSIM1002 at 1-3 could not be started");
}

}  // namespace
