// Tests of the image control: natural size, painting, clearing, repaint on enabling, and
// the mouse event sequences (click, double clicks, right clicks, drag start) as they come
// out of the toolkit's event pump.
#include "common/harness_common.h"
#include "kinds_fixture.h"

#include <string.h>

#include "controls/imagectl.h"

namespace {

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

LPARAM Point(int x, int y) {
    return MAKELPARAM(x, y);
}

// Keeps the real pointer over a client point of the control, so that any mouse move the
// platform makes up on its own reports that very point.
void ParkCursor(HWND control, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(control, &p);
    SetCursorPos(p.x, p.y);
}

// Colour at (x, y) of what the control draws for WM_PRINT into a white memory bitmap.
COLORREF PrintedPixel(HWND control, int x, int y) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 64, 64};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SendMessageA(control, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return c;
}

class ImageControl : public KindsTest {
  protected:
    void TearDown() override {
        for (HWND hwnd : created_) {
            DestroyWindow(hwnd);
        }
        for (HGDIOBJ object : bitmaps_) {
            DeleteObject(object);
        }
        for (HICON icon : icons_) {
            DestroyIcon(icon);
        }
        Kinds_Pump(30, 500);
    }
    HWND Image(ObjId number, int x, int y, int w, int h, HANDLE image, int32_t exStyle = 0) {
        ObjId result = Ctl_Image(number, x, y, w, h, image, exStyle);
        EXPECT_NE(result, 0) << "Ctl_Image failed";
        HWND hwnd = number == OBJ_ANY ? Ctl_Record(result)->hwnd : H(result);
        created_.push_back(hwnd);
        return hwnd;
    }
    HICON Icon(int size, COLORREF colour) {
        HICON icon = Kinds_SolidIcon(size, colour);
        icons_.push_back(icon);
        return icon;
    }
    HBITMAP Bitmap(int w, int h, COLORREF colour) {
        HBITMAP bitmap = Kinds_SolidBitmap(w, h, colour);
        bitmaps_.push_back(bitmap);
        return bitmap;
    }

    std::vector<HWND> created_;
    std::vector<HGDIOBJ> bitmaps_;
    std::vector<HICON> icons_;
};

TEST_F(ImageControl, test_takes_the_natural_size_of_its_image) {
    HWND plain = Image(51, 20, 30, 0, 0, Icon(32, RGB(0, 0, 255)));
    RECT r = Kinds_RectInParent(plain);
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(Width(r), 32) << "expected the icon's width 32, got " << Width(r);
    EXPECT_EQ(Height(r), 32);
    EXPECT_EQ(GetWindowLongPtrA(plain, GWL_STYLE), 0x50000100) << "WS_CHILD | WS_VISIBLE | SS_NOTIFY";
    EXPECT_EQ(Ctl_Record(51)->kind->code, CTL_KIND_IMAGE);

    HWND edged = Image(52, 100, 30, 0, 0, Icon(32, RGB(0, 0, 255)), WS_EX_CLIENTEDGE);
    r = Kinds_RectInParent(edged);
    EXPECT_EQ(Width(r), 36) << "the client edge adds 4";
    EXPECT_EQ(Height(r), 36);

    HWND bitmap = Image(53, 200, 30, 5, 5, Bitmap(20, 10, RGB(255, 0, 0)));
    r = Kinds_RectInParent(bitmap);
    EXPECT_EQ(Width(r), 20);
    EXPECT_EQ(Height(r), 10);

    // A null image keeps the size given at creation.
    HWND none = Image(54, 20, 100, 0, 0, nullptr);
    r = Kinds_RectInParent(none);
    EXPECT_EQ(Width(r), 0);
    EXPECT_EQ(Height(r), 0);
    EXPECT_EQ(Ctl_GetState(54), 0);
    HWND sized = Image(55, 20, 140, 10, 12, nullptr);
    r = Kinds_RectInParent(sized);
    EXPECT_EQ(Width(r), 10);
    EXPECT_EQ(Height(r), 12);

    // Setting an image later resizes; clearing it keeps the size.
    HICON big = Icon(48, RGB(0, 128, 0));
    Ctl_SetState(54, reinterpret_cast<intptr_t>(big));
    EXPECT_EQ(Ctl_GetState(54), reinterpret_cast<intptr_t>(big));
    r = Kinds_RectInParent(none);
    EXPECT_EQ(Width(r), 48);
    EXPECT_EQ(r.left, 20) << "resizing must not move the control";
    Ctl_SetState(54, 0);
    EXPECT_EQ(Ctl_GetState(54), 0);
    EXPECT_EQ(Width(Kinds_RectInParent(none)), 48);

    // The program's own warning icon.
    Img_Load(10, (testsupport::BinDir() + "\\Symbole\\Warnung.ico").c_str(), 0);
    ASSERT_NE(Img_Handle(10), nullptr);
    HWND warning = Image(16, 20, 240, 0, 0, Img_Handle(10));
    r = Kinds_RectInParent(warning);
    EXPECT_EQ(Width(r), 32);
    EXPECT_EQ(Height(r), 32);
    EXPECT_EQ(Ctl_GetState(16), reinterpret_cast<intptr_t>(Img_Handle(10)));
    DestroyWindow(warning);
    Img_Free(10);
}

