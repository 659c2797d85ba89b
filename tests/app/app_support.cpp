// Black-box harness of the application tests: layout, recorder, program runs and the probe.
#include "app_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/banner.h"
#include "app/startup.h"
#include "core/sysdir.h"
#include "core/threads.h"
#include "shell/tray.h"

namespace apptest {

namespace {

constexpr char kProgramName[] = "Nachtriegel.exe";
constexpr char kRecorderName[] = "fake_tool.exe";
constexpr const char* kReplacedTools[] = {"shutdown.exe", "rundll32.exe"};
constexpr DWORD kMessageTimeoutMs = 5000;
constexpr DWORD kWindowWaitMs = 15000;
constexpr DWORD kSettleMs = 300;
constexpr UINT kTrayNotify = 12501;
// Names the stand-ins of a run of this test program in the program's place (Layout::standIns).
constexpr char kStandInsVariable[] = "NACHTRIEGEL_STAND_INS";

// ---- This test program as the program, with stand-ins ----

DWORD g_readDelayMs = 0;
DWORD g_lateMs = 0;
bool g_tick = false;
WNDPROC g_fieldProc = nullptr;

// The time field answers its text late, as a busy main thread would.
LRESULT CALLBACK SlowField(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXT) {
        Sleep(g_readDelayMs);
    }
    return CallWindowProcW(g_fieldProc, window, message, wParam, lParam);
}

// Puts SlowField under the time field (the main window's one edit) as it is created, before the toolkit
// subclasses it in its turn.
LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[16] = "", parent[16] = "";
        GetClassNameA(window, name, sizeof name);
        // The program's windows are Unicode windows: so are the hook's view of them and the subclass (an
        // ANSI subclass would make the field answer in the ANSI code page).
        GetClassNameA(reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->hwndParent, parent, sizeof parent);
        if (g_fieldProc == nullptr && lstrcmpiA(name, "Edit") == 0 &&
            lstrcmpA(parent, "WindowClass_0") == 0) {
            g_fieldProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SlowField)));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The wait under every sleep of the program: late, or ending only on a 15.625 ms clock tick.
DWORD StandInWait(HANDLE event, DWORD ms) {
    double end = NowMs() + ms + g_lateMs;
    end = g_tick ? std::ceil(end / 15.625) * 15.625 : end;
    for (double left; (left = end - NowMs()) > 0;) {
        const DWORD wait = static_cast<DWORD>(std::ceil(left));
        if (event == nullptr) {
            Sleep(wait);
        } else if (WaitForSingleObject(event, wait) == WAIT_OBJECT_0) {
            return WAIT_OBJECT_0;
        }
    }
    return WAIT_TIMEOUT;
}

