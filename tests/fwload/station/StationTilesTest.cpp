// The station window's tiles and tallies, from one model with a printer in every state.
#include <gtest/gtest.h>

#include "StationTiles.h"

namespace {

std::string Row(const StationTile& tile) {
    return std::to_string(tile.slot) + " " + tile.location + " | " + tile.word + " | " + TileToneId(tile.tone) + " | " +
           tile.serial + " | " + tile.detail + " | " + std::to_string(tile.percent) + " | " + tile.bytes + " | " +
           tile.time + (tile.retryable ? " | retry" : "");
}

TEST(StationTiles, SayEachStateInWordsAndTone) {
    StationRules rules;
    rules.parallel = 4;
    rules.fileSize = 1518;
    StationModel model(rules, {"DONE1"});
    model.ExpectPorts({"1-9"});
    const auto steady = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    const auto wall = std::chrono::system_clock::time_point{} + std::chrono::hours(1);
    const auto at = [&](int seconds) {
        return StationTime{steady + std::chrono::seconds(seconds), wall + std::chrono::seconds(seconds)};
    };
    const std::vector<BusPrinter> bus{{"PASS1", "1-1"}, {"FAIL1", "1-2"}, {"\x1b[2J", "1-3"}, {"DONE1", "1-4"},
                                      {"GONE1", "1-5"}, {"WAIT1", "1-6"}, {"DUP", ""},        {"DUP", ""}};
    model.SeeBus(bus, at(0));
    ASSERT_EQ(model.StartDue(at(0)).size(), 4u);  // PASS1, FAIL1, the odd one, GONE1
    RunEvent progress;
    progress.kind = RunEvent::Kind::Progress;
    progress.stage = DownloadStage::Data;
    progress.progress = {RunProgress::Bar::Transfer, 512, 1518};
    model.RunSaid(2, progress);
    model.RunEnded(0, {"complete", 0, "Download complete.", "", true}, at(128));
    model.RunEnded(1, {"failed", 1, "The download failed.", "the printer refused data frame 2", false}, at(3));
    model.RunEnded(4, {"complete", 0, "Download complete.", "", true}, at(4));
    std::vector<BusPrinter> later = bus;
    later.erase(later.begin() + 4);  // GONE1 unplugged after its restart time
    model.SeeBus(later, at(130));
    // PASS1 restarts, as its firmware was written just before.
    const std::vector<BusPrinter> restarting{bus[1], bus[2], bus[3], bus[5], bus[6], bus[7]};
    model.SeeBus(restarting, at(131));

    std::vector<std::string> rows;
    for (const StationTile& tile : StationTiles(model, steady + std::chrono::seconds(134))) rows.push_back(Row(tile));
    EXPECT_EQ(
        rows,
        (std::vector<std::string>{
            "1 1-9 | WAITING | grey |  |  | -1 |  | ",
            "2 1-1 | PASS \u2014 REMOVE | green | PASS1 | restarting | -1 |  | 2:08",
            "3 1-2 | FAIL \u2014 REMOVE | red | FAIL1 | The download failed (the printer refused data frame 2). "
            "| -1 |  | 0:03 | retry",
            "4 1-3 | FLASHING | blue | \\x1b[2J | sending the firmware | 33 | 512 / 1,518 bytes | 2:14",
            "5 1-4 | DONE EARLIER \u2014 REMOVE | green-outline | DONE1 | passed with this firmware in an earlier "
            "run | -1 |  | ",
            "6 1-5 | WAITING | grey |  | ready for the next printer | -1 |  | ",
            "7 1-6 | WAITING | grey | WAIT1 | about to be flashed | -1 |  | ",
            "0  | SHARED SERIAL | amber | DUP | another printer reports this serial and no port tells them "
            "apart: not flashed | -1 |  | ",
            "0  | SHARED SERIAL | amber | DUP | another printer reports this serial and no port tells them "
            "apart: not flashed | -1 |  | ",
        }));
    const StationTally tally = Tally(model, wall + std::chrono::seconds(134));
    EXPECT_EQ(TallyText(tally), "passed 2   failed 1   running 1   yield 67 %   81 per hour");
    EXPECT_EQ(TallyText(Tally(StationModel(rules), wall)),
              "passed 0   failed 0   running 0   yield \u2013   0 per hour");
}

}  // namespace