TEST_F(ImageControl, test_paints_its_image_the_same_when_disabled) {
    HWND red = Image(56, 20, 30, 0, 0, Bitmap(16, 16, RGB(255, 0, 0)));
    HWND blue = Image(57, 60, 30, 0, 0, Icon(16, RGB(0, 0, 255)));
    EXPECT_EQ(PrintedPixel(red, 8, 8), RGB(255, 0, 0));
    EXPECT_EQ(PrintedPixel(red, 20, 20), RGB(255, 255, 255)) << "nothing beyond the image's size";
    EXPECT_EQ(PrintedPixel(blue, 8, 8), RGB(0, 0, 255));

    MessageRecorder recorder(red);
    Ctl_Disable(56, 1);
    Ctl_Disable(57, 1);
    EXPECT_FALSE(IsWindowEnabled(red));
    EXPECT_GE(recorder.Count(WM_PAINT), 1) << "enabling or disabling must repaint at once";
    EXPECT_EQ(PrintedPixel(red, 8, 8), RGB(255, 0, 0)) << "a disabled image must not be greyed";
    EXPECT_EQ(PrintedPixel(blue, 8, 8), RGB(0, 0, 255)) << "a disabled icon must not be greyed";

    // On screen as well.
    Ctl_Disable(56, 0);
    Kinds_Pump();
    HDC dc = GetDC(red);
    EXPECT_EQ(GetPixel(dc, 4, 4), RGB(255, 0, 0));
    ReleaseDC(red, dc);

    // Cleared, it prints nothing; a null device context is ignored.
    Ctl_SetState(56, 0);
    EXPECT_EQ(PrintedPixel(red, 8, 8), RGB(255, 255, 255));
    EXPECT_EQ(SendMessageA(red, WM_PRINT, 0, PRF_CLIENT), 0);
}

TEST_F(ImageControl, test_icons_and_clearing_repaint_the_top_window) {
    HWND control = Image(58, 20, 30, 0, 0, Bitmap(16, 16, RGB(255, 0, 0)));
    Kinds_Pump();
    MessageRecorder recorder(hwnd_);
    Ctl_SetState(58, reinterpret_cast<intptr_t>(Bitmap(16, 16, RGB(0, 255, 0))));
    EXPECT_EQ(recorder.Count(WM_PAINT), 0) << "an opaque bitmap needs no repaint of the window behind";

    Ctl_SetState(58, reinterpret_cast<intptr_t>(Icon(16, RGB(0, 0, 255))));
    EXPECT_GE(recorder.Count(WM_PAINT), 1) << "an icon must repaint the window behind at once";
    recorder.entries.clear();

    Ctl_SetState(58, 0);
    EXPECT_GE(recorder.Count(WM_PAINT), 1) << "clearing must repaint the window behind at once";
    EXPECT_EQ(Ctl_GetState(58), 0);
    EXPECT_TRUE(IsWindow(control));
}

TEST_F(ImageControl, test_left_click_and_double_click_events) {
    HWND control = Image(61, 20, 30, 0, 0, Icon(32, RGB(0, 0, 255)));
    ParkCursor(control, 5, 5);
    Kinds_Pump();
    MessageRecorder recorder(hwnd_);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
    PostMessageA(control, WM_LBUTTONUP, 0, Point(5, 5));
    PostMessageA(control, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(5, 5));
    PostMessageA(control, WM_LBUTTONUP, 0, Point(5, 5));
    std::vector<CtlEvent> events = Kinds_Of(Kinds_Pump(), 61);
    std::vector<CtlEvent> expected = {{61, STN_CLICKED}, {61, CTL_EVENT_LEFTDOUBLECLICK}};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(recorder.Notifications(61), std::vector<int>{STN_CLICKED})
        << "the class must not see the double-click";
    EXPECT_EQ(GetCapture(), nullptr) << "the release must free the capture";
}