// A shell that is not ready yet, as at a start at logon: the first add fails; the rest reach the shell.
bool g_shellLate = false;
BOOL WINAPI LateShell(DWORD message, PNOTIFYICONDATAW data) {
    if (message == NIM_ADD && g_shellLate) {
        g_shellLate = false;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return Shell_NotifyIconW(message, data);
}

// Run before the tests' main: with kStandInsVariable set, this process is the program and never returns.
int RunAsProgramIfAsked() {
    char value[256] = "";
    const DWORD length = GetEnvironmentVariableA(kStandInsVariable, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        return 0;
    }
    SetEnvironmentVariableA(kStandInsVariable, nullptr); // not for the program's own children
    const char* read = std::strstr(value, "read=");
    const char* late = std::strstr(value, "late=");
    g_readDelayMs = read != nullptr ? static_cast<DWORD>(std::atoi(read + 5)) : 0;
    g_lateMs = late != nullptr ? static_cast<DWORD>(std::atoi(late + 5)) : 0;
    g_tick = std::strstr(value, "tick") != nullptr;
    if (g_readDelayMs != 0) {
        SetWindowsHookExW(WH_CBT, WatchCreation, nullptr, GetCurrentThreadId());
    }
    Sleep_SetWaitProc(g_lateMs != 0 || g_tick ? StandInWait : nullptr);
    g_shellLate = std::strstr(value, "shell=late") != nullptr;
    Tray_SetNotifyProc(g_shellLate ? LateShell : nullptr);
    if (std::strstr(value, "contrast") != nullptr) {
        Banner_SetContrastProc([] { return true; });
    }
    SysDir_RestrictDllSearch();
    App_Main();
}

const int g_asProgram = RunAsProgramIfAsked();

bool SameContent(const std::string& a, const std::string& b) {
    std::string x = ReadFile(a);
    return !x.empty() && x == ReadFile(b);
}

bool CopyFolder(const std::string& from, const std::string& to) {
    if (!CreateDirectoryA(to.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((from + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ok = ok && CopyFileA((from + "\\" + data.cFileName).c_str(), (to + "\\" + data.cFileName).c_str(),
                                 FALSE);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return ok;
}

bool IsWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Runs a command line, waits (bounded) and returns its exit code, or -1.
long RunAndWait(const std::string& commandLine, DWORD timeoutMs) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string mutableLine = commandLine;
    if (!CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return -1;
    }
    CloseHandle(pi.hThread);
    long result = -1;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        result = static_cast<long>(code);
    } else {
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hProcess);
    return result;
}

// The directories a system tool may be started from: system32 as this program sees it, and the other
// one of a 64-bit Windows. A 32-bit program's system32 is redirected to syswow64 and reaches the real
// system32 only as "sysnative"; a 64-bit program reaches syswow64 directly.
std::vector<std::string> ToolDirectories() {
    std::vector<std::string> dirs = {SystemDir()};
    BOOL wow64 = FALSE;
    char path[MAX_PATH] = "";
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        // Only where the system offers the alias; scripts/wine-run has put both copies in place anyway.
        UINT length = GetWindowsDirectoryA(path, sizeof path);
        std::string native = std::string(path) + "\\sysnative";
        if (length > 0 && length < sizeof path && FileSize(native) != -1) {
            dirs.push_back(native);
        }
    } else {
        UINT length = GetSystemWow64DirectoryA(path, sizeof path);
        if (length > 0 && length < sizeof path && FileSize(path) != -1) {
            dirs.push_back(path);
        }
    }
    return dirs;
}

// Installs and proves the recorders; the result is kept for the test program's lifetime.
bool CheckRecorder(std::string* why) {
    if (!IsWine()) {
        *why = "not running under Wine: the system's own tools cannot be replaced safely";
        return false;
    }
    char overrides[512] = "";
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    std::string o = overrides;
    if (o.find("shutdown.exe") == std::string::npos || o.find("rundll32.exe") == std::string::npos) {
        *why = "WINEDLLOVERRIDES does not make shutdown.exe and rundll32.exe native (run through "
               "scripts/wine-run)";
        return false;
    }
    std::string recorder = BinDir() + "\\" + kRecorderName;
    if (FileSize(recorder) <= 0) {
        *why = "recorder " + recorder + " is missing";
        return false;
    }
    std::string probeDir = MakeTempDir("recorder");
    bool ok = true;
    for (const std::string& dir : ToolDirectories()) {
        for (const char* tool : kReplacedTools) {
            std::string target = dir + "\\" + tool;
            if (!SameContent(recorder, target)) {
                for (int attempt = 0; attempt < 20 && !CopyFileA(recorder.c_str(), target.c_str(), FALSE);
                     ++attempt) {
                    Sleep(100);
                }
            }
            if (!SameContent(recorder, target)) {
                *why = std::string("could not install the recorder as ") + target;
                ok = false;
                break;
            }
            // Prove that starting the path runs the recorder and nothing else.
            std::string record = probeDir + "\\" + tool + ".txt";
            DeleteFileA(record.c_str());
            SetEnvironmentVariableA("NACHTRIEGEL_RECORD", record.c_str());
            std::string line = "\"" + target + "\" --recorder-selftest";
            long code = RunAndWait(line, 15000);
            SetEnvironmentVariableA("NACHTRIEGEL_RECORD", nullptr);
            std::string written = ReadFile(record);
            if (code != 0 || written != line + "\r\n") {
                *why = std::string("starting ") + target + " did not run the recorder (exit " +
                       std::to_string(code) + ", recorded '" + written + "')";
                ok = false;
                break;
            }
        }
        if (!ok) {
            break;
        }
    }
    RemoveTree(probeDir);
    return ok;
}

} // namespace

// ---- Files and folders ----

std::string SystemDir() {
    char path[MAX_PATH] = "";
    GetSystemDirectoryA(path, sizeof path);
    return path;
}

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool RecorderReady(std::string* why) {
    static int state = 0; // 0 unknown, 1 ready, 2 refused
    static std::string reason;
    if (state == 0) {
        state = CheckRecorder(&reason) ? 1 : 2;
    }
    if (why != nullptr) {
        *why = reason;
    }
    return state == 1;
}

// ---- Runs ----

void ExpectBannerSentences(std::initializer_list<SentenceCase> cases, DWORD stillCountingMs) {
    for (const SentenceCase& c : cases) {
        Program program;
        ASSERT_TRUE(program.Start(c.arguments)) << c.arguments;
        HWND banner = program.WaitForBanner(4000);
        ASSERT_NE(banner, nullptr) << c.arguments << ": no banner";
        EXPECT_TRUE(WaitFor([&] { return program.BannerText(banner) == c.sentence; }, 2000))
            << c.arguments << ": expected '" << c.sentence << "', got '" << program.BannerText(banner) << "'";
        if (stillCountingMs != 0) {
            Sleep(stillCountingMs);
            EXPECT_TRUE(program.Running()) << c.arguments << ": the countdown ended";
            EXPECT_TRUE(program.Records().empty()) << c.arguments << ": a command was started";
            EXPECT_TRUE(program.Enabled(kCancelButton)) << c.arguments << ": the countdown is not running";
        }
        EXPECT_EQ(program.Quit(), 0u) << c.arguments;
        EXPECT_TRUE(program.Records().empty()) << c.arguments;
    }
}

void ExpectEndWithCommand(Program& program, const std::string& command, const std::string& label) {
    EXPECT_EQ(program.WaitExit(8000), 0u) << label << ": exit code";
    const std::vector<std::string> records = program.Records();
    ASSERT_EQ(records.size(), 1u) << label << ": expected one started command";
    EXPECT_EQ(records[0], command) << label;
}

// ---- Tray ----

std::vector<HWND> TrayIcons() {
    std::vector<HWND> icons;
    HWND tray = nullptr;
    while ((tray = FindWindowExA(nullptr, tray, "__winex11_standalone_tray", nullptr)) != nullptr) {
        HWND icon = nullptr;
        while ((icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr)) != nullptr) {
            icons.push_back(icon);
        }
    }
    return icons;
}

