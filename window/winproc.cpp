// The window procedure of every toolkit window: the window's own handler sees each
// message first, then the sizing loop, then control messages go to the control layer,
// and window activity becomes events in the event state of the thread that owns it.
#include "window/winproc.h"

#include <array>

#include "window/events.h"
#include "window/focus.h"
#include "window/sizing.h"
#include "window/window.h"

// Declared by the SDK only for Windows 10 (WINVER 0x0605), which the program does not require.
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

namespace {

// Two modules register for a DPI change today (controls, menus); room for two more.
constexpr size_t kDpiHandlerRoom = 4;

// Set at start-up only (zero-initialised, no constructor runs: the program has no C runtime start-up).
WinControlHandler g_controlHandler = nullptr;
std::array<WinDpiHandler, kDpiHandlerRoom> g_dpiHandlers = {};

// A new DPI for the window (WM_DPICHANGED): its outer size at the DPI in the suggested place, then what the
// registered handlers keep of it (the controls, the menu bar's pictures); drawn once, when all are in place.
void ChangeDpi(ObjId number, WindowRecord* record, HWND hwnd, int32_t dpi, const RECT* suggested) {
    const SIZE outer = Win_OuterSize(record, dpi);
    // Kept before the window moves, so that what the move sends is measured at the new DPI.
    record->dpi = dpi;
    SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Win_SetRedraw(number, 0);
    for (WinDpiHandler handler : g_dpiHandlers) {
        if (handler != nullptr) {
            handler(hwnd, dpi);
        }
    }
    Win_SetRedraw(number, 1);
}

// Passes a system colour change on to every descendant window.
BOOL CALLBACK SendSysColorChange(HWND child, LPARAM) {
    SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

// Sets the pending EVENT_TRAY for the four click messages; other mouse traffic gives none.
void TrayEvent(EventState* state, WPARAM id, LPARAM mouseMessage) {
    state->object = static_cast<ObjId>(id);
    int32_t type = -1;
    switch (mouseMessage) {
        case WM_LBUTTONUP:
            type = TRAY_LEFT_CLICK;
            break;
        case WM_RBUTTONUP:
            type = TRAY_RIGHT_CLICK;
            break;
        case WM_LBUTTONDBLCLK:
            type = TRAY_LEFT_DOUBLECLICK;
            break;
        case WM_RBUTTONDBLCLK:
            type = TRAY_RIGHT_DOUBLECLICK;
            break;
        default:
            state->pending = 0;
            return;
    }
    state->type = type;
    state->pending = EVENT_TRAY;
}

// WM_COMMAND: control notification, menu item, accelerator or Tab navigation.
void Command(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    if (Win_ControlDispatch(control, hwnd, WM_COMMAND, wParam, lParam) != NOT_HANDLED) {
        return;
    }
    EventState* state = Event_State();
    const WORD code = HIWORD(wParam);
    const WORD id = LOWORD(wParam);
    if (control != nullptr) {
        state->pending = EVENT_CONTROL;
        state->type = code;
        state->object = static_cast<ObjId>(GetWindowLongPtrW(control, GWLP_ID));
    } else if (code == 0) {
        state->pending = EVENT_MENU;
        state->object = static_cast<ObjId>(wParam);
    } else if (id == CMD_FOCUS_NEXT) {
        Win_FocusStep(0);
    } else if (id == CMD_FOCUS_PREVIOUS) {
        Win_FocusStep(1);
    } else {
        state->pending = EVENT_MENU;
        state->object = id;
    }
}

} // namespace

// ---- Public functions ----

LRESULT CALLBACK Win_WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Win_Dispatch(hwnd, message, wParam, lParam);
    if (result == NOT_HANDLED) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return result;
}

