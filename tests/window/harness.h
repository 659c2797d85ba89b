// Test harness for the window and control tests: the host window, bounded message pumping through the
// toolkit's own event pump, and small helpers to drive windows.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "common/harness_common.h"
#include "common/host_window.h"
#include "controls/control.h"
#include "core/objtable.h"
#include "core/strings.h"
#include "core/threads.h"
#include "window/events.h"
#include "window/window.h"

// Calls Win_WaitEvent until no message arrives for quietMs (bounded by maxMs) and returns
// every code it produced.
inline std::vector<int32_t> Tk_Drain(DWORD quietMs = 60, DWORD maxMs = 3000) {
    return Test_DrainEvents(quietMs, maxMs);
}

// Flushes the calling thread's queue (and its queued window events).
inline void Tk_Pump(DWORD quietMs = 60) {
    Tk_Drain(quietMs);
}

// Holds keys down in the thread's key state (as TranslateAcceleratorA reads it) for a scope.
class Tk_KeysDown {
  public:
    explicit Tk_KeysDown(std::vector<int> keys) {
        GetKeyboardState(saved_);
        BYTE state[256];
        GetKeyboardState(state);
        for (int vk : keys) {
            state[vk] |= 0x80;
        }
        SetKeyboardState(state);
    }
    ~Tk_KeysDown() {
        SetKeyboardState(saved_);
    }
    Tk_KeysDown(const Tk_KeysDown&) = delete;
    Tk_KeysDown& operator=(const Tk_KeysDown&) = delete;

  private:
    BYTE saved_[256];
};

// Number of entries of an accelerator table, 0 for a destroyed or null one.
inline int Tk_AccelCount(HACCEL table) {
    return table != nullptr ? CopyAcceleratorTableA(table, nullptr, 0) : 0;
}

// Entries of an accelerator table.
inline std::vector<ACCEL> Tk_AccelEntries(HACCEL table) {
    std::vector<ACCEL> entries(static_cast<size_t>(Tk_AccelCount(table)));
    if (!entries.empty()) {
        CopyAcceleratorTableA(table, entries.data(), static_cast<int>(entries.size()));
    }
    return entries;
}

// True if the class name is registered for this program.
inline bool Tk_ClassExists(const char* name) {
    WNDCLASSA wc;
    return GetClassInfoA(GetModuleHandleA(nullptr), name, &wc) != FALSE;
}

// Class name of a window number.
inline std::string Tk_ClassName(ObjId number) {
    char buf[40];
    Win_ClassName(number, buf, sizeof buf);
    return buf;
}