int TrayIconCount() {
    return static_cast<int>(TrayIcons().size());
}

namespace {

// TOOLINFO as the tooltip control of another process reads it: with that process's pointer width. The
// shell under a 64-bit Wine is a 64-bit process even where this test program is 32-bit.
template <typename Pointer> struct RemoteToolInfo {
    UINT cbSize;
    UINT uFlags;
    Pointer hwnd;
    Pointer uId;
    RECT rect;
    Pointer hinst;
    Pointer lpszText;
    Pointer lParam;
    Pointer lpReserved;
};
static_assert(sizeof(RemoteToolInfo<UINT_PTR>) == sizeof(TOOLINFOW),
              "same layout as this process's TOOLINFOW");
static_assert(sizeof(RemoteToolInfo<UINT64>) == 72, "TOOLINFOW of a 64-bit process");

// Reads every tool's window and text of one tooltip, through a scratch block in the tooltip's process.
template <typename Pointer>
void ReadToolTips(HANDLE process, HWND tooltip, char* remote,
                  std::vector<std::pair<HWND, std::string>>* tips) {
    constexpr SIZE_T kTextOffset = 1024, kTextSize = 512; // units: 1024 bytes of the 4096
    const auto remoteText = static_cast<Pointer>(reinterpret_cast<UINT_PTR>(remote + kTextOffset));
    DWORD_PTR count = 0;
    Ask(tooltip, TTM_GETTOOLCOUNT, 0, 0, &count);
    for (DWORD_PTR i = 0; i < count && i < 64; ++i) {
        RemoteToolInfo<Pointer> info{};
        info.cbSize = sizeof info;
        info.lpszText = remoteText;
        wchar_t text[kTextSize] = L"";
        SIZE_T moved = 0;
        WriteProcessMemory(process, remote, &info, sizeof info, &moved);
        WriteProcessMemory(process, remote + kTextOffset, text, sizeof text, &moved);
        Ask(tooltip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote, &info, sizeof info, &moved);
        // Window handles are 32-bit values in processes of either width.
        HWND icon = reinterpret_cast<HWND>(static_cast<UINT_PTR>(info.hwnd));
        info.lpszText = remoteText;
        WriteProcessMemory(process, remote, &info, sizeof info, &moved);
        Ask(tooltip, TTM_GETTEXTW, kTextSize, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote + kTextOffset, text, sizeof text - sizeof(wchar_t), &moved);
        tips->emplace_back(icon, From16(text));
    }
}

// True if PROCESS is a 64-bit process and this one is not.
bool WiderThanThisProcess(HANDLE process) {
    BOOL selfWow64 = FALSE, otherWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &selfWow64) && selfWow64 &&
           IsWow64Process(process, &otherWow64) && !otherWow64;
}

} // namespace

