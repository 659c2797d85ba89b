// Per-thread slots: the fiber-local index is allocated once, on first use. Out of line, so that
// every use costs one call rather than a copy of the set-up.
#include "core/tls.h"

namespace {

// What the one-time allocation needs: the slot and the routine for a thread's value at its end.
struct AllocateRequest {
    DWORD* indexPlusOne;
    PFLS_CALLBACK_FUNCTION onThreadEnd;
};

} // namespace

// The calling thread's value, null until it sets one.
void* ThreadSlotBase::GetValue(PFLS_CALLBACK_FUNCTION onThreadEnd) {
    const DWORD index = Index(onThreadEnd);
    return index == FLS_OUT_OF_INDEXES ? nullptr : FlsGetValue(index);
}

// Stores the calling thread's value; false if no slot could be had.
bool ThreadSlotBase::SetValue(void* value, PFLS_CALLBACK_FUNCTION onThreadEnd) {
    const DWORD index = Index(onThreadEnd);
    return index != FLS_OUT_OF_INDEXES && FlsSetValue(index, value) != FALSE;
}

// The slot's index, allocated by the first caller.
DWORD ThreadSlotBase::Index(PFLS_CALLBACK_FUNCTION onThreadEnd) {
    AllocateRequest request = {&indexPlusOne_, onThreadEnd};
    InitOnceExecuteOnce(&once_, &ThreadSlotBase::Allocate, &request, nullptr);
    return indexPlusOne_ - 1;
}

// Allocates the index (once), with the slot's routine for a thread's value at its end.
BOOL CALLBACK ThreadSlotBase::Allocate(PINIT_ONCE, PVOID request, PVOID*) {
    auto* r = static_cast<AllocateRequest*>(request);
    *r->indexPlusOne = FlsAlloc(r->onThreadEnd) + 1;
    return TRUE;
}
