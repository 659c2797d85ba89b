// Numbered top-level windows: each window has its own class, its own accelerator
// table (Tab navigation plus the application's shortcuts) and an optional solid
// background colour. The application names windows by small numbers or OBJ_ANY.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "core/objtable.h"

// A coordinate or size that Win_Resize leaves unchanged (Win_Open: default position).
constexpr int32_t IGNORE_VALUE = -65535;

// Flag bits of Win_Open that the toolkit interprets itself; all others are WS_* styles.
constexpr uint32_t WIN_SCREEN_CENTERED = 0x00000001;
constexpr uint32_t WIN_PARENT_CENTERED = 0x00000002;
// Never activated: shown and pinned without activation, and a click does not activate it
// (WS_EX_NOACTIVATE), so the window the user works in keeps the keyboard.
constexpr uint32_t WIN_NO_ACTIVATE = 0x00000004;
constexpr uint32_t WIN_INVISIBLE = 0x10000000;
constexpr uint32_t WIN_DEFAULT_FLAGS = 0x00C80000; // WS_CAPTION | WS_SYSMENU

// Window states (the same bits as WS_MAXIMIZE and WS_MINIMIZE).
constexpr int32_t WIN_STATE_NORMAL = 0;
constexpr int32_t WIN_STATE_MAXIMIZED = 0x01000000;
constexpr int32_t WIN_STATE_MINIMIZED = 0x20000000;

// Commands of the two Tab entries every window's accelerator table starts with.
constexpr WORD CMD_FOCUS_NEXT = 1212;
constexpr WORD CMD_FOCUS_PREVIOUS = 1213;

// Property on every toolkit window: window number + 1 (never 0, also for window 0).
constexpr const char WIN_PROP_ID[] = "KX_WindowID";

// A window's own handler of its messages (Win_SetHandler): the result, or NOT_HANDLED to leave the
// message to the toolkit's dispatch.
typedef LRESULT (*WinMessageHandler)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// One open window. The first field marks the slot as used.
struct WindowRecord {
    HWND hwnd;
    int32_t accelCount;        // entries in `accels`
    ACCEL* accels;             // heap array owned by the record
    HACCEL accelTable;         // built from `accels`; owned by the record
    int32_t backColor;         // 0x00BBGGRR, or -1 for the class background
    HBRUSH backBrush;          // solid brush of backColor, or null
    int32_t dpi;               // the window's own DPI, in which its units become pixels
    int32_t width;             // client size in 96-DPI units, the menu bar included: laid out
    int32_t height;            // again from these at every change of the DPI
    HWND focus;                // control that had the focus when the window was last left, or null
    WinMessageHandler handler; // the application's handler of this window, or null
};

// ---- Public functions ----

// Creates the window table, the sizing state and loads the class icon and cursor.
void Win_Init();

// Opens a window (position and client size in 96-DPI units); returns its native handle (as an
// integer), the identifier for OBJ_ANY, or 0.
ObjId Win_Open(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* title,
               uint32_t flags = WIN_DEFAULT_FLAGS, HWND parent = nullptr);

// Destroys the window and everything its record owns; also the table's release routine.
void Win_Close(ObjId number);

// Closes every window in the table (program end).
void Win_End();

// Native handle of an open window, or null.
HWND Win_Handle(ObjId number);

// WIN_STATE_NORMAL restores, _MAXIMIZED maximises, _MINIMIZED minimises; other values do nothing.
// Returns 1 when the window exists, 0 otherwise.
int32_t Win_SetState(ObjId number, int32_t state);

// Current WIN_STATE_* of the window; 0 for an unknown number.
int32_t Win_GetState(ObjId number);

// Hides (hide != 0) or shows the window in its current state. Returns 1 if the window exists.
int32_t Win_Hide(ObjId number, int32_t hide);

// Moves and sizes (client size, 96-DPI units); any value may be IGNORE_VALUE. Returns 1 if the
// window exists.
int32_t Win_Resize(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height);

// Stops (on = 0) or resumes (on != 0) drawing the window and its children: a window filled with many
// controls draws once, when drawing resumes, instead of once per control. Returns 1 if the window exists.
int32_t Win_SetRedraw(ObjId number, int32_t on);

// Pins the window above all non-topmost windows (on != 0) or releases it; activates it unless it
// was opened with WIN_NO_ACTIVATE. 1 if the window exists.
int32_t Win_SetTopmost(ObjId number, int32_t on);

// Lets a message through the window's message filter: a program run as administrator otherwise never
// receives what the shell (at medium integrity) sends or broadcasts to it. 1 if the window exists.
int32_t Win_AllowMessage(ObjId number, UINT message);

// Background colour 0x00BBGGRR, or -1 for the class background. 1 if the window exists.
int32_t Win_SetColor(ObjId number, int32_t colour);

// Gives the window a handler that the toolkit's window procedure calls with each of its messages before
// its own dispatch (null: none). It is the application's way to messages the event loop does not carry:
// registered messages of the shell, its own private messages, requests of other threads. What it answers
// sets no event and is not passed on. Since it runs inside the window procedure, it answers also while
// the thread is in a modal loop (a message box, a pop-up menu) that dispatches the window's messages.
// 1 if the window exists.
int32_t Win_SetHandler(ObjId number, WinMessageHandler handler);

// ---- Shared with the other window modules ----

// Record of an open window, or null.
WindowRecord* Win_Record(ObjId number);

// Number of the window that carries the KX_WindowID property, looking at hwnd and then its
// ancestors; -1 when none of them is a toolkit window.
ObjId Win_NumberOf(HWND hwnd);

// Number from hwnd's own KX_WindowID property only; -1 when it has none.
ObjId Win_OwnNumber(HWND hwnd);

// DPI of the toolkit window that hwnd is or lies in; the display's DPI for any other window.
int32_t Win_DpiOf(HWND hwnd);

// Outer size of the window's client size in units at the DPI (with the frame of that DPI).
SIZE Win_OuterSize(const WindowRecord* record, int32_t dpi);

// Formats the class name of a window number into buf (at least 32 bytes).
void Win_ClassName(ObjId number, char* buf, size_t size);