// The tips live in a tooltip control of the tray's process; its TOOLINFO and text buffer must
// be in that process, so they are placed there and read back.
std::vector<std::pair<HWND, std::string>> TrayIconTips() {
    std::vector<std::pair<HWND, std::string>> tips;
    HWND tray = FindWindowExA(nullptr, nullptr, "__winex11_standalone_tray", nullptr);
    DWORD pid = 0;
    if (tray == nullptr || GetWindowThreadProcessId(tray, &pid) == 0) {
        return tips;
    }
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_LIMITED_INFORMATION,
                                 FALSE, pid);
    if (process == nullptr) {
        return tips;
    }
    const bool wide = WiderThanThisProcess(process);
    auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    HWND tooltip = nullptr;
    while (remote != nullptr &&
           (tooltip = FindWindowExA(nullptr, tooltip, TOOLTIPS_CLASSA, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(tooltip, &owner);
        if (owner != pid) {
            continue;
        }
        if (wide) {
            ReadToolTips<UINT64>(process, tooltip, remote, &tips);
        } else {
            ReadToolTips<UINT_PTR>(process, tooltip, remote, &tips);
        }
    }
    if (remote != nullptr) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return tips;
}

// ---- Waiting ----

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int DisplayDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int Scaled(int units) {
    long long twice = 2LL * units * DisplayDpi();
    return static_cast<int>((twice + (units < 0 ? -96 : 96)) / 192);
}

WindowInfo Inspect(HWND window) {
    WindowInfo info;
    if (window == nullptr || !IsWindow(window)) {
        return info;
    }
    info.exists = true;
    info.visible = IsWindowVisible(window) != FALSE;
    info.minimized = IsIconic(window) != FALSE;
    GetWindowRect(window, &info.outer);
    GetClientRect(window, &info.client);
    info.style = GetWindowLongPtrA(window, GWL_STYLE);
    info.exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
    info.owner = GetWindow(window, GW_OWNER);
    info.title = TitleOf(window);
    return info;
}

std::string ExpectedCommand(const char* tool, const char* switches) {
    return "\"" + SystemDir() + "\\" + tool + "\" " + switches;
}

std::string VersionText(long long size) {
    return "Nachtriegel 0." + std::to_string(static_cast<int>(static_cast<unsigned>(size)));
}

// ---- Program ----

Program::Program() = default;

Program::~Program() {
    Stop();
    RemoveTree(folder_);
}

bool Program::Start(const std::string& arguments, const Layout& layout) {
    return Launch(arguments, layout) && WaitReady();
}

bool Program::Launch(const std::string& arguments, const Layout& layout) {
    // Each refusal says why: a start that fails in a long run must be diagnosable from its log.
    auto refuse = [](const std::string& why) {
        std::fprintf(stderr, "start: %s (error %lu)\n", why.c_str(), GetLastError());
        return false;
    };
    std::string recorderWhy;
    if (!RecorderReady(&recorderWhy)) {
        return refuse(recorderWhy);
    }
    // A run meant for another display scale must not pass quietly at 100 %.
    char asked[16] = "";
    if (GetEnvironmentVariableA("NACHTRIEGEL_DPI", asked, sizeof asked) > 0 &&
        std::atoi(asked) != DisplayDpi()) {
        std::fprintf(stderr, "NACHTRIEGEL_DPI is %s, but the display runs at %d DPI\n", asked, DisplayDpi());
        return false;
    }
    folder_ = MakeTempDir("run");
    exe_ = folder_ + "\\" + kProgramName;
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string source = layout.standIns.empty() ? BinDir() + "\\" + kProgramName : self;
    if (!CopyFileA(source.c_str(), exe_.c_str(), FALSE)) {
        return refuse("could not copy the program to " + exe_);
    }
    if (layout.withImages && !(CopyFolder(BinDir() + "\\Symbole", folder_ + "\\Symbole") &&
                               CopyFolder(BinDir() + "\\Bilder", folder_ + "\\Bilder"))) {
        return refuse("could not copy the image folders to " + folder_);
    }
    for (const std::string& file : layout.besideProgram) {
        if (!CopyFileA((BinDir() + "\\" + file).c_str(), (folder_ + "\\" + file).c_str(), FALSE)) {
            return refuse("could not copy " + file + " beside the program");
        }
    }
    record_ = folder_ + "\\record.txt";
    SetEnvironmentVariableA("NACHTRIEGEL_RECORD", record_.c_str());
    // Wine's stub of the execution-state call logs each request on the first channel, its message filter
    // on the second, with the process id; other runs keep the debug setting this test program was given.
    static const std::string inherited = [] {
        char value[256] = "";
        DWORD length = GetEnvironmentVariableA("WINEDEBUG", value, sizeof value);
        return length < sizeof value ? std::string(value, length) : std::string();
    }();
    SetEnvironmentVariableA("WINEDEBUG", watchState_ ? "-all,+pid,warn+ntdll,fixme+explorerframe,fixme+msg"
                                         : inherited.empty() ? nullptr
                                                             : inherited.c_str());
    std::string commandLine = "\"" + exe_ + "\"";
    if (!arguments.empty()) {
        commandLine += " " + arguments;
    }
    std::string current = layout.currentDir.empty() ? folder_ : layout.currentDir;
    // The images, the tray icon's among them, are looked up in the current directory.
    expectTray_ = layout.withImages && layout.currentDir.empty() &&
                  layout.standIns.find("shell=late") == std::string::npos;
    traysBefore_ = TrayIcons();
    STARTUPINFOA si{};
    si.cb = sizeof si;
    startedMs_ = NowMs();
    SetEnvironmentVariableA(kStandInsVariable, layout.standIns.empty() ? nullptr : layout.standIns.c_str());
    const BOOL created = CreateProcessA(exe_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        current.c_str(), &si, &pi_);
    SetEnvironmentVariableA(kStandInsVariable, nullptr);
    if (!created) {
        pi_ = PROCESS_INFORMATION{};
        return refuse("CreateProcess failed for " + commandLine);
    }
    return true;
}

void Program::WatchWineLog() {
    watchState_ = true;
}

bool Program::WineLog(const std::string& call, std::vector<std::string>* found, std::string* why) {
    found->clear();
    // A child's Wine log goes to the Unix error output it inherited, which is this program's: the file
    // that scripts/wine-run names.
    char logPath[MAX_PATH] = "";
    DWORD length = GetEnvironmentVariableA("NACHTRIEGEL_WINE_LOG", logPath, sizeof logPath);
    if (length == 0 || length >= sizeof logPath - 2) {
        *why = "NACHTRIEGEL_WINE_LOG names no log file (run this test program through scripts/wine-run)";
        return false;
    }
    std::string unixPath = logPath;
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    std::string log = ReadFile("Z:" + unixPath);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04lx:", static_cast<unsigned long>(pi_.dwProcessId));
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) {
            end = log.size();
        }
        std::string line = log.substr(start, end - start);
        size_t at = line.find(call);
        if (line.compare(0, std::strlen(prefix), prefix) == 0 && at != std::string::npos) {
            found->push_back(line.substr(at + call.size()));
        }
        start = end + 1;
    }
    return true;
}

