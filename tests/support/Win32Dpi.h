// A window moved to a screen of another DPI, and its controls checked against their 96-dpi places.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

// Where a control sits in its parent's client area.
inline RECT Placed(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Sends WM_DPICHANGED as Windows does on a move to a screen of this DPI, suggesting the frame around
// the client area of this size at 96 dpi, scaled.
inline void MoveToDpi(HWND window, int dpi, SIZE client) {
    RECT suggested{0, 0, MulDiv(client.cx, dpi, 96), MulDiv(client.cy, dpi, 96)};
    AdjustWindowRectEx(&suggested, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

// The control at its 96-dpi place (left, top, width, height; a size of 0 where the control sizes
// itself), each scaled on its own.
inline void ExpectPlacedScaled(HWND control, const RECT& at96, int dpi, const std::string& what) {
    const auto scale = [dpi](LONG value) { return MulDiv(value, dpi, 96); };
    const RECT placed = Placed(control);
    EXPECT_EQ(placed.left, scale(at96.left)) << what << " at " << dpi;
    EXPECT_EQ(placed.top, scale(at96.top)) << what << " at " << dpi;
    if (at96.right != 0) {
        EXPECT_EQ(placed.right - placed.left, scale(at96.right)) << what << " at " << dpi;
    }
    if (at96.bottom != 0) {
        EXPECT_EQ(placed.bottom - placed.top, scale(at96.bottom)) << what << " at " << dpi;
    }
}
