// Window objects: flag-to-style mapping, placement, reopening, resizing with a menu bar,
// states, colours, unknown numbers and the clean-up of everything a window owns.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls/testkinds.h"
#include "window/harness.h"
#include "window/shortcuts.h"
#include "window/winproc.h"

namespace {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestToolkit_Init();
    }
    void TearDown() override {
        Win_End();
        Tk_Pump(20);
    }
};

LONG_PTR StyleOf(HWND hwnd) {
    return GetWindowLongPtrA(hwnd, GWL_STYLE);
}

RECT OuterOf(HWND hwnd) {
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    return rc;
}

// Outer size the platform gives a client size under a style (no menu).
SIZE OuterSizeFor(int width, int height, DWORD style) {
    RECT rc = {0, 0, width, height};
    AdjustWindowRect(&rc, style, FALSE);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

// Closes the message box of the handler test.
void CALLBACK CloseHandlerBox(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND box = FindWindowW(L"#32770", L"handler box")) {
        PostMessageW(box, WM_CLOSE, 0, 0);
    }
}

} // namespace

TEST_F(WindowTest, test_flags_map_to_styles) {
    // Flags 0: a caption is added and the window is shown normally.
    HWND plain = reinterpret_cast<HWND>(Win_Open(1, 10, 10, 200, 100, "plain", 0));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(StyleOf(plain) & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(IsWindowVisible(plain));
    RECT client;
    GetClientRect(plain, &client);
    EXPECT_EQ(client.right, 200) << "client width";
    EXPECT_EQ(client.bottom, 100) << "client height";

    // WIN_INVISIBLE alone counts as no style: caption, but hidden.
    HWND hidden = reinterpret_cast<HWND>(Win_Open(2, 10, 10, 200, 100, "hidden", WIN_INVISIBLE));
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(StyleOf(hidden) & WS_CAPTION, WS_CAPTION);
    EXPECT_FALSE(IsWindowVisible(hidden));

    // WS_POPUP: no caption is added.
    HWND popup = reinterpret_cast<HWND>(Win_Open(3, 10, 10, 200, 100, "popup", 0x80000000u));
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(StyleOf(popup) & WS_CAPTION, 0);
    EXPECT_EQ(StyleOf(popup) & WS_POPUP, WS_POPUP);
    RECT outer = OuterOf(popup);
    EXPECT_EQ(outer.right - outer.left, 200) << "a borderless pop-up's outer size is its client size";

    // The centring bits never reach the platform.
    HWND centred = reinterpret_cast<HWND>(Win_Open(4, 0, 0, 200, 100, "c", 0x00CA0001u));
    ASSERT_NE(centred, nullptr);
    EXPECT_EQ(StyleOf(centred) & 3, 0) << "WIN_SCREEN_CENTERED left in the style";
    EXPECT_EQ(StyleOf(centred) & WS_MINIMIZEBOX, WS_MINIMIZEBOX);

    // WS_MAXIMIZE and WS_MINIMIZE decide how the window is first shown.
    HWND maxed = reinterpret_cast<HWND>(Win_Open(5, 10, 10, 200, 100, "max", 0x00CF0000u | WS_MAXIMIZE));
    ASSERT_NE(maxed, nullptr);
    EXPECT_TRUE(IsZoomed(maxed));
    EXPECT_EQ(Win_GetState(5), WIN_STATE_MAXIMIZED);

    // A null title is the empty title; the property carries number + 1.
    HWND untitled = reinterpret_cast<HWND>(Win_Open(0, 10, 10, 50, 50, nullptr, 0));
    ASSERT_NE(untitled, nullptr);
    char title[16] = "x";
    GetWindowTextA(untitled, title, sizeof title);
    EXPECT_STREQ(title, "");
    EXPECT_EQ(reinterpret_cast<intptr_t>(GetPropA(untitled, "KX_WindowID")), 1);
    EXPECT_EQ(Win_Handle(0), untitled);

    // Class attributes: double clicks, button-face background, arrow, the program's icon 1.
    EXPECT_EQ(GetClassLongPtrA(untitled, GCL_STYLE), CS_DBLCLKS);
    EXPECT_EQ(GetClassLongPtrA(untitled, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(untitled, GCLP_HCURSOR)),
              LoadCursorA(nullptr, IDC_ARROW));
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    EXPECT_NE(icon, nullptr) << "the test programs carry the program's icon 1";
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(untitled, GCLP_HICON)), icon);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetClassLongPtrW(untitled, GCLP_WNDPROC)), Win_WindowProc);
    EXPECT_TRUE(IsWindowUnicode(untitled))
        << "expected a Unicode window, whose texts never pass the ANSI code page";
}