bool Program::ExecutionStates(std::vector<DWORD>* states, std::string* why) {
    states->clear();
    std::vector<std::string> calls;
    if (!WineLog("NtSetThreadExecutionState (0x", &calls, why)) {
        return false;
    }
    for (const std::string& call : calls) {
        states->push_back(static_cast<DWORD>(std::strtoul(call.c_str(), nullptr, 16)));
    }
    return true;
}

bool Program::WaitReady() {
    // Ready once the main thread first waits for input: the window is built and the command line
    // applied. The window and its last control are checked as well, as WaitForInputIdle alone
    // also returns for a program that ended.
    WaitForInputIdle(pi_.hProcess, kWindowWaitMs);
    if (!WaitFor([this] { return Control(kToneBox) != nullptr || !Running(); }, kWindowWaitMs) ||
        Control(kToneBox) == nullptr) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        std::fprintf(
            stderr, "start: no main window with its controls after %lu ms (%s %lu)\n",
            static_cast<unsigned long>(NowMs() - startedMs_),
            code == STILL_ACTIVE ? "still running, window" : "the program ended with code",
            static_cast<unsigned long>(code == STILL_ACTIVE ? reinterpret_cast<uintptr_t>(Main()) : code));
        return false;
    }
    // And the main thread answers messages (it may still be finishing the menus and the tray).
    DWORD_PTR result = 0;
    bool answered = SendMessageTimeoutA(Main(), WM_NULL, 0, 0, SMTO_NORMAL, kWindowWaitMs, &result) != 0;
    if (!answered) {
        std::fprintf(stderr, "start: the main window did not answer (error %lu, running %d)\n",
                     GetLastError(), Running() ? 1 : 0);
    }
    // The tray icon and its tip come last before the command line is applied; the shell can take
    // seconds to show the first icon, and the main thread answers sent messages meanwhile.
    if (answered && expectTray_) {
        answered = WaitFor([this] { return TrayIcon() != nullptr; }, kWindowWaitMs, 50);
        if (!answered) {
            std::fprintf(stderr, "start: no tray icon after %lu ms\n",
                         static_cast<unsigned long>(kWindowWaitMs));
        }
    }
    // The command line is applied right after the tray tip; give the main thread a moment to do it
    // and reach its loop.
    Sleep(kSettleMs);
    readyMs_ = NowMs();
    return answered;
}

