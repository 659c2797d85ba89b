// The window procedure shared by every toolkit window class: turns platform messages
// into events, hands control messages to the control's kind, paints the background
// colour and runs Tab navigation.
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

// ---- Public operations ----

// Window procedure of every toolkit class.
LRESULT CALLBACK Win_WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Body of Win_WindowProc; NOT_HANDLED sends the message on to DefWindowProcW.
LRESULT Win_Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Offers a message about a child control to its kind's ParentMessage operation.
LRESULT Win_ControlDispatch(HWND control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
