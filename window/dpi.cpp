// Display scale: the DPI read once from the screen, the DPI of a window and its frame at a DPI,
// and the one rounding rule by which the toolkit turns 96-DPI units into pixels and pixels back
// into units.
#include "window/dpi.h"

#include <atomic>

static_assert(DPI_BASE == USER_DEFAULT_SCREEN_DPI, "one unit is one pixel at the platform's default DPI");

namespace {

// 0 until the first Dpi_Get; read by every thread that creates or moves a window.
std::atomic<int32_t> g_dpi{0};

typedef UINT(WINAPI* DpiForWindowProc)(HWND hwnd);
typedef BOOL(WINAPI* AdjustForDpiProc)(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi);

// A function of user32 that only Windows 10 has, looked up at run time in the module the program
// imports anyway, so that the program still loads on Windows 7, 8 and 8.1; null there.
void (*NewerUser32(const char* name))(void) {
    // Through void (*)(void): the documented way to convert a FARPROC without a cast-function-type warning.
    return reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleA("user32.dll"), name));
}

} // namespace

// ---- Public functions ----

// The screen's DPI, read once; 96 when it cannot be read.
int32_t Dpi_Get() {
    int32_t dpi = g_dpi.load(std::memory_order_relaxed);
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen != nullptr) {
            ReleaseDC(nullptr, screen);
        }
        if (dpi <= 0) {
            dpi = DPI_BASE;
        }
        g_dpi.store(dpi, std::memory_order_relaxed);
    }
    return dpi;
}

int32_t Dpi_Scale(int32_t units) {
    return Dpi_ScaleAt(units, Dpi_Get());
}

int32_t Dpi_Unscale(int32_t pixels) {
    return Dpi_UnscaleAt(pixels, Dpi_Get());
}

int32_t Dpi_OfWindow(HWND hwnd) {
    auto query = reinterpret_cast<DpiForWindowProc>(NewerUser32("GetDpiForWindow"));
    const int32_t dpi = query != nullptr ? static_cast<int32_t>(query(hwnd)) : 0;
    return dpi > 0 ? dpi : Dpi_Get();
}

// AdjustWindowRectExForDpi (Windows 10 1607) measures the frame at any DPI; AdjustWindowRectEx only
// at the display's, which is all that a system without the former ever shows.
void Dpi_AdjustRect(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, int32_t dpi) {
    auto adjust = reinterpret_cast<AdjustForDpiProc>(NewerUser32("AdjustWindowRectExForDpi"));
    if (adjust == nullptr || !adjust(rect, style, menu, exStyle, static_cast<UINT>(dpi))) {
        AdjustWindowRectEx(rect, style, menu, exStyle);
    }
}

// ---- The rounding rule ----

// units x dpi / 96 to the nearest integer (MulDiv rounds halves away from zero).
int32_t Dpi_ScaleAt(int32_t units, int32_t dpi) {
    if (dpi == DPI_BASE || dpi <= 0) {
        return units;
    }
    return MulDiv(units, dpi, DPI_BASE);
}

// The smallest units that scale to at least the pixels. Above 96 DPI the nearest value is at most
// one short; below, several units may share a pixel value and the search walks down to the first.
int32_t Dpi_UnscaleAt(int32_t pixels, int32_t dpi) {
    if (dpi == DPI_BASE || dpi <= 0) {
        return pixels;
    }
    int32_t units = MulDiv(pixels, DPI_BASE, dpi);
    while (Dpi_ScaleAt(units, dpi) < pixels) {
        ++units;
    }
    while (Dpi_ScaleAt(units - 1, dpi) >= pixels) {
        --units;
    }
    return units;
}