void Program::Stop() {
    if (pi_.hProcess != nullptr) {
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
        pi_ = PROCESS_INFORMATION{};
    }
}

HWND Program::Main() {
    if (main_ != nullptr && IsWindow(main_)) {
        return main_;
    }
    std::vector<HWND> found = WindowsOfClass("WindowClass_0");
    main_ = found.empty() ? nullptr : found.front();
    return main_;
}

HWND Program::Banner() {
    std::vector<HWND> found = WindowsOfClass("WindowClass_1");
    return found.empty() ? nullptr : found.front();
}

HWND Program::WaitForBanner(DWORD timeoutMs) {
    HWND banner = nullptr;
    // Visible: the window exists a moment before it is shown.
    WaitFor([&] { return (banner = Banner()) != nullptr && IsWindowVisible(banner); }, timeoutMs, 10);
    return banner;
}

std::string Program::BannerText(HWND banner) {
    HWND text = GetDlgItem(banner, kBannerText);
    return text == nullptr ? std::string() : TextOf(text);
}

std::vector<HWND> Program::WindowsOfClass(const char* className) {
    if (pi_.dwProcessId == 0) {
        return {};
    }
    return TopWindows(pi_.dwProcessId, className, nullptr, false);
}

HWND Program::Focus() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND main = Main();
    if (main == nullptr || !GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

HWND Program::Control(int number) {
    HWND main = Main();
    return main == nullptr ? nullptr : GetDlgItem(main, number);
}

std::string Program::Text(int number) {
    return TextOf(Control(number));
}

bool Program::Enabled(int number) {
    HWND control = Control(number);
    return control != nullptr && IsWindowEnabled(control);
}

int Program::Checked(int number) {
    DWORD_PTR state = 0;
    return Ask(Control(number), BM_GETCHECK, 0, 0, &state) ? static_cast<int>(state) : -2;
}

int Program::Selection() {
    DWORD_PTR index = 0;
    return Ask(Control(kTaskList), CB_GETCURSEL, 0, 0, &index) ? static_cast<int>(static_cast<LRESULT>(index))
                                                               : -2;
}

std::vector<std::string> Program::TaskItems() {
    // The wide form: Wine carries CB_GETLBTEXT between processes correctly only as Unicode.
    std::vector<std::string> items;
    HWND list = Control(kTaskList);
    DWORD_PTR count = 0;
    if (!Ask(list, CB_GETCOUNT, 0, 0, &count)) {
        return items;
    }
    for (DWORD_PTR i = 0; i < count && i < 100; ++i) {
        DWORD_PTR length = 0;
        Ask(list, CB_GETLBTEXTLEN, i, 0, &length);
        std::wstring text(length + 1, L'\0');
        Ask(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        items.push_back(From16(text.c_str()));
    }
    return items;
}

RECT Program::ControlRect(int number) {
    RECT rect{};
    HWND control = Control(number);
    if (control != nullptr) {
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&rect), 2);
    }
    return rect;
}