TEST_F(WindowTest, test_screen_centring_clips_outer_size) {
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    const int sh = GetSystemMetrics(SM_CYSCREEN);
    const DWORD style = WS_CAPTION | WS_SYSMENU;

    HWND hwnd = reinterpret_cast<HWND>(Win_Open(1, 5, 5, 301, 201, "centred", style | WIN_SCREEN_CENTERED));
    ASSERT_NE(hwnd, nullptr);
    const SIZE outer = OuterSizeFor(301, 201, style);
    RECT rc = OuterOf(hwnd);
    EXPECT_EQ(rc.left, (sw - outer.cx) / 2);
    EXPECT_EQ(rc.top, (sh - outer.cy) / 2);
    EXPECT_EQ(rc.right - rc.left, outer.cx);

    // Larger than the screen: cut to the screen and placed at 0, 0.
    hwnd = reinterpret_cast<HWND>(Win_Open(2, 5, 5, sw + 400, sh + 300, "huge", style | WIN_SCREEN_CENTERED));
    ASSERT_NE(hwnd, nullptr);
    rc = OuterOf(hwnd);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right - rc.left, sw) << "outer width cut to the screen";
    EXPECT_EQ(rc.bottom - rc.top, sh) << "outer height cut to the screen";
}

TEST_F(WindowTest, test_parent_centring_and_default_position) {
    const DWORD style = WS_POPUP;
    HWND parent = reinterpret_cast<HWND>(Win_Open(1, 400, 300, 400, 300, "parent", style));
    ASSERT_NE(parent, nullptr);
    HWND child =
        reinterpret_cast<HWND>(Win_Open(2, 0, 0, 100, 50, "child", style | WIN_PARENT_CENTERED, parent));
    ASSERT_NE(child, nullptr);
    RECT rc = OuterOf(child);
    EXPECT_EQ(rc.left, 400 + (400 - 100) / 2);
    EXPECT_EQ(rc.top, 300 + (300 - 50) / 2);
    EXPECT_EQ(GetWindow(child, GW_OWNER), parent);

    // A small reference near the corner would give a negative position: clamped to 0.
    HWND small = reinterpret_cast<HWND>(Win_Open(3, 5, 5, 20, 20, "small", style));
    HWND big = reinterpret_cast<HWND>(Win_Open(4, 0, 0, 300, 200, "big", style | WIN_PARENT_CENTERED, small));
    ASSERT_NE(big, nullptr);
    rc = OuterOf(big);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right - rc.left, 300) << "parent centring does not cut the size";

    // IGNORE_VALUE in x or y, no centring: the platform's default position for both.
    HWND deflt =
        reinterpret_cast<HWND>(Win_Open(5, IGNORE_VALUE, 100, 120, 80, "default", WS_OVERLAPPEDWINDOW));
    ASSERT_NE(deflt, nullptr);
    rc = OuterOf(deflt);
    EXPECT_GT(rc.left, IGNORE_VALUE + 1000) << "x must not be the marker value";
    EXPECT_NE(rc.top, 100) << "y must not be taken as given";

    // Parent centring with no reference window at all (nothing active on this thread) and an
    // IGNORE_VALUE coordinate: the window still lands where the platform puts it, not 65535
    // pixels off the screen.
    Win_Close(1);
    Win_Close(2);
    Win_Close(3);
    Win_Close(4);
    Win_Close(5);
    SetActiveWindow(nullptr);
    if (GetActiveWindow() == nullptr) {
        HWND lost = reinterpret_cast<HWND>(
            Win_Open(6, IGNORE_VALUE, IGNORE_VALUE, 80, 40, "lost", WS_POPUP | WIN_PARENT_CENTERED));
        ASSERT_NE(lost, nullptr);
        rc = OuterOf(lost);
        EXPECT_GT(rc.left, -10000) << "expected a visible position, got " << rc.left;
        EXPECT_GT(rc.top, -10000) << "expected a visible position, got " << rc.top;
    }
}

