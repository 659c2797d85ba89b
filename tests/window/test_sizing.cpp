// The toolkit's sizing loop, driven with sent mouse and key messages: start conditions,
// clamping against the tracking limits, keyboard edge selection, the end of a sizing and
// the cursor it leaves behind.
#include <gtest/gtest.h>

#include "window/harness.h"
#include "window/sizing.h"
#include "window/winproc.h"

namespace {

constexpr HostWindow kSizingHost = {
    70, 300, 300, 400, 300, "sizing", WS_OVERLAPPEDWINDOW, kHostActive | kHostCloseAll, 20, 20};

class SizingTest : public HostWindowTest<kSizingHost> {
  protected:
    void SetUp() override {
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &savedDrag_, 0);
        SetDragFull(TRUE);
        HostWindowTest::SetUp();
    }
    void TearDown() override {
        if (Size_State()->active) {
            ReleaseCapture();
        }
        HostWindowTest::TearDown();
        SetDragFull(savedDrag_);
    }
    static void SetDragFull(BOOL on) {
        // Wine reports full-window dragging off by default.
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on, nullptr, 0);
    }
    RECT Outer() const {
        RECT rc;
        GetWindowRect(hwnd_, &rc);
        return rc;
    }
    // Sends a mouse move at a screen point, as the captured window receives it.
    void MoveMouseTo(int x, int y) const {
        POINT p = {x, y};
        ScreenToClient(hwnd_, &p);
        SendMessageA(hwnd_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    }
    void Key(WPARAM vk) const {
        SendMessageA(hwnd_, WM_KEYDOWN, vk, 1);
    }
    BOOL savedDrag_ = FALSE;
};

} // namespace

TEST_F(SizingTest, test_stays_idle_without_full_window_dragging) {
    SetDragFull(FALSE);
    // Called directly: through the window procedure the platform's modal loop would start.
    EXPECT_EQ(SizeTracker(hwnd_, WM_SYSCOMMAND, SC_SIZE | WMSZ_LEFT, 0), NOT_HANDLED);
    EXPECT_EQ(Size_State()->active, 0);
    EXPECT_EQ(SizeTracker(hwnd_, WM_MOUSEMOVE, 0, 0), NOT_HANDLED);
    SetDragFull(TRUE);
    EXPECT_EQ(SizeTracker(hwnd_, WM_SYSCOMMAND, SC_MOVE, 0), NOT_HANDLED) << "moving is the platform's";
    EXPECT_EQ(Size_State()->active, 0);
}

TEST_F(SizingTest, test_mouse_sizing_clamps_to_the_tracking_limits) {
    const RECT start = Outer();
    const int minW = GetSystemMetrics(SM_CXMINTRACK);
    const int maxW = GetSystemMetrics(SM_CXMAXTRACK);
    Tk_Pump(20);

    EXPECT_EQ(SendMessageA(hwnd_, WM_SYSCOMMAND, SC_SIZE | WMSZ_LEFT, 0), 0);
    SizeState* s = Size_State();
    ASSERT_EQ(s->active, 1);
    EXPECT_EQ(s->edge, WMSZ_LEFT);
    EXPECT_EQ(s->keyboardStarted, 0);
    EXPECT_EQ(GetCapture(), hwnd_);
    EXPECT_EQ(s->limits.ptMinTrackSize.x, minW);

    // Left border dragged far to the right: stops at right - minimum width.
    MoveMouseTo(start.right + 100, start.top + 50);
    RECT rc = Outer();
    EXPECT_EQ(rc.right, start.right) << "the right edge never moves while the left is dragged";
    EXPECT_EQ(rc.left, start.right - minW);
    EXPECT_EQ(rc.top, start.top);
    EXPECT_EQ(rc.bottom, start.bottom);

    // And back out to the left: the left edge follows the pointer.
    MoveMouseTo(start.left - 30, start.top + 50);
    rc = Outer();
    EXPECT_EQ(rc.left, start.left - 30);
    EXPECT_EQ(rc.right, start.right);

    // Each step reached the application as EVENT_SIZE.
    const std::vector<int32_t> codes = Tk_Drain(20);
    bool sized = false;
    for (int32_t c : codes) {
        sized = sized || c == EVENT_SIZE;
    }
    EXPECT_TRUE(sized);

    // Another window goes on working while this one is sized.
    HWND other = reinterpret_cast<HWND>(Win_Open(71, 10, 10, 100, 100, "other", WS_OVERLAPPEDWINDOW));
    RECT otherBefore;
    GetWindowRect(other, &otherBefore);
    EXPECT_EQ(SizeTracker(other, WM_MOUSEMOVE, 0, MAKELPARAM(500, 500)), NOT_HANDLED);
    RECT otherAfter;
    GetWindowRect(other, &otherAfter);
    EXPECT_TRUE(EqualRect(&otherBefore, &otherAfter)) << "a foreign window must not be moved";
    SetActiveWindow(hwnd_);

    // Releasing the button ends the sizing.
    SendMessageA(hwnd_, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(Size_State()->active, 0);
    EXPECT_NE(GetCapture(), hwnd_);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, hwnd_, WM_EXITSIZEMOVE, WM_EXITSIZEMOVE, PM_REMOVE))
        << "WM_EXITSIZEMOVE posted";

    // The right border is clamped by the maximum tracking size.
    SendMessageA(hwnd_, WM_SYSCOMMAND, SC_SIZE | WMSZ_RIGHT, 0);
    ASSERT_EQ(Size_State()->active, 1);
    const RECT before = Outer();
    SendMessageA(hwnd_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30000, 10));
    rc = Outer();
    EXPECT_EQ(rc.left, before.left);
    EXPECT_EQ(rc.right - rc.left, Size_State()->limits.ptMaxTrackSize.x);
    EXPECT_LE(rc.right - rc.left, maxW);
    // The tracked rectangle itself is clamped, not only the window the platform placed.
    const RECT tracked = Size_State()->rect;
    EXPECT_EQ(tracked.right - tracked.left, Size_State()->limits.ptMaxTrackSize.x);
    SendMessageA(hwnd_, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(Size_State()->active, 0);
}

