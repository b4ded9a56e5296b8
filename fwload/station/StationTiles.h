// What the station window shows, worked out from the model once for both windows (Qt and Win32): a
// tile per port with a large state word, its tone and the printer's details, and the tallies above
// them. The windows only paint these; they decide nothing.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "StationModel.h"

// A tile's colour. The word says the state too: colour is never the only sign.
enum class TileTone { Grey, Blue, Green, GreenOutline, Red, Amber };
// "grey", "blue", ...: for tests and for tools that read the window.
const char* TileToneId(TileTone tone);

// The colours a tone is painted in, 0xRRGGBB: the ground, and the ink of its words (and outline).
struct TileColours {
    unsigned ground;
    unsigned ink;
};
TileColours ColoursOf(TileTone tone);

struct StationTile {
    int slot = 0;          // 0 for a printer whose port the library cannot tell
    std::string location;  // "1-2.3"
    std::string word;      // "WAITING", "FLASHING", "PASS — REMOVE", "FAIL — REMOVE", ...
    TileTone tone = TileTone::Grey;
    std::string serial;                  // UTF-8, its control characters made visible
    std::string detail;                  // the stage, the reason in words, how long it took...
    int percent = -1;                    // the transfer's share while flashing; -1 when there is no bar
    std::string bytes;                   // "12,800 / 65,554 bytes" while flashing
    std::string time;                    // how long the attempt has taken, "0:04"
    std::optional<std::size_t> printer;  // the model's printer on the tile
    bool retryable = false;              // it failed and is still attached

    bool operator==(const StationTile& other) const;
    bool operator!=(const StationTile& other) const { return !(*this == other); }
};

// The tiles in slot order: each port, showing the printer on it (or the last one that was), then
// the printers whose port cannot be told.
std::vector<StationTile> StationTiles(const StationModel& model, std::chrono::steady_clock::time_point now);
// How many columns a window lays so many tiles out in, for a wide screen: sixteen as four by four.
int TileColumns(std::size_t tiles);

struct StationTally {
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t running = 0;
    int yieldPercent = -1;  // passed of the attempts ended; -1 before the first
    double perHour = 0;     // attempts ended per hour since the first began
};
// The tallies, from the model's records.
StationTally Tally(const StationModel& model, std::chrono::system_clock::time_point now);
// "passed 7   failed 1   running 2   yield 88 %   41 per hour"
std::string TallyText(const StationTally& tally);
