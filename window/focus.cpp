// Tab navigation between the tab stops of the active window, in the order in which
// EnumChildWindows visits them, wrapping around at both ends.
#include "window/focus.h"

#include <windows.h>

#include <string.h>

#include "window/window.h"

namespace {

// State of one navigation step.
struct StepRecord {
    HWND current;  // focus window inside the root, or null
    HWND previous; // last tab stop visited (backward step)
    bool takeNext; // the next tab stop gets the focus
    bool done;     // the backward step has set the focus
};

// Enabled, visible and marked WS_TABSTOP.
bool IsTabStop(HWND w) {
    return IsWindowEnabled(w) && IsWindowVisible(w) && (GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP) != 0;
}

// Focus by the keyboard: as in a dialog, a control that keeps a selection (an edit, also the one in a
// combo box) has its whole text selected, so that typing replaces it. A click sets the focus elsewhere
// and keeps placing the caret.
void FocusByKey(HWND w) {
    SetFocus(w);
    if (GetFocus() == w && (SendMessageW(w, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0) {
        SendMessageW(w, EM_SETSEL, 0, -1);
    }
}

// Forward visit: focus the tab stop after the current one (or the first when none).
BOOL CALLBACK VisitForward(HWND w, LPARAM param) {
    StepRecord* step = reinterpret_cast<StepRecord*>(param);
    if (!IsTabStop(w)) {
        return TRUE;
    }
    if (step->takeNext) {
        FocusByKey(w);
        step->takeNext = false;
        return FALSE;
    }
    if (step->current == nullptr) {
        FocusByKey(w);
        return FALSE;
    }
    if (w == step->current) {
        step->takeNext = true;
    }
    return TRUE;
}

// Backward visit: focus the tab stop before the current one.
BOOL CALLBACK VisitBackward(HWND w, LPARAM param) {
    StepRecord* step = reinterpret_cast<StepRecord*>(param);
    if (!IsTabStop(w)) {
        return TRUE;
    }
    if (w == step->current && step->previous != nullptr) {
        FocusByKey(step->previous);
        step->done = true;
        return FALSE;
    }
    step->previous = w;
    return TRUE;
}

} // namespace

// ---- Public functions ----

// Moves the focus one tab stop forward or backward inside the active window (or the
// outermost "MDI_ChildClass" window around the focus).
void Win_FocusStep(int32_t backward) {
    HWND root = GetActiveWindow();
    HWND focus = GetFocus();
    if (root == nullptr) {
        // Without a root EnumChildWindows would walk every top-level window.
        return;
    }
    StepRecord step = {nullptr, nullptr, false, false};
    if (focus != nullptr && IsChild(root, focus)) {
        step.current = focus;
        for (HWND w = focus; w != nullptr; w = GetParent(w)) {
            char name[51] = {};
            GetClassNameA(w, name, sizeof name);
            if (strcmp(name, "MDI_ChildClass") == 0) {
                root = w;
                if (w == focus) {
                    step.current = nullptr;
                }
            }
        }
    }

    if (backward == 0) {
        EnumChildWindows(root, VisitForward, reinterpret_cast<LPARAM>(&step));
        if (step.takeNext) {
            // The focus was on the last tab stop: start again from the first.
            EnumChildWindows(root, VisitForward, reinterpret_cast<LPARAM>(&step));
        }
    } else {
        EnumChildWindows(root, VisitBackward, reinterpret_cast<LPARAM>(&step));
        if (!step.done && step.previous != nullptr) {
            FocusByKey(step.previous);
        }
    }
}

void Win_FocusControl(HWND control) {
    HWND top = GetAncestor(control, GA_ROOT);
    if (top != nullptr && top == GetActiveWindow()) {
        SetFocus(control);
        return;
    }
    WindowRecord* record = Win_Record(Win_OwnNumber(top));
    if (record != nullptr) {
        record->focus = control;
    }
}

void Win_KeepFocus(ObjId number) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr) {
        return;
    }
    HWND focus = GetFocus();
    if (IsChild(record->hwnd, focus)) {
        record->focus = focus;
    }
}

// The focus where the user left it: a window does not lose its place in the keyboard's order by being
// left, hidden or minimised.
void Win_RestoreFocus(ObjId number) {
    WindowRecord* record = Win_Record(number);
    if (record == nullptr || IsIconic(record->hwnd)) {
        return;
    }
    HWND last = record->focus;
    if (last != nullptr && IsChild(record->hwnd, last) && IsTabStop(last)) {
        SetFocus(last);
        return;
    }
    StepRecord step = {nullptr, nullptr, false, false};
    EnumChildWindows(record->hwnd, VisitForward, reinterpret_cast<LPARAM>(&step));
}
