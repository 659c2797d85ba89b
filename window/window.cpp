// Numbered top-level windows: opening with one class per window, closing with full
// clean-up of class, accelerators and background brush, and the small operations that
// show, hide, move, size, pin and colour a window by its number.
#include "window/window.h"

#include <stdio.h>

#include "core/strings.h"
#include "window/dpi.h"
#include "window/winproc.h"

namespace {

ObjectTable* g_windows = nullptr;
HICON g_classIcon = nullptr;
HCURSOR g_classCursor = nullptr;

// Creates the accelerator entries every window starts with (Tab and Shift+Tab).
void InstallTabAccelerators(WindowRecord* record) {
    ACCEL* entries = static_cast<ACCEL*>(Mem_Alloc(2 * sizeof(ACCEL)));
    if (entries == nullptr) {
        return;
    }
    entries[0].fVirt = FVIRTKEY | FNOINVERT;
    entries[0].key = VK_TAB;
    entries[0].cmd = CMD_FOCUS_NEXT;
    entries[1].fVirt = FVIRTKEY | FNOINVERT | FSHIFT;
    entries[1].key = VK_TAB;
    entries[1].cmd = CMD_FOCUS_PREVIOUS;
    record->accels = entries;
    record->accelCount = 2;
    record->accelTable = CreateAcceleratorTableW(entries, 2);
}

// Hands the activation to the owner, so that it returns there rather than to another program.
// A window that is never activated has nothing to hand back.
void ActivateOwner(HWND hwnd) {
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner != nullptr && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_NOACTIVATE) == 0) {
        SetActiveWindow(owner);
    }
}

// Position of a window of the given outer size, following the centring flags.
void PlaceWindow(uint32_t flags, HWND parent, int32_t outerWidth, int32_t outerHeight, int32_t* x, int32_t* y,
                 int32_t* width, int32_t* height) {
    *width = outerWidth;
    *height = outerHeight;
    const bool centred = (flags & (WIN_SCREEN_CENTERED | WIN_PARENT_CENTERED)) != 0;
    if (!centred) {
        if (*x == IGNORE_VALUE || *y == IGNORE_VALUE) {
            *x = CW_USEDEFAULT;
            *y = CW_USEDEFAULT;
        }
        return;
    }
    if (flags & WIN_SCREEN_CENTERED) {
        const int32_t sw = GetSystemMetrics(SM_CXSCREEN);
        const int32_t sh = GetSystemMetrics(SM_CYSCREEN);
        if (*width > sw) {
            *width = sw;
        }
        if (*height > sh) {
            *height = sh;
        }
        *x = (sw - *width) / 2;
        *y = (sh - *height) / 2;
        return;
    }
    HWND reference = parent != nullptr ? parent : GetActiveWindow();
    RECT rc;
    if (reference != nullptr && GetWindowRect(reference, &rc)) {
        *x = rc.left + ((rc.right - rc.left) - *width) / 2;
        *y = rc.top + ((rc.bottom - rc.top) - *height) / 2;
        if (*x < 0) {
            *x = 0;
        }
        if (*y < 0) {
            *y = 0;
        }
        return;
    }
    // Nothing to centre on: an IGNORE_VALUE coordinate would put the window far off the
    // screen, so the platform chooses instead.
    if (*x == IGNORE_VALUE || *y == IGNORE_VALUE) {
        *x = CW_USEDEFAULT;
        *y = CW_USEDEFAULT;
    }
}

// Outer size of a client size in units at the DPI: the menu bar takes its room from the height.
SIZE OuterSizeAt(int32_t width, int32_t height, DWORD style, DWORD exStyle, int32_t dpi) {
    RECT rc = {0, 0, Dpi_ScaleAt(width, dpi), Dpi_ScaleAt(height, dpi)};
    Dpi_AdjustRect(&rc, style, FALSE, exStyle, dpi);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

} // namespace

// ---- Public functions ----

void Win_Init() {
    if (g_windows != nullptr) {
        return;
    }
    g_windows = ObjTable_Create(sizeof(WindowRecord), 16, Win_Close);
    // The display scale is read now, once, before any window exists.
    Dpi_Get();
    // Icon 1 of the program's resources; null while the program carries none.
    g_classIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    g_classCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
}

