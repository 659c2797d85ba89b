// Tests of the tray icons: the requests handed to the shell (watched through a recording
// stand-in that forwards to the real shell), replacement and removal, and the callback message
// that comes back as EVENT_TRAY. And the other thing on the taskbar: the progress on a window's button.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "shell/msgbox.h"
#include "shell/shell_support.h"
#include "shell/taskbar.h"
#include "shell/tray.h"
#include "window/events.h"
#include "window/window.h"

using namespace shelltest;

namespace {

struct Request {
    DWORD message;
    DWORD size;
    HWND window;
    UINT id;
    UINT flags;
    UINT callback;
    HICON icon;
    std::wstring tip;
};

std::vector<Request> g_requests;
bool g_failAdd = false;
// How a starting shell may answer an add: FALSE with ERROR_TIMEOUT, with the icon taken or not.
enum class TimeOut { kNone, kTaken, kLost };
TimeOut g_addTimesOut = TimeOut::kNone;

BOOL WINAPI RecordingNotify(DWORD message, PNOTIFYICONDATAW data) {
    Request request;
    request.message = message;
    request.size = data->cbSize;
    request.window = data->hWnd;
    request.id = data->uID;
    request.flags = data->uFlags;
    request.callback = data->uCallbackMessage;
    request.icon = data->hIcon;
    request.tip = std::wstring(data->szTip, wcsnlen(data->szTip, ARRAYSIZE(data->szTip)));
    g_requests.push_back(request);
    if (g_failAdd && message == NIM_ADD) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (g_addTimesOut != TimeOut::kNone && message == NIM_ADD) {
        if (g_addTimesOut == TimeOut::kTaken)
            Shell_NotifyIconW(message, data);
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    return Shell_NotifyIconW(message, data);
}

// Asks the real shell whether it knows icon id of window (a modify of nothing fails).
bool ShellKnows(HWND window, UINT id) {
    NOTIFYICONDATAW data = {};
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = window;
    data.uID = id;
    data.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

constexpr HostWindow kTrayHost = {0, 100, 100, 200, 100, "NR Tray", WIN_DEFAULT_FLAGS, 0, 0, 50};

class TrayTest : public HostWindowTest<kTrayHost> {
  protected:
    void SetUp() override {
        InitToolkit();
        Tray_Init();
        HostWindowTest::SetUp();
        icon_ = LoadIconA(nullptr, IDI_APPLICATION);
        ASSERT_NE(icon_, nullptr);
        g_requests.clear();
        g_failAdd = false;
        g_addTimesOut = TimeOut::kNone;
        Tray_SetNotifyProc(RecordingNotify);
    }
    void TearDown() override {
        Tray_ReleaseAll();
        Tray_SetNotifyProc(nullptr);
        HostWindowTest::TearDown();
    }
    HICON icon_ = nullptr;
};

} // namespace

TEST_F(TrayTest, test_add_sends_the_short_request) {
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    ASSERT_EQ(g_requests.size(), 1u);
    const Request& add = g_requests[0];
    EXPECT_EQ(add.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.size, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
    EXPECT_EQ(add.window, hwnd_);
    EXPECT_EQ(add.id, 1u);
    EXPECT_EQ(add.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON));
    EXPECT_EQ(add.callback, 12501u);
    EXPECT_EQ(add.icon, icon_);
    EXPECT_EQ(add.tip, L"");
    EXPECT_TRUE(ShellKnows(hwnd_, 1));
}

TEST_F(TrayTest, test_adding_a_number_twice_replaces_the_icon) {
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    // The shell refuses a second icon of the same window and identifier, so this only succeeds
    // when the first one is removed before.
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    ASSERT_EQ(g_requests.size(), 3u);
    EXPECT_EQ(g_requests[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(g_requests[1].id, 1u);
    EXPECT_EQ(g_requests[1].flags, 0u);
    EXPECT_EQ(g_requests[2].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_TRUE(ShellKnows(hwnd_, 1));
}

TEST_F(TrayTest, test_null_window_or_icon_is_refused_without_touching_the_table) {
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    g_requests.clear();
    EXPECT_EQ(Tray_Add(1, nullptr, icon_), 0);
    EXPECT_EQ(Tray_Add(1, hwnd_, nullptr), 0);
    EXPECT_EQ(Tray_Add(OBJ_ANY, hwnd_, nullptr), 0);
    EXPECT_TRUE(g_requests.empty()) << "a refused add must not remove the old icon";
    EXPECT_EQ(Tray_SetTip(1, "noch da"), 1);
    EXPECT_TRUE(ShellKnows(hwnd_, 1));
}

TEST_F(TrayTest, test_tip_goes_as_unicode_cut_after_63_characters) {
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    const std::string seventy(70, 'x');
    const std::string sixtyThree = std::string(62, 'y') + "z";
    g_requests.clear();

    EXPECT_EQ(Tray_SetTip(1, seventy.c_str()), 1);
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(g_requests[0].flags, static_cast<UINT>(NIF_TIP));
    EXPECT_EQ(g_requests[0].window, hwnd_);
    EXPECT_EQ(g_requests[0].id, 1u);
    EXPECT_EQ(g_requests[0].size, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
    EXPECT_EQ(g_requests[0].tip, std::wstring(63, L'x'));

    EXPECT_EQ(Tray_SetTip(1, sixtyThree.c_str()), 1);
    ASSERT_EQ(g_requests.size(), 2u);
    EXPECT_EQ(g_requests[1].tip, std::wstring(62, L'y') + L"z");

    EXPECT_EQ(Tray_SetTip(1, "Nachtriegel 0.123"), 1);
    EXPECT_EQ(g_requests.back().tip, L"Nachtriegel 0.123");
    // 1252 bytes (this file's literals are compiled to them), whatever the system's ANSI code page.
    EXPECT_EQ(Tray_SetTip(1, "Prüfung \x80 \x9f"), 1);
    EXPECT_EQ(g_requests.back().tip, L"Prüfung € Ÿ");

    g_requests.clear();
    EXPECT_EQ(Tray_SetTip(1, nullptr), 0);
    EXPECT_EQ(Tray_SetTip(9, "kein Symbol"), 0);
    EXPECT_TRUE(g_requests.empty());
}

TEST_F(TrayTest, test_removed_icon_is_gone) {
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    g_requests.clear();
    Tray_Remove(1);
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(g_requests[0].flags, 0u);
    EXPECT_FALSE(ShellKnows(hwnd_, 1));
    EXPECT_EQ(Tray_SetTip(1, "weg"), 0);
    g_requests.clear();
    Tray_Remove(1);
    EXPECT_TRUE(g_requests.empty());
}

TEST_F(TrayTest, test_release_all_removes_numbered_icons_in_order_then_the_others) {
    ASSERT_NE(Tray_Add(3, hwnd_, icon_), 0);
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    ObjId any = Tray_Add(OBJ_ANY, hwnd_, icon_);
    ASSERT_NE(any, 0);
    ASSERT_NE(any, OBJ_ANY);
    EXPECT_EQ(Tray_SetTip(any, "frei"), 1);
    g_requests.clear();

    Tray_ReleaseAll();
    ASSERT_EQ(g_requests.size(), 3u);
    EXPECT_EQ(g_requests[0].id, 1u);
    EXPECT_EQ(g_requests[1].id, 3u);
    EXPECT_EQ(g_requests[2].id, static_cast<UINT>(any));
    for (const Request& request : g_requests)
        EXPECT_EQ(request.message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_FALSE(ShellKnows(hwnd_, 1));
    EXPECT_FALSE(ShellKnows(hwnd_, 3));
    EXPECT_EQ(Tray_SetTip(any, "weg"), 0);
}

TEST_F(TrayTest, test_failed_add_leaves_the_number_free) {
    g_failAdd = true;
    EXPECT_EQ(Tray_Add(5, hwnd_, icon_), 0);
    ASSERT_EQ(g_requests.size(), 1u) << "only a time-out is worth asking the shell again";
    EXPECT_EQ(Tray_Add(OBJ_ANY, hwnd_, icon_), 0);
    EXPECT_EQ(Tray_SetTip(5, "nichts"), 0);
    g_requests.clear();
    // Nothing is left to remove, also no half-made record of the OBJ_ANY attempt.
    Tray_ReleaseAll();
    EXPECT_TRUE(g_requests.empty());
}

// A shell that is just starting answers ERROR_TIMEOUT although it may have taken the icon; a modify
// tells whether it did. Taken for lost, the icon would stay unknown to the table (never removed, and
// doubled by the next add); taken for added while lost, the window could hide to nowhere.
TEST_F(TrayTest, test_add_that_times_out_counts_as_added_when_the_shell_knows_the_icon) {
    const struct {
        TimeOut answer;
        bool added;
    } cases[] = {{TimeOut::kTaken, true}, {TimeOut::kLost, false}};
    for (const auto& c : cases) {
        const char* name = c.added ? "icon taken" : "icon lost";
        g_requests.clear();
        g_addTimesOut = c.answer;
        EXPECT_EQ(Tray_Add(2, hwnd_, icon_) != 0, c.added) << name;
        g_addTimesOut = TimeOut::kNone;
        ASSERT_EQ(g_requests.size(), 2u) << name << ": expected an add and a modify";
        EXPECT_EQ(g_requests[1].message, static_cast<DWORD>(NIM_MODIFY)) << name;
        EXPECT_EQ(g_requests[1].id, 2u) << name;
        EXPECT_EQ(g_requests[1].window, hwnd_) << name;
        EXPECT_EQ(Tray_SetTip(2, "Tipp"), c.added ? 1 : 0) << name;
        EXPECT_EQ(ShellKnows(hwnd_, 2), c.added) << name;
        // The table knows exactly the icons the shell shows: the end removes what is there.
        g_requests.clear();
        Tray_ReleaseAll();
        EXPECT_EQ(g_requests.size(), c.added ? 1u : 0u) << name;
        EXPECT_FALSE(ShellKnows(hwnd_, 2)) << name << ": the icon was left in the tray";
    }
}

TEST_F(TrayTest, test_callback_message_becomes_event_tray) {
    ASSERT_NE(Tray_Add(1, hwnd_, icon_), 0);
    PumpQuiet();
    struct Case {
        LPARAM mouse;
        int32_t type;
    };
    const Case cases[] = {
        {WM_LBUTTONUP, TRAY_LEFT_CLICK},
        {WM_RBUTTONUP, TRAY_RIGHT_CLICK},
        {WM_LBUTTONDBLCLK, TRAY_LEFT_DOUBLECLICK},
        {WM_RBUTTONDBLCLK, TRAY_RIGHT_DOUBLECLICK},
    };
    for (const Case& c : cases) {
        // What the shell sends for a click on icon 1.
        PostMessageA(hwnd_, MSG_TRAY_NOTIFY, 1, c.mouse);
        ASSERT_TRUE(Test_WaitForEvent(EVENT_TRAY)) << "mouse message " << c.mouse;
        EXPECT_EQ(Event_Control(), 1);
        EXPECT_EQ(Event_Type(), c.type) << "mouse message " << c.mouse;
    }
    // A button press over the icon is no click.
    PostMessageA(hwnd_, MSG_TRAY_NOTIFY, 1, WM_LBUTTONDOWN);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 500)
        EXPECT_NE(Win_WaitEvent(50), EVENT_TRAY);
}

TEST_F(TrayTest, test_taskbar_progress_is_shown_by_the_attached_thread_only) {
    // Calls of another thread; first one without COM, where no taskbar object can be made.
    auto elsewhere = [this] {
        int32_t made = 0;
        std::thread([&] { made = Taskbar_Attach(hwnd_) + Taskbar_SetProgress(hwnd_, 1, 4); }).join();
        return made;
    };
    EXPECT_EQ(elsewhere(), 0) << "expected nothing shown and no failure without the object";
    Msg_Init();
    ASSERT_EQ(Taskbar_Attach(hwnd_), 1) << "expected the real taskbar object";
    EXPECT_EQ(Taskbar_SetProgress(hwnd_, 1, 4), 1);
    EXPECT_EQ(elsewhere(), 0) << "expected the object to be called on its own thread only";
    ShowWindow(hwnd_, SW_HIDE);
    EXPECT_EQ(Taskbar_SetProgress(hwnd_, 2, 4), 0) << "expected no call while the window has no button";
    ShowWindow(hwnd_, SW_SHOW);
    Taskbar_Release();
    EXPECT_EQ(Taskbar_SetProgress(hwnd_, 3, 4), 0) << "expected no call after the release";
}
