// Message boxes that are modal for every window of the calling thread, and the start-up
// initialisation of the common controls and COM.
//
// MessageBoxW only disables its owner. To make the box modal for the whole thread, the
// thread's other visible, enabled top-level windows are disabled first and recorded in one
// shared list; afterwards exactly the recorded windows are enabled again. Any thread may
// show a box, so the list is guarded by a slim reader/writer lock that is held only while a
// record is added, removed or counted (never across a call that sends window messages).
// Each record names the thread and the Msg_Box call that made it, so a box enables only the
// windows it disabled itself, also when a second box is opened from inside the first.
#include "shell/msgbox.h"

#include "core/strings.h"

#include <commctrl.h>
#include <objbase.h>

#include "core/objtable.h"

namespace {

ListRecord* g_disabled = nullptr;      // newest record of the disabled-window list
SRWLOCK g_disabledLock = SRWLOCK_INIT; // guards g_disabled and the records' fields

// What the enumeration of step one needs to know.
struct DisableContext {
    DWORD threadId;
    HWND foreground;
    const void* box;
};

// ---- Internal functions ----

// Adds a record for window; false when no record could be made.
bool RecordDisabled(const DisableContext* context, HWND window) {
    AcquireSRWLockExclusive(&g_disabledLock);
    auto* record = static_cast<DisabledWindow*>(List_Add(&g_disabled, sizeof(DisabledWindow)));
    if (record != nullptr) {
        record->threadId = context->threadId;
        record->window = window;
        record->box = context->box;
    }
    ReleaseSRWLockExclusive(&g_disabledLock);
    return record != nullptr;
}

// Unlinks one record of this box and returns its window; null when none is left.
HWND TakeDisabled(const void* box) {
    HWND window = nullptr;
    AcquireSRWLockExclusive(&g_disabledLock);
    for (void* payload = List_First(g_disabled); payload != nullptr; payload = List_Older(payload)) {
        auto* record = static_cast<DisabledWindow*>(payload);
        if (record->box == box) {
            window = record->window;
            List_Remove(&g_disabled, payload);
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_disabledLock);
    return window;
}

// EnumWindows callback: disables a visible, enabled window of the calling thread that is not
// the foreground window. Always continues to the last window.
BOOL CALLBACK DisableThreadWindow(HWND window, LPARAM parameter) {
    const auto* context = reinterpret_cast<const DisableContext*>(parameter);
    if (GetWindowThreadProcessId(window, nullptr) == context->threadId && IsWindowVisible(window) &&
        IsWindowEnabled(window) && window != context->foreground) {
        // Record first: a window that could not be recorded would never be enabled again.
        if (RecordDisabled(context, window))
            EnableWindow(window, FALSE);
    }
    return TRUE;
}

} // namespace

// ---- Public functions ----

void Msg_Init() {
    InitCommonControls();
    CoInitialize(nullptr);
}

int32_t Msg_Box(const char* title, const char* text, uint32_t flags) {
    DisableContext context;
    context.threadId = GetCurrentThreadId();
    context.foreground = GetForegroundWindow();
    context.box = &context; // unique while this call runs
    EnumWindows(DisableThreadWindow, reinterpret_cast<LPARAM>(&context));

    // The owner is the foreground window when it belongs to this process (possibly to another
    // of its threads); a box owned by another program's window would not block ours.
    HWND owner = nullptr;
    if (context.foreground != nullptr) {
        DWORD processId = 0;
        GetWindowThreadProcessId(context.foreground, &processId);
        if (processId == GetCurrentProcessId())
            owner = context.foreground;
    }

    // A null title keeps the platform's own ("Fehler" on a German Windows).
    WideText wideTitle(title);
    int32_t result =
        MessageBoxW(owner, WideText(text).Get(), title != nullptr ? wideTitle.Get() : nullptr, flags);

    // A window destroyed meanwhile makes EnableWindow fail harmlessly; its record goes too.
    for (HWND window = TakeDisabled(context.box); window != nullptr; window = TakeDisabled(context.box))
        EnableWindow(window, TRUE);
    return result;
}

// ---- Diagnostics ----

int32_t Msg_DisabledCount(DWORD threadId) {
    int32_t count = 0;
    AcquireSRWLockShared(&g_disabledLock);
    for (void* payload = List_First(g_disabled); payload != nullptr; payload = List_Older(payload)) {
        const auto* record = static_cast<const DisabledWindow*>(payload);
        if (threadId == 0 || record->threadId == threadId)
            count++;
    }
    ReleaseSRWLockShared(&g_disabledLock);
    return count;
}