TEST_F(ImageControl, test_right_click_and_right_double_click_events) {
    HWND a = Image(62, 20, 30, 0, 0, Icon(32, RGB(0, 0, 255)));
    HWND b = Image(63, 80, 30, 0, 0, Icon(32, RGB(0, 0, 255)));
    ParkCursor(a, 5, 5);
    Kinds_Pump();
    MessageRecorder recorder(hwnd_);

    PostMessageA(a, WM_RBUTTONDOWN, MK_RBUTTON, Point(5, 5));
    PostMessageA(a, WM_RBUTTONUP, 0, Point(5, 5));
    PostMessageA(a, WM_RBUTTONDBLCLK, MK_RBUTTON, Point(5, 5));
    PostMessageA(a, WM_RBUTTONUP, 0, Point(5, 5));
    std::vector<CtlEvent> expected = {{62, CTL_EVENT_RIGHTCLICK}, {62, CTL_EVENT_RIGHTDOUBLECLICK}};
    EXPECT_EQ(Kinds_Pump(), expected);
    EXPECT_FALSE(ImageCtl_RightDoubleClickSeen());

    // A plain right click after that reports again.
    PostMessageA(a, WM_RBUTTONDOWN, MK_RBUTTON, Point(5, 5));
    PostMessageA(a, WM_RBUTTONUP, 0, Point(5, 5));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{62, CTL_EVENT_RIGHTCLICK}}));

    // The flag is shared: a right double-click on one control swallows the next release on another.
    PostMessageA(a, WM_RBUTTONDBLCLK, MK_RBUTTON, Point(5, 5));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{62, CTL_EVENT_RIGHTDOUBLECLICK}}));
    EXPECT_TRUE(ImageCtl_RightDoubleClickSeen());
    PostMessageA(b, WM_RBUTTONUP, 0, Point(5, 5));
    EXPECT_TRUE(Kinds_Pump().empty()) << "the release after a right double-click must post nothing";
    PostMessageA(b, WM_RBUTTONUP, 0, Point(5, 5));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{63, CTL_EVENT_RIGHTCLICK}}));
    EXPECT_EQ(recorder.Count(WM_CONTEXTMENU), 0);
    EXPECT_TRUE(recorder.Notifications(62).empty()) << "right clicks send no WM_COMMAND";
}

TEST_F(ImageControl, test_drag_start_beyond_the_drag_rectangle) {
    HWND control = Image(64, 20, 30, 0, 0, Icon(32, RGB(0, 0, 255)));
    const int cx = GetSystemMetrics(SM_CXDRAG);
    const int cy = GetSystemMetrics(SM_CYDRAG);
    ParkCursor(control, 10, 10);
    Kinds_Pump();

    // Within the rectangle (bounds included): nothing.
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
    std::vector<CtlEvent> events = Kinds_Pump();
    EXPECT_EQ(events, (std::vector<CtlEvent>{{64, STN_CLICKED}}));
    EXPECT_EQ(GetCapture(), control) << "the press must capture the mouse";
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(10 + cx, 10));
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(10 - cx, 10 + cy));
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(10, 10 - cy));
    EXPECT_TRUE(Kinds_Pump().empty()) << "moves of exactly the drag distance must post nothing";
    EXPECT_EQ(GetCapture(), control);

    // One pixel more: one drag start, and the capture is released.
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(10 + cx + 1, 10));
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(40, 40));
    PostMessageA(control, WM_LBUTTONUP, 0, Point(40, 40));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{64, CTL_EVENT_DRAGSTART}}));
    EXPECT_EQ(GetCapture(), nullptr);

    // Upwards and to the left count as well.
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(10, 10 - cy - 1));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{64, STN_CLICKED}, {64, CTL_EVENT_DRAGSTART}}));
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(10 - cx - 1, 10));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{64, STN_CLICKED}, {64, CTL_EVENT_DRAGSTART}}));

    // After a release, moves are no drag.
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
    PostMessageA(control, WM_LBUTTONUP, 0, Point(10, 10));
    PostMessageA(control, WM_MOUSEMOVE, 0, Point(50, 50));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{64, STN_CLICKED}}));
    EXPECT_EQ(GetCapture(), nullptr);

    // Negative client coordinates (pointer left of the control while captured) are signed.
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, Point(1, 1));
    PostMessageA(control, WM_MOUSEMOVE, MK_LBUTTON, Point(1 - cx, 1 - cy));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{64, STN_CLICKED}}));
    PostMessageA(control, WM_LBUTTONUP, 0, Point(1, 1));
    Kinds_Pump();
}

TEST_F(ImageControl, test_obj_any_image_control_reports_its_identifier) {
    ObjId id = Ctl_Image(OBJ_ANY, 20, 30, 0, 0, Icon(32, RGB(0, 0, 255)), 0);
    ASSERT_NE(id, 0);
    HWND control = Ctl_Record(id)->hwnd;
    created_.push_back(control);
    ParkCursor(control, 5, 5);
    Kinds_Pump();
    PostMessageA(control, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(5, 5));
    EXPECT_EQ(Kinds_Pump(), (std::vector<CtlEvent>{{id, CTL_EVENT_LEFTDOUBLECLICK}}));
    EXPECT_EQ(Width(Kinds_RectInParent(control)), 32);
}

} // namespace
