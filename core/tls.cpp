// Per-thread slots: the fiber-local index is allocated once, on first use. Out of line, so that
// every use costs one call rather than a copy of the set-up.
#include "core/tls.h"

// The calling thread's value, null until it sets one.
void* ThreadSlot::Get() {
    const DWORD index = Index();
    return index == FLS_OUT_OF_INDEXES ? nullptr : FlsGetValue(index);
}

// Stores the calling thread's value; false if no slot could be had.
bool ThreadSlot::Set(void* value) {
    const DWORD index = Index();
    return index != FLS_OUT_OF_INDEXES && FlsSetValue(index, value) != FALSE;
}

// The slot's index, allocated by the first caller.
DWORD ThreadSlot::Index() {
    InitOnceExecuteOnce(&once_, &ThreadSlot::Allocate, this, nullptr);
    return index_;
}

// Allocates the index (once), with the slot's routine for a thread's value at its end.
BOOL CALLBACK ThreadSlot::Allocate(PINIT_ONCE, PVOID self, PVOID*) {
    ThreadSlot* slot = static_cast<ThreadSlot*>(self);
    slot->index_ = FlsAlloc(slot->onThreadEnd_);
    return TRUE;
}
