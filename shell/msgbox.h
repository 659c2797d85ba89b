// Message boxes that are modal for every window of the calling thread, not only for their
// owner, and the start-up initialisation of the common controls and COM.
#pragma once

#include <windows.h>

#include <cstdint>

// One window that a message box disabled (payload of a record in the disabled-window list).
struct DisabledWindow {
    DWORD threadId; // the thread whose box disabled the window
    HWND window;
    const void* box; // the Msg_Box call that disabled it (a nested box enables only its own)
};

// ---- Public functions ----

// InitCommonControls, then CoInitialize(NULL) on the calling thread.
void Msg_Init();

// Shows MessageBoxW(owner, text, title, flags) with all other visible, enabled top-level
// windows of the calling thread disabled while it is open; exactly those are enabled again
// afterwards. Returns MessageBoxW's result (0 on failure).
int32_t Msg_Box(const char* title, const char* text, uint32_t flags);

// ---- Diagnostics ----

// Number of records in the disabled-window list that belong to thread threadId, or to
// every thread when threadId is 0.
int32_t Msg_DisabledCount(DWORD threadId);
