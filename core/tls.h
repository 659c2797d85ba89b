// Per-thread slots on the system's fiber-local storage.
//
// MinGW's thread_local goes through emulated TLS, which links the winpthread library into the
// program; these slots need nothing but kernel32. A slot is allocated on first use (thread-safe,
// constant-initialised, so it may be a global) and may name a routine that frees a thread's value
// when that thread ends.
#pragma once

#include <windows.h>

class ThreadSlot {
  public:
    constexpr explicit ThreadSlot(PFLS_CALLBACK_FUNCTION onThreadEnd = nullptr) : onThreadEnd_(onThreadEnd) {}

    // The calling thread's value, null until it sets one.
    void* Get();

    // Stores the calling thread's value; false if no slot could be had.
    bool Set(void* value);

  private:
    DWORD Index();
    static BOOL CALLBACK Allocate(PINIT_ONCE, PVOID self, PVOID*);

    INIT_ONCE once_ = INIT_ONCE_STATIC_INIT;
    DWORD index_ = FLS_OUT_OF_INDEXES;
    PFLS_CALLBACK_FUNCTION onThreadEnd_;
};
