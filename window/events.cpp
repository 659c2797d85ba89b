// Event pump: fetches one message of the calling thread, applies the active window's
// accelerators, dispatches it and returns the event the window procedure reported.
//
// The event state is per thread: a window's messages are dispatched on the thread that
// owns it, so whatever its procedure reports lands in that thread's state and is
// returned only by that thread's Win_WaitEvent. The state block lives in fiber-local
// storage, whose callback frees it (with any events left in its queue) when the thread
// ends.
#include "window/events.h"

#include <richedit.h>
#include <string.h>

#include "core/threads.h"
#include "window/window.h"
#include "core/tls.h"

namespace {

// Used only when a thread's state cannot be allocated; events then go nowhere useful
// but nothing crashes.
EventState g_fallbackState = {0, 0, 0, nullptr, nullptr};

// Frees a thread's state and its queued events when the thread ends. States and queue nodes come from the
// process heap, which outlives every thread and the toolkit's own heaps.
void WINAPI FreeEventState(void* block) {
    EventState* state = static_cast<EventState*>(block);
    if (state == nullptr || state == &g_fallbackState) {
        return;
    }
    HANDLE heap = GetProcessHeap();
    QueuedEvent* node = state->head;
    while (node != nullptr) {
        QueuedEvent* next = node->next;
        HeapFree(heap, 0, node);
        node = next;
    }
    HeapFree(heap, 0, state);
}

// Slot of the per-thread state; a thread's state is freed when the thread ends.
ThreadSlot<FreeEventState> g_stateSlot;

// Fetches the next message, waiting for ever. On a thread that can be cancelled the wait
// includes its cancel event, so that Thread_Terminate is not kept waiting by the loop.
void FetchForever(MSG* msg) {
    HANDLE cancel = Thread_CancelEvent();
    if (cancel == nullptr) {
        GetMessageW(msg, nullptr, 0, 0);
        return;
    }
    for (;;) {
        if (PeekMessageW(msg, nullptr, 0, 0, PM_REMOVE)) {
            return;
        }
        const DWORD r = MsgWaitForMultipleObjectsEx(1, &cancel, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0) {
            Thread_CheckCancel();
        } else if (r == WAIT_FAILED) {
            GetMessageW(msg, nullptr, 0, 0);
            return;
        }
    }
}

// The messages an accelerator can translate. Every other message skips the table lookup, whose calls
// would otherwise be made for each message the thread is woken for.
bool MayBeShortcut(UINT message) {
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_CHAR || message == WM_SYSCHAR;
}

bool KeyDown(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

// Esc or Enter while the focus is on a drop-down list that is dropped (or on the edit field of a
// dropped combo box). These keys belong to the list (Esc closes it, Enter takes the selection):
// a shortcut on them would otherwise act behind the open list, or be swallowed by the platform
// because the list holds the mouse capture, leaving the list open.
bool KeyForDroppedList(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || (msg.wParam != VK_ESCAPE && msg.wParam != VK_RETURN)) {
        return false;
    }
    HWND focus = GetFocus();
    for (int level = 0; level < 2 && focus != nullptr; ++level, focus = GetParent(focus)) {
        char name[10] = {};
        GetClassNameA(focus, name, sizeof name);
        if (strcmp(name, "ComboBox") == 0) {
            return SendMessageW(focus, CB_GETDROPPEDSTATE, 0, 0) != 0;
        }
    }
    return false;
}

} // namespace

// ---- Public functions ----

// Returns a queued window event, or fetches and dispatches one message and returns its event.
int32_t Win_WaitEvent(int32_t timeout) {
    EventState* state = Event_State();
    state->type = -1;

    if (state->head != nullptr) {
        QueuedEvent* node = state->head;
        state->head = node->next;
        if (state->head == nullptr) {
            state->tail = nullptr;
        }
        state->pending = 0;
        const int32_t code = node->code;
        HeapFree(GetProcessHeap(), 0, node);
        return code;
    }

    MSG msg = {};
    if (timeout < 0) {
        FetchForever(&msg);
    } else if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
        if (timeout == 0) {
            return 0;
        }
        // As when waiting for ever, a thread that can be cancelled also wakes for its cancel event.
        HANDLE cancel = Thread_CancelEvent();
        const DWORD count = cancel != nullptr ? 1 : 0;
        const DWORD r = MsgWaitForMultipleObjects(count, &cancel, FALSE, static_cast<DWORD>(timeout), 0x1FF);
        if (r == WAIT_TIMEOUT) {
            return 0;
        }
        if (count == 1 && r == WAIT_OBJECT_0) {
            Thread_CheckCancel();
        }
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
            return 0;
        }
    }

    HWND active = nullptr;
    HACCEL table = nullptr;
    if (MayBeShortcut(msg.message)) {
        active = GetActiveWindow();
        table = KeyForDroppedList(msg) ? nullptr : Win_AccelFor(active);
    }
    // A translated accelerator has already sent its WM_COMMAND to the active window.
    if (table == nullptr || !TranslateAcceleratorW(active, table, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    if (state->pending != 0) {
        const int32_t code = state->pending;
        state->pending = 0;
        return code;
    }
    return static_cast<int32_t>(msg.message);
}

ObjId Event_Control() {
    return Event_State()->object;
}

// Same field as Event_Control, read after EVENT_MENU.
ObjId Event_Menu() {
    return Event_State()->object;
}

int32_t Event_Type() {
    return Event_State()->type;
}

void Win_QueueEvent(int32_t code, ObjId window) {
    EventState* state = Event_State();
    if (state->tail != nullptr && state->tail->code == code && state->tail->window == window) {
        return;
    }
    QueuedEvent* node = static_cast<QueuedEvent*>(HeapAlloc(GetProcessHeap(), 0, sizeof(QueuedEvent)));
    if (node == nullptr) {
        return;
    }
    node->next = nullptr;
    node->code = code;
    node->window = window;
    if (state->tail != nullptr) {
        state->tail->next = node;
    } else {
        state->head = node;
    }
    state->tail = node;
}

// The active window's accelerator table, or null (also while Tab goes to an editable rich edit).
HACCEL Win_AccelFor(HWND window) {
    if (KeyDown(VK_TAB) && !KeyDown(VK_CONTROL) && !KeyDown(VK_SHIFT) && !KeyDown(VK_MENU)) {
        HWND focus = GetFocus();
        char name[5] = {};
        if (focus != nullptr && GetClassNameA(focus, name, sizeof name) >= 4 &&
            memcmp(name, "Rich", 4) == 0 && (SendMessageW(focus, EM_GETOPTIONS, 0, 0) & ECO_READONLY) == 0) {
            return nullptr;
        }
    }
    const ObjId number = Win_OwnNumber(window);
    if (number == -1) {
        return nullptr;
    }
    WindowRecord* record = Win_Record(number);
    return record != nullptr ? record->accelTable : nullptr;
}

// ---- Shared with the window procedure ----

EventState* Event_State() {
    EventState* state = static_cast<EventState*>(g_stateSlot.Get());
    if (state != nullptr) {
        return state;
    }
    state = static_cast<EventState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(EventState)));
    if (state == nullptr) {
        return &g_fallbackState;
    }
    if (!g_stateSlot.Set(state)) {
        HeapFree(GetProcessHeap(), 0, state);
        return &g_fallbackState;
    }
    return state;
}
