// Image control: a "STATIC" window that shows one bitmap or icon at its natural size and
// reports mouse activity on it (click, right click, double clicks, drag start). Created by
// Ctl_Image (controls/kinds.h); its state is the image handle it shows.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "controls/control.h"

// ---- Public functions ----

// Window procedure of every image control, installed beneath ControlProc.
LRESULT CALLBACK ImageControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Shared with the control kinds ----

// The image control's operation table (GetState and SetState).
const ControlKind* ImageCtl_Kind();

// Installs ImageControlProc on a freshly created "STATIC" window and remembers the class's
// own procedure; the first call also reads the drag rectangle.
void ImageCtl_Install(HWND hwnd);

// Whether the last right double-click's release is still to be swallowed (shared by all
// image controls).
bool ImageCtl_RightDoubleClickSeen();
