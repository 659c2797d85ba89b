// Tests of the thread-modal message box. The boxes are driven from a second thread that
// finds them by title, looks at the windows while they are open, and presses OK.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "shell/msgbox.h"
#include "shell/shell_support.h"

using namespace shelltest;

namespace {

constexpr DWORD kFindTimeoutMs = 5000;

const char kClassName[] = "NrMsgBoxTestWindow";

void RegisterTestClass() {
    static bool done = false;
    if (done)
        return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    done = RegisterClassA(&wc) != 0;
}

// A top-level test window of the calling thread, shown without activation unless it is to be the
// foreground window (then made so, its messages handled).
HWND MakeWindow(const char* title, bool visible, bool front = false) {
    RegisterTestClass();
    HWND window = CreateWindowExA(0, kClassName, title, WS_OVERLAPPEDWINDOW, 100, 100, 200, 120, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr && visible)
        ShowWindow(window, front ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
    if (window != nullptr && front) {
        SetForegroundWindow(window);
        PumpQuiet();
    }
    return window;
}

// Waits for an event while dispatching the thread's messages (other threads may send to it).
bool WaitPumping(HANDLE event, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        DWORD rc = MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (rc == WAIT_OBJECT_0)
            return true;
        if (rc != WAIT_OBJECT_0 + 1)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

class MsgBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitToolkit();
        static bool initialised = false;
        if (!initialised) {
            Msg_Init();
            initialised = true;
        }
    }
    void TearDown() override {
        for (HWND window : windows_)
            DestroyWindow(window);
        PumpQuiet();
    }
    HWND Keep(HWND window) {
        windows_.push_back(window);
        return window;
    }
    std::vector<HWND> windows_;
};

} // namespace

TEST_F(MsgBoxTest, test_box_is_modal_for_the_whole_thread) {
    HWND main = Keep(MakeWindow("NR main", true, true));
    HWND second = Keep(MakeWindow("NR second", true));
    HWND hidden = Keep(MakeWindow("NR hidden", false));
    HWND disabled = Keep(MakeWindow("NR disabled", true));
    ASSERT_TRUE(main && second && hidden && disabled);
    EnableWindow(disabled, FALSE);
    ASSERT_EQ(GetForegroundWindow(), main);
    const DWORD self = GetCurrentThreadId();

    struct Seen {
        bool found = false;
        bool mainEnabled = true, secondEnabled = true, hiddenEnabled = false, hiddenVisible = true;
        bool disabledEnabled = true;
        HWND owner = nullptr;
        int32_t records = -1;
        bool closed = false;
        std::string text;
    } seen;
    std::thread driver([&] {
        HWND box = FindBox("NR box one");
        if (box == nullptr)
            return;
        seen.found = true;
        seen.text = BoxText(box);
        seen.mainEnabled = IsWindowEnabled(main);
        seen.secondEnabled = IsWindowEnabled(second);
        seen.hiddenEnabled = IsWindowEnabled(hidden);
        seen.hiddenVisible = IsWindowVisible(hidden);
        seen.disabledEnabled = IsWindowEnabled(disabled);
        seen.owner = GetWindow(box, GW_OWNER);
        seen.records = Msg_DisabledCount(self);
        seen.closed = PressOk(box);
    });
    int32_t result = Msg_Box("NR box one", "Zeile 1\rZeile 2", MB_OK);
    driver.join();

    ASSERT_TRUE(seen.found) << "the box never appeared";
    EXPECT_TRUE(seen.closed);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen.text, "Zeile 1\rZeile 2");
    // While open: the owner is the foreground window (disabled by MessageBoxA itself), the other
    // visible window was disabled by Msg_Box; hidden and already disabled windows are untouched.
    EXPECT_EQ(seen.owner, main);
    EXPECT_FALSE(seen.mainEnabled);
    EXPECT_FALSE(seen.secondEnabled);
    EXPECT_TRUE(seen.hiddenEnabled);
    EXPECT_FALSE(seen.hiddenVisible);
    EXPECT_FALSE(seen.disabledEnabled);
    EXPECT_EQ(seen.records, 1) << "only the second window is recorded";
    // Afterwards exactly those are enabled again.
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_TRUE(IsWindowEnabled(second));
    EXPECT_TRUE(IsWindowEnabled(hidden));
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_FALSE(IsWindowEnabled(disabled)) << "a window disabled before the box was enabled";
    EXPECT_EQ(Msg_DisabledCount(0), 0);
}