TEST_F(WindowTest, test_obj_any_identifier_and_class) {
    const ObjId id = Win_Open(OBJ_ANY, 10, 10, 100, 100, "any", 0);
    ASSERT_NE(id, 0);
    ASSERT_NE(id, OBJ_ANY);
    HWND hwnd = Win_Handle(id);
    ASSERT_TRUE(IsWindow(hwnd));
    char cls[64];
    GetClassNameA(hwnd, cls, sizeof cls);
    EXPECT_EQ(std::string(cls), "WindowClass_" + std::to_string(static_cast<long long>(id)));
    EXPECT_EQ(reinterpret_cast<ObjId>(GetPropA(hwnd, "KX_WindowID")), id + 1);
    EXPECT_EQ(Win_GetState(id), WIN_STATE_NORMAL);

    Win_Close(id);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(Tk_ClassExists(cls)) << "class " << cls << " still registered";
    EXPECT_EQ(Win_Handle(id), nullptr);
}

TEST_F(WindowTest, test_reopening_closes_old_window_and_its_shortcuts) {
    HWND first = reinterpret_cast<HWND>(Win_Open(7, 10, 10, 100, 100, "first", 0));
    ASSERT_NE(first, nullptr);
    const HACCEL firstTable = Win_Record(7)->accelTable;
    EXPECT_EQ(Tk_AccelCount(firstTable), 2);
    HACCEL withShortcuts = Shortcut_Add(7, KEY_CONTROL | 'E', 1);
    Shortcut_Add(7, VK_ESCAPE, 2);
    EXPECT_EQ(Tk_AccelCount(Win_Record(7)->accelTable), 4);
    Win_SetColor(7, 0x123456);
    HBRUSH oldBrush = Win_Record(7)->backBrush;
    ASSERT_EQ(GetObjectType(oldBrush), static_cast<DWORD>(OBJ_BRUSH));

    HWND second = reinterpret_cast<HWND>(Win_Open(7, 10, 10, 100, 100, "second", 0));
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first)) << "the old window must be destroyed";
    EXPECT_EQ(Tk_AccelCount(withShortcuts), 0) << "old accelerator table must be destroyed";
    EXPECT_EQ(GetObjectType(oldBrush), 0u) << "old background brush must be deleted";
    WindowRecord* record = Win_Record(7);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->hwnd, second);
    EXPECT_EQ(record->backColor, -1);
    EXPECT_EQ(record->backBrush, nullptr);
    const std::vector<ACCEL> entries = Tk_AccelEntries(record->accelTable);
    ASSERT_EQ(entries.size(), 2u) << "only the two Tab entries after reopening";
    EXPECT_EQ(entries[0].key, VK_TAB);
    EXPECT_EQ(entries[0].cmd, CMD_FOCUS_NEXT);
    EXPECT_EQ(entries[0].fVirt & ~0x80, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(entries[1].key, VK_TAB);
    EXPECT_EQ(entries[1].cmd, CMD_FOCUS_PREVIOUS);
    EXPECT_EQ(entries[1].fVirt & ~0x80, FVIRTKEY | FNOINVERT | FSHIFT);
    EXPECT_TRUE(Tk_ClassExists(Tk_ClassName(7).c_str()));
}

TEST_F(WindowTest, test_close_activates_the_owner) {
    HWND owner = reinterpret_cast<HWND>(Win_Open(1, 10, 10, 100, 100, "owner", 0));
    HWND owned = reinterpret_cast<HWND>(Win_Open(2, 50, 50, 100, 100, "owned", 0, owner));
    ASSERT_NE(owned, nullptr);
    SetActiveWindow(owned);
    ASSERT_EQ(GetActiveWindow(), owned);
    Win_Close(2);
    EXPECT_EQ(GetActiveWindow(), owner);

    // Hiding an owned window hands the activation back as well.
    owned = reinterpret_cast<HWND>(Win_Open(2, 50, 50, 100, 100, "owned", 0, owner));
    SetActiveWindow(owned);
    Win_Hide(2, 1);
    EXPECT_FALSE(IsWindowVisible(owned));
    EXPECT_EQ(GetActiveWindow(), owner);
}