TEST_F(SizingTest, test_keyboard_sizing_chooses_edges) {
    ASSERT_TRUE(SetCursorPos(500, 400));
    POINT home;
    GetCursorPos(&home);

    EXPECT_EQ(SendMessageA(hwnd_, WM_SYSCOMMAND, SC_SIZE, 0), 0);
    SizeState* s = Size_State();
    ASSERT_EQ(s->active, 1);
    EXPECT_EQ(s->edge, 0);
    EXPECT_EQ(s->keyboardStarted, 1);
    const RECT start = Outer();

    Key(VK_LEFT);
    EXPECT_EQ(s->edge, WMSZ_LEFT);
    POINT c;
    GetCursorPos(&c);
    EXPECT_EQ(c.x, start.left);
    EXPECT_EQ(c.y, home.y);
    EXPECT_TRUE(EqualRect(&start, &s->rect)) << "choosing an edge does not size";

    Key(VK_UP);
    EXPECT_EQ(s->edge, WMSZ_TOPLEFT);
    GetCursorPos(&c);
    EXPECT_EQ(c.x, start.left + 2);
    EXPECT_EQ(c.y, start.top + 2);

    // Further Left presses grow the window by 10 pixels each; the corner does not jump.
    Key(VK_LEFT);
    RECT rc = Outer();
    EXPECT_EQ(rc.left, start.left - 10);
    EXPECT_EQ(rc.top, start.top);
    EXPECT_EQ(rc.right, start.right);
    Key(VK_LEFT);
    rc = Outer();
    EXPECT_EQ(rc.left, start.left - 20);
    Key(VK_UP);
    rc = Outer();
    EXPECT_EQ(rc.top, start.top - 10);

    // Esc keeps the size and puts the cursor back where the sizing began.
    Key(VK_ESCAPE);
    EXPECT_EQ(s->active, 0);
    rc = Outer();
    EXPECT_EQ(rc.left, start.left - 20);
    EXPECT_EQ(rc.top, start.top - 10);
    GetCursorPos(&c);
    EXPECT_EQ(c.x, home.x);
    EXPECT_EQ(c.y, home.y);
}

TEST_F(SizingTest, test_keyboard_edges_from_right_and_bottom) {
    struct Case {
        WPARAM first, second;
        int32_t edge;
    };
    const Case cases[] = {{VK_RIGHT, 0, WMSZ_RIGHT},
                          {VK_DOWN, 0, WMSZ_BOTTOM},
                          {VK_UP, VK_RIGHT, WMSZ_TOPRIGHT},
                          {VK_DOWN, VK_RIGHT, WMSZ_BOTTOMRIGHT},
                          {VK_DOWN, VK_LEFT, WMSZ_BOTTOMLEFT},
                          {VK_RIGHT, VK_UP, WMSZ_TOPRIGHT},
                          {VK_RIGHT, VK_DOWN, WMSZ_BOTTOMRIGHT},
                          {VK_LEFT, VK_DOWN, WMSZ_BOTTOMLEFT}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.edge);
        SendMessageA(hwnd_, WM_SYSCOMMAND, SC_SIZE, 0);
        ASSERT_EQ(Size_State()->active, 1);
        Key(k.first);
        if (k.second != 0) {
            Key(k.second);
        }
        EXPECT_EQ(Size_State()->edge, k.edge);
        Key(VK_RETURN);
        EXPECT_EQ(Size_State()->active, 0);
    }
    // Bottom-right, then Right: the window grows to the right by 10.
    SendMessageA(hwnd_, WM_SYSCOMMAND, SC_SIZE, 0);
    Key(VK_RIGHT);
    Key(VK_DOWN);
    const RECT before = Outer();
    Key(VK_RIGHT);
    const RECT after = Outer();
    EXPECT_EQ(after.right, before.right + 10);
    EXPECT_EQ(after.bottom, before.bottom);
    EXPECT_EQ(after.left, before.left);
    Key(VK_RETURN);
}

TEST_F(SizingTest, test_mouse_takes_over_a_keyboard_sizing) {
    ASSERT_TRUE(SetCursorPos(450, 350));
    SendMessageA(hwnd_, WM_SYSCOMMAND, SC_SIZE, 0);
    ASSERT_EQ(Size_State()->keyboardStarted, 1);
    SendMessageA(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(Size_State()->keyboardStarted, 0);
    ASSERT_TRUE(SetCursorPos(600, 500));
    Key(VK_ESCAPE);
    EXPECT_EQ(Size_State()->active, 0);
    POINT c;
    GetCursorPos(&c);
    EXPECT_EQ(c.x, 600) << "after a mouse move the cursor is not put back";
    EXPECT_EQ(c.y, 500);

    // Losing the capture for any reason ends the sizing too.
    SendMessageA(hwnd_, WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOM, 0);
    ASSERT_EQ(Size_State()->active, 1);
    ReleaseCapture();
    EXPECT_EQ(Size_State()->active, 0);
}
