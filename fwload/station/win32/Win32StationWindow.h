// The station window in Win32: the set-up panel, then a tile per port painted with GDI, the job and
// the tallies, Retry, Stop all and Change job, over the same StationController as the Qt window.
// Each tile is a child window whose text is its slot, port and state word, so that a screen reader
// (and a test) reads what the operator sees.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "StationController.h"

class Win32StationWindow {
public:
    struct Services {
        std::function<std::string(HWND owner)> browseForFile;                  // default: a file dialog for *.bin
        std::function<bool(HWND owner, const std::string& question)> confirm;  // default: a Yes/No box
        std::string workerProgram;  // default: fwload-cli.exe beside the program
    };

    explicit Win32StationWindow(StationOptions options, Services services = {});
    ~Win32StationWindow();
    Win32StationWindow(const Win32StationWindow&) = delete;
    Win32StationWindow& operator=(const Win32StationWindow&) = delete;

    // Creates the window and its controls; it is not shown yet.
    HWND Create(HINSTANCE instance);
    void Show();
    // Runs the message loop until the window is gone; the program's exit code.
    int RunMessageLoop();
    // One message of the loop: the tiles' keys (arrows, Enter), else dialog navigation, else the
    // window procedure.
    void Dispatch(MSG& message);

    // Starts the station with the set-up's choices, as Start does; false (having said why in a box)
    // when it cannot start.
    bool StartStation();
    // The timer's tick: the station's poll, then the tiles, tallies and buttons.
    void Poll();
    int Selected() const { return selected_; }
    const StationController& Controller() const { return controller_; }

    HWND window = nullptr;
    // The set-up panel.
    HWND model = nullptr;
    HWND file = nullptr;
    HWND browse = nullptr;
    HWND operatorName = nullptr;
    HWND facts = nullptr;
    HWND start = nullptr;
    // The station.
    HWND job = nullptr;
    HWND sha256 = nullptr;
    HWND tally = nullptr;
    HWND retry = nullptr;
    HWND stopAll = nullptr;
    HWND changeJob = nullptr;
    HWND events = nullptr;
    std::vector<HWND> tiles;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TileProcedure(HWND tile, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(HWND control, int code);
    void OnClose();
    HWND Control(const wchar_t* windowClass, const std::string& text, DWORD style);
    void ShowPage(bool station);
    void LayOut();
    void LayOutTiles(std::size_t count);
    void FillModels();
    void CheckFile();
    void Select(int index);
    void ShowButtons();
    void Say(const std::string& line);
    void PaintTile(HWND tile, HDC context) const;
    int Scale(int value) const { return MulDiv(value, dpi_, 96); }

    StationOptions options_;
    Services services_;
    const bool locked_;
    StationController controller_;
    HINSTANCE instance_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT large_ = nullptr;
    HWND tooltip_ = nullptr;
    std::wstring shaTip_;
    std::vector<StationTile> shown_;  // what each tile shows
    std::vector<HWND> setUpControls_;
    std::vector<HWND> stationControls_;
    int selected_ = -1;
};
