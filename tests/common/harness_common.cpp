// Helpers shared by the test programs of every subsystem.
#include "common/harness_common.h"

#include "controls/control.h"
#include "core/objtable.h"
#include "core/strings.h"
#include "core/threads.h"
#include "window/events.h"
#include "window/window.h"

// Initialises the toolkit modules once per process.
void TestToolkit_Init() {
    static bool done = false;
    if (done)
        return;
    done = true;
    Heap_CreateMain();
    Str_Init();
    List_Init();
    Thread_Init();
    Win_Init();
    Ctl_Init();
}

// Drains the calling thread's events until quiet, bounded.
std::vector<int32_t> Test_DrainEvents(DWORD quietMs, DWORD maxMs,
                                      const std::function<void(int32_t)>& onEvent) {
    std::vector<int32_t> codes;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < maxMs) {
        const int32_t code = Win_WaitEvent(static_cast<int32_t>(quietMs));
        if (code == 0)
            break;
        codes.push_back(code);
        if (onEvent)
            onEvent(code);
    }
    return codes;
}

// Folder of the running program.
std::string Test_ExeDir() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    const size_t slash = dir.find_last_of('\\');
    return slash == std::string::npos ? dir : dir.substr(0, slash);
}
