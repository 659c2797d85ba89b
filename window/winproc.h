// The window procedure shared by every toolkit window class: turns platform messages
// into events, hands control messages to the control layer, paints the background
// colour and runs Tab navigation. The layers above reach into it only through the
// handlers they register here (and a window's own handler, Win_SetHandler).
#pragma once

#include <windows.h>

#include <stdint.h>

// Result by which a handler leaves a message to the next one (finally DefWindowProcW).
// The 32-bit pattern 0xD0D0D0D1, sign-extended to the width of LRESULT.
constexpr LRESULT NOT_HANDLED = static_cast<int32_t>(0xD0D0D0D1u);

// Private messages (above WM_USER).
constexpr UINT MSG_TRAY_NOTIFY = 12501;   // from the shell: wParam = tray id, lParam = mouse msg
constexpr UINT MSG_TRAY_EVENT = 12502;    // MSG_TRAY_NOTIFY re-posted to ourselves
constexpr UINT MSG_CONTROL_EVENT = 13103; // from controls: wParam = control id, lParam = type

// A control's answer to a message its parent received about it (WM_COMMAND, WM_NOTIFY, scrolling,
// WM_CTLCOLOR*); NOT_HANDLED leaves the message to the window procedure.
typedef LRESULT (*WinControlHandler)(HWND control, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);

// Lays out what a module keeps of a window again at the window's new DPI (WM_DPICHANGED).
typedef void (*WinDpiHandler)(HWND window, int32_t dpi);

// ---- Public functions ----

// Window procedure of every toolkit class.
LRESULT CALLBACK Win_WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Body of Win_WindowProc; NOT_HANDLED sends the message on to DefWindowProcW.
LRESULT Win_Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Offers a message about a child window to the registered control handler; NOT_HANDLED without one.
LRESULT Win_ControlDispatch(HWND control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Handlers of the layers above ----
// Registered once at start-up, before the first window opens; the window procedure reads them on every
// thread that owns a window.

// Makes handler the answer of every toolkit window's controls (the control layer's Ctl_Init); null: none.
void Win_SetControlHandler(WinControlHandler handler);

// Adds a handler that WM_DPICHANGED runs, in the order of registration, while the window's drawing is
// stopped. A handler already there is not added twice. 1 when it is registered, 0 when all places are taken.
int32_t Win_AddDpiHandler(WinDpiHandler handler);
