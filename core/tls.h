// Per-thread slots on the system's fiber-local storage.
//
// MinGW's thread_local goes through emulated TLS, which links the winpthread library into the
// program; these slots need nothing but kernel32. A slot is allocated on first use (thread-safe,
// constant-initialised, so it may be a global) and may name a routine that frees a thread's value
// when that thread ends.
#pragma once

#include <windows.h>

// The slot's state and its out-of-line work. It starts as all zero bytes (the index is kept plus one), so
// slots take no room in the program file; the routine for a thread's value is given by the template.
class ThreadSlotBase {
  protected:
    void* GetValue(PFLS_CALLBACK_FUNCTION onThreadEnd);
    bool SetValue(void* value, PFLS_CALLBACK_FUNCTION onThreadEnd);

  private:
    DWORD Index(PFLS_CALLBACK_FUNCTION onThreadEnd);
    static BOOL CALLBACK Allocate(PINIT_ONCE, PVOID request, PVOID*);

    INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
    DWORD indexPlusOne_ = 0; // FLS_OUT_OF_INDEXES + 1 wraps to 0: "none" as well
};

// OnThreadEnd, when given, frees a thread's value when that thread ends.
template <PFLS_CALLBACK_FUNCTION OnThreadEnd = nullptr> class ThreadSlot : ThreadSlotBase {
  public:
    // The calling thread's value, null until it sets one.
    void* Get() {
        return GetValue(OnThreadEnd);
    }

    // Stores the calling thread's value; false if no slot could be had.
    bool Set(void* value) {
        return SetValue(value, OnThreadEnd);
    }
};