TEST_F(MsgBoxTest, test_windows_of_other_threads_are_left_alone) {
    Keep(MakeWindow("NR main", true, true));

    // Another thread's visible, enabled window.
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> other{nullptr};
    std::thread owner([&] {
        other = MakeWindow("NR other thread", true);
        SetEvent(ready);
        WaitPumping(done, 20000);
        DestroyWindow(other);
    });
    ASSERT_TRUE(WaitForSingleObject(ready, kFindTimeoutMs) == WAIT_OBJECT_0);

    bool found = false;
    bool otherEnabled = false;
    std::thread driver([&] {
        HWND box = FindBox("NR box two");
        if (box == nullptr)
            return;
        found = true;
        otherEnabled = IsWindowEnabled(other);
        PressOk(box);
    });
    Msg_Box("NR box two", "Text", MB_OK);
    driver.join();
    bool otherEnabledAfter = IsWindowEnabled(other);
    SetEvent(done);
    owner.join();
    CloseHandle(ready);
    CloseHandle(done);

    ASSERT_TRUE(found);
    EXPECT_TRUE(otherEnabled) << "a window of another thread was disabled";
    EXPECT_TRUE(otherEnabledAfter);
    EXPECT_EQ(Msg_DisabledCount(0), 0);
}

TEST_F(MsgBoxTest, test_two_threads_open_and_close_boxes_at_once) {
    // Thread A (this thread): a1 in the foreground and a2. Thread B: b1 and b2. A's box opens
    // first, then B's; B's closes first while A's stays open.
    HWND a1 = Keep(MakeWindow("NR a1", true, true));
    HWND a2 = Keep(MakeWindow("NR a2", true));
    const DWORD threadA = GetCurrentThreadId();

    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE bReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE bDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE finish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> b1{nullptr}, b2{nullptr};
    std::atomic<DWORD> threadB{0};
    std::atomic<int32_t> resultB{-1};
    std::thread boxB([&] {
        threadB = GetCurrentThreadId();
        b1 = MakeWindow("NR b1", true);
        b2 = MakeWindow("NR b2", true);
        SetEvent(bReady);
        if (WaitPumping(go, 10000))
            resultB = Msg_Box("NR box B", "Text B", MB_OK);
        SetEvent(bDone);
        // Keep the windows (they go with the thread) until the checks are done.
        WaitPumping(finish, 20000);
        DestroyWindow(b1);
        DestroyWindow(b2);
    });
    ASSERT_EQ(WaitForSingleObject(bReady, kFindTimeoutMs), WAIT_OBJECT_0);

    struct Seen {
        bool foundA = false, foundB = false, bReturned = false;
        int32_t recordsA = -1, recordsB = -1;
        bool a2Enabled = true, b1Enabled = true, b2Enabled = true;
        bool a2EnabledAfterB = true, b1EnabledAfterB = false, b2EnabledAfterB = false;
        int32_t recordsAAfterB = -1, recordsBAfterB = -1;
    } seen;
    std::thread driver([&] {
        HWND boxA = FindBox("NR box A");
        SetEvent(go);
        if (boxA == nullptr)
            return;
        seen.foundA = true;
        HWND boxBWindow = FindBox("NR box B");
        if (boxBWindow != nullptr) {
            seen.foundB = true;
            seen.recordsA = Msg_DisabledCount(threadA);
            seen.recordsB = Msg_DisabledCount(threadB);
            seen.a2Enabled = IsWindowEnabled(a2);
            seen.b1Enabled = IsWindowEnabled(b1);
            seen.b2Enabled = IsWindowEnabled(b2);
            PressOk(boxBWindow);
            seen.bReturned = WaitForSingleObject(bDone, kFindTimeoutMs) == WAIT_OBJECT_0;
            // A's box is still open: its window stays disabled, B's are enabled again.
            seen.a2EnabledAfterB = IsWindowEnabled(a2);
            seen.b1EnabledAfterB = IsWindowEnabled(b1);
            seen.b2EnabledAfterB = IsWindowEnabled(b2);
            seen.recordsAAfterB = Msg_DisabledCount(threadA);
            seen.recordsBAfterB = Msg_DisabledCount(threadB);
        }
        PressOk(boxA);
    });
    int32_t resultA = Msg_Box("NR box A", "Text A", MB_OK);
    driver.join();
    SetEvent(finish);
    boxB.join();
    CloseHandle(finish);
    CloseHandle(go);
    CloseHandle(bReady);
    CloseHandle(bDone);

    ASSERT_TRUE(seen.foundA);
    ASSERT_TRUE(seen.foundB);
    EXPECT_EQ(resultA, IDOK);
    EXPECT_EQ(resultB, IDOK);
    EXPECT_TRUE(seen.bReturned);
    EXPECT_EQ(seen.recordsA, 1);
    EXPECT_EQ(seen.recordsB, 2) << "B's windows are not in the foreground, so both are disabled";
    EXPECT_FALSE(seen.a2Enabled);
    EXPECT_FALSE(seen.b1Enabled);
    EXPECT_FALSE(seen.b2Enabled);
    EXPECT_FALSE(seen.a2EnabledAfterB) << "closing B's box enabled a window of A's box";
    EXPECT_TRUE(seen.b1EnabledAfterB);
    EXPECT_TRUE(seen.b2EnabledAfterB);
    EXPECT_EQ(seen.recordsAAfterB, 1);
    EXPECT_EQ(seen.recordsBAfterB, 0);
    EXPECT_TRUE(IsWindowEnabled(a1));
    EXPECT_TRUE(IsWindowEnabled(a2));
    EXPECT_EQ(Msg_DisabledCount(0), 0);
}

