// Focus navigation: Tab order, wrap-around at both ends, skipped controls, windows with
// one or no tab stop, and "MDI_ChildClass" windows as the navigation root.
#include <gtest/gtest.h>

#include "controls/testkinds.h"
#include "window/focus.h"
#include "window/harness.h"

namespace {

constexpr HostWindow kFocusHost = {
    60, 100, 100, 400, 200, "focus", 0x00CA0000u, kHostActive | kHostControls | kHostCloseAll, 20, 20};

class FocusTest : public HostWindowTest<kFocusHost> {
  protected:
    HWND Button(ObjId n, int x) {
        return reinterpret_cast<HWND>(TestButton(n, x, 10, 40, 24, "b"));
    }
};

} // namespace

TEST_F(FocusTest, test_forward_and_backward_wrap_around) {
    HWND a = Button(1, 10);
    TestText(2, 60, 10, 40, 24, "no tab stop");
    HWND b = Button(3, 110);
    HWND disabled = Button(4, 160);
    Ctl_Disable(4, 1);
    HWND hidden = Button(5, 210);
    ShowWindow(hidden, SW_HIDE);
    HWND c = Button(6, 260);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(disabled, nullptr);

    SetFocus(a);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), b) << "the text is skipped";
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), c) << "disabled and hidden buttons are skipped";
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), a) << "Tab on the last tab stop wraps to the first";
    Win_FocusStep(1);
    EXPECT_EQ(GetFocus(), c) << "Shift+Tab on the first wraps to the last";
    Win_FocusStep(1);
    EXPECT_EQ(GetFocus(), b);

    // Focus on the window itself: Tab takes the first tab stop, Shift+Tab the last.
    SetFocus(hwnd_);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), a);
    SetFocus(hwnd_);
    Win_FocusStep(1);
    EXPECT_EQ(GetFocus(), c);
}

TEST_F(FocusTest, test_one_or_no_tab_stop) {
    TestText(1, 10, 10, 40, 24, "text");
    HWND only = Button(2, 60);
    SetFocus(only);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), only);
    Win_FocusStep(1);
    EXPECT_EQ(GetFocus(), only);

    // Without any tab stop nothing changes.
    Ctl_Disable(2, 1);
    SetFocus(hwnd_);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), hwnd_);
    Win_FocusStep(1);
    EXPECT_EQ(GetFocus(), hwnd_);
}

TEST_F(FocusTest, test_mdi_child_is_the_root) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MDI_ChildClass";
    RegisterClassA(&wc);
    HWND outside = Button(1, 10);
    HWND mdi = CreateWindowExA(0, "MDI_ChildClass", "", WS_CHILD | WS_VISIBLE, 60, 40, 300, 100, hwnd_,
                               nullptr, nullptr, nullptr);
    ASSERT_NE(mdi, nullptr);
    Ctl_BeginList(mdi);
    HWND in1 = reinterpret_cast<HWND>(TestButton(2, 10, 10, 40, 24, "i1"));
    HWND in2 = reinterpret_cast<HWND>(TestButton(3, 60, 10, 40, 24, "i2"));
    Ctl_BeginList(hwnd_);
    HWND outside2 = Button(4, 200);
    ASSERT_NE(outside2, nullptr);

    SetFocus(in1);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), in2);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), in1) << "Tab cycles inside the MDI child only";
    Win_FocusStep(1);
    EXPECT_EQ(GetFocus(), in2);

    // Focus on the MDI child itself: its first tab stop.
    SetFocus(mdi);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), in1);

    // From outside, the whole window is the root, in creation order.
    SetFocus(outside);
    Win_FocusStep(0);
    EXPECT_EQ(GetFocus(), in1);
    DestroyWindow(mdi);
}

// Steps the focus both ways on a thread without windows.
static DWORD WINAPI StepWithoutActiveWindow(LPVOID) {
    Win_FocusStep(0);
    Win_FocusStep(1);
    return 0;
}

TEST_F(FocusTest, test_no_active_window_does_nothing) {
    HWND a = Button(1, 10);
    SetFocus(a);
    // Another thread has no active window; a step there must not wander over the desktop.
    HANDLE t = CreateThread(nullptr, 0, StepWithoutActiveWindow, nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_EQ(GetFocus(), a);
}
