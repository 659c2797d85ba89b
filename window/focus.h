// Keyboard focus navigation between the tab stops of the active window (Tab, Shift+Tab).
#pragma once

#include <stdint.h>

#include "core/objtable.h"

// Moves the focus to the next (backward = 0) or previous (backward = 1) tab stop, wrapping.
void Win_FocusStep(int32_t backward);

// Gives the control the focus now when its window is the active window; else keeps it as the control
// that the window's next activation focuses, so that no other window is activated.
void Win_FocusControl(HWND control);

// Keeps the control that has the focus inside the window as the one to give back (nothing when the
// focus is elsewhere). Run as the window is left, hidden or minimised.
void Win_KeepFocus(ObjId number);

// Unless the window is minimised: gives the focus back to the control that had it when the window was
// last left (if that is still a tab stop), else to the window's first tab stop; a window that is not the
// active one becomes it. Run at every activation, and by the application once it has built its window or
// brought it back (the activations on the way may come while it is still minimised).
void Win_RestoreFocus(ObjId number);
