// Keyboard focus navigation between the tab stops of the active window (Tab, Shift+Tab).
#pragma once

#include <stdint.h>

// Moves the focus to the next (backward = 0) or previous (backward = 1) tab stop, wrapping.
void Win_FocusStep(int32_t backward);