TEST_F(WindowTest, test_resize_with_menu_bar) {
    HWND hwnd = reinterpret_cast<HWND>(Win_Open(1, 100, 100, 300, 200, "menu", 0x00CA0000u));
    ASSERT_NE(hwnd, nullptr);
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_STRING, 100, "&Datei");
    SetMenu(hwnd, bar);
    DrawMenuBar(hwnd);
    Tk_Pump(20);
    const RECT before = OuterOf(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);

    // All four ignored: nothing changes, the menu bar keeps its room.
    Win_Resize(1, IGNORE_VALUE, IGNORE_VALUE, IGNORE_VALUE, IGNORE_VALUE);
    RECT after = OuterOf(hwnd);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top) << "outer height must stay";

    // Only the width given: the outer height stays.
    Win_Resize(1, IGNORE_VALUE, IGNORE_VALUE, 300 + 40, IGNORE_VALUE);
    after = OuterOf(hwnd);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top) << "outer height must stay";
    EXPECT_EQ(after.right - after.left, before.right - before.left + 40);

    // A given height includes the menu bar: the outer height is that of a window without menu.
    Win_Resize(1, 50, 60, 300, 200);
    after = OuterOf(hwnd);
    const SIZE plain = OuterSizeFor(300, 200, static_cast<DWORD>(StyleOf(hwnd)));
    EXPECT_EQ(after.left, 50);
    EXPECT_EQ(after.top, 60);
    EXPECT_EQ(after.bottom - after.top, plain.cy);
    GetClientRect(hwnd, &client);
    EXPECT_LT(client.bottom, 200) << "the menu bar takes its room from the given height";

    // Only y: the banner's slide.
    Win_Resize(1, IGNORE_VALUE, -40, IGNORE_VALUE, IGNORE_VALUE);
    after = OuterOf(hwnd);
    EXPECT_EQ(after.left, 50);
    EXPECT_EQ(after.top, -40);
    EXPECT_EQ(after.bottom - after.top, plain.cy);
}

TEST_F(WindowTest, test_states_hide_and_topmost) {
    HWND hwnd = reinterpret_cast<HWND>(Win_Open(1, 100, 100, 200, 100, "s", 0x00CF0000u));
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Win_SetState(1, 5), 1);
    EXPECT_EQ(Win_GetState(1), WIN_STATE_NORMAL) << "state 5 must do nothing";
    Win_SetState(1, WIN_STATE_MAXIMIZED);
    EXPECT_EQ(Win_GetState(1), WIN_STATE_MAXIMIZED);
    Win_SetState(1, WIN_STATE_NORMAL);
    EXPECT_EQ(Win_GetState(1), WIN_STATE_NORMAL);
    Win_SetState(1, WIN_STATE_MINIMIZED);
    EXPECT_EQ(Win_GetState(1), WIN_STATE_MINIMIZED);

    // Hidden while minimised, then shown again: still minimised.
    Win_Hide(1, 1);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    Win_Hide(1, 0);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsIconic(hwnd)) << "a minimised window is shown minimised";
    Win_SetState(1, WIN_STATE_NORMAL);

    HWND other = reinterpret_cast<HWND>(Win_Open(2, 10, 10, 50, 50, "other", 0));
    ASSERT_EQ(GetActiveWindow(), other);
    Win_SetTopmost(1, 1);
    EXPECT_TRUE(GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetActiveWindow(), hwnd) << "pinning also activates";
    Win_SetTopmost(1, 0);
    EXPECT_FALSE(GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(WindowTest, test_background_colour) {
    HWND hwnd = reinterpret_cast<HWND>(Win_Open(1, 100, 100, 40, 30, "colour", WS_POPUP));
    ASSERT_NE(hwnd, nullptr);
    Tk_Pump(20);
    HDC screen = GetDC(hwnd);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 40, 30);
    HGDIOBJ old = SelectObject(dc, bmp);
    ReleaseDC(hwnd, screen);

    const COLORREF blue = 0xD53500;
    EXPECT_EQ(Win_SetColor(1, static_cast<int32_t>(blue)), 1);
    EXPECT_EQ(SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    EXPECT_EQ(GetPixel(dc, 39, 29), blue) << "whole client area filled with the colour";

    // The same colour again: no redraw.
    ValidateRect(hwnd, nullptr);
    Win_SetColor(1, static_cast<int32_t>(blue));
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE)) << "setting the current colour must not redraw";
    Win_SetColor(1, 0x00FF00);
    EXPECT_TRUE(GetUpdateRect(hwnd, nullptr, FALSE)) << "a new colour redraws";

    // Back to no colour: the class background (button face).
    HBRUSH brush = Win_Record(1)->backBrush;
    Win_SetColor(1, -1);
    EXPECT_EQ(GetObjectType(brush), 0u) << "the old brush is deleted";
    EXPECT_EQ(Win_Record(1)->backBrush, nullptr);
    SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(GetPixel(dc, 5, 5), GetSysColor(COLOR_BTNFACE));

    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

