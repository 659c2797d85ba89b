// The toolkit's own sizing loop: with full-window dragging on, resizing a window runs
// inside the ordinary message flow (mouse capture and arrow keys) instead of the
// platform's modal loop, so the application keeps receiving events.
#pragma once

#include <windows.h>

#include <stdint.h>

// Sizing state: one for the process, one sizing at a time. While a sizing runs only the
// messages of the window being sized are tracked.
struct SizeState {
    int32_t active;          // a sizing is in progress
    int32_t keyboardStarted; // began without an edge; the cursor is put back at the end
    POINT savedCursor;       // cursor position when a keyboard sizing began
    RECT rect;               // tracked outer rectangle, screen coordinates
    int32_t edge;            // WMSZ_* code, 0 while no edge is chosen
    MINMAXINFO limits;       // ptMinTrackSize / ptMaxTrackSize are used
    HWND hwnd;               // the window being sized
};

// First handler of every toolkit window message: 0 when consumed, NOT_HANDLED otherwise.
LRESULT SizeTracker(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The sizing state block.
SizeState* Size_State();
