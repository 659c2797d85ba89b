// Benchmark and picture driver: starts a program (Nachtriegel.exe or the baseline), waits until its
// main window is visible and idle, measures, works its controls through window messages, and ends it
// with Esc. One measurement per run; results are printed as one line of key=value pairs.
//
//   driver startup  EXE [ARGS]              start-up time and peak resident memory
//   driver idle     EXE SECONDS [ARGS]      CPU time and thread wake-ups over SECONDS while running
//   driver accuracy EXE FIELD RECORDFILE [STALL_MS]
//                                           time from "Starten" to the start of the final command; with
//                                           STALL_MS, the main thread is suspended that long at every step
//   driver banner   EXE                     timing of the first warning banner's slide
//   driver pose     EXE STATE READY DONE    set up a picture (idle|countdown|warnung|tray), write READY,
//                                           wait for DONE, end
//
// Paths may be given as Linux paths; they are mapped to drive Z:. Memory and wake-ups are read from the
// Linux side (/proc/<pid>/status through drive Z:), since Wine does not report working sets.

#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// ---- Internal data ----

constexpr int32_t ID_TASKS = 7;
constexpr int32_t ID_TIME = 9;
constexpr int32_t ID_START = 12;
constexpr int32_t ID_BANNER_BOX = 17;
constexpr int32_t ID_LAST_CONTROL = 18;
// The tray icon's callback message to the main window.
constexpr UINT MSG_TRAY_NOTIFY = 12501;
constexpr DWORD WINDOW_TIMEOUT_MS = 15000;

// A started program and what the driver found out about it.
struct Target {
    PROCESS_INFORMATION pi;
    HWND main;
    int unixPid;
    double startMs; // clock value right before CreateProcess
    char exe[MAX_PATH];
};

// What /proc tells about a process (all threads together for the switches).
struct ProcStatus {
    long vmHwmKb;
    long vmRssKb;
    long threads;
    long long switches;
};

LARGE_INTEGER g_frequency;

// ---- Internal functions ----

// Milliseconds of a monotonic high-resolution clock.
double Now_Ms() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

// Copies a path, turning a Linux path into a drive-Z path so that Windows calls accept it.
void Path_ToWindows(const char* in, char* out, size_t size) {
    if (in[0] == '/') {
        snprintf(out, size, "Z:%s", in);
    } else {
        snprintf(out, size, "%s", in);
    }
    for (char* p = out; *p; ++p) {
        if (*p == '/') {
            *p = '\\';
        }
    }
}

// Reads a small text file whole (zero-terminated). Returns the length, or -1.
long File_Read(const char* path, char* buf, DWORD size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    DWORD total = 0;
    DWORD got = 0;
    while (total + 1 < size && ReadFile(file, buf + total, size - 1 - total, &got, nullptr) && got > 0) {
        total += got;
    }
    CloseHandle(file);
    buf[total] = 0;
    return static_cast<long>(total);
}

// Value of a "Key:   value kB" line of /proc status text, or -1.
long long Status_Field(const char* text, const char* key) {
    const char* p = strstr(text, key);
    if (p == nullptr) {
        return -1;
    }
    return strtoll(p + strlen(key), nullptr, 10);
}

