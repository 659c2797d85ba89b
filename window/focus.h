// Keyboard focus navigation between the tab stops of the active window (Tab, Shift+Tab).
#pragma once

#include <stdint.h>

#include "core/objtable.h"

// Moves the focus to the next (backward = 0) or previous (backward = 1) tab stop, wrapping.
void Win_FocusStep(int32_t backward);

// While the window is the calling thread's active window and not minimised: gives the focus back to
// the control that had it when the window was last left (if that is still a tab stop), else to the
// window's first tab stop. Run at every activation, and by the application once it has built its window.
void Win_RestoreFocus(ObjId number);
