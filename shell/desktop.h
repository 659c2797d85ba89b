// Environment queries: the displays attached to the desktop (primary display first) and the
// size of a file.
#pragma once

#include <windows.h>

#include <cstdint>

// One display. Entry 0 of the table is the primary display.
struct DisplayRecord {
    int16_t width;
    int16_t height;
    uint16_t frequency; // refresh rate in hertz; 0 for the hardware default
    uint16_t depth;     // bits per pixel
    char name[32];      // device name; empty when measured through the fallback
};

// File_QuerySize results besides a size.
constexpr int64_t FILE_SIZE_MISSING = -1;
constexpr int64_t FILE_SIZE_DIRECTORY = -2; // a directory or a drive

// Signatures of the display enumeration, so that tests can stand in for the platform.
typedef BOOL(WINAPI* DeskEnumDevicesProc)(LPCSTR device, DWORD index, PDISPLAY_DEVICEA info, DWORD flags);
typedef BOOL(WINAPI* DeskEnumSettingsProc)(LPCSTR device, DWORD mode, DEVMODEA* settings);

// ---- Public functions ----

// (Re)builds the display table; returns the number of displays found (0 if none could be
// measured). At start-up only: a Desk_Width on another thread meanwhile is not guarded against.
int32_t Desk_Examine();

// Width of display index in 96-DPI units (its pixels at 100 %; at another scale the smallest
// width that scales back to all its pixels), or 0 for an index outside the table.
int32_t Desk_Width(int32_t index);

// Frees the library loaded for the display enumeration.
void Desk_Release();

// Size in bytes of the file at path; FILE_SIZE_MISSING when nothing exists there (also for a
// null or empty path), FILE_SIZE_DIRECTORY for a directory or a drive.
int64_t File_QuerySize(const char* path);

// ---- Test support ----

// Desk_Examine with the given enumeration functions instead of the platform's (a null
// enumDevices measures through the fallback).
int32_t Desk_ExamineWith(DeskEnumDevicesProc enumDevices, DeskEnumSettingsProc enumSettings);

// Record of display index, or null for an index outside the table.
const DisplayRecord* Desk_Display(int32_t index);
