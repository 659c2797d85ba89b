// Control framework: numbered child controls on toolkit windows. Owns the control table,
// the creation target, the creation path every kind shares, the common control
// procedure ControlProc, the kind-independent operations and the brush cache of
// control back colours.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "core/objtable.h"
#include "window/winproc.h" // NOT_HANDLED, MSG_CONTROL_EVENT

// No colour of the control's own.
constexpr int32_t COLOR_NONE = -1;

// Colour kinds of Ctl_SetColor.
constexpr int32_t CTL_COLOR_FRONT = 1;
constexpr int32_t CTL_COLOR_BACK = 2;

// Event types that controls post with MSG_CONTROL_EVENT.
constexpr int32_t CTL_EVENT_FOCUS = 14000;
constexpr int32_t CTL_EVENT_LOSTFOCUS = 14001;
constexpr int32_t CTL_EVENT_DRAGSTART = 14002;
constexpr int32_t CTL_EVENT_RIGHTCLICK = 1;
constexpr int32_t CTL_EVENT_LEFTDOUBLECLICK = 2;
constexpr int32_t CTL_EVENT_RIGHTDOUBLECLICK = 3;

// Kind codes.
constexpr int32_t CTL_KIND_BUTTON = 1;
constexpr int32_t CTL_KIND_EDIT = 2;
constexpr int32_t CTL_KIND_TEXT = 3;
constexpr int32_t CTL_KIND_CHECK = 4;
constexpr int32_t CTL_KIND_FRAME = 7;
constexpr int32_t CTL_KIND_COMBO = 8;
constexpr int32_t CTL_KIND_IMAGE = 9;

// Ctl_GetText fetches up to this many characters with one message; a text that fills them is measured and
// fetched again.
constexpr int32_t CTL_TEXT_GUESS = 63;

// Property on every control: its identifier (equal to its control ID).
constexpr const char CTL_PROP_ID[] = "KX_ID";

struct ControlKind;

// One control. The first field marks the slot as used. The three kind words are
// pointer-sized because the image control keeps a handle and text/edit a brush in them.
struct ControlRecord {
    HWND hwnd;
    const ControlKind* kind;
    WNDPROC prevProc; // procedure the window had before ControlProc
    intptr_t wordA;   // text/edit: back colour (COLOR_NONE); image: image handle
    intptr_t wordB;   // text/edit: front colour (COLOR_NONE); image: tracking flag
    intptr_t wordC;   // text/edit: back brush (HBRUSH); image: press position
    int16_t units[4]; // place and size as created, in 96-DPI units: x, y, width, height
};

