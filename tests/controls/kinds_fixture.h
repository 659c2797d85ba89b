// Shared set-up of the control-kind and image-control tests: toolkit start-up, the host
// window, bounded pumping through the toolkit's event pump that collects control events,
// a recorder of the messages the host window receives, and in-memory images.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "common/harness_common.h"
#include "common/host_window.h"
#include "controls/control.h"
#include "controls/images.h"
#include "controls/kinds.h"
#include "core/objtable.h"
#include "core/strings.h"
#include "window/events.h"
#include "window/window.h"

// One EVENT_CONTROL as the pump reported it.
struct CtlEvent {
    ObjId control;
    int32_t type;
    bool operator==(const CtlEvent& other) const {
        return control == other.control && type == other.type;
    }
};

inline std::ostream& operator<<(std::ostream& out, const CtlEvent& e) {
    return out << "(" << static_cast<long long>(e.control) << ", " << e.type << ")";
}

// Initialises the toolkit modules once per process.
inline void Kinds_InitToolkit() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    TestToolkit_Init();
    Decoder_Reset();
    Img_Init();
}

// Runs the pump until nothing arrives for quietMs (at most maxMs) and returns the control
// events it produced, in order.
inline std::vector<CtlEvent> Kinds_Pump(DWORD quietMs = 80, DWORD maxMs = 3000) {
    std::vector<CtlEvent> events;
    Test_DrainEvents(quietMs, maxMs, [&events](int32_t code) {
        if (code == EVENT_CONTROL) {
            events.push_back({Event_Control(), Event_Type()});
        }
    });
    return events;
}

// The window of a handle as the toolkit returns it.
inline HWND H(ObjId handle) {
    return reinterpret_cast<HWND>(handle);
}

// Control events of one control only.
inline std::vector<CtlEvent> Kinds_Of(const std::vector<CtlEvent>& events, ObjId control) {
    std::vector<CtlEvent> out;
    for (const CtlEvent& e : events) {
        if (e.control == control) {
            out.push_back(e);
        }
    }
    return out;
}

// Records messages of interest that reach a window, then hands them to its procedure.
class MessageRecorder {
  public:
    struct Entry {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    explicit MessageRecorder(HWND hwnd) : hwnd_(hwnd) {
        SetPropA(hwnd_, "KindsRecorder", this);
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageRecorder::Proc)));
    }
    ~MessageRecorder() {
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropA(hwnd_, "KindsRecorder");
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // WM_COMMAND notification codes that came from the control with this ID.
    std::vector<int> Notifications(ObjId id) const {
        std::vector<int> codes;
        for (const Entry& e : entries) {
            if (e.message == WM_COMMAND && static_cast<ObjId>(static_cast<int16_t>(LOWORD(e.wParam))) == id) {
                codes.push_back(HIWORD(e.wParam));
            }
        }
        return codes;
    }
    int Count(UINT message) const {
        int n = 0;
        for (const Entry& e : entries) {
            n += e.message == message ? 1 : 0;
        }
        return n;
    }

    std::vector<Entry> entries;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<MessageRecorder*>(GetPropA(hwnd, "KindsRecorder"));
        if (self == nullptr) {
            return DefWindowProcA(hwnd, message, wParam, lParam);
        }
        if (message == WM_COMMAND || message == WM_PAINT || message == WM_ERASEBKGND ||
            message == WM_CONTEXTMENU) {
            self->entries.push_back({message, wParam, lParam});
        }
        return CallWindowProcA(self->previous_, hwnd, message, wParam, lParam);
    }

    HWND hwnd_;
    WNDPROC previous_ = nullptr;
};

// A 32-bit top-down DIB section of one colour.
inline HBITMAP Kinds_SolidBitmap(int width, int height, COLORREF colour) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr) {
        auto* p = static_cast<uint32_t*>(bits);
        const uint32_t bgra = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        for (int i = 0; i < width * height; ++i) {
            p[i] = bgra;
        }
    }
    return bitmap;
}

// An opaque icon of one colour.
inline HICON Kinds_SolidIcon(int size, COLORREF colour) {
    HBITMAP colourBitmap = Kinds_SolidBitmap(size, size, colour);
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr); // all zero: opaque everywhere
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmColor = colourBitmap;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colourBitmap);
    DeleteObject(mask);
    return icon;
}

// Window rectangle of a control in its parent's client coordinates.
inline RECT Kinds_RectInParent(HWND control) {
    RECT r = {};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Base fixture: the toolkit with the images and, for the whole suite, a host window 0 in the foreground
// that receives new controls.
inline constexpr HostWindow kKindsHost = {
    0, 50, 50, 480, 360, "Kinds", WIN_DEFAULT_FLAGS, kHostForeground | kHostControls | kHostPerSuite, 80, 30};

class KindsTest : public HostWindowTest<kKindsHost> {
  protected:
    static void SetUpTestSuite() {
        Kinds_InitToolkit();
        HostWindowTest::SetUpTestSuite();
    }
};
