// The station window's tiles and tallies.
#include "StationTiles.h"

#include <algorithm>
#include <cmath>

#include "Durations.h"
#include "Terminal.h"
#include "VisibleText.h"
#include "qvxStrUtils.h"

namespace {

// What a run is doing, in words an operator reads.
const char* StageWords(DownloadStage stage) {
    switch (stage) {
        case DownloadStage::None: return "starting";
        case DownloadStage::ModeChange: return "switching to its loader";
        case DownloadStage::Polling: return "polling its loader";
        case DownloadStage::Data: return "sending the firmware";
        case DownloadStage::WriteToMemory: return "writing to memory";
        case DownloadStage::Checksum: return "checking the sum";
        case DownloadStage::Complete: return "firmware written";
        case DownloadStage::DisplaySetUp: return "setting up the display";
        case DownloadStage::Failed: return "failing";
    }
    return "starting";
}

std::string Shown(const std::string& serial) {
    return serial.empty() ? "(no serial)" : VisibleText(platform::SystemTextToUtf8(serial));
}

std::string Seconds(long long milliseconds) { return MinutesSeconds(static_cast<double>(milliseconds) / 1000.0); }

void ShowPrinter(const StationModel& model, std::size_t index, std::chrono::steady_clock::time_point now,
                 StationTile& tile) {
    const StationPrinter& printer = model.Printers()[index];
    tile.printer = index;
    tile.serial = Shown(printer.serial);
    const AttemptRecord* last = printer.lastRecord ? &model.Records()[*printer.lastRecord] : nullptr;
    if (printer.run) {
        const PrinterRun& run = *printer.run;
        tile.word = "FLASHING";
        tile.tone = TileTone::Blue;
        tile.detail = printer.state == PrinterState::Restarting ? "restarting" : StageWords(run.stage);
        tile.percent = run.total > 0 ? static_cast<int>(std::min<long long>(100, 100 * run.sent / run.total)) : 0;
        tile.bytes = FormatWithThousands(run.sent) + " / " + FormatWithThousands(run.total) + " bytes";
        tile.time = Seconds(std::chrono::duration_cast<std::chrono::milliseconds>(now - run.started.steady).count());
        return;
    }
    switch (printer.state) {
        case PrinterState::Waiting:
            tile.word = "WAITING";
            tile.detail = "about to be flashed";
            return;
        case PrinterState::Passed:
        case PrinterState::Failed:
        case PrinterState::Restarting: {
            const bool passed = last != nullptr && last->Passed();
            tile.word = passed ? "PASS \u2014 REMOVE" : "FAIL \u2014 REMOVE";
            tile.tone = passed ? TileTone::Green : TileTone::Red;
            tile.detail = printer.state == PrinterState::Restarting ? "restarting"
                          : passed                                  ? "firmware written and checked"
                          : last != nullptr ? VisibleText(platform::SystemTextToUtf8(last->message))
                                            : "";
            if (last != nullptr) tile.time = Seconds(last->durationMs);
            tile.retryable = printer.state == PrinterState::Failed;
            return;
        }
        case PrinterState::DoneEarlier:
            tile.word = "DONE EARLIER \u2014 REMOVE";
            tile.tone = TileTone::GreenOutline;
            tile.detail = "passed with this firmware in an earlier run";
            return;
        case PrinterState::SharedSerial:
            tile.word = "SHARED SERIAL";
            tile.tone = TileTone::Amber;
            tile.detail = "another printer reports this serial and no port tells them apart: not flashed";
            return;
        case PrinterState::Removed:
        case PrinterState::Running: return;
    }
}

}  // namespace

const char* TileToneId(TileTone tone) {
    switch (tone) {
        case TileTone::Grey: return "grey";
        case TileTone::Blue: return "blue";
        case TileTone::Green: return "green";
        case TileTone::GreenOutline: return "green-outline";
        case TileTone::Red: return "red";
        case TileTone::Amber: return "amber";
    }
    return "grey";
}

TileColours ColoursOf(TileTone tone) {
    switch (tone) {
        case TileTone::Grey: return {0xD6D6D6, 0x202020};
        case TileTone::Blue: return {0x0D47A1, 0xFFFFFF};
        case TileTone::Green: return {0x1B5E20, 0xFFFFFF};
        case TileTone::GreenOutline: return {0xFFFFFF, 0x1B5E20};
        case TileTone::Red: return {0xB71C1C, 0xFFFFFF};
        case TileTone::Amber: return {0xFFB300, 0x202020};
    }
    return {0xD6D6D6, 0x202020};
}

bool StationTile::operator==(const StationTile& other) const {
    return slot == other.slot && location == other.location && word == other.word && tone == other.tone &&
           serial == other.serial && detail == other.detail && percent == other.percent && bytes == other.bytes &&
           time == other.time && printer == other.printer && retryable == other.retryable;
}

std::vector<StationTile> StationTiles(const StationModel& model, std::chrono::steady_clock::time_point now) {
    const std::vector<StationPrinter>& printers = model.Printers();
    std::vector<StationTile> tiles;
    for (const StationPort& port : model.Ports()) {
        StationTile tile;
        tile.slot = port.slot;
        tile.location = port.location;
        tile.word = "WAITING";
        // The printer on the port now, else the last one that was: its tile is ready for the next.
        std::optional<std::size_t> present;
        bool seen = false;
        for (std::size_t i = 0; i < printers.size(); ++i) {
            if (printers[i].location != port.location) continue;
            seen = true;
            if (printers[i].Present()) present = i;
        }
        if (present) {
            ShowPrinter(model, *present, now, tile);
        } else if (seen) {
            tile.detail = "ready for the next printer";
        }
        tiles.push_back(tile);
    }
    for (std::size_t i = 0; i < printers.size(); ++i) {
        if (!printers[i].location.empty() || !printers[i].Present()) continue;
        StationTile tile;
        tile.word = "WAITING";
        ShowPrinter(model, i, now, tile);
        tiles.push_back(tile);
    }
    return tiles;
}

int TileColumns(std::size_t tiles) {
    if (tiles <= 1) return 1;
    if (tiles <= 4) return 2;
    if (tiles <= 6) return 3;
    if (tiles <= 16) return 4;
    return static_cast<int>(std::ceil(std::sqrt(static_cast<double>(tiles))));
}

StationTally Tally(const StationModel& model, std::chrono::system_clock::time_point now) {
    const StationCounts counts = model.Counts();
    StationTally tally;
    tally.passed = counts.passed;
    tally.failed = counts.failed;
    tally.running = counts.running;
    const std::size_t ended = counts.passed + counts.failed;
    if (ended == 0) return tally;
    tally.yieldPercent =
        static_cast<int>(std::lround(100.0 * static_cast<double>(counts.passed) / static_cast<double>(ended)));
    auto first = model.Records().front().started;
    for (const AttemptRecord& record : model.Records()) first = std::min(first, record.started);
    // At least a minute: the first attempts say little of an hour.
    const double hours = std::max(std::chrono::duration<double>(now - first).count(), 60.0) / 3600.0;
    tally.perHour = static_cast<double>(ended) / hours;
    return tally;
}

std::string TallyText(const StationTally& tally) {
    return "passed " + std::to_string(tally.passed) + "   failed " + std::to_string(tally.failed) + "   running " +
           std::to_string(tally.running) + "   yield " +
           (tally.yieldPercent < 0 ? std::string("\u2013") : std::to_string(tally.yieldPercent) + " %") + "   " +
           std::to_string(static_cast<long>(std::lround(tally.perHour))) + " per hour";
}