// While a window is being filled it is not drawn; turned back on, it is drawn once at once.
TEST_F(WindowTest, test_redraw_off_while_filling_then_drawn_once) {
    HWND hwnd = reinterpret_cast<HWND>(Win_Open(1, 100, 100, 200, 100, "filling", WS_POPUP));
    ASSERT_NE(hwnd, nullptr);
    Tk_Pump(20);
    auto repaints = [](const std::vector<int32_t>& events) {
        int count = 0;
        for (int32_t event : events) {
            count += event == EVENT_REPAINT ? 1 : 0;
        }
        return count;
    };
    EXPECT_EQ(Win_SetRedraw(1, 0), 1);
    for (int i = 0; i < 5; ++i) {
        CreateWindowExA(0, "STATIC", "x", WS_CHILD | WS_VISIBLE, 10 * i, 10, 10, 10, hwnd, nullptr, nullptr,
                        nullptr);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    EXPECT_EQ(repaints(Tk_Drain()), 0) << "expected no drawing while drawing is off";
    EXPECT_EQ(Win_SetRedraw(1, 1), 1);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE)) << "expected the window drawn at once";
    EXPECT_EQ(repaints(Tk_Drain()), 1) << "expected one drawing when drawing resumes";
}

// The window's own handler sees its messages before the toolkit: what it answers is answered so and sets
// no event; what it passes on is dispatched as without it. A message box's modal loop reaches it too.
TEST_F(WindowTest, test_own_handler_comes_before_the_dispatch) {
    static std::vector<UINT> seen;
    constexpr UINT kPrivate = WM_APP + 7;
    constexpr LRESULT kAnswer = 4711;
    auto handler = [](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        seen.push_back(message);
        if (message == kPrivate) {
            CloseHandlerBox(nullptr, 0, 0, 0);
        }
        return message == kPrivate || (message == WM_CLOSE && wParam == 1) ? kAnswer : NOT_HANDLED;
    };
    HWND hwnd = reinterpret_cast<HWND>(Win_Open(5, 10, 10, 120, 80, "handler"));
    ASSERT_NE(hwnd, nullptr);
    Tk_Pump(20);
    EXPECT_EQ(Win_SetHandler(5, handler), 1);
    const struct {
        UINT message;
        WPARAM wParam;
        LRESULT answer;
        bool closeEvent; // the pump reports EVENT_CLOSE afterwards
    } cases[] = {
        {kPrivate, 0, kAnswer, false}, // answered by the handler alone
        {WM_CLOSE, 1, kAnswer, false}, // a toolkit message the handler keeps: no event
        {WM_CLOSE, 0, 0, true},        // passed on: the toolkit reports it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        seen.clear();
        EXPECT_EQ(SendMessageW(hwnd, c.message, c.wParam, 0), c.answer);
        EXPECT_EQ(seen, std::vector<UINT>{c.message}) << "expected the handler to see the message once";
        std::vector<int32_t> events = Tk_Drain(30, 500);
        EXPECT_EQ(std::count(events.begin(), events.end(), EVENT_CLOSE), c.closeEvent ? 1 : 0);
    }
    // The request posted before the box opens is answered in its loop, and the handler closes the box; if
    // it is not reached there, a timer closes the box after three seconds.
    PostMessageW(hwnd, kPrivate, 0, 0);
    const UINT_PTR timer = SetTimer(nullptr, 0, 3000, CloseHandlerBox);
    const DWORD start = GetTickCount();
    MessageBoxW(hwnd, L"", L"handler box", MB_OK);
    KillTimer(nullptr, timer);
    EXPECT_LT(GetTickCount() - start, 2000u) << "expected the handler to answer inside the box's loop";
}

