// Helpers shared by the shell service tests.
#include "shell/shell_support.h"

namespace shelltest {

void InitToolkit() {
    TestToolkit_Init();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void PumpQuiet(DWORD quietMs, DWORD maxMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < maxMs) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, quietMs, QS_ALLINPUT) == WAIT_TIMEOUT)
            return;
    }
}

} // namespace shelltest
