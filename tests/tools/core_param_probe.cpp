// Probe for the parameter tests: prints parameters 0 to 5 of its own command line, one per
// line, each enclosed in brackets.
#include <cstdio>

#include "core/params.h"
#include "core/strings.h"

int main() {
    Str_Init();
    for (int32_t i = 0; i < 6; ++i) {
        int32_t start = Scratch_Pos();
        Param_Get(i, start);
        std::printf("[%s]\n", Scratch_Ptr(start));
        Scratch_SetPos(start);
    }
    return 0;
}