bool Program::Click(int number) {
    return Ask(Control(number), BM_CLICK);
}

void Program::SetText(int number, const std::string& text) {
    Ask(Control(number), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(To16(text).c_str()));
}

void Program::Select(int index) {
    Ask(Control(kTaskList), CB_SETCURSEL, static_cast<WPARAM>(index));
}

void Program::ChooseMenu(int item) {
    PostMessageA(Main(), WM_COMMAND, static_cast<WPARAM>(item), 0);
}

void Program::TrayCallback(LPARAM mouseMessage) {
    PostMessageA(Main(), kTrayNotify, kTrayIconNumber, mouseMessage);
}

void Program::HoverTray(DWORD ms) {
    for (double end = NowMs() + ms; NowMs() < end; Sleep(50)) {
        TrayCallback(WM_MOUSEMOVE);
    }
}

bool Program::SendInputs(const std::vector<INPUT>& inputs) {
    HWND main = Main();
    if (main == nullptr) {
        return false;
    }
    SetForegroundWindow(main);
    if (!WaitFor([main] { return GetForegroundWindow() == main; }, 2000)) {
        return false;
    }
    return SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT)) ==
           inputs.size();
}

bool Program::MouseClick(int number) {
    RECT rect{};
    if (!GetWindowRect(Control(number), &rect) ||
        !SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2)) {
        return false;
    }
    std::vector<INPUT> inputs(2);
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    return SendInputs(inputs);
}

bool Program::Keys(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    return SendInputs(inputs);
}

