// Event pump and window procedure: the event sequences real messages produce, window
// events and their queue, tray and control notifications, and per-thread delivery.
#include <gtest/gtest.h>

#include <richedit.h>

#include "controls/testkinds.h"
#include "window/harness.h"
#include "window/shortcuts.h"
#include "window/winproc.h"

namespace {

constexpr HostWindow kEventHost = {
    40, 100, 100, 300, 200, "events", 0x00CA0000u, kHostActive | kHostControls | kHostCloseAll, 60, 20};
using EventTest = HostWindowTest<kEventHost>;

// Codes of the window events now queued on this thread.
std::vector<int32_t> QueuedCodes() {
    std::vector<int32_t> codes;
    for (const QueuedEvent* e = Event_State()->head; e != nullptr; e = e->next) {
        codes.push_back(e->code);
    }
    return codes;
}

bool Contains(const std::vector<int32_t>& codes, int32_t code) {
    for (int32_t c : codes) {
        if (c == code) {
            return true;
        }
    }
    return false;
}

std::string Join(const std::vector<int32_t>& codes) {
    std::string s;
    for (int32_t c : codes) {
        s += std::to_string(c) + " ";
    }
    return s;
}

// Posts a left click to a control at its client point (5, 5).
void PostClick(HWND control) {
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

// Calls Win_WaitEvent until `code` comes; returns the codes before it (bounded).
std::vector<int32_t> RunUntil(int32_t code, bool* found, int maxCalls = 200) {
    std::vector<int32_t> before;
    *found = false;
    for (int i = 0; i < maxCalls; ++i) {
        const int32_t c = Win_WaitEvent(300);
        if (c == code) {
            *found = true;
            break;
        }
        if (c == 0) {
            break;
        }
        before.push_back(c);
    }
    return before;
}

// A kind whose ParentMessage answers WM_COMMAND itself.
LRESULT SwallowCommand(ControlRecord*, HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_COMMAND ? 0 : NOT_HANDLED;
}
const ControlKind kSwallowKind = {CTL_KIND_BUTTON, SwallowCommand, nullptr, nullptr,
                                  nullptr,         nullptr,        nullptr, nullptr};

} // namespace

TEST_F(EventTest, test_button_click_is_one_control_event) {
    HWND button = reinterpret_cast<HWND>(TestButton(12, 10, 10, 80, 24, "Starten"));
    ASSERT_NE(button, nullptr);
    Tk_Pump();

    PostClick(button);
    bool found = false;
    const std::vector<int32_t> before = RunUntil(EVENT_CONTROL, &found);
    ASSERT_TRUE(found) << "no EVENT_CONTROL; got " << Join(before);
    EXPECT_EQ(Event_Control(), 12);
    EXPECT_EQ(Event_Type(), BN_CLICKED);
    EXPECT_TRUE(Contains(before, WM_LBUTTONDOWN)) << "the press comes first as a raw code: " << Join(before);
    EXPECT_FALSE(Contains(before, WM_LBUTTONUP)) << "the release's call must return EVENT_CONTROL itself";

    // The next call knows nothing of the click any more.
    Win_WaitEvent(0);
    EXPECT_EQ(Event_Type(), -1);
    EXPECT_EQ(Event_Control(), 12) << "the object number is kept across events";
}

TEST_F(EventTest, test_close_requests) {
    // The close box (SC_CLOSE): raw message first, EVENT_CLOSE one call later.
    PostMessageA(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(Win_WaitEvent(500), static_cast<int32_t>(WM_SYSCOMMAND));
    EXPECT_EQ(Win_WaitEvent(0), EVENT_CLOSE);
    EXPECT_EQ(Event_Type(), -1);
    EXPECT_TRUE(IsWindow(hwnd_)) << "the toolkit never destroys a window on WM_CLOSE";

    // A posted WM_CLOSE: 16 as the raw message, then 16 from the queue.
    Tk_Pump();
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    EXPECT_EQ(Win_WaitEvent(500), EVENT_CLOSE);
    EXPECT_EQ(Win_WaitEvent(0), EVENT_CLOSE);
    EXPECT_EQ(Win_WaitEvent(0), 0);

    // Alt+F4 goes the same way.
    SendMessageA(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(QueuedCodes(), std::vector<int32_t>{EVENT_CLOSE});
    Tk_Pump();
}

TEST_F(EventTest, test_tray_notification_in_two_steps) {
    struct Case {
        LPARAM mouse;
        int32_t type;
    };
    const Case cases[] = {{WM_LBUTTONUP, TRAY_LEFT_CLICK},
                          {WM_RBUTTONUP, TRAY_RIGHT_CLICK},
                          {WM_LBUTTONDBLCLK, TRAY_LEFT_DOUBLECLICK},
                          {WM_RBUTTONDBLCLK, TRAY_RIGHT_DOUBLECLICK}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mouse);
        PostMessageA(hwnd_, MSG_TRAY_NOTIFY, 3, c.mouse);
        EXPECT_EQ(Win_WaitEvent(500), static_cast<int32_t>(MSG_TRAY_NOTIFY));
        EXPECT_EQ(Win_WaitEvent(500), EVENT_TRAY);
        EXPECT_EQ(Event_Control(), 3);
        EXPECT_EQ(Event_Type(), c.type);
    }
    // Presses and moves over the icon: the re-posted message comes back raw.
    const LPARAM others[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN};
    for (LPARAM mouse : others) {
        PostMessageA(hwnd_, MSG_TRAY_NOTIFY, 4, mouse);
        EXPECT_EQ(Win_WaitEvent(500), static_cast<int32_t>(MSG_TRAY_NOTIFY));
        EXPECT_EQ(Win_WaitEvent(500), static_cast<int32_t>(MSG_TRAY_EVENT));
        EXPECT_EQ(Event_Type(), -1);
    }
}

TEST_F(EventTest, test_window_event_queue) {
    // Identical events in a row collapse; different windows do not.
    SendMessageA(hwnd_, WM_MOVE, 0, MAKELPARAM(10, 10));
    SendMessageA(hwnd_, WM_MOVE, 0, MAKELPARAM(11, 10));
    EXPECT_EQ(QueuedCodes(), std::vector<int32_t>{EVENT_MOVE});
    EXPECT_EQ(Win_WaitEvent(0), EVENT_MOVE);
    EXPECT_EQ(Win_WaitEvent(0), 0);

    Win_QueueEvent(EVENT_MOVE, 0);
    Win_QueueEvent(EVENT_MOVE, 1);
    Win_QueueEvent(EVENT_MOVE, 1);
    Win_QueueEvent(EVENT_MOVE, 0);
    Win_QueueEvent(EVENT_SIZE, 0);
    EXPECT_EQ(QueuedCodes(), (std::vector<int32_t>{EVENT_MOVE, EVENT_MOVE, EVENT_MOVE, EVENT_SIZE}));

    // Queued events come before any new message, one per call.
    PostMessageA(hwnd_, WM_COMMAND, 42, 0);
    EXPECT_EQ(Win_WaitEvent(0), EVENT_MOVE);
    EXPECT_EQ(Win_WaitEvent(0), EVENT_MOVE);
    EXPECT_EQ(Win_WaitEvent(0), EVENT_MOVE);
    EXPECT_EQ(Win_WaitEvent(0), EVENT_SIZE);
    EXPECT_EQ(Win_WaitEvent(0), EVENT_MENU);
    EXPECT_EQ(Event_Menu(), 42);
    EXPECT_EQ(Event_Type(), -1);

    // A menu item numbered like the Tab command is still a menu item.
    PostMessageA(hwnd_, WM_COMMAND, CMD_FOCUS_NEXT, 0);
    EXPECT_EQ(Win_WaitEvent(500), EVENT_MENU);
    EXPECT_EQ(Event_Menu(), CMD_FOCUS_NEXT);
}

TEST_F(EventTest, test_size_activate_and_repaint_events) {
    Tk_Pump();
    ShowWindow(hwnd_, SW_MINIMIZE);
    EXPECT_FALSE(Contains(QueuedCodes(), EVENT_SIZE))
        << "minimising gives no EVENT_SIZE: " << Join(QueuedCodes());
    Tk_Pump();
    ShowWindow(hwnd_, SW_RESTORE);
    EXPECT_TRUE(Contains(QueuedCodes(), EVENT_SIZE)) << Join(QueuedCodes());
    Tk_Pump();

    HWND other = reinterpret_cast<HWND>(Win_Open(41, 0, 0, 50, 50, "other", 0));
    Tk_Pump();
    SetActiveWindow(hwnd_);
    EXPECT_EQ(QueuedCodes(), std::vector<int32_t>{EVENT_ACTIVATE}) << "only the activation is reported";
    Tk_Pump();

    RedrawWindow(other, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW);
    EXPECT_TRUE(Contains(QueuedCodes(), EVENT_REPAINT)) << Join(QueuedCodes());
    Tk_Pump();

    // WM_SIZE while the window has no property yet is answered with 1 and queues nothing.
    RemovePropA(other, "KX_WindowID");
    EXPECT_EQ(SendMessageA(other, WM_SIZE, SIZE_RESTORED, MAKELPARAM(20, 20)), 1);
    EXPECT_EQ(SendMessageA(other, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(QueuedCodes().empty()) << Join(QueuedCodes());
    SetPropA(other, "KX_WindowID", reinterpret_cast<HANDLE>(42));
}

TEST_F(EventTest, test_control_events) {
    HWND button = reinterpret_cast<HWND>(TestButton(5, 10, 10, 80, 24, "A"));
    ASSERT_NE(button, nullptr);

    // Activity posted by a control (focus, drag ...) arrives with its type.
    PostControlEvent(button, CTL_EVENT_FOCUS);
    EXPECT_EQ(Win_WaitEvent(500), EVENT_CONTROL);
    EXPECT_EQ(Event_Control(), 5);
    EXPECT_EQ(Event_Type(), CTL_EVENT_FOCUS);

    // A child that is no toolkit control still reports its commands, by its own ID.
    HWND foreign = CreateWindowExA(0, "Button", "F", WS_CHILD | WS_VISIBLE, 100, 10, 60, 24, hwnd_,
                                   reinterpret_cast<HMENU>(77), nullptr, nullptr);
    PostClick(foreign);
    bool found = false;
    RunUntil(EVENT_CONTROL, &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(Event_Control(), 77);
    EXPECT_EQ(Event_Type(), BN_CLICKED);

    // A kind that answers WM_COMMAND itself suppresses the event.
    HWND swallow = reinterpret_cast<HWND>(
        Ctl_Create(6, &kSwallowKind, 0, "Button", "S", WS_CHILD | WS_VISIBLE, 200, 10, 60, 24));
    ASSERT_NE(swallow, nullptr);
    PostClick(swallow);
    const std::vector<int32_t> codes = Tk_Drain();
    EXPECT_FALSE(Contains(codes, EVENT_CONTROL)) << Join(codes);
}

static int g_colourCounts[3];

// Counts WM_SYSCOLORCHANGE per child id (a named function: lambdas are not stdcall on i686).
static LRESULT CALLBACK ColourProbeProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_SYSCOLORCHANGE) {
        g_colourCounts[GetWindowLongPtrA(h, GWLP_ID)] += 1;
    }
    return DefWindowProcA(h, m, w, l);
}

TEST_F(EventTest, test_syscolorchange_reaches_every_child) {
    int* counts = g_colourCounts;
    counts[0] = counts[1] = counts[2] = 0;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ColourProbeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TkColourProbe";
    RegisterClassA(&wc);
    HWND a = CreateWindowExA(0, "TkColourProbe", "", WS_CHILD, 0, 0, 10, 10, hwnd_,
                             reinterpret_cast<HMENU>(0), nullptr, nullptr);
    HWND b = CreateWindowExA(0, "TkColourProbe", "", WS_CHILD, 0, 0, 10, 10, a, reinterpret_cast<HMENU>(1),
                             nullptr, nullptr);
    CreateWindowExA(0, "TkColourProbe", "", WS_CHILD, 0, 0, 10, 10, hwnd_, reinterpret_cast<HMENU>(2),
                    nullptr, nullptr);
    ASSERT_NE(b, nullptr);
    SendMessageA(hwnd_, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(counts[0], 1);
    EXPECT_EQ(counts[1], 1) << "grandchildren too";
    EXPECT_EQ(counts[2], 1);
    DestroyWindow(a);
}

TEST_F(EventTest, test_wait_timeouts) {
    Tk_Pump();
    DWORD start = GetTickCount();
    EXPECT_EQ(Win_WaitEvent(0), 0);
    EXPECT_LT(GetTickCount() - start, 50u) << "a time-out of 0 only polls";

    start = GetTickCount();
    EXPECT_EQ(Win_WaitEvent(100), 0);
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 80u);
    EXPECT_LT(waited, 1000u);

    // A message arriving during the wait ends it at once.
    PostMessageA(hwnd_, WM_USER + 5, 0, 0);
    EXPECT_EQ(Win_WaitEvent(2000), static_cast<int32_t>(WM_USER + 5));
}

namespace {

// One thread's window and loop: runs until its own EVENT_CLOSE.
struct LoopThread {
    ObjId number;
    HANDLE ready;
    volatile LONG events;
    volatile LONG closed;
};

DWORD WINAPI RunLoop(LPVOID param) {
    LoopThread* t = static_cast<LoopThread*>(param);
    Win_Open(t->number, 50, 50, 120, 80, "loop", WS_POPUP | WIN_INVISIBLE);
    SetEvent(t->ready);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        const int32_t code = Win_WaitEvent(100);
        InterlockedIncrement(&t->events);
        if (code == EVENT_CLOSE) {
            InterlockedExchange(&t->closed, 1);
            break;
        }
    }
    Win_Close(t->number);
    return 0;
}

} // namespace

TEST_F(EventTest, test_close_ends_only_its_own_threads_loop) {
    LoopThread a = {50, CreateEventA(nullptr, TRUE, FALSE, nullptr), 0, 0};
    LoopThread b = {51, CreateEventA(nullptr, TRUE, FALSE, nullptr), 0, 0};
    HANDLE ta = CreateThread(nullptr, 0, RunLoop, &a, 0, nullptr);
    HANDLE tb = CreateThread(nullptr, 0, RunLoop, &b, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(a.ready, 5000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(b.ready, 5000), WAIT_OBJECT_0);

    // Queue close events for b's window many times (sent from here, handled on b's thread):
    // a, pumping at the same time, must never see one.
    for (int i = 0; i < 20; ++i) {
        SendMessageA(Win_Handle(51), WM_MOVE, 0, 0);
    }
    PostMessageA(Win_Handle(51), WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(tb, 5000), WAIT_OBJECT_0) << "b's loop must end on its own close";
    EXPECT_EQ(b.closed, 1);
    EXPECT_EQ(WaitForSingleObject(ta, 300), static_cast<DWORD>(WAIT_TIMEOUT)) << "a's loop must go on";
    EXPECT_EQ(a.closed, 0);

    // This thread did not get b's events either.
    EXPECT_TRUE(QueuedCodes().empty()) << Join(QueuedCodes());

    PostMessageA(Win_Handle(50), WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(ta, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(a.closed, 1);
    CloseHandle(ta);
    CloseHandle(tb);
    CloseHandle(a.ready);
    CloseHandle(b.ready);
}

namespace {

DWORD WINAPI LoopForever(LPVOID param) {
    Win_Open(reinterpret_cast<ObjId>(param), 50, 50, 120, 80, "cancel", WS_POPUP | WIN_INVISIBLE);
    for (;;) {
        Win_WaitEvent();
    }
}

DWORD WINAPI TerminateNumber(LPVOID param) {
    Thread_Terminate(static_cast<int32_t>(reinterpret_cast<intptr_t>(param)));
    return 0;
}

} // namespace

TEST_F(EventTest, test_waiting_loop_can_be_cancelled) {
    const int32_t number = Thread_Start(LoopForever, 52);
    ASSERT_NE(number, 0);
    for (int i = 0; i < 100 && Win_Handle(52) == nullptr; ++i) {
        Sleep(10);
    }
    HANDLE stopper = CreateThread(nullptr, 0, TerminateNumber,
                                  reinterpret_cast<LPVOID>(static_cast<intptr_t>(number)), 0, nullptr);
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(stopper, 8000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount() - start, 3000u) << "the loop must leave at once when its thread is cancelled";
    CloseHandle(stopper);
}

TEST_F(EventTest, test_shortcuts_apply_to_the_active_window_only) {
    HACCEL table = Shortcut_Add(40, KEY_CONTROL | 'E', 1);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Win_AccelFor(hwnd_), table);
    EXPECT_EQ(Win_AccelFor(nullptr), nullptr);
    {
        Tk_KeysDown ctrl({VK_CONTROL});
        Test_PostKey(hwnd_, 'E');
        bool found = false;
        RunUntil(EVENT_MENU, &found, 10);
        EXPECT_TRUE(found) << "Ctrl+E on the active window";
        EXPECT_EQ(Event_Menu(), 1);
        EXPECT_EQ(Event_Type(), -1);
    }
    HWND other = reinterpret_cast<HWND>(Win_Open(41, 0, 0, 50, 50, "other", 0));
    ASSERT_EQ(GetActiveWindow(), other);
    Tk_Pump();
    {
        Tk_KeysDown ctrl({VK_CONTROL});
        Test_PostKey(hwnd_, 'E');
        const std::vector<int32_t> codes = Tk_Drain();
        EXPECT_FALSE(Contains(codes, EVENT_MENU)) << "window 40 is not active: " << Join(codes);
        EXPECT_TRUE(Contains(codes, WM_KEYDOWN)) << Join(codes);
    }
}

TEST_F(EventTest, test_shortcut_table_entries) {
    Shortcut_Add(40, 0x20045, 1);
    HACCEL table = Shortcut_Add(40, 0x20045, 1);
    EXPECT_EQ(Tk_AccelCount(table), 3) << "the same key twice is one entry";
    table = Shortcut_Add(40, 0x20045, 4);
    EXPECT_EQ(Tk_AccelCount(table), 3);
    Shortcut_Add(40, KEY_CONTROL | KEY_SHIFT | 'E', 8);
    Shortcut_Add(40, 'E', 9);
    table = Shortcut_Add(40, KEY_ALT | 0x7FF00000 | 'E', 10); // unknown high bits are ignored
    const std::vector<ACCEL> entries = Tk_AccelEntries(table);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[2].fVirt & 0x7F, FVIRTKEY | FNOINVERT | FCONTROL);
    EXPECT_EQ(entries[2].cmd, 4) << "rebinding replaces the item";
    EXPECT_EQ(entries[3].fVirt & 0x7F, FVIRTKEY | FNOINVERT | FCONTROL | FSHIFT);
    EXPECT_EQ(entries[4].fVirt & 0x7F, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(entries[5].fVirt & 0x7F, FVIRTKEY | FNOINVERT | FALT);
    EXPECT_EQ(entries[5].key, 'E');
    EXPECT_EQ(Win_Record(40)->accelCount, 6);
}

TEST_F(EventTest, test_shortcut_numbers_and_tab_rebinding) {
    HWND b1 = reinterpret_cast<HWND>(TestButton(1, 10, 10, 60, 24, "1"));
    HWND b2 = reinterpret_cast<HWND>(TestButton(2, 80, 10, 60, 24, "2"));
    HWND b3 = reinterpret_cast<HWND>(TestButton(3, 150, 10, 60, 24, "3"));
    ASSERT_NE(b3, nullptr);

    // Item numbers are cut to 16 bits.
    Shortcut_Add(40, KEY_CONTROL | 'F', 65536 + 7);
    {
        Tk_KeysDown ctrl({VK_CONTROL});
        Test_PostKey(hwnd_, 'F');
        bool found = false;
        RunUntil(EVENT_MENU, &found, 10);
        EXPECT_TRUE(found);
        EXPECT_EQ(Event_Menu(), 7);
    }

    // A shortcut on 1212 moves the focus instead of reporting a menu item.
    Shortcut_Add(40, KEY_CONTROL | 'G', CMD_FOCUS_NEXT);
    SetFocus(b1);
    {
        Tk_KeysDown ctrl({VK_CONTROL});
        Test_PostKey(hwnd_, 'G');
        const std::vector<int32_t> codes = Tk_Drain();
        EXPECT_FALSE(Contains(codes, EVENT_MENU)) << Join(codes);
    }
    EXPECT_EQ(GetFocus(), b2);

    // Tab moves the focus through the accelerator ...
    Test_PostKey(b2, VK_TAB);
    Tk_Drain();
    EXPECT_EQ(GetFocus(), b3);

    // ... until it is rebound: then Tab is a menu item, Shift+Tab still navigates.
    Shortcut_Add(40, VK_TAB, 5);
    Test_PostKey(b3, VK_TAB);
    bool found = false;
    RunUntil(EVENT_MENU, &found, 10);
    EXPECT_TRUE(found);
    EXPECT_EQ(Event_Menu(), 5);
    Tk_Drain();
    EXPECT_EQ(GetFocus(), b3);
    {
        Tk_KeysDown shift({VK_SHIFT});
        Test_PostKey(b3, VK_TAB);
        Tk_Drain();
    }
    EXPECT_EQ(GetFocus(), b2);
}

TEST_F(EventTest, test_tab_goes_to_an_editable_rich_edit) {
    ASSERT_NE(LoadLibraryA("riched20.dll"), nullptr);
    HWND rich = CreateWindowExA(0, "RichEdit20A", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE, 10,
                                10, 150, 60, hwnd_, reinterpret_cast<HMENU>(900), nullptr, nullptr);
    ASSERT_NE(rich, nullptr);
    Ctl_BeginList(hwnd_);
    HWND after = reinterpret_cast<HWND>(TestButton(1, 10, 100, 60, 24, "after"));
    const HACCEL table = Win_Record(40)->accelTable;
    SetFocus(rich);
    {
        Tk_KeysDown tab({VK_TAB});
        EXPECT_EQ(Win_AccelFor(hwnd_), nullptr) << "editable rich edit: no accelerators while Tab is down";
        Test_PostKey(rich, VK_TAB);
        Tk_Drain();
        EXPECT_EQ(GetFocus(), rich) << "the Tab went into the control";
    }
    {
        Tk_KeysDown shiftTab({VK_TAB, VK_SHIFT});
        EXPECT_EQ(Win_AccelFor(hwnd_), table) << "Shift+Tab is not affected";
    }
    EXPECT_EQ(Win_AccelFor(hwnd_), table) << "without Tab down the table applies";

    SendMessageA(rich, EM_SETOPTIONS, ECOOP_OR, ECO_READONLY);
    {
        Tk_KeysDown tab({VK_TAB});
        EXPECT_EQ(Win_AccelFor(hwnd_), table) << "read-only rich edit: Tab navigates";
        Test_PostKey(rich, VK_TAB);
        Tk_Drain();
    }
    EXPECT_EQ(GetFocus(), after);
}
