// Control kinds: the creation operations of the seven kinds of control (frame, text,
// image, combo box, edit, button, check box) with their window classes, styles and
// operation tables. All of them place the control in the current creation target
// (Ctl_BeginList) at x, y, width, height of its client area (96-DPI units) and return the native
// handle, the control identifier for OBJ_ANY, or 0 on failure.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "core/objtable.h"

// Frame types of Ctl_Frame; every value other than the first three is FRAME_FLAT.
constexpr int32_t FRAME_GROUP = 0;  // group box with a caption
constexpr int32_t FRAME_SUNKEN = 1; // sunken client edge
constexpr int32_t FRAME_EDGE = 2;   // static edge
constexpr int32_t FRAME_FLAT = 3;   // thin border

// Flag bits that the kinds read themselves (all flags are window-style bits).
constexpr int32_t CTL_FLAG_EDGE = 0x20000;    // text: sunken edge; edit: no edge
constexpr int32_t CTL_FLAG_EDITABLE = 0x0002; // combo box: editable (CBS_DROPDOWN)
constexpr int32_t CTL_FLAG_NUMBER = 0x2000;   // edit: digits only (ES_NUMBER)

// ---- Public functions ----

// A frame: a captioned group box, or a drawn-through sunken, edged or bordered rectangle.
ObjId Ctl_Frame(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
                int32_t frameType);

// A static text; flags are or-ed into its style (0x20000 also gives a sunken edge).
ObjId Ctl_Text(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
               int32_t flags);

// An image control showing the bitmap or icon at its natural size (see controls/imagectl.h).
ObjId Ctl_Image(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, HANDLE image,
                int32_t exStyle);

// A combo box: a drop-down list unless the flags hold CBS_DROPDOWN (2). The height includes
// the dropped-down list.
ObjId Ctl_Combo(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags);

// A one-line edit that reports focus changes; 0x20000 removes its sunken edge, 0x2000 takes
// digits only.
ObjId Ctl_Edit(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
               int32_t flags);

// A push button (or whatever button style the flags select).
ObjId Ctl_Button(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
                 int32_t flags);

// A check box that toggles itself.
ObjId Ctl_Check(ObjId number, int32_t x, int32_t y, int32_t width, int32_t height, const char* text,
                int32_t flags);
