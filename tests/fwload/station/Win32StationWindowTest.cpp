// The station window in Win32 under Wine, driven through its messages, with real fwload-cli.exe
// workers and the virtual printer's Windows DLLs: what each tile says and is painted in, a refused
// printer retried from the keyboard, Stop all, the close question, and the records kept.
#include <windows.h>

#include <chrono>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "SimEnvironment.h"
#include "Win32StationWindow.h"

namespace {

std::string Utf8(HWND control) {
    wchar_t text[1024] = {};
    GetWindowTextW(control, text, 1024);
    char utf8[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

// The window's message loop, until the condition holds or the time is up.
bool PumpUntil(Win32StationWindow& station, const std::function<bool()>& done, int seconds = 60) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) station.Dispatch(message);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A key pressed on the window, through its message loop.
void Key(Win32StationWindow& station, WPARAM key) {
    PostMessageW(station.window, WM_KEYDOWN, key, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) station.Dispatch(message);
}

// The share of a tile's pixels in its ground colour, as it paints itself.
double GroundShare(HWND tile, unsigned rgb) {
    RECT client{};
    GetClientRect(tile, &client);
    const HDC screen = GetDC(tile);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    SelectObject(memory, bitmap);
    SendMessageW(tile, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    const COLORREF ground = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    long same = 0;
    for (int y = 0; y < client.bottom; y += 2) {
        for (int x = 0; x < client.right; x += 2) same += GetPixel(memory, x, y) == ground ? 1 : 0;
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(tile, screen);
    return static_cast<double>(same) / ((client.right / 2) * (client.bottom / 2));
}

class Win32Station : public ::testing::Test {
protected:
    Win32Station() {
        sim.Set("FWSIM_RESTART_CALLS", "0");
        options.ini = dir.Write("fwload.ini", "[KX-4700]\n");
        options.model = "KX-4700";
        options.log = dir.File("log.jsonl");
    }

    std::unique_ptr<Win32StationWindow> Open(int printers, std::size_t imageBytes) {
        sim.Set("FWSIM_DEVICES", SimEnvironment::CardPrinters(printers));
        options.firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(imageBytes, '\x5A'));
        Win32StationWindow::Services services;
        services.workerProgram = "Z:" FWLOAD_CLI_PATH;
        services.confirm = [this](HWND, const std::string& question) {
            questions.push_back(question);
            return false;
        };
        auto station = std::make_unique<Win32StationWindow>(options, services);
        EXPECT_NE(station->Create(GetModuleHandleW(nullptr)), nullptr);
        station->Show();
        EXPECT_TRUE(station->StartStation());
        return station;
    }

    std::vector<std::string> Records() const {
        std::vector<std::string> records;
        std::istringstream lines(ReadWholeFile(options.log));
        for (std::string line; std::getline(lines, line);) {
            const nlohmann::json record = nlohmann::json::parse(line);
            records.push_back(record["serial"].get<std::string>() + " " + record["outcome"].get<std::string>());
        }
        return records;
    }

    SimEnvironment sim;
    TempDir dir;
    StationOptions options;
    std::vector<std::string> questions;
};

TEST_F(Win32Station, FlashesThreePrintersAndTheRefusedOneIsRetriedFromTheKeyboard) {
    sim.Set("FWSIM_FAULTS", "FWSIM1002@nak:data:2");
    const std::unique_ptr<Win32StationWindow> station = Open(3, 1500);
    const StationModel* model = station->Controller().Model();
    ASSERT_TRUE(PumpUntil(*station, [&] { return model->Counts().passed == 2 && model->Counts().failed == 1; }));
    EXPECT_EQ(Utf8(station->window), "Card Printer Flashing Station");
    std::vector<std::string> tiles;
    for (HWND tile : station->tiles) tiles.push_back(Utf8(tile));
    EXPECT_THAT(tiles,
                ::testing::ElementsAre(
                    "1 1-1: PASS \u2014 REMOVE\nFWSIM1000\nfirmware written and checked",
                    "2 1-2: PASS \u2014 REMOVE\nFWSIM1001\nfirmware written and checked",
                    "3 1-3: FAIL \u2014 REMOVE\nFWSIM1002\nThe download failed (the printer refused data frame 2 "
                    "(result code 0x15) after 1,024 of 1,518 bytes)."));
    EXPECT_GT(GroundShare(station->tiles[0], 0x1B5E20), 0.5);  // green
    EXPECT_GT(GroundShare(station->tiles[2], 0xB71C1C), 0.5);  // red
    EXPECT_EQ(Utf8(station->tally).substr(0, 34), "passed 2   failed 1   running 0   ");

    sim.Set("FWSIM_FAULTS", "");  // mended
    EXPECT_FALSE(IsWindowEnabled(station->retry));
    Key(*station, VK_RIGHT);
    Key(*station, VK_RIGHT);
    EXPECT_EQ(station->Selected(), 2);
    EXPECT_TRUE(IsWindowEnabled(station->retry));
    Key(*station, VK_RETURN);
    ASSERT_TRUE(PumpUntil(*station, [&] { return model->Counts().passed == 3; }));
    EXPECT_THAT(Records(), ::testing::UnorderedElementsAre("FWSIM1000 complete", "FWSIM1001 complete",
                                                           "FWSIM1002 failed", "FWSIM1002 complete"));
}

TEST_F(Win32Station, StopAllAndTheCloseQuestion) {
    sim.Set("FWSIM_LATENCY_MS", "4");
    const std::unique_ptr<Win32StationWindow> station = Open(2, 32768);
    const StationModel* model = station->Controller().Model();
    ASSERT_TRUE(PumpUntil(*station, [&] {
        const auto& tiles = station->Controller().Tiles();
        return tiles.size() == 2 && tiles[0].detail == "sending the firmware" &&
               tiles[1].detail == "sending the firmware";
    }));
    SendMessageW(station->window, WM_CLOSE, 0, 0);  // asked, and answered No: nothing stops
    EXPECT_THAT(questions, ::testing::ElementsAre("Stop 2 downloads and close?"));
    EXPECT_TRUE(IsWindow(station->window));
    EXPECT_EQ(model->Counts().running, 2u);
    SendMessageW(station->stopAll, BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil(*station, [&] { return station->Controller().Finished(); }));
    EXPECT_THAT(Records(), ::testing::UnorderedElementsAre("FWSIM1000 stopped", "FWSIM1001 stopped"));
    SendMessageW(station->window, WM_CLOSE, 0, 0);  // nothing runs: it closes without a question
    EXPECT_EQ(station->window, nullptr);
    EXPECT_EQ(questions.size(), 1u);
}

}  // namespace
