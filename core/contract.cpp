// Counts of the thread contract's breaches, one per rule.
#include "core/contract.h"

#include <windows.h>

namespace {

volatile LONG g_counts[CONTRACT_RULE_COUNT];

} // namespace

// ---- Public functions ----

// One breach more; a debug build stops in an attached debugger at the place of the breach.
void Contract_Report(ContractRule rule) {
    if (rule < 0 || rule >= CONTRACT_RULE_COUNT) {
        return;
    }
    InterlockedIncrement(&g_counts[rule]);
#ifndef NDEBUG
    if (IsDebuggerPresent()) {
        DebugBreak();
    }
#endif
}

int32_t Contract_Count(ContractRule rule) {
    if (rule < 0 || rule >= CONTRACT_RULE_COUNT) {
        return 0;
    }
    return static_cast<int32_t>(InterlockedCompareExchange(&g_counts[rule], 0, 0));
}