// Reads memory and thread figures of a Linux process, summing context switches over its threads.
bool Proc_Status(int unixPid, ProcStatus* out) {
    char path[MAX_PATH];
    char text[8192];
    snprintf(path, sizeof(path), "Z:\\proc\\%d\\status", unixPid);
    if (File_Read(path, text, sizeof(text)) <= 0) {
        return false;
    }
    out->vmHwmKb = static_cast<long>(Status_Field(text, "VmHWM:"));
    out->vmRssKb = static_cast<long>(Status_Field(text, "VmRSS:"));
    out->threads = static_cast<long>(Status_Field(text, "Threads:"));
    out->switches = 0;
    WIN32_FIND_DATAA found;
    snprintf(path, sizeof(path), "Z:\\proc\\%d\\task\\*", unixPid);
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return true;
    }
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9') {
            continue;
        }
        snprintf(path, sizeof(path), "Z:\\proc\\%d\\task\\%s\\status", unixPid, found.cFileName);
        if (File_Read(path, text, sizeof(text)) > 0) {
            out->switches += Status_Field(text, "voluntary_ctxt_switches:");
            out->switches += Status_Field(text, "nonvoluntary_ctxt_switches:");
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

// The Linux process id of a Wine process: Wine puts the Windows command line into /proc/<pid>/cmdline,
// so look for the process whose first word is the program's path. One instance at a time is assumed.
int Proc_UnixPid(const char* exe) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const size_t length = strlen(exe);
    int pid = -1;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9') {
            continue;
        }
        char path[MAX_PATH];
        char line[1024];
        snprintf(path, sizeof(path), "Z:\\proc\\%s\\cmdline", found.cFileName);
        if (File_Read(path, line, sizeof(line)) <= 0) {
            continue;
        }
        const char* first = line[0] == '"' ? line + 1 : line;
        const char after = first[length];
        if (_strnicmp(first, exe, length) == 0 && (after == 0 || after == ' ' || after == '"')) {
            pid = atoi(found.cFileName);
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

struct FindWindowQuery {
    DWORD pid;
    bool owned; // false: the unowned main window; true: an owned window with the given title
    const char* title;
    HWND found;
    const char* className; // when set, any window of this class, owned or not, with any title
};

// EnumWindows callback: a visible top-level window of the process that matches the query.
BOOL CALLBACK FindWindowVisit(HWND hwnd, LPARAM lParam) {
    FindWindowQuery* query = reinterpret_cast<FindWindowQuery*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != query->pid || !IsWindowVisible(hwnd)) {
        return TRUE;
    }
    if (query->className != nullptr) {
        char name[64] = "";
        GetClassNameA(hwnd, name, sizeof(name));
        if (strcmp(name, query->className) != 0) {
            return TRUE;
        }
        query->found = hwnd;
        return FALSE;
    }
    const bool owned = GetWindow(hwnd, GW_OWNER) != nullptr;
    if (owned != query->owned) {
        return TRUE;
    }
    if (query->title != nullptr) {
        char title[64] = "";
        GetWindowTextA(hwnd, title, sizeof(title));
        if (strcmp(title, query->title) != 0) {
            return TRUE;
        }
    } else if ((GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) {
        return TRUE;
    }
    query->found = hwnd;
    return FALSE;
}

// A visible top-level window of the process with the class name, or null.
HWND Target_FindClass(DWORD pid, const char* className) {
    FindWindowQuery query = {pid, false, nullptr, nullptr, className};
    EnumWindows(FindWindowVisit, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

// A visible top-level window of a process, or null.
HWND Target_FindWindow(DWORD pid, bool owned, const char* title) {
    FindWindowQuery query = {pid, owned, title, nullptr, nullptr};
    EnumWindows(FindWindowVisit, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

// Starts the program in its own directory (it reads its pictures from the current directory).
bool Target_Start(Target* target, const char* exePath, const char* args) {
    memset(target, 0, sizeof(*target));
    target->unixPid = -1;
    Path_ToWindows(exePath, target->exe, sizeof(target->exe));
    char dir[MAX_PATH];
    snprintf(dir, sizeof(dir), "%s", target->exe);
    char* slash = strrchr(dir, '\\');
    if (slash != nullptr) {
        *slash = 0;
    }
    char command[2048];
    snprintf(command, sizeof(command), "\"%s\"%s%s", target->exe, args[0] ? " " : "", args);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    target->startMs = Now_Ms();
    if (!CreateProcessA(target->exe, command, nullptr, nullptr, FALSE, 0, nullptr, dir, &si, &target->pi)) {
        fprintf(stderr, "driver: cannot start %s (error %lu)\n", target->exe, GetLastError());
        return false;
    }
    return true;
}

// Waits until the program's main window is visible with all its controls and its thread is idle in
// its message loop (it answers a sent message); returns the time since process creation in ms, or -1.
// WaitForInputIdle alone is not enough under Wine, which reports idle before the window exists.
double Target_WaitWindow(Target* target) {
    WaitForInputIdle(target->pi.hProcess, WINDOW_TIMEOUT_MS);
    const double deadline = Now_Ms() + WINDOW_TIMEOUT_MS;
    while (Now_Ms() < deadline) {
        target->main = Target_FindWindow(target->pi.dwProcessId, false, nullptr);
        if (target->main != nullptr && GetDlgItem(target->main, ID_LAST_CONTROL) != nullptr) {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutA(target->main, WM_NULL, 0, 0, SMTO_NORMAL, WINDOW_TIMEOUT_MS, &result)) {
                return Now_Ms() - target->startMs;
            }
        }
        if (WaitForSingleObject(target->pi.hProcess, 1) == WAIT_OBJECT_0) {
            break;
        }
    }
    fprintf(stderr, "driver: no visible, idle main window of %s\n", target->exe);
    return -1;
}

// Ends the program with Esc (its shortcut for "Beenden"); falls back to the close box, then to
// termination. Returns how it ended.
const char* Target_End(Target* target) {
    const char* how = "esc";
    if (WaitForSingleObject(target->pi.hProcess, 0) == WAIT_TIMEOUT) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        HWND focus = nullptr;
        if (GetGUIThreadInfo(target->pi.dwThreadId, &info)) {
            focus = info.hwndFocus;
        }
        HWND to = focus != nullptr ? focus : target->main;
        PostMessageA(to, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(to, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        if (WaitForSingleObject(target->pi.hProcess, 5000) == WAIT_TIMEOUT) {
            how = "close";
            PostMessageA(target->main, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(target->pi.hProcess, 5000) == WAIT_TIMEOUT) {
                how = "terminated";
                TerminateProcess(target->pi.hProcess, 1);
                WaitForSingleObject(target->pi.hProcess, 5000);
            }
        }
    } else {
        how = "already-ended";
    }
    CloseHandle(target->pi.hThread);
    CloseHandle(target->pi.hProcess);
    return how;
}

// CPU time (kernel + user) the process has used, in ms.
double Target_CpuMs(const Target* target) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(target->pi.hProcess, &created, &exited, &kernel, &user)) {
        return -1;
    }
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return static_cast<double>(k.QuadPart + u.QuadPart) / 10000.0;
}

// Sends a message to a control of the main window, bounded in time.
LRESULT Target_Send(const Target* target, int32_t id, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(target->main, id), message, wParam, lParam, SMTO_ABORTIFHUNG, 5000,
                        &result);
    return static_cast<LRESULT>(result);
}

// Top edge of a window in screen coordinates, or INT32_MIN when it is gone.
int32_t Window_Top(HWND hwnd) {
    RECT rect;
    if (!GetWindowRect(hwnd, &rect)) {
        return INT32_MIN;
    }
    return rect.top;
}

// Time of one whole banner slide as seen from outside.
struct SlideTimes {
    double firstMove; // first position other than the opening one (ms since the banner was found)
    double reachTop;  // first time at y 0
    double leaveTop;  // first move away from y 0
    double back;      // back at y -40
    int32_t positions;
    int32_t width;
};

// Follows window 1 (the banner) every millisecond until it has slid in and out; false on a time-out.
bool Banner_Follow(HWND banner, SlideTimes* times) {
    const double origin = Now_Ms();
    const double deadline = origin + 10000;
    int32_t last = Window_Top(banner);
    const int32_t opened = last;
    RECT rect;
    GetWindowRect(banner, &rect);
    times->width = rect.right - rect.left;
    times->firstMove = times->reachTop = times->leaveTop = times->back = -1;
    times->positions = 1;
    while (Now_Ms() < deadline) {
        const int32_t y = Window_Top(banner);
        const double now = Now_Ms() - origin;
        if (y == INT32_MIN) {
            return false;
        }
        if (y != last) {
            ++times->positions;
            if (times->firstMove < 0 && y != opened) {
                times->firstMove = now;
            }
            if (y == 0 && times->reachTop < 0) {
                times->reachTop = now;
            }
            if (last == 0 && y < 0 && times->reachTop >= 0 && times->leaveTop < 0) {
                times->leaveTop = now;
            }
            if (y == -40 && times->leaveTop >= 0) {
                times->back = now;
                return true;
            }
            last = y;
        }
        Sleep(1);
    }
    return false;
}

// ---- Modes ----

// Start-up time and peak memory of one run.
int Mode_Startup(const char* exe, const char* args) {
    Target target;
    if (!Target_Start(&target, exe, args)) {
        return 1;
    }
    const double startup = Target_WaitWindow(&target);
    // Let the first paint settle before reading the peak; the same pause for every program.
    Sleep(300);
    target.unixPid = Proc_UnixPid(target.exe);
    ProcStatus status = {-1, -1, -1, -1};
    Proc_Status(target.unixPid, &status);
    const char* how = Target_End(&target);
    printf("startup ms=%.1f vmhwm_kb=%ld vmrss_kb=%ld threads=%ld end=%s\n", startup, status.vmHwmKb,
           status.vmRssKb, status.threads, how);
    return startup < 0 ? 1 : 0;
}

// CPU use and wake-ups over a period, idle or counting (the caller chooses the arguments).
int Mode_Idle(const char* exe, int32_t seconds, const char* args) {
    Target target;
    if (!Target_Start(&target, exe, args) || Target_WaitWindow(&target) < 0) {
        return 1;
    }
    Sleep(2000);
    target.unixPid = Proc_UnixPid(target.exe);
    ProcStatus before = {-1, -1, -1, -1};
    ProcStatus after = {-1, -1, -1, -1};
    Proc_Status(target.unixPid, &before);
    const double cpu0 = Target_CpuMs(&target);
    const double t0 = Now_Ms();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double cpu1 = Target_CpuMs(&target);
    const double t1 = Now_Ms();
    Proc_Status(target.unixPid, &after);
    const bool alive = WaitForSingleObject(target.pi.hProcess, 0) == WAIT_TIMEOUT;
    const char* how = Target_End(&target);
    const double wall = t1 - t0;
    printf("idle seconds=%.1f cpu_ms=%.1f cpu_percent=%.4f wakeups=%lld wakeups_per_s=%.2f threads=%ld "
           "alive=%d end=%s\n",
           wall / 1000.0, cpu1 - cpu0, 100.0 * (cpu1 - cpu0) / wall, after.switches - before.switches,
           1000.0 * static_cast<double>(after.switches - before.switches) / wall, after.threads,
           alive ? 1 : 0, how);
    return alive ? 0 : 1;
}

// The final command started by the program (the recorder, under a system tool's name), or 0. Another child
// (the desktop process, when the program was the first of its Wine prefix to need it) does not count.
DWORD Child_Find(DWORD parent) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    DWORD found = 0;
    for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parent && (_stricmp(entry.szExeFile, "shutdown.exe") == 0 ||
                                                    _stricmp(entry.szExeFile, "rundll32.exe") == 0)) {
            found = entry.th32ProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}

// Suspends a thread for stallMs once a second from a moment on, as a main thread too busy to answer the
// countdown's read at every step.
struct Staller {
    HANDLE thread;
    double firstMs;
    DWORD stallMs;
    volatile LONG stop;
};

DWORD WINAPI Staller_Run(LPVOID parameter) {
    Staller* staller = static_cast<Staller*>(parameter);
    for (int step = 0; staller->stop == 0; ++step) {
        const double at = staller->firstMs + 1000.0 * step;
        while (Now_Ms() < at && staller->stop == 0) {
            Sleep(1);
        }
        SuspendThread(staller->thread);
        Sleep(staller->stallMs);
        ResumeThread(staller->thread);
    }
    return 0;
}

// The platform's own time from CreateProcess until the started process is listed, for the tool the
// program starts at the end (the recorder in its place): the median of five starts by the driver, seen
// by the same polling as the program's command. It is the platform's cost, not the countdown's.
double Launch_LatencyMs(const char* scratchRecord) {
    char command[MAX_PATH + 32];
    char tool[MAX_PATH] = "";
    GetSystemDirectoryA(tool, MAX_PATH);
    snprintf(command, sizeof(command), "\"%s\\shutdown.exe\" -latency", tool);
    SetEnvironmentVariableA("NACHTRIEGEL_RECORD", scratchRecord);
    double times[5];
    int count = 0;
    for (int i = 0; i < 5; ++i) {
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        const double t = Now_Ms();
        if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            continue;
        }
        while (Child_Find(GetCurrentProcessId()) == 0 && Now_Ms() - t < 5000) {
            Sleep(1);
        }
        times[count++] = Now_Ms() - t;
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    DeleteFileA(scratchRecord);
    if (count == 0) {
        return 0;
    }
    for (int i = 1; i < count; ++i) { // insertion sort of at most five values
        for (int j = i; j > 0 && times[j - 1] > times[j]; --j) {
            const double swap = times[j];
            times[j] = times[j - 1];
            times[j - 1] = swap;
        }
    }
    return times[count / 2];
}

// Types the field, clicks "Starten" and times the start of the final command.
int Mode_Accuracy(const char* exe, const char* field, const char* recordPath, DWORD stallMs) {
    char record[MAX_PATH];
    Path_ToWindows(recordPath, record, sizeof(record));
    DeleteFileA(record);
    char scratch[MAX_PATH + 16];
    snprintf(scratch, sizeof(scratch), "%s.latency", record);
    const double launch = Launch_LatencyMs(scratch);
    // The recorders standing in for the system tools write where this variable says; the program and
    // its command inherit it.
    SetEnvironmentVariableA("NACHTRIEGEL_RECORD", record);
    Target target;
    if (!Target_Start(&target, exe, "") || Target_WaitWindow(&target) < 0) {
        return 1;
    }
    Sleep(500);
    Target_Send(&target, ID_TIME, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(field));
    const double expected = (atof(field) + 1.0) * 1000.0;
    const double t0 = Now_Ms();
    Target_Send(&target, ID_START, BM_CLICK, 0, 0);
    const double clicked = Now_Ms() - t0;
    // The main loop applies the running set when it takes the click's event.
    HWND start = GetDlgItem(target.main, ID_START);
    bool running = false;
    for (int i = 0; i < 2000 && !running; ++i) {
        running = !IsWindowEnabled(start);
        Sleep(running ? 0 : 1);
    }
    const double runningAt = Now_Ms() - t0;
    // Each stall begins a little before a step's read is due, so that the read waits for its end.
    Staller staller = {OpenThread(THREAD_SUSPEND_RESUME, FALSE, target.pi.dwThreadId), t0 + 980.0, stallMs,
                       0};
    HANDLE stalls = stallMs != 0 && staller.thread != nullptr
                        ? CreateThread(nullptr, 0, Staller_Run, &staller, 0, nullptr)
                        : nullptr;
    // Sleep through most of the countdown, then look for the started command every millisecond.
    const double quietUntil = t0 + expected - 3000;
    while (Now_Ms() < quietUntil && WaitForSingleObject(target.pi.hProcess, 100) == WAIT_TIMEOUT) {
    }
    double command = -1;
    double exited = -1;
    const double deadline = t0 + expected + 15000;
    while (Now_Ms() < deadline) {
        if (command < 0 && Child_Find(target.pi.dwProcessId) != 0) {
            command = Now_Ms() - t0;
        }
        if (exited < 0 && WaitForSingleObject(target.pi.hProcess, 0) == WAIT_OBJECT_0) {
            exited = Now_Ms() - t0;
        }
        if (command >= 0 && exited >= 0) {
            break;
        }
        Sleep(1);
    }
    if (stalls != nullptr) {
        InterlockedExchange(&staller.stop, 1);
        WaitForSingleObject(stalls, 5000);
        CloseHandle(stalls);
    }
    if (staller.thread != nullptr) {
        CloseHandle(staller.thread);
    }
    // The recorder writes its file a little later.
    char text[1024] = "";
    for (int i = 0; i < 500 && File_Read(record, text, sizeof(text)) <= 0; ++i) {
        Sleep(10);
    }
    for (char* p = text; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            *p = ' ';
        } else if (*p == '"') {
            *p = '\'';
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(target.pi.hProcess, &code);
    const char* how = Target_End(&target);
    const double error = command - expected;
    printf("accuracy field=%s stall_ms=%lu expected_ms=%.0f click_ms=%.1f running=%d running_ms=%.1f "
           "command_ms=%.1f "
           "exit_ms=%.1f launch_ms=%.1f error_ms=%.1f net_error_ms=%.1f exit_code=%lu end=%s record=\"%s\"\n",
           field, stallMs, expected, clicked, running ? 1 : 0, runningAt, command, exited, launch, error,
           error - launch, code, how, text);
    return command >= 0 && text[0] != 0 ? 0 : 1;
}

// Times the first banner's slide: start with the banner box checked and a ten-minute countdown.
int Mode_Banner(const char* exe) {
    Target target;
    if (!Target_Start(&target, exe, "restart 600 x 1") || Target_WaitWindow(&target) < 0) {
        return 1;
    }
    HWND banner = nullptr;
    const double deadline = Now_Ms() + 10000;
    while (banner == nullptr && Now_Ms() < deadline) {
        banner = Target_FindWindow(target.pi.dwProcessId, true, "Warnmeldung");
        Sleep(1);
    }
    SlideTimes times = {};
    const bool followed = banner != nullptr && Banner_Follow(banner, &times);
    const char* how = Target_End(&target);
    printf("banner found=%d complete=%d width=%d first_move_ms=%.1f slide_in_ms=%.1f in_view_ms=%.1f "
           "slide_out_ms=%.1f total_ms=%.1f positions=%d screen_width=%d end=%s\n",
           banner != nullptr ? 1 : 0, followed ? 1 : 0, times.width, times.firstMove,
           times.reachTop - times.firstMove, times.leaveTop - times.reachTop, times.back - times.leaveTop,
           times.back - times.firstMove, times.positions, GetSystemMetrics(SM_CXSCREEN), how);
    return followed ? 0 : 1;
}

// Sets the program up for a picture, signals READY and waits (bounded) for DONE.
int Mode_Pose(const char* exe, const char* state, const char* readyPath, const char* donePath) {
    char ready[MAX_PATH];
    char done[MAX_PATH];
    Path_ToWindows(readyPath, ready, sizeof(ready));
    Path_ToWindows(donePath, done, sizeof(done));
    Target target;
    if (!Target_Start(&target, exe, "") || Target_WaitWindow(&target) < 0) {
        return 1;
    }
    Sleep(300);
    // "Computer neu starten" in the task list, 600 in the field.
    Target_Send(&target, ID_TASKS, CB_SETCURSEL, 1, 0);
    Target_Send(&target, ID_TIME, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("600"));
    int rc = 0;
    if (strcmp(state, "countdown") == 0 || strcmp(state, "warnung") == 0) {
        if (strcmp(state, "warnung") == 0) {
            Target_Send(&target, ID_BANNER_BOX, BM_SETCHECK, BST_CHECKED, 0);
        }
        Target_Send(&target, ID_START, BM_CLICK, 0, 0);
    }
    HWND popup = nullptr;
    if (strcmp(state, "tray") == 0) {
        // The pop-up menu of the tray icon, opened at the icon: the notification area is at the right end
        // of the desktop's task bar, the menu opens at the mouse.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 14, GetSystemMetrics(SM_CYSCREEN) - 14);
        PostMessageA(target.main, MSG_TRAY_NOTIFY, 1, WM_RBUTTONUP);
        const double deadline = Now_Ms() + 10000;
        while (Now_Ms() < deadline && popup == nullptr) {
            popup = Target_FindClass(target.pi.dwProcessId, "#32768");
            Sleep(5);
        }
        rc = popup != nullptr ? 0 : 1;
        // Resting on the icon, the pointer would call up the icon's tip over the menu.
        RECT menu = {};
        if (popup != nullptr && GetWindowRect(popup, &menu)) {
            SetCursorPos(menu.left - 40, menu.top);
        }
    }
    if (strcmp(state, "warnung") == 0) {
        // Wait until the banner has arrived at the top edge.
        rc = 1;
        const double deadline = Now_Ms() + 10000;
        while (Now_Ms() < deadline) {
            HWND banner = Target_FindWindow(target.pi.dwProcessId, true, "Warnmeldung");
            if (banner != nullptr && Window_Top(banner) == 0) {
                rc = 0;
                break;
            }
            Sleep(5);
        }
    }
    Sleep(400);
    RECT rect = {};
    GetWindowRect(popup != nullptr ? popup : target.main, &rect);
    char text[128];
    const int length = snprintf(text, sizeof(text), "%ld %ld %ld %ld\n", rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top);
    HANDLE file = CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
        CloseHandle(file);
    }
    for (int i = 0; i < 600 && GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
    printf("pose state=%s window=%s end=%s\n", state, text, Target_End(&target));
    return rc;
}

// Joins the arguments from index first on into one command-line text.
void Args_Join(int argc, char** argv, int first, char* out, size_t size) {
    out[0] = 0;
    for (int i = first; i < argc; ++i) {
        const size_t used = strlen(out);
        snprintf(out + used, size - used, "%s%s", i > first ? " " : "", argv[i]);
    }
}

} // namespace

// ---- Entry ----

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&g_frequency);
    // Millisecond sleeps for the polling loops.
    timeBeginPeriod(1);
    setvbuf(stdout, nullptr, _IONBF, 0);
    char args[1024];
    if (argc >= 3 && strcmp(argv[1], "startup") == 0) {
        Args_Join(argc, argv, 3, args, sizeof(args));
        return Mode_Startup(argv[2], args);
    }
    if (argc >= 4 && strcmp(argv[1], "idle") == 0) {
        Args_Join(argc, argv, 4, args, sizeof(args));
        return Mode_Idle(argv[2], atoi(argv[3]), args);
    }
    if ((argc == 5 || argc == 6) && strcmp(argv[1], "accuracy") == 0) {
        return Mode_Accuracy(argv[2], argv[3], argv[4], argc == 6 ? static_cast<DWORD>(atoi(argv[5])) : 0);
    }
    if (argc == 3 && strcmp(argv[1], "banner") == 0) {
        return Mode_Banner(argv[2]);
    }
    if (argc == 6 && strcmp(argv[1], "pose") == 0) {
        return Mode_Pose(argv[2], argv[3], argv[4], argv[5]);
    }
    fprintf(stderr, "usage: driver startup|idle|accuracy|banner|pose EXE ...\n");
    return 2;
}