// Operation table of one kind, shared by all its controls. Empty slots are null.
struct ControlKind {
    int32_t code;
    LRESULT (*ParentMessage)(ControlRecord* record, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
    void (*Release)(ControlRecord* record);
    intptr_t (*GetState)(ControlRecord* record);
    void (*SetState)(ControlRecord* record, intptr_t value);
    void (*SetText)(ControlRecord* record, const char* text);
    int32_t (*AddItem)(ControlRecord* record, int32_t position, const char* text, int32_t extra);
    void (*SetColor)(ControlRecord* record, int32_t colourKind, int32_t value);
};

// What every new control gets. The target window itself is kept per thread (Ctl_BeginList),
// so one thread's Ctl_BeginList never redirects another thread's creations.
struct CreationTarget {
    HFONT font; // Ctl_Font at the display's DPI, made once at start-up
};

// Kind-specific step of the common creation path, run after the record is taken and
// before the control is registered (control ID, property, ControlProc, font).
typedef void (*CtlSetupFn)(ControlRecord* record, HWND hwnd, void* context);

// ---- Public functions ----

// Brush-cache lock, font, control table, creation target, common controls. Once at start-up.
void Ctl_Init();

// Makes the window the target of the calling thread's later creations; returns the handle
// unchecked (null if the target cannot be kept). A thread that never called it creates nothing.
HWND Ctl_BeginList(HWND window);

// Enables (flag 0) or disables (flag != 0) the control.
void Ctl_Disable(ObjId number, int32_t flag);

// Gives the control the keyboard focus. While its window is not the active window, the control
// is kept for the window's next activation instead, so that no other window is activated.
void Ctl_Focus(ObjId number);

// Sets the control's text (null = ""), through the kind's SetText when it has one.
void Ctl_SetText(ObjId number, const char* text);

// Writes the control's text at `target` in the string scratch; empty for an unknown number.
void Ctl_GetText(ObjId number, int32_t target);

// Kind's state (button/check: 1/0, combo: index, image: handle); 0 if none.
intptr_t Ctl_GetState(ObjId number);

// Kind's SetState; nothing for kinds without one.
void Ctl_SetState(ObjId number, intptr_t value);

// Kind's AddItem (null text = "") with the first further integer; 0 when the kind takes no
// items. The second further integer is accepted and not used by any kind.
int32_t Ctl_AddItem(ObjId number, int32_t position, const char* text, int32_t extra, int32_t extra2 = 0);

// Kind's SetColor (CTL_COLOR_FRONT / CTL_COLOR_BACK, 0x00BBGGRR or COLOR_NONE).
void Ctl_SetColor(ObjId number, int32_t colourKind, int32_t value);

// The controls' font at a DPI: one font per DPI, the same for a window opened or moved there; it lives
// as long as the process.
HFONT Ctl_Font(int32_t dpi);

// Lays out every control of the window again at its new DPI: place and size from its units, the
// DPI's font, an image control's picture at the DPI.
void Ctl_Rescale(HWND window, int32_t dpi);

// ---- Creation path for the kinds ----

// Whole creation: CreateWindowExW in the target window (menu -1), record, optional
// kind-specific setup, registration. Returns the native handle, the identifier for
// OBJ_ANY, or 0 (nothing changed, an earlier control of the number survives).
ObjId Ctl_Create(ObjId number, const ControlKind* kind, DWORD exStyle, const char* className,
                 const char* text, DWORD style, int32_t x, int32_t y, int32_t width, int32_t height,
                 CtlSetupFn setup = nullptr, void* context = nullptr);

// The same path in three steps, for kinds that must act between them.
// 1. The native window in the current target (place and size in 96-DPI units); null on failure.
HWND Ctl_CreateWindow(DWORD exStyle, const char* className, const char* text, DWORD style, int32_t x,
                      int32_t y, int32_t width, int32_t height);
// 2. The record for the number (destroys a control that holds it), keeping the units the window
//    was created with. On failure (null) the window is destroyed here and the creation must return 0.
ControlRecord* Ctl_AcquireRecord(ObjId number, HWND hwnd, int32_t x, int32_t y, int32_t width,
                                 int32_t height);
// 3. Registers the control and returns what the creation returns.
ObjId Ctl_Finish(ObjId number, ControlRecord* record, HWND hwnd, const ControlKind* kind);

// ---- Colours of the text and edit kinds ----

// ParentMessage of the text kind (WM_CTLCOLORSTATIC, system colour COLOR_BTNFACE).
LRESULT Ctl_ColorAnswerText(ControlRecord* record, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
// ParentMessage of the edit kind (WM_CTLCOLOREDIT; WM_CTLCOLORSTATIC while enabled;
// system colour COLOR_BTNHIGHLIGHT).
LRESULT Ctl_ColorAnswerEdit(ControlRecord* record, HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
// SetColor of text and edit.
void Ctl_ColorSet(ControlRecord* record, int32_t colourKind, int32_t value);
// Release of text and edit: gives back the back-colour brush.
void Ctl_ColorRelease(ControlRecord* record);

// ---- Brush cache ----

// Shared solid brush of the colour (reference counted).
HBRUSH Brush_Acquire(COLORREF colour);
// Gives one reference back; the brush is deleted with its last user. Unknown brushes are ignored.
void Brush_Release(HBRUSH brush);
// Reference count of a cached brush, 0 when it is not in the cache.
int32_t Brush_RefCount(HBRUSH brush);

// ---- Shared helpers ----

// Posts MSG_CONTROL_EVENT (control ID, type) to the control's top window.
void PostControlEvent(HWND control, int32_t type);

// Nearest window from the control upwards that carries KX_WindowID, or the topmost parent.
HWND TopWindowOf(HWND control);

// Record of a number, or null.
ControlRecord* Ctl_Record(ObjId number);

// Record of a child window that is a toolkit control (KX_ID equals its control ID), or null.
ControlRecord* Ctl_RecordOf(HWND control);

// What every new control gets (process-wide).
CreationTarget* Ctl_Target();

// Common window procedure of every control.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