// Opens a window under the number (closing one that holds it) with its own class.
ObjId Win_Open(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* title,
               uint32_t flags, HWND parent) {
    if (g_windows == nullptr) {
        return 0;
    }
    WindowRecord* record = static_cast<WindowRecord*>(ObjTable_Acquire(g_windows, number));
    if (record == nullptr) {
        return 0;
    }
    const ObjId id = number == OBJ_ANY ? reinterpret_cast<ObjId>(record) : number;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    char className[40];
    Win_ClassName(id, className, sizeof className);
    if (title == nullptr) {
        title = "";
    }

    // A Unicode class, so that the window takes and gives its texts in UTF-16 whatever the ANSI code page.
    WideText wideClass(className);
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Win_WindowProc;
    wc.hInstance = instance;
    wc.hIcon = g_classIcon;
    wc.hCursor = g_classCursor;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = wideClass.Get();
    // An existing class of this name (a window of another thread still alive) is used as is.
    RegisterClassW(&wc);

    if ((flags & 0xEFFFFFF8u) == 0) {
        flags |= WS_CAPTION;
    }
    const bool show = (flags & WIN_INVISIBLE) == 0;
    flags &= ~WIN_INVISIBLE;
    const bool noActivate = (flags & WIN_NO_ACTIVATE) != 0;
    const DWORD style = flags & ~(WIN_SCREEN_CENTERED | WIN_PARENT_CENTERED | WIN_NO_ACTIVATE);

    // 96-DPI units become pixels at the window's DPI. It is taken to be the display's; a window that
    // Windows puts on a monitor of another scale (per-monitor awareness) is placed and sized again at
    // that monitor's DPI, once, so that a window on the edge of two monitors cannot swing between them.
    record->backColor = -1;
    record->width = width;
    record->height = height;
    HWND hwnd = nullptr;
    for (int32_t dpi = Dpi_Get(), pass = 0; pass < 2; ++pass) {
        record->dpi = dpi;
        // IGNORE_VALUE still asks for the platform's position.
        int32_t left = x == IGNORE_VALUE ? x : Dpi_ScaleAt(x, dpi);
        int32_t top = y == IGNORE_VALUE ? y : Dpi_ScaleAt(y, dpi);
        const SIZE outer = OuterSizeAt(width, height, style, 0, dpi);
        int32_t outerWidth = 0;
        int32_t outerHeight = 0;
        PlaceWindow(flags, parent, outer.cx, outer.cy, &left, &top, &outerWidth, &outerHeight);
        if (hwnd == nullptr) {
            hwnd = CreateWindowExW(noActivate ? WS_EX_NOACTIVATE : 0, wideClass.Get(), WideText(title).Get(),
                                   style, left, top, outerWidth, outerHeight, parent, nullptr, instance,
                                   nullptr);
            if (hwnd == nullptr) {
                UnregisterClassW(wideClass.Get(), instance);
                ObjTable_Discard(g_windows, id);
                return 0;
            }
        } else {
            // A position the platform chose stays where it is.
            SetWindowPos(hwnd, nullptr, left, top, outerWidth, outerHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE | (left == CW_USEDEFAULT ? SWP_NOMOVE : 0));
        }
        const int32_t own = Dpi_OfWindow(hwnd);
        if (own == dpi) {
            break;
        }
        dpi = own;
    }
    record->hwnd = hwnd;
    SetPropA(hwnd, WIN_PROP_ID, reinterpret_cast<HANDLE>(id + 1));

    if (show) {
        int command = noActivate ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL;
        if (style & WS_MAXIMIZE) {
            command = SW_SHOWMAXIMIZED;
        } else if (style & WS_MINIMIZE) {
            command = SW_SHOWMINIMIZED;
        }
        ShowWindow(hwnd, command);
    }
    // Showing dispatches messages; look the record up again in case the table moved.
    record = Win_Record(id);
    if (record == nullptr) {
        return 0;
    }
    InstallTabAccelerators(record);
    record->backColor = -1;
    record->backBrush = nullptr;
    return number == OBJ_ANY ? id : reinterpret_cast<ObjId>(hwnd);
}

