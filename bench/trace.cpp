// The start-up trace of the benchmark builds (app/trace.h): marks in memory, written once as "step µs" lines,
// the time measured from the process's creation with the system's precise clock. Only Win32 calls: the
// programs start without the C runtime's start-up, which its stdio would need.
#include "app/trace.h"

#include <windows.h>

namespace {

constexpr int kMaxMarks = 64;

struct Mark {
    const char* step;
    FILETIME at;
};
Mark g_marks[kMaxMarks];
volatile LONG g_count = 0; // marks taken, also past kMaxMarks; the countdown's thread marks too

// 100-nanosecond ticks of a file time.
unsigned long long Ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

// Records the time of a step's end.
void Trace_Mark(const char* step) {
    const LONG index = InterlockedIncrement(&g_count) - 1;
    if (index < kMaxMarks) {
        g_marks[index].step = step;
        GetSystemTimePreciseAsFileTime(&g_marks[index].at);
    }
}

// Writes every mark as microseconds since the process was created.
void Trace_Write() {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("NACHTRIEGEL_TRACE", path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return;
    }
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return;
    }
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return;
    }
    for (int i = 0; i < g_count && i < kMaxMarks; ++i) {
        char line[96];
        const unsigned long micros = static_cast<unsigned long>((Ticks(g_marks[i].at) - Ticks(created)) / 10);
        const int length = wsprintfA(line, "%s %lu\n", g_marks[i].step, micros);
        DWORD written = 0;
        WriteFile(out, line, static_cast<DWORD>(length), &written, nullptr);
    }
    CloseHandle(out);
}
