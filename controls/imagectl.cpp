// Image control: takes over painting, the image messages and the mouse of a "STATIC"
// window. The control sizes itself to each image set on it, draws it with DrawStateA, and
// turns right clicks, double clicks and drags into control events; a plain left click is
// left to the class, which reports STN_CLICKED (SS_NOTIFY) to the parent.
#include "controls/imagectl.h"

#include <atomic>

#include "controls/images.h"
#include "window/window.h"

namespace {

// The "STATIC" class's own procedure, remembered when ImageControlProc is installed.
std::atomic<WNDPROC> g_classProc{nullptr};

// The drag rectangle (half widths around the press point), read with the first control; 0 until then,
// when the system's default applies.
constexpr int kDefaultDrag = 4;
std::atomic<bool> g_dragRead{false};
std::atomic<int> g_dragX{0};
std::atomic<int> g_dragY{0};

// Set by a right double-click so that the release ending it posts no right click. Shared
// by all image controls.
std::atomic<bool> g_rightDoubleClickSeen{false};

// ---- Internal functions ----

// Hands a message to the class's own procedure.
LRESULT PassOn(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = g_classProc.load();
    if (proc == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return CallWindowProcW(proc, hwnd, message, wParam, lParam);
}

// The image a control shows, null without one (or before it is registered).
HANDLE StoredImage(const ControlRecord* record) {
    return record != nullptr ? reinterpret_cast<HANDLE>(record->wordA) : nullptr;
}

// Shows a new image: stores it at the window's DPI (an image of the table at another DPI than the
// display's is the same file loaded again at that scale), clears what the old one left behind, and
// fits the control to the image's size (plus the client edge when it has one).
LRESULT SetImage(HWND hwnd, ControlRecord* record, HANDLE image) {
    image = Img_ForDpi(image, Win_DpiOf(hwnd));
    record->wordA = reinterpret_cast<intptr_t>(image);
    if (image == nullptr || GetObjectType(image) != OBJ_BITMAP) {
        // Icons have transparent parts and a null image draws nothing at all: repaint the
        // top window under the control so that nothing of the old image stays behind.
        HWND top = TopWindowOf(hwnd);
        RECT area = {};
        if (top != nullptr && GetWindowRect(hwnd, &area)) {
            POINT corners[2] = {{area.left, area.top}, {area.right, area.bottom}};
            ScreenToClient(top, &corners[0]);
            ScreenToClient(top, &corners[1]);
            RECT client = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
            RedrawWindow(top, &client, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        }
    }
    if (image != nullptr) {
        int32_t width = 0;
        int32_t height = 0;
        int32_t depth = 0;
        // An image whose size cannot be read leaves the control's size as it is.
        if (Img_Measure(image, &width, &height, &depth)) {
            if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) {
                width += 4;
                height += 4;
            }
            SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
    }
    return reinterpret_cast<LRESULT>(image);
}

// Draws the image at the client origin in its own size.
void PaintImage(HDC dc, HANDLE image) {
    if (dc == nullptr || image == nullptr) {
        return;
    }
    UINT type = GetObjectType(image) == OBJ_BITMAP ? DST_BITMAP : DST_ICON;
    DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(image), 0, 0, 0, 0, 0, type | DSS_NORMAL);
}

// Signed client coordinates packed in a mouse message.
int LowSigned(intptr_t packed) {
    return static_cast<short>(packed & 0xFFFF);
}
int HighSigned(intptr_t packed) {
    return static_cast<short>((packed >> 16) & 0xFFFF);
}

// GetState of the kind: the image shown.
intptr_t ImageGetState(ControlRecord* record) {
    return SendMessageW(record->hwnd, STM_GETIMAGE, 0, 0);
}

// SetState of the kind: shows another image (null shows nothing).
void ImageSetState(ControlRecord* record, intptr_t value) {
    SendMessageW(record->hwnd, STM_SETIMAGE, 0, static_cast<LPARAM>(value));
}

constexpr ControlKind kImageKind = {
    CTL_KIND_IMAGE, nullptr, nullptr, ImageGetState, ImageSetState, nullptr, nullptr, nullptr,
};

} // namespace

// ---- Public functions ----

LRESULT CALLBACK ImageControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlRecord* record = Ctl_RecordOf(hwnd);
    switch (message) {
        case STM_SETIMAGE:
        case STM_SETICON: {
            if (record == nullptr) {
                return 0; // not registered yet: nowhere to keep the image
            }
            HANDLE image = reinterpret_cast<HANDLE>(lParam);
            return SetImage(hwnd, record, image);
        }
        case STM_GETIMAGE:
        case STM_GETICON:
            return reinterpret_cast<LRESULT>(StoredImage(record));
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc == nullptr) {
                // Validate anyway, or the window would be asked to paint again and again.
                ValidateRect(hwnd, nullptr);
                return 0;
            }
            PaintImage(dc, StoredImage(record));
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINT: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            PaintImage(dc, StoredImage(record));
            return 0;
        }
        case WM_ENABLE:
            // The image looks the same either way; just repaint.
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            return 0;
        case WM_LBUTTONDOWN:
            if (record != nullptr) {
                record->wordB = 1;
                record->wordC = static_cast<intptr_t>(static_cast<uint32_t>(lParam));
                SetCapture(hwnd);
            }
            break;
        case WM_MOUSEMOVE:
            if (record != nullptr && record->wordB != 0) {
                const int dx = LowSigned(lParam) - LowSigned(record->wordC);
                const int dy = HighSigned(lParam) - HighSigned(record->wordC);
                const int limitX = g_dragX.load() != 0 ? g_dragX.load() : kDefaultDrag;
                const int limitY = g_dragY.load() != 0 ? g_dragY.load() : kDefaultDrag;
                if (dx < -limitX || dx > limitX || dy < -limitY || dy > limitY) {
                    record->wordB = 0;
                    ReleaseCapture();
                    PostControlEvent(hwnd, CTL_EVENT_DRAGSTART);
                }
            }
            break;
        case WM_LBUTTONUP:
            if (record != nullptr && record->wordB != 0) {
                record->wordB = 0;
                ReleaseCapture();
            }
            break;
        case WM_LBUTTONDBLCLK:
            // Kept from the class, so the parent gets no STN_DBLCLK.
            PostControlEvent(hwnd, CTL_EVENT_LEFTDOUBLECLICK);
            return 0;
        case WM_RBUTTONUP:
            if (!g_rightDoubleClickSeen.exchange(false)) {
                PostControlEvent(hwnd, CTL_EVENT_RIGHTCLICK);
            }
            return 0;
        case WM_RBUTTONDBLCLK:
            PostControlEvent(hwnd, CTL_EVENT_RIGHTDOUBLECLICK);
            g_rightDoubleClickSeen.store(true);
            return 0;
        default:
            break;
    }
    return PassOn(hwnd, message, wParam, lParam);
}

// ---- Shared with the control kinds ----

const ControlKind* ImageCtl_Kind() {
    return &kImageKind;
}

void ImageCtl_Install(HWND hwnd) {
    if (!g_dragRead.exchange(true)) {
        g_dragX.store(GetSystemMetrics(SM_CXDRAG));
        g_dragY.store(GetSystemMetrics(SM_CYDRAG));
    }
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ImageControlProc)));
    if (previous != nullptr && previous != ImageControlProc) {
        g_classProc.store(previous);
    }
}

bool ImageCtl_RightDoubleClickSeen() {
    return g_rightDoubleClickSeen.load();
}