// Destroys the window, unregisters its class and frees accelerators and brush.
void Win_Close(ObjId number) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return;
    }
    HWND hwnd = record->hwnd;
    ActivateOwner(hwnd);
    RemovePropA(hwnd, WIN_PROP_ID);
    // Fails for a window of another thread (or one already gone with its thread); the class
    // then stays registered until its last window is gone.
    DestroyWindow(hwnd);
    char className[40];
    Win_ClassName(number, className, sizeof className);
    UnregisterClassW(WideText(className).Get(), GetModuleHandleA(nullptr));

    // Destroying dispatched messages: fetch the record again before releasing what it owns.
    record = Win_Record(number);
    if (record == nullptr) {
        return;
    }
    if (record->accels != nullptr) {
        Mem_Free(record->accels);
        record->accels = nullptr;
        record->accelCount = 0;
    }
    if (record->accelTable != nullptr) {
        DestroyAcceleratorTable(record->accelTable);
        record->accelTable = nullptr;
    }
    if (record->backBrush != nullptr) {
        DeleteObject(record->backBrush);
        record->backBrush = nullptr;
    }
    ObjTable_Discard(g_windows, number);
}

// Closes every window, numbered ones first, then OBJ_ANY windows oldest first.
void Win_End() {
    if (g_windows == nullptr) {
        return;
    }
    ObjId number = 0;
    ObjTable_Rewind(g_windows);
    while (ObjTable_Next(g_windows, &number) != nullptr) {
        Win_Close(number);
    }
}

HWND Win_Handle(ObjId number) {
    WindowRecord* record = Win_Record(number);
    return record != nullptr ? record->hwnd : nullptr;
}

int32_t Win_SetState(ObjId number, int32_t state) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    switch (state) {
        case WIN_STATE_NORMAL:
            ShowWindow(record->hwnd, SW_RESTORE);
            break;
        case WIN_STATE_MAXIMIZED:
            ShowWindow(record->hwnd, SW_SHOWMAXIMIZED);
            break;
        case WIN_STATE_MINIMIZED:
            ShowWindow(record->hwnd, SW_MINIMIZE);
            break;
        default:
            break;
    }
    return 1;
}

int32_t Win_GetState(ObjId number) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    if (IsZoomed(record->hwnd)) {
        return WIN_STATE_MAXIMIZED;
    }
    if (IsIconic(record->hwnd)) {
        return WIN_STATE_MINIMIZED;
    }
    return WIN_STATE_NORMAL;
}

// Hides the window (activating its owner first) or shows it again in its current state.
int32_t Win_Hide(ObjId number, int32_t hide) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    HWND hwnd = record->hwnd;
    if (hide != 0) {
        ActivateOwner(hwnd);
        ShowWindow(hwnd, SW_HIDE);
    } else if (IsZoomed(hwnd)) {
        ShowWindow(hwnd, SW_SHOWMAXIMIZED);
    } else if (IsIconic(hwnd)) {
        ShowWindow(hwnd, SW_SHOWMINIMIZED);
    } else {
        ShowWindow(hwnd, SW_SHOWNORMAL);
    }
    return 1;
}

int32_t Win_Resize(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    HWND hwnd = record->hwnd;
    // Given values are 96-DPI units at the window's DPI; kept ones stay the pixels read, so nothing drifts.
    const int32_t dpi = record->dpi;
    RECT outer = {};
    if (x == IGNORE_VALUE || y == IGNORE_VALUE) {
        GetWindowRect(hwnd, &outer);
    }
    x = x == IGNORE_VALUE ? outer.left : Dpi_ScaleAt(x, dpi);
    y = y == IGNORE_VALUE ? outer.top : Dpi_ScaleAt(y, dpi);
    RECT rc = {};
    if (width == IGNORE_VALUE || height == IGNORE_VALUE) {
        GetClientRect(hwnd, &rc);
    }
    if (width != IGNORE_VALUE) {
        rc.right = Dpi_ScaleAt(width, dpi);
        record->width = width;
    }
    if (height != IGNORE_VALUE) {
        rc.bottom = Dpi_ScaleAt(height, dpi);
        record->height = height;
    }
    // A kept height keeps the menu bar's room; a given height includes the menu bar.
    const BOOL menu = height == IGNORE_VALUE && GetMenu(hwnd) != nullptr;
    Dpi_AdjustRect(&rc, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), menu,
                   static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)), dpi);
    SetWindowPos(hwnd, nullptr, x, y, rc.right - rc.left, rc.bottom - rc.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return 1;
}

