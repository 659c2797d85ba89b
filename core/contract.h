// The thread contract's breaches. Where a rule of the toolkit's thread contract (written down in
// docs/ARCHITECTURE.md) can be broken by a caller, the toolkit refuses the step and reports it here.
// A report only counts (and, in a debug build under a debugger, stops there), so it is harmless in
// the product; tests read the counts to see that a breach was caught.
#pragma once

#include <cstdint>

// The rules that are checked where they can be broken.
enum ContractRule : int32_t {
    CONTRACT_TABLE_GROWTH = 0,  // a table that another thread has used would have moved its slots
    CONTRACT_SCRATCH_FRAME = 1, // a text frame ended below its start: outer text was dropped
    CONTRACT_RULE_COUNT = 2,
};

// ---- Public functions ----

// Reports a breach of rule (one count more).
void Contract_Report(ContractRule rule);

// Number of breaches of rule reported so far in this process.
int32_t Contract_Count(ContractRule rule);