LRESULT Win_Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Only the window's own number: while an owned window is created, its owner's would be found instead.
    const ObjId ownNumber = Win_OwnNumber(hwnd);
    const WindowRecord* own = ownNumber != -1 ? Win_Record(ownNumber) : nullptr;
    if (own != nullptr && own->handler != nullptr) {
        const LRESULT answer = own->handler(hwnd, message, wParam, lParam);
        if (answer != NOT_HANDLED) {
            return answer;
        }
    }
    const LRESULT sizing = SizeTracker(hwnd, message, wParam, lParam);
    if (sizing != NOT_HANDLED) {
        return sizing;
    }
    const ObjId number = Win_NumberOf(hwnd);
    WindowRecord* record = number != -1 ? Win_Record(number) : nullptr;

    switch (message) {
        case WM_COMMAND:
            Command(hwnd, wParam, lParam);
            return 0;

        case WM_NOTIFY: {
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            HWND from = header != nullptr ? header->hwndFrom : nullptr;
            return Win_ControlDispatch(from, hwnd, message, wParam, lParam);
        }

        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            return Win_ControlDispatch(reinterpret_cast<HWND>(lParam), hwnd, message, wParam, lParam);

        case WM_CLOSE:
            // Closing is the application's decision: only report it.
            if (number != -1) {
                Win_QueueEvent(EVENT_CLOSE, number);
            }
            return 0;

        case WM_MOVE:
            if (number != -1) {
                Win_QueueEvent(EVENT_MOVE, number);
            }
            return 0;

        case WM_SIZE:
            // Sizes sent while CreateWindowExW runs (before the property exists) are ignored.
            if (Win_OwnNumber(hwnd) == -1) {
                return 1;
            }
            if (wParam == SIZE_MINIMIZED) {
                return NOT_HANDLED;
            }
            Win_QueueEvent(EVENT_SIZE, number);
            return 0;

        case WM_ACTIVATE:
            // No default processing: the platform would put the focus on the window itself, where
            // no key reaches a control. The toolkit keeps the focused control as the window is
            // left and gives it back when it becomes active again.
            if (LOWORD(wParam) != WA_INACTIVE) {
                Win_QueueEvent(EVENT_ACTIVATE, number);
                Win_RestoreFocus(number);
            } else {
                Win_KeepFocus(number);
            }
            return 1;

        case WM_SHOWWINDOW:
            // Hidden or minimised, a window can lose its focus without being left: minimised, it stays the
            // active window when there is no other to activate, and then has no focus.
            if (wParam == FALSE) {
                Win_KeepFocus(number);
            }
            return NOT_HANDLED;

        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                Win_KeepFocus(number);
            }
            return NOT_HANDLED;

        case WM_MOUSEACTIVATE:
            // A click on a window that is never activated (or on its controls, which ask their
            // parent) must not take the activation either: under Wine WS_EX_NOACTIVATE alone does not
            // keep a click from activating it.
            if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_NOACTIVATE) {
                return MA_NOACTIVATE;
            }
            return NOT_HANDLED;

        case WM_ERASEBKGND: {
            Win_QueueEvent(EVENT_REPAINT, number);
            if (record != nullptr && record->backBrush != nullptr) {
                RECT rc;
                GetClientRect(hwnd, &rc);
                FillRect(reinterpret_cast<HDC>(wParam), &rc, record->backBrush);
                return 1;
            }
            return NOT_HANDLED;
        }

        case WM_SYSCOLORCHANGE:
            // Child controls are not told by the platform; top-level windows are.
            if (record != nullptr) {
                EnumChildWindows(hwnd, SendSysColorChange, 0);
            }
            return NOT_HANDLED;

        case WM_GETDPISCALEDSIZE:
            // Asked before WM_DPICHANGED (Windows 10 1703), so that the suggested rectangle already has
            // the size the window will take: its frame does not grow in proportion with its client.
            if (record == nullptr) {
                return NOT_HANDLED;
            }
            *reinterpret_cast<SIZE*>(lParam) = Win_OuterSize(record, LOWORD(wParam));
            return TRUE;

        case WM_DPICHANGED:
            // Sent to a per-monitor aware window that moved to a monitor of another scale, or whose
            // monitor's scale changed. The DPI is taken from the message, not read back from the system
            // (Wine, which never sends it, would answer the old one to a test that does).
            if (record == nullptr) {
                return NOT_HANDLED;
            }
            ChangeDpi(number, record, hwnd, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;

        case MSG_TRAY_NOTIFY:
            // The shell sends this from inside its own call; answer at once and report later.
            PostMessageW(hwnd, MSG_TRAY_EVENT, wParam, lParam);
            return 0;

        case MSG_TRAY_EVENT:
            TrayEvent(Event_State(), wParam, lParam);
            return 0;

        case MSG_CONTROL_EVENT: {
            EventState* state = Event_State();
            state->pending = EVENT_CONTROL;
            state->object = static_cast<ObjId>(wParam);
            state->type = static_cast<int32_t>(lParam);
            return 0;
        }

        default:
            return NOT_HANDLED;
    }
}

LRESULT Win_ControlDispatch(HWND control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (control == nullptr || g_controlHandler == nullptr) {
        return NOT_HANDLED;
    }
    return g_controlHandler(control, hwnd, message, wParam, lParam);
}

void Win_SetControlHandler(WinControlHandler handler) {
    g_controlHandler = handler;
}

int32_t Win_AddDpiHandler(WinDpiHandler handler) {
    for (WinDpiHandler& slot : g_dpiHandlers) {
        if (slot == handler) {
            return 1;
        }
        if (slot == nullptr) {
            slot = handler;
            return 1;
        }
    }
    return 0;
}