HWND OpenEditor() {
    HWND editor = CreateWindowExA(0, "Edit", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 300, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(editor);
    SetFocus(editor);
    WaitFor([editor] { return GetForegroundWindow() == editor; }, 2000);
    return editor;
}

int Program::FocusNumber() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(Main(), nullptr), &info);
    return info.hwndFocus != nullptr && GetParent(info.hwndFocus) == Main() ? GetDlgCtrlID(info.hwndFocus)
                                                                            : 0;
}

std::vector<HWND> Program::NewTrayIcons() {
    std::vector<HWND> fresh;
    for (HWND icon : TrayIcons()) {
        if (std::find(traysBefore_.begin(), traysBefore_.end(), icon) == traysBefore_.end()) {
            fresh.push_back(icon);
        }
    }
    return fresh;
}

HWND Program::TrayIcon() {
    std::string title = Inspect(Main()).title;
    for (const auto& entry : TrayIconTips()) {
        bool isNew = std::find(traysBefore_.begin(), traysBefore_.end(), entry.first) == traysBefore_.end();
        if (isNew && !title.empty() && entry.second == title) {
            return entry.first;
        }
    }
    return nullptr;
}

double Program::StartCountdown() {
    Click(kStartButton);
    return WaitFor([this] { return !Enabled(kStartButton); }, 3000, 1) ? NowMs() : -1;
}

bool Program::SuspendMain(DWORD ms) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, pi_.dwThreadId);
    if (thread == nullptr) {
        return false;
    }
    const bool suspended = SuspendThread(thread) != static_cast<DWORD>(-1);
    Sleep(ms);
    ResumeThread(thread);
    CloseHandle(thread);
    return suspended;
}

double Program::WaitForCommandStart(DWORD timeoutMs) {
    const double end = NowMs() + timeoutMs;
    for (;;) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        bool found = false;
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Process32First(snapshot, &entry); more && !found;
             more = Process32Next(snapshot, &entry)) {
            found = entry.th32ParentProcessID == pi_.dwProcessId &&
                    (lstrcmpiA(entry.szExeFile, "shutdown.exe") == 0 ||
                     lstrcmpiA(entry.szExeFile, "rundll32.exe") == 0);
        }
        if (snapshot != INVALID_HANDLE_VALUE) {
            CloseHandle(snapshot);
        }
        if (found) {
            return NowMs();
        }
        if (NowMs() >= end) {
            return -1;
        }
        Sleep(1);
    }
}

bool Program::Running() {
    return pi_.hProcess != nullptr && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD Program::WaitExit(DWORD timeoutMs) {
    if (pi_.hProcess == nullptr || WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

// kernel32 lies at the same address in every process of one architecture, so this process's LoadLibraryA
// is the program's too. The thread's exit code is the module handle (its low 32 bits on x86_64).
int Program::LoadInside(const std::string& name) {
    SIZE_T size = name.size() + 1;
    void* remote = VirtualAllocEx(pi_.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr) {
        return -1;
    }
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    HANDLE thread = WriteProcessMemory(pi_.hProcess, remote, name.c_str(), size, nullptr)
                        ? CreateRemoteThread(pi_.hProcess, nullptr, 0, load, remote, 0, nullptr)
                        : nullptr;
    int result = -1;
    bool ended = thread == nullptr;
    if (thread != nullptr) {
        DWORD code = 0;
        ended = WaitForSingleObject(thread, kMessageTimeoutMs) == WAIT_OBJECT_0;
        if (ended && GetExitCodeThread(thread, &code)) {
            result = code != 0 ? 1 : 0;
        }
        CloseHandle(thread);
    }
    if (ended) { // a thread still running may yet read the name
        VirtualFreeEx(pi_.hProcess, remote, 0, MEM_RELEASE);
    }
    return result;
}

int Program::ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pi_.dwProcessId) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

std::vector<std::string> Program::Records() {
    return testsupport::Lines(ReadFile(record_));
}

double Program::WaitForRecord(DWORD timeoutMs) {
    if (!WaitFor([this] { return FileSize(record_) > 0; }, timeoutMs, 10)) {
        return -1;
    }
    return NowMs() - startedMs_;
}

} // namespace apptest