int32_t Win_SetTopmost(ObjId number, int32_t on) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    UINT flags = SWP_NOMOVE | SWP_NOSIZE;
    if (GetWindowLongPtrW(record->hwnd, GWL_EXSTYLE) & WS_EX_NOACTIVATE) {
        flags |= SWP_NOACTIVATE;
    }
    SetWindowPos(record->hwnd, on != 0 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, flags);
    return 1;
}

// The filter exists from Windows 7 on, the oldest system the program runs on; without elevation the call
// changes nothing.
int32_t Win_AllowMessage(ObjId number, UINT message) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr || message == 0) {
        return 0;
    }
    ChangeWindowMessageFilterEx(record->hwnd, message, MSGFLT_ALLOW, nullptr);
    return 1;
}

// Drawing off while a window is filled, then one redraw of the whole window, frame and children included.
int32_t Win_SetRedraw(ObjId number, int32_t on) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    SendMessageW(record->hwnd, WM_SETREDRAW, on != 0 ? TRUE : FALSE, 0);
    if (on != 0) {
        RedrawWindow(record->hwnd, nullptr, nullptr,
                     RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    return 1;
}

int32_t Win_SetColor(ObjId number, int32_t colour) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    if (colour == record->backColor) {
        return 1;
    }
    if (record->backBrush != nullptr) {
        DeleteObject(record->backBrush);
        record->backBrush = nullptr;
    }
    if (colour != -1) {
        record->backBrush = CreateSolidBrush(static_cast<COLORREF>(colour));
    }
    record->backColor = colour;
    RedrawWindow(record->hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_INTERNALPAINT);
    return 1;
}

int32_t Win_SetHandler(ObjId number, WinMessageHandler handler) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return 0;
    }
    record->handler = handler;
    return 1;
}

// ---- Shared with the other window modules ----

WindowRecord* Win_Record(ObjId number) {
    if (g_windows == nullptr) {
        return nullptr;
    }
    return static_cast<WindowRecord*>(ObjTable_Find(g_windows, number));
}

ObjId Win_OwnNumber(HWND hwnd) {
    if (hwnd == nullptr) {
        return -1;
    }
    const ObjId value = reinterpret_cast<ObjId>(GetPropA(hwnd, WIN_PROP_ID));
    return value != 0 ? value - 1 : -1;
}

ObjId Win_NumberOf(HWND hwnd) {
    for (HWND w = hwnd; w != nullptr; w = GetParent(w)) {
        const ObjId number = Win_OwnNumber(w);
        if (number != -1) {
            return number;
        }
    }
    return -1;
}

int32_t Win_DpiOf(HWND hwnd) {
    const ObjId number = Win_NumberOf(hwnd);
    const WindowRecord* record = number != -1 ? Win_Record(number) : nullptr;
    return record != nullptr ? record->dpi : Dpi_Get();
}

// The client size in units, scaled and framed at the DPI, with the window's own styles.
SIZE Win_OuterSize(const WindowRecord* record, int32_t dpi) {
    return OuterSizeAt(record->width, record->height,
                       static_cast<DWORD>(GetWindowLongPtrW(record->hwnd, GWL_STYLE)),
                       static_cast<DWORD>(GetWindowLongPtrW(record->hwnd, GWL_EXSTYLE)), dpi);
}

// "WindowClass_" and the number in signed decimal (pointer-sized for OBJ_ANY identifiers).
void Win_ClassName(ObjId number, char* buf, size_t size) {
    // Formatted by hand: the C library's printf family would add tens of KiB to the program.
    static const char prefix[] = "WindowClass_";
    char digits[24];
    int count = 0;
    // Pointer-sized like the number: a 32-bit program needs no 64-bit division routine for it.
    uintptr_t magnitude = number < 0 ? 0 - static_cast<uintptr_t>(number) : static_cast<uintptr_t>(number);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0)
        digits[count++] = '-';
    size_t at = 0;
    for (size_t i = 0; prefix[i] != '\0' && at + 1 < size; ++i)
        buf[at++] = prefix[i];
    while (count > 0 && at + 1 < size)
        buf[at++] = digits[--count];
    if (size > 0)
        buf[at] = '\0';
}