namespace {

// Opened from inside the outer box's modal loop.
void CALLBACK OpenInnerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    Msg_Box("NR inner box", "Innen", MB_OK);
}

} // namespace

TEST_F(MsgBoxTest, test_nested_box_enables_only_its_own_windows) {
    HWND main = Keep(MakeWindow("NR main", true, true));
    HWND second = Keep(MakeWindow("NR second", true));

    bool foundOuter = false, foundInner = false, innerClosed = false;
    bool secondEnabledAfterInner = true;
    std::thread driver([&] {
        HWND inner = FindBox("NR inner box");
        if (inner != nullptr) {
            foundInner = true;
            innerClosed = PressOk(inner);
            // Give the inner Msg_Box time to run its clean-up in the outer loop.
            Sleep(200);
            secondEnabledAfterInner = IsWindowEnabled(second);
        }
        HWND outer = FindBox("NR outer box");
        if (outer != nullptr) {
            foundOuter = true;
            PressOk(outer);
        }
    });
    UINT_PTR timer = SetTimer(nullptr, 0, 100, OpenInnerBox);
    ASSERT_NE(timer, 0u);
    Msg_Box("NR outer box", "Aussen", MB_OK);
    driver.join();
    KillTimer(nullptr, timer);

    ASSERT_TRUE(foundInner) << "the inner box never appeared";
    ASSERT_TRUE(foundOuter);
    EXPECT_TRUE(innerClosed);
    EXPECT_FALSE(secondEnabledAfterInner) << "the inner box enabled a window of the outer box";
    EXPECT_TRUE(IsWindowEnabled(second));
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_EQ(Msg_DisabledCount(0), 0);
}

TEST_F(MsgBoxTest, test_destroyed_window_is_forgotten) {
    Keep(MakeWindow("NR main", true, true));
    HWND doomed = MakeWindow("NR doomed", true);

    bool found = false;
    std::thread driver([&] {
        HWND box = FindBox("NR box doomed");
        if (box == nullptr)
            return;
        found = true;
        // Closing from another thread is refused; post a close request the box's loop handles.
        PostMessageA(doomed, WM_CLOSE, 0, 0);
        WaitFor([&] { return !IsWindow(doomed); }, kFindTimeoutMs);
        PressOk(box);
    });
    int32_t result = Msg_Box("NR box doomed", "Text", MB_OK);
    driver.join();
    ASSERT_TRUE(found);
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(IsWindow(doomed));
    EXPECT_EQ(Msg_DisabledCount(0), 0);
}
