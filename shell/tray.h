// Numbered icons in the notification area (tray). Each icon reports its clicks to its
// owner window as MSG_TRAY_NOTIFY, which the window procedure turns into EVENT_TRAY.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "core/objtable.h"
#include "window/winproc.h" // MSG_TRAY_NOTIFY, the callback message of every icon

// Longest tip in characters; longer tips are cut.
constexpr int32_t TRAY_TIP_MAX = 63;

// One icon. The first field marks the slot as used.
struct TrayRecord {
    HWND owner; // window that receives the icon's notifications
};

// Signature of Shell_NotifyIconW, so that tests can watch the requests.
typedef BOOL(WINAPI* TrayNotifyProc)(DWORD message, PNOTIFYICONDATAW data);

// ---- Public functions ----

// Creates the tray table. Safe to call again (keeps what exists).
void Tray_Init();

// Shows icon for window under number; an icon already holding the number is removed first.
// Returns non-zero (the identifier for OBJ_ANY) on success, 0 on failure. A null window or
// icon is refused without touching the table.
ObjId Tray_Add(ObjId number, HWND window, HICON icon);

// Sets the tool tip (a 1252 text; at most TRAY_TIP_MAX characters are used). Returns the shell's result, or 0
// when there is no such icon or no text.
int32_t Tray_SetTip(ObjId number, const char* text);

// Removes the icon (also the table's release routine).
void Tray_Remove(ObjId number);

// Removes every icon: numbered ones in ascending order, then the others.
void Tray_ReleaseAll();

// ---- Test support ----

// Replaces the function that carries the requests to the shell (null restores
// Shell_NotifyIconW). Returns the previous one.
TrayNotifyProc Tray_SetNotifyProc(TrayNotifyProc proc);
