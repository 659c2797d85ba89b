// Display scale: the application and its tables speak in 96-DPI units (one unit is one pixel at
// 100 %); the toolkit converts them to pixels where it creates, moves and sizes windows and
// controls, and back where it hands platform measures to the application. The display's DPI is
// read once, at start-up, and kept for the life of the process; each window has its own DPI, that
// of its monitor, which Windows 10 (1703 and later) may change while the window lives.
#pragma once

#include <windows.h>

#include <stdint.h>

// The DPI at which one unit is one pixel (USER_DEFAULT_SCREEN_DPI, checked in dpi.cpp).
constexpr int32_t DPI_BASE = 96;

// ---- Public functions ----

// The display's DPI (LOGPIXELSY of the screen), read on the first call: it is the system DPI, the primary
// display's scale at sign-in, which does not change while the program runs.
int32_t Dpi_Get();

// Units to pixels at the display's DPI (Dpi_ScaleAt).
int32_t Dpi_Scale(int32_t units);

// Pixels to units at the display's DPI (Dpi_UnscaleAt).
int32_t Dpi_Unscale(int32_t pixels);

// The DPI of a window as the system sees it (that of its monitor on Windows 10 1607 and later);
// the display's DPI where the system has no DPI per window.
int32_t Dpi_OfWindow(HWND hwnd);

// AdjustWindowRectEx with the frame and menu bar of the DPI (only the display's DPI where the
// system cannot measure frames for another one).
void Dpi_AdjustRect(RECT* rect, DWORD style, BOOL menu, DWORD exStyle, int32_t dpi);

// ---- The rounding rule ----

// units x dpi / 96, rounded to the nearest pixel, halves away from zero.
int32_t Dpi_ScaleAt(int32_t units, int32_t dpi);

// The smallest number of units whose scaled value reaches the pixels: scaled back it is never
// short of them (a display's width stays covered), and a scaled value comes back unchanged.
int32_t Dpi_UnscaleAt(int32_t pixels, int32_t dpi);
