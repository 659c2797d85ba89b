// Per-thread slots on the system's fiber-local storage.
//
// MinGW's thread_local goes through emulated TLS, which links the winpthread library into the
// program; these slots need nothing but kernel32. A slot is allocated on first use (thread-safe,
// constant-initialised, so it may be a global) and may name a routine that frees a thread's value
// when that thread ends.
#pragma once

#include <windows.h>

// OnThreadEnd, when given, frees a thread's value when that thread ends. The slot starts as all zero bytes
// (its index is kept plus one), so slots take no room in the program file.
template <PFLS_CALLBACK_FUNCTION OnThreadEnd = nullptr> class ThreadSlot {
  public:
    // The calling thread's value, null until it sets one.
    void* Get() {
        const DWORD index = Index();
        return index == FLS_OUT_OF_INDEXES ? nullptr : FlsGetValue(index);
    }

    // Stores the calling thread's value; false if no slot could be had.
    bool Set(void* value) {
        const DWORD index = Index();
        return index != FLS_OUT_OF_INDEXES && FlsSetValue(index, value) != FALSE;
    }

  private:
    DWORD Index() {
        InitOnceExecuteOnce(&once_, &ThreadSlot::Allocate, this, nullptr);
        return indexPlusOne_ - 1;
    }

    static BOOL CALLBACK Allocate(PINIT_ONCE, PVOID self, PVOID*) {
        static_cast<ThreadSlot*>(self)->indexPlusOne_ = FlsAlloc(OnThreadEnd) + 1;
        return TRUE;
    }

    INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
    DWORD indexPlusOne_ = 0; // FLS_OUT_OF_INDEXES + 1 wraps to 0: "none" as well
};
