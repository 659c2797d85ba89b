// Progress on a window's taskbar button (the shell's ITaskbarList3): the share of a long task already done,
// drawn as the green filling that copies and downloads show. The object is a single-threaded COM object:
// only the thread that made it calls it, so every operation on another thread does nothing.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

// Signature of a test's stand-in for the taskbar object: SetProgressValue(window, completed, total) when
// state is TBPF_NORMAL, else SetProgressState(window, state).
typedef HRESULT (*TaskbarProc)(HWND window, TBPFLAG state, ULONGLONG completed, ULONGLONG total);

// ---- Public functions ----

// Answers the shell's registered "TaskbarButtonCreated": the window's button exists (again). Makes the
// taskbar object on the calling thread at the first answer and shows the window's progress again, which a
// new button has lost. Returns 1 when the object is there, 0 where the system has none.
int32_t Taskbar_Attach(HWND window);

// Shows completed out of total on the window's button in the normal state; a total of 0 clears it. Kept
// for the next Taskbar_Attach; shown at once only while the window is visible after an attach. Returns 1
// when the object was called.
int32_t Taskbar_SetProgress(HWND window, uint32_t completed, uint32_t total);

// The program's end: clears a progress still shown and lets go of the object (on its thread only).
void Taskbar_Release();

// ---- Test support ----

// Replaces the taskbar object by proc (null restores the object). Returns the previous stand-in.
TaskbarProc Taskbar_SetProc(TaskbarProc proc);
