// Display scale: the DPI read once from the screen, and the one rounding rule by which the
// toolkit turns 96-DPI units into pixels and pixels back into units.
#include "window/dpi.h"

#include <windows.h>

#include <atomic>

static_assert(DPI_BASE == USER_DEFAULT_SCREEN_DPI, "one unit is one pixel at the platform's default DPI");

namespace {

// Font sizes are given in points, 72 to the inch.
constexpr int32_t kPointsPerInch = 72;

// 0 until the first Dpi_Get; read by every thread that creates or moves a window.
std::atomic<int32_t> g_dpi{0};

} // namespace

// ---- Public operations ----

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

// Units to pixels at the display's DPI.
int32_t Dpi_Scale(int32_t units) {
    return Dpi_ScaleAt(units, Dpi_Get());
}

// Pixels to units at the display's DPI.
int32_t Dpi_Unscale(int32_t pixels) {
    return Dpi_UnscaleAt(pixels, Dpi_Get());
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

// Pixels to points, to the nearest, halves down (Wine scales the 96-DPI height instead of the points,
// -17 at 144 DPI, which is 8.5 pt), then the points at 96 DPI to the nearest pixel (4/3 of a point).
int32_t Dpi_FontBaseHeight(int32_t pixels, int32_t dpi) {
    if (dpi <= 0) {
        return pixels;
    }
    const int32_t points = (2 * kPointsPerInch * pixels + dpi - 1) / (2 * dpi);
    return (2 * DPI_BASE * points + kPointsPerInch) / (2 * kPointsPerInch);
}