TEST_F(WindowTest, test_unknown_numbers_are_no_ops) {
    const ObjId unknown[] = {3, 999, 70000, -5, OBJ_ANY, 0x12345678};
    for (ObjId n : unknown) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Win_Handle(n), nullptr);
        EXPECT_EQ(Win_GetState(n), 0);
        EXPECT_EQ(Win_SetState(n, WIN_STATE_MAXIMIZED), 0);
        EXPECT_EQ(Win_Hide(n, 1), 0);
        EXPECT_EQ(Win_Resize(n, 1, 2, 3, 4), 0);
        EXPECT_EQ(Win_SetTopmost(n, 1), 0);
        EXPECT_EQ(Win_SetColor(n, 0xFF), 0);
        EXPECT_EQ(Win_SetRedraw(n, 1), 0);
        EXPECT_EQ(Win_SetHandler(n, nullptr), 0);
        EXPECT_EQ(Shortcut_Add(n, 'E', 1), nullptr);
        Win_Close(n);
    }
    // A number far beyond the table is refused, not created.
    EXPECT_EQ(Win_Open(0x7FFFFFFF, 0, 0, 10, 10, "x", 0), 0);
}

TEST_F(WindowTest, test_open_close_many_windows_leaves_nothing_behind) {
    std::vector<HWND> windows;
    std::vector<HWND> controls;
    std::vector<HACCEL> tables;
    std::vector<HBRUSH> brushes;
    std::vector<std::string> classes;
    for (int i = 0; i < 1000; ++i) {
        const ObjId number = i % 3 == 0 ? OBJ_ANY : (i % 20);
        // Mostly hidden windows: creating visible ones costs the X server far more time.
        const uint32_t flags = (i % 2 ? 0x00CA0000u : WS_POPUP) | (i % 100 == 0 ? 0 : WIN_INVISIBLE);
        const ObjId id = Win_Open(number, 10, 10, 160, 80, "leak", flags);
        ASSERT_NE(id, 0) << "open #" << i;
        const ObjId key = number == OBJ_ANY ? id : number;
        WindowRecord* record = Win_Record(key);
        ASSERT_NE(record, nullptr);
        windows.push_back(record->hwnd);
        classes.push_back(Tk_ClassName(key));
        Shortcut_Add(key, KEY_CONTROL | 'E', 1);
        tables.push_back(Win_Record(key)->accelTable);
        Win_SetColor(key, 0x010101 * (i % 7));
        brushes.push_back(Win_Record(key)->backBrush);

        Ctl_BeginList(record->hwnd);
        const ObjId text = TestText(20 + i % 5, 5, 5, 100, 20, "Hinweis");
        ASSERT_NE(text, 0);
        controls.push_back(reinterpret_cast<HWND>(text));
        Ctl_SetColor(20 + i % 5, CTL_COLOR_FRONT, 0xFFFFFF);
        Ctl_SetColor(20 + i % 5, CTL_COLOR_BACK, 0x000100 * (i % 11));
        brushes.push_back(reinterpret_cast<HBRUSH>(Ctl_Record(20 + i % 5)->wordC));
        const ObjId button = TestButton(OBJ_ANY, 5, 30, 60, 20, "OK");
        ASSERT_NE(button, 0);
        controls.push_back(Ctl_Record(button)->hwnd);
        if (number == OBJ_ANY || i % 4 == 0) {
            Win_Close(key);
        }
        if (i % 50 == 0) {
            Tk_Pump(0);
        }
    }
    Win_End();
    Tk_Pump(20);

    int liveWindows = 0, liveControls = 0, liveClasses = 0, liveTables = 0, liveBrushes = 0;
    for (HWND h : windows) {
        liveWindows += IsWindow(h) ? 1 : 0;
    }
    for (HWND h : controls) {
        liveControls += IsWindow(h) ? 1 : 0;
    }
    for (const std::string& c : classes) {
        liveClasses += Tk_ClassExists(c.c_str()) ? 1 : 0;
    }
    for (HACCEL t : tables) {
        liveTables += Tk_AccelCount(t) > 0 ? 1 : 0;
    }
    for (HBRUSH b : brushes) {
        liveBrushes += b != nullptr && GetObjectType(b) == OBJ_BRUSH ? 1 : 0;
    }
    EXPECT_EQ(liveWindows, 0) << "windows left";
    EXPECT_EQ(liveControls, 0) << "controls left";
    EXPECT_EQ(liveClasses, 0) << "window classes left";
    EXPECT_EQ(liveTables, 0) << "accelerator tables left";
    EXPECT_EQ(liveBrushes, 0) << "brushes left";
    for (int n = 20; n < 25; ++n) {
        EXPECT_EQ(Ctl_Record(n), nullptr) << "control " << n << " outlived its window";
    }
}
