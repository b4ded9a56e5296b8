// Drives the real Windows programs from outside, as a user's clicks would, through the windows'
// own messages, and prints what their windows show.
//     window_driver fwload MODEL FILE         selects the model and file, presses Download and prints
//                                             each status text until the download ends
//     window_driver dialog CAPTION ID... TEXT-ID   presses the buttons, prints the text of TEXT-ID
//     window_driver wizard CAPTION TEXT           goes on through an installer's pages until one shows
//                                             a text starting with TEXT, prints that page's texts
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// WM_GETTEXT itself: GetWindowText does not ask a control of another process for its text.
std::string Text(HWND window) {
    char text[8192] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

struct Found {
    const char* windowClass;
    const char* textPrefix;
    HWND window = nullptr;
};

// A shown window of the class (any, when none is named) whose text starts with the prefix.
BOOL CALLBACK Match(HWND window, LPARAM parameter) {
    auto* found = reinterpret_cast<Found*>(parameter);
    char windowClass[64] = {};
    GetClassNameA(window, windowClass, sizeof windowClass);
    if ((found->windowClass == nullptr || lstrcmpiA(windowClass, found->windowClass) == 0) && IsWindowVisible(window) &&
        Text(window).rfind(found->textPrefix, 0) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND Child(HWND parent, const char* windowClass, const char* textPrefix) {
    Found found{windowClass, textPrefix};
    EnumChildWindows(parent, &Match, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

// A top-level window, shown (a dialog is shown once its initialisation is over); its caption by its
// start, as an installer's names its page ("... Setup: Installation Folder"). Up to a minute: a
// program started under Wine while other tests run can take half of one to show.
HWND WaitForWindow(const char* windowClass, const char* captionPrefix) {
    for (int i = 0; i < 600; ++i) {
        Found found{windowClass, captionPrefix != nullptr ? captionPrefix : ""};
        EnumWindows(&Match, reinterpret_cast<LPARAM>(&found));
        if (found.window != nullptr) return found.window;
        Sleep(100);
    }
    std::fprintf(stderr, "window_driver: no window %s appeared\n", captionPrefix != nullptr ? captionPrefix : windowClass);
    std::exit(2);
}

void Press(HWND parent, HWND button) {
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

int DriveFwload(const char* model, const char* file) {
    const HWND window = WaitForWindow("TFrmMain", nullptr);
    const HWND combo = Child(window, "ComboBox", "");
    const HWND edit = Child(window, "Edit", "");
    const HWND download = Child(window, "Button", "Download");
    const HWND status = Child(window, "Static", "Status");
    // The model list is filled when the window is first activated.
    for (int i = 0; i < 300 && SendMessageA(combo, CB_GETCOUNT, 0, 0) <= 0; ++i) Sleep(100);
    const auto index = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(model));
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file));
    // Posted: the download runs inside the click, and the window pumps its messages meanwhile.
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(download), BN_CLICKED), reinterpret_cast<LPARAM>(download));
    std::string last;
    bool running = false;
    for (int i = 0; i < 2400; ++i) {
        const std::string now = Text(status);
        if (now != last) std::printf("%s\n", now.c_str());
        last = now;
        // Download is disabled while the download runs and enabled again when it is over.
        if (!IsWindowEnabled(download)) {
            running = true;
        } else if (running) {
            break;
        }
        Sleep(25);
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

int DriveDialog(const char* caption, const std::vector<int>& buttons, int textId) {
    const HWND dialog = WaitForWindow(nullptr, caption);
    for (int id : buttons) Press(dialog, GetDlgItem(dialog, id));
    std::printf("%s|", Text(GetDlgItem(dialog, textId)).c_str());  // | marks the end of the text
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return 0;
}

BOOL CALLBACK PrintVisibleText(HWND child, LPARAM) {
    char windowClass[64] = {};
    GetClassNameA(child, windowClass, sizeof windowClass);
    if (lstrcmpiA(windowClass, "Static") == 0 && IsWindowVisible(child)) std::printf("%s\n", Text(child).c_str());
    return TRUE;
}

int DriveWizard(const char* caption, const char* textPrefix) {
    const HWND wizard = WaitForWindow(nullptr, caption);
    const HWND next = GetDlgItem(wizard, IDOK);  // Next, Install, Close: the page's way on
    for (int i = 0; i < 1200; ++i) {
        if (HWND text = Child(wizard, "Static", textPrefix)) {
            EnumChildWindows(GetParent(text), &PrintVisibleText, 0);
            PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
            return 0;
        }
        // Posted, once a second: the installing page keeps the button disabled until it is done.
        if (i % 10 == 0 && IsWindowEnabled(next)) {
            PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
        }
        Sleep(100);
    }
    std::fprintf(stderr, "window_driver: no page showed \"%s\"\n", textPrefix);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    _setmode(_fileno(stdout), _O_BINARY);  // the texts as they are, CR LF untouched
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "fwload" && argc == 4) return DriveFwload(argv[2], argv[3]);
    if (command == "dialog" && argc >= 4) {
        std::vector<int> buttons;
        for (int i = 3; i < argc - 1; ++i) buttons.push_back(std::atoi(argv[i]));
        return DriveDialog(argv[2], buttons, std::atoi(argv[argc - 1]));
    }
    if (command == "wizard" && argc == 4) return DriveWizard(argv[2], argv[3]);
    std::fprintf(stderr, "usage: window_driver fwload MODEL FILE | dialog CAPTION ID... TEXT-ID | wizard CAPTION TEXT\n");
    return 2;
}
