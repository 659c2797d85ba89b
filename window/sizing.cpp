// The toolkit's own sizing loop. With full-window dragging on, SC_SIZE does not start the
// platform's modal loop: the window captures the mouse and is sized step by step from
// mouse moves and arrow keys inside the ordinary message flow.
#include "window/sizing.h"

#include "window/winproc.h"

namespace {

SizeState g_size = {};

// Shared system cursor of the given IDC_ number.
HCURSOR SystemCursor(int id) {
    return static_cast<HCURSOR>(
        LoadImageA(nullptr, MAKEINTRESOURCEA(id), IMAGE_CURSOR, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
}

constexpr int CURSOR_SIZENWSE = 32642;
constexpr int CURSOR_SIZENESW = 32643;
constexpr int CURSOR_SIZEWE = 32644;
constexpr int CURSOR_SIZENS = 32645;
constexpr int CURSOR_SIZEALL = 32646;

bool IsLeftEdge(int32_t edge) {
    return edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
}
bool IsRightEdge(int32_t edge) {
    return edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT;
}
bool IsTopEdge(int32_t edge) {
    return edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
}
bool IsBottomEdge(int32_t edge) {
    return edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT;
}

// Puts the dragged edge of one axis at pos, then pulls it back so the span to the fixed
// edge stays within [minLen, maxLen]; dir is -1 for a left/top edge, +1 for right/bottom.
void PlaceEdge(LONG* edge, LONG fixed, LONG pos, int dir, LONG minLen, LONG maxLen) {
    LONG span = (pos - fixed) * dir;
    if (span < minLen) {
        span = minLen;
    } else if (span > maxLen) {
        span = maxLen;
    }
    *edge = fixed + span * dir;
}

// Moves the dragged edges to the point, keeping the size within the tracking limits.
void TrackTo(SizeState* s, int32_t x, int32_t y) {
    RECT& r = s->rect;
    const LONG minW = s->limits.ptMinTrackSize.x;
    const LONG minH = s->limits.ptMinTrackSize.y;
    const LONG maxW = s->limits.ptMaxTrackSize.x;
    const LONG maxH = s->limits.ptMaxTrackSize.y;
    // The cursor stays two pixels inside a dragged right or bottom edge, and inside the left and
    // top edges only when the top-left corner is dragged.
    const LONG inset = s->edge == WMSZ_TOPLEFT ? 2 : 0;
    if (IsLeftEdge(s->edge)) {
        PlaceEdge(&r.left, r.right, x - inset, -1, minW, maxW);
    }
    if (IsRightEdge(s->edge)) {
        PlaceEdge(&r.right, r.left, x + 2, +1, minW, maxW);
    }
    if (IsTopEdge(s->edge)) {
        PlaceEdge(&r.top, r.bottom, y - inset, -1, minH, maxH);
    }
    if (IsBottomEdge(s->edge)) {
        PlaceEdge(&r.bottom, r.top, y + 2, +1, minH, maxH);
    }
}

// Lets the window adjust the tracked rectangle, then moves it there.
void SizeAndPlace(SizeState* s, HWND hwnd) {
    SendMessageW(hwnd, WM_SIZING, static_cast<WPARAM>(s->edge), reinterpret_cast<LPARAM>(&s->rect));
    RECT rc = s->rect;
    if (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) {
        MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
    }
    MoveWindow(hwnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

// Moves the cursor and sizes the window to follow it.
void KeyboardStep(SizeState* s, HWND hwnd, int32_t x, int32_t y) {
    SetCursorPos(x, y);
    TrackTo(s, x, y);
    SizeAndPlace(s, hwnd);
}

// Chooses an edge: puts the cursor on it and shows the matching shape.
void ChooseEdge(SizeState* s, int32_t edge, int32_t x, int32_t y, int cursor) {
    s->edge = edge;
    SetCursorPos(x, y);
    SetCursor(SystemCursor(cursor));
}

// Arrow key during a sizing: choose or extend the edge, else size by 10 pixels.
void ArrowKey(SizeState* s, HWND hwnd, WPARAM key) {
    POINT c;
    GetCursorPos(&c);
    const RECT r = s->rect;
    switch (key) {
        case VK_LEFT:
            if (s->edge == 0) {
                ChooseEdge(s, WMSZ_LEFT, r.left, c.y, CURSOR_SIZEWE);
            } else if (s->edge == WMSZ_TOP) {
                ChooseEdge(s, WMSZ_TOPLEFT, r.left + 2, r.top + 2, CURSOR_SIZENWSE);
            } else if (s->edge == WMSZ_BOTTOM) {
                ChooseEdge(s, WMSZ_BOTTOMLEFT, r.left, r.bottom - 2, CURSOR_SIZENESW);
            } else {
                KeyboardStep(s, hwnd, c.x - 10, c.y);
            }
            break;
        case VK_RIGHT:
            if (s->edge == 0) {
                ChooseEdge(s, WMSZ_RIGHT, r.right - 2, c.y, CURSOR_SIZEWE);
            } else if (s->edge == WMSZ_TOP) {
                ChooseEdge(s, WMSZ_TOPRIGHT, r.right - 2, r.top, CURSOR_SIZENESW);
            } else if (s->edge == WMSZ_BOTTOM) {
                ChooseEdge(s, WMSZ_BOTTOMRIGHT, r.right - 2, r.bottom - 2, CURSOR_SIZENWSE);
            } else {
                KeyboardStep(s, hwnd, c.x + 10, c.y);
            }
            break;
        case VK_UP:
            if (s->edge == 0) {
                ChooseEdge(s, WMSZ_TOP, c.x, r.top, CURSOR_SIZENS);
            } else if (s->edge == WMSZ_RIGHT) {
                ChooseEdge(s, WMSZ_TOPRIGHT, r.right - 2, r.top, CURSOR_SIZENESW);
            } else if (s->edge == WMSZ_LEFT) {
                ChooseEdge(s, WMSZ_TOPLEFT, r.left + 2, r.top + 2, CURSOR_SIZENWSE);
            } else {
                KeyboardStep(s, hwnd, c.x, c.y - 10);
            }
            break;
        case VK_DOWN:
            if (s->edge == 0) {
                ChooseEdge(s, WMSZ_BOTTOM, c.x, r.bottom - 2, CURSOR_SIZENS);
            } else if (s->edge == WMSZ_RIGHT) {
                ChooseEdge(s, WMSZ_BOTTOMRIGHT, r.right - 2, r.bottom - 2, CURSOR_SIZENWSE);
            } else if (s->edge == WMSZ_LEFT) {
                ChooseEdge(s, WMSZ_BOTTOMLEFT, r.left, r.bottom - 2, CURSOR_SIZENESW);
            } else {
                KeyboardStep(s, hwnd, c.x, c.y + 10);
            }
            break;
        default:
            break;
    }
}

// Starts a sizing on SC_SIZE: limits, capture, cursor.
void Begin(SizeState* s, HWND hwnd, WPARAM wParam) {
    s->active = 1;
    s->hwnd = hwnd;
    s->edge = static_cast<int32_t>(wParam & 0xF);
    GetWindowRect(hwnd, &s->rect);

    MINMAXINFO& mm = s->limits;
    mm.ptReserved.x = 0;
    mm.ptReserved.y = 0;
    mm.ptMaxSize.x = GetSystemMetrics(SM_CXMAXIMIZED);
    mm.ptMaxSize.y = GetSystemMetrics(SM_CYMAXIMIZED);
    if (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_BORDER) {
        mm.ptMaxPosition.x = GetSystemMetrics(SM_CXBORDER);
        mm.ptMaxPosition.y = GetSystemMetrics(SM_CYBORDER);
    } else if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_WINDOWEDGE) {
        mm.ptMaxPosition.x = GetSystemMetrics(SM_CXEDGE);
        mm.ptMaxPosition.y = GetSystemMetrics(SM_CYEDGE);
    } else {
        mm.ptMaxPosition.x = 0;
        mm.ptMaxPosition.y = 0;
    }
    mm.ptMinTrackSize.x = GetSystemMetrics(SM_CXMINTRACK);
    mm.ptMinTrackSize.y = GetSystemMetrics(SM_CYMINTRACK);
    mm.ptMaxTrackSize.x = GetSystemMetrics(SM_CXMAXTRACK);
    mm.ptMaxTrackSize.y = GetSystemMetrics(SM_CYMAXTRACK);
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));

    if ((GetKeyState(VK_LBUTTON) & 0x8000) == 0) {
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    }
    SetCapture(hwnd);
    PostMessageW(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    if (s->edge == 0) {
        s->keyboardStarted = 1;
        GetCursorPos(&s->savedCursor);
        SetCursor(SystemCursor(CURSOR_SIZEALL));
    } else {
        s->keyboardStarted = 0;
    }
}

} // namespace

// ---- Public functions ----

LRESULT SizeTracker(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SizeState* s = &g_size;
    if (s->active && !IsWindow(s->hwnd)) {
        // The window went away in mid-sizing without giving up the capture.
        s->active = 0;
        s->hwnd = nullptr;
    }
    if (!s->active) {
        if (message != WM_SYSCOMMAND || (wParam & 0xFFF0) != SC_SIZE) {
            return NOT_HANDLED;
        }
        BOOL full = FALSE;
        if (!SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &full, 0) || !full) {
            return NOT_HANDLED;
        }
        Begin(s, hwnd, wParam);
        return 0;
    }
    if (hwnd != s->hwnd) {
        // Another window (possibly of another thread) works normally meanwhile.
        return NOT_HANDLED;
    }

    switch (message) {
        case WM_MOUSEMOVE: {
            // The mouse has taken over: the cursor stays where it ends.
            s->keyboardStarted = 0;
            POINT p = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            MapWindowPoints(hwnd, nullptr, &p, 1);
            TrackTo(s, p.x, p.y);
            SizeAndPlace(s, hwnd);
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                // Both keep the size reached; WM_CAPTURECHANGED ends the sizing.
                ReleaseCapture();
                return 0;
            }
            ArrowKey(s, hwnd, wParam);
            return NOT_HANDLED;
        case WM_LBUTTONUP:
            ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            PostMessageW(hwnd, WM_EXITSIZEMOVE, 0, 0);
            s->active = 0;
            s->hwnd = nullptr;
            if (s->keyboardStarted) {
                SetCursorPos(s->savedCursor.x, s->savedCursor.y);
            }
            return 0;
        default:
            return NOT_HANDLED;
    }
}

SizeState* Size_State() {
    return &g_size;
}
