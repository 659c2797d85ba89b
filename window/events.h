// Event pump: Win_WaitEvent fetches and dispatches one message of the calling thread
// and reports what the toolkit's window procedure made of it as an integer event code.
// Each thread has its own event state, so one thread's loop never sees the events of
// another thread's windows.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "core/objtable.h"

// Event codes returned by Win_WaitEvent; any other value is a raw message identifier.
constexpr int32_t EVENT_CONTROL = 13100;
constexpr int32_t EVENT_MENU = 13101;
constexpr int32_t EVENT_TRAY = 13102;
constexpr int32_t EVENT_ACTIVATE = 13104;
constexpr int32_t EVENT_CLOSE = 16;   // = WM_CLOSE
constexpr int32_t EVENT_MOVE = 3;     // = WM_MOVE
constexpr int32_t EVENT_SIZE = 5;     // = WM_SIZE
constexpr int32_t EVENT_REPAINT = 15; // = WM_PAINT

// Event types of EVENT_TRAY.
constexpr int32_t TRAY_LEFT_CLICK = 0;
constexpr int32_t TRAY_RIGHT_CLICK = 1;
constexpr int32_t TRAY_LEFT_DOUBLECLICK = 2;
constexpr int32_t TRAY_RIGHT_DOUBLECLICK = 3;

// Time-out of Win_WaitEvent that waits for ever.
constexpr int32_t EVENT_WAIT_FOREVER = -1;

// A window event waiting to be returned (move, size, close, repaint, activate).
struct QueuedEvent {
    QueuedEvent* next;
    int32_t code;
    ObjId window; // number of the window concerned, -1 for a non-toolkit window
};

// Event state of one thread.
struct EventState {
    ObjId object;      // control, menu item or tray icon of the latest such event
    int32_t type;      // sub-kind of the event just returned, -1 if none
    int32_t pending;   // code set by the window procedure during a dispatch, 0 = none
    QueuedEvent* head; // oldest queued window event
    QueuedEvent* tail; // newest queued window event
};

// ---- Public functions ----

// Returns the next event of the calling thread; timeout in ms, -1 = for ever, 0 = poll.
int32_t Win_WaitEvent(int32_t timeout = EVENT_WAIT_FOREVER);

// Object number of the latest control, menu or tray event (Event_Menu is the same field).
ObjId Event_Control();
ObjId Event_Menu();

// Type of the event just returned, -1 if it has none.
int32_t Event_Type();

// Queues a window event for the calling thread; an exact repeat of the newest entry is dropped.
void Win_QueueEvent(int32_t code, ObjId window);

// Accelerator table to apply for the given (active) window, or null.
HACCEL Win_AccelFor(HWND window);

// ---- Shared with the window procedure ----

// The calling thread's event state (created on first use, freed when the thread ends).
EventState* Event_State();
