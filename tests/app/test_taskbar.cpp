// The countdown on the taskbar button, watched from inside: the application runs in this test program on a
// thread of its own (its main thread), with a stand-in for the taskbar object that records every call, and
// is driven through its window's messages as a user and the shell would. Its menus are read here too.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app_support.h"
#include "shell/menus.h"
#include "shell/taskbar.h"

namespace {

struct Call {
    TBPFLAG state;
    ULONGLONG completed, total;
    bool answeringShell; // made while answering the button message this test sent
};

std::mutex g_lock;
std::vector<Call> g_calls;

HRESULT RecordCall(HWND, TBPFLAG state, ULONGLONG completed, ULONGLONG total) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_calls.push_back({state, completed, total, InSendMessage() != FALSE});
    return S_OK;
}

std::vector<Call> Calls() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_calls;
}

DWORD WINAPI RunProgram(LPVOID) {
    App_Main();
}

// Window 0 of this process, once its last control exists.
HWND OwnMainWindow() {
    for (HWND window : apptest::TopWindows(GetCurrentProcessId(), "WindowClass_0", nullptr, false)) {
        if (GetDlgItem(window, kToneBox) != nullptr)
            return window;
    }
    return nullptr;
}

// Every item of a menu as "title" or "title/item", read as Unicode: menus cannot be read from another
// process under Wine, so the application's menus are read here, where it runs.
std::vector<std::wstring> MenuTexts(HMENU menu, const std::wstring& prefix = L"") {
    std::vector<std::wstring> texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        texts.push_back(prefix + text);
        const std::vector<std::wstring> items = MenuTexts(GetSubMenu(menu, i), prefix + text + L"/");
        texts.insert(texts.end(), items.begin(), items.end());
    }
    return texts;
}

} // namespace

TEST(Taskbar, test_countdown_progress_waits_for_the_button_rises_comes_back_and_clears_on_cancel) {
    REQUIRE_RECORDER();
    Taskbar_SetProc(RecordCall);
    // Started in a folder without the images, the program shows no tray icon another test could take for its
    // own.
    char home[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, home);
    std::string empty = apptest::MakeTempDir("taskbar");
    SetCurrentDirectoryA(empty.c_str());
    CloseHandle(CreateThread(nullptr, 0, RunProgram, nullptr, 0, nullptr));
    HWND main = nullptr;
    ASSERT_TRUE(apptest::WaitFor([&] { return (main = OwnMainWindow()) != nullptr; }, 10000));
    SetCurrentDirectoryA(home);
    // The menus' texts as the user reads them, in any ANSI code page (the code-page run has 1251); the tray's
    // menu is built last.
    apptest::WaitFor([] { return GetMenuItemCount(Menu_Handle(1)) == 3; }, 5000);
    EXPECT_EQ(
        MenuTexts(GetMenu(main)),
        (std::vector<std::wstring>{L"Programm", L"Programm/Einstellungen\tStrg+E", L"Programm/Beenden\tEsc",
                                   L"Hilfe", L"Hilfe/Haftung\tStrg+H", L"Hilfe/Informationen\tStrg+I"}));
    EXPECT_EQ(MenuTexts(Menu_Handle(1)), (std::vector<std::wstring>{L"Anzeigen", L"Verstecken", L"Beenden"}));
    const UINT buttonCreated = RegisterWindowMessageA("TaskbarButtonCreated");
    auto count = [] { return Calls().size(); };

    SetWindowTextA(GetDlgItem(main, kTimeField), "99");
    SendMessageA(GetDlgItem(main, kStartButton), BM_CLICK, 0, 0);
    Sleep(1500);
    EXPECT_EQ(count(), 0u) << "expected no call before the shell announced the button";
    SendMessageA(main, buttonCreated, 0, 0);
    ASSERT_TRUE(apptest::WaitFor([&] { return count() >= 3; }, 4000));
    std::vector<Call> calls = Calls();
    EXPECT_TRUE(calls[0].answeringShell && calls[0].completed >= 1) << "expected the step reached at once";
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].state, TBPF_NORMAL);
        EXPECT_EQ(calls[i].total, 100u) << "expected 99 + 1 steps";
        EXPECT_EQ(calls[i].completed, calls[0].completed + i) << "expected one step more at every call";
    }

    // Hidden, the window has no button; shown, the shell announces a new one, which gets the progress again.
    SendMessageA(main, WM_COMMAND, kItemHide, 0);
    ASSERT_TRUE(apptest::WaitFor([&] { return !IsWindowVisible(main); }, 2000));
    size_t before = count();
    Sleep(1500);
    EXPECT_EQ(count(), before) << "expected no call while hidden";
    SendMessageA(main, WM_COMMAND, kItemShow, 0);
    ASSERT_TRUE(apptest::WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 2000));
    SendMessageA(main, buttonCreated, 0, 0);
    calls = Calls();
    ASSERT_GT(calls.size(), before);
    EXPECT_TRUE(calls.back().answeringShell) << "expected the new button to get the progress at once";
    EXPECT_GT(calls.back().completed, calls[before - 1].completed)
        << "expected the steps counted while hidden";

    SendMessageA(GetDlgItem(main, kCancelButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(apptest::WaitFor([] { return Calls().back().state == TBPF_NOPROGRESS; }, 2000))
        << "expected Abbrechen to clear the button at once";
    before = count();
    Sleep(1500);
    SendMessageA(main, buttonCreated, 0, 0);
    EXPECT_EQ(count(), before) << "expected no call while idle";
}
