// Control kinds local to the tests: a push button, a coloured text and a coloured edit
// built on the framework's creation path, so the framework can be tested on its own.
#pragma once

#include <windows.h>

#include "controls/control.h"

// Push button: state is the check bit.
inline intptr_t TestButton_GetState(ControlRecord* record) {
    return SendMessageA(record->hwnd, BM_GETCHECK, 0, 0) & 1;
}
inline void TestButton_SetState(ControlRecord* record, intptr_t value) {
    SendMessageA(record->hwnd, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}
inline const ControlKind kTestButtonKind = {CTL_KIND_BUTTON,     nullptr, nullptr, TestButton_GetState,
                                            TestButton_SetState, nullptr, nullptr, nullptr};

inline ObjId TestButton(ObjId number, int x, int y, int w, int h, const char* text, DWORD flags = 0) {
    return Ctl_Create(number, &kTestButtonKind, 0, "Button", text, 0x50030000 | flags, x, y, w, h);
}

// Text and edit start without colours of their own.
inline void TestKinds_NoColours(ControlRecord* record, HWND, void*) {
    record->wordA = COLOR_NONE;
    record->wordB = COLOR_NONE;
}

inline const ControlKind kTestTextKind = {
    CTL_KIND_TEXT, Ctl_ColorAnswerText, Ctl_ColorRelease, nullptr, nullptr, nullptr, nullptr, Ctl_ColorSet};

inline ObjId TestText(ObjId number, int x, int y, int w, int h, const char* text, DWORD flags = 0) {
    return Ctl_Create(number, &kTestTextKind, 0, "Static", text, 0x50020000 | flags, x, y, w, h,
                      TestKinds_NoColours);
}

inline const ControlKind kTestEditKind = {
    CTL_KIND_EDIT, Ctl_ColorAnswerEdit, Ctl_ColorRelease, nullptr, nullptr, nullptr, nullptr, Ctl_ColorSet};

inline ObjId TestEdit(ObjId number, int x, int y, int w, int h, const char* text, DWORD flags = 0) {
    return Ctl_Create(number, &kTestEditKind, WS_EX_CLIENTEDGE, "Edit", text, 0x50030080 | flags, x, y, w, h,
                      TestKinds_NoColours);
}
