// Helpers shared by the test programs of every subsystem.
#include "common/harness_common.h"

#include "controls/control.h"
#include "core/objtable.h"
#include "core/strings.h"
#include "core/threads.h"
#include "window/events.h"
#include "window/window.h"

#include <cstring>

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

::testing::AssertionResult Test_WaitForEvent(int32_t wanted, DWORD maxMs) {
    std::string seen;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < maxMs) {
        const int32_t code = Win_WaitEvent(100);
        if (code == wanted)
            return ::testing::AssertionSuccess();
        seen += std::to_string(code) + " ";
    }
    return ::testing::AssertionFailure() << "expected event " << wanted << ", got only: " << seen;
}

void Test_PostKey(HWND hwnd, WPARAM vk) {
    PostMessageA(hwnd, WM_KEYDOWN, vk, 1);
    PostMessageA(hwnd, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

namespace testsupport {

// Folder of the running program.
std::string BinDir() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    const size_t slash = dir.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
}

// A new folder "nt-<tag>-<process>-<n>" in the temporary folder.
std::string MakeTempDir(const std::string& tag) {
    static volatile LONG counter = 0;
    char base[MAX_PATH] = {};
    GetTempPathA(sizeof base, base);
    for (;;) {
        const std::string dir = std::string(base) + "nt-" + tag + "-" +
                                std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(InterlockedIncrement(&counter));
        if (CreateDirectoryA(dir.c_str(), nullptr))
            return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return "";
    }
}

// Deletes the folder's files and folders, then the folder.
void RemoveTree(const std::string& dir) {
    if (dir.empty())
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

// Reads the file while others may still read, write or delete it.
std::string ReadFile(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

// Splits at LF and drops a CR before it.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Polls until cond holds or the time is up; asks once more at the time-out.
bool WaitFor(const std::function<bool()>& cond, DWORD timeoutMs, DWORD stepMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return cond();
        Sleep(stepMs < timeoutMs - elapsed ? stepMs : timeoutMs - elapsed);
    }
}

// ---- Window texts ----

// How long a window (of another process, perhaps busy) may take to answer.
constexpr DWORD kMessageTimeoutMs = 5000;

// Through the fixed table of code page 1252 (never this process's ANSI code page, 1251 in the code-page
// run), without best-fit: a character 1252 lacks (a Cyrillic letter where an umlaut belongs) becomes '?'
// and can match no German text, so comparing these bytes compares the Unicode texts.
std::string From16(const wchar_t* text) {
    char buffer[4096] = "";
    WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text, -1, buffer, sizeof buffer - 1, "?", nullptr);
    return buffer;
}

std::wstring To16(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(1252, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return wide;
}

bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                               result != nullptr ? result : &ignored) != 0;
}

std::string TitleOf(HWND window) {
    wchar_t title[512] = L"";
    GetWindowTextW(window, title, 512);
    return From16(title);
}

std::string TextOf(HWND window) {
    if (window == nullptr)
        return "<no window>";
    DWORD_PTR length = 0;
    if (!Ask(window, WM_GETTEXTLENGTH, 0, 0, &length))
        return "<no answer>";
    std::wstring text(length + 1, L'\0');
    Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    return From16(text.c_str());
}

static BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// From a snapshot (EnumWindows): windows that come and go meanwhile end no search early.
std::vector<HWND> TopWindows(DWORD pid, const char* className, const char* title, bool visibleOnly) {
    std::vector<HWND> all, found;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        char name[256] = "";
        if (owner == pid && (!visibleOnly || IsWindowVisible(window)) &&
            (className == nullptr ||
             (GetClassNameA(window, name, sizeof name) && strcmp(name, className) == 0)) &&
            (title == nullptr || TitleOf(window) == title))
            found.push_back(window);
    }
    return found;
}

// ---- Message boxes ----

HWND FindBox(const char* title, DWORD pid, DWORD timeoutMs) {
    std::vector<HWND> found;
    WaitFor([&] { return !(found = TopWindows(pid, nullptr, title, true)).empty(); }, timeoutMs);
    return found.empty() ? nullptr : found.front();
}

std::string BoxText(HWND box) {
    return TextOf(GetDlgItem(box, 0xFFFF)); // the box's static message text
}

bool PressOk(HWND box) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return WaitFor([&] { return !IsWindow(box); }, 5000);
}

std::string CloseBox(const char* title, DWORD pid) {
    HWND box = FindBox(title, pid);
    if (box == nullptr)
        return "<no box '" + std::string(title) + "'>";
    std::string text = BoxText(box);
    PressOk(box);
    return text;
}

} // namespace testsupport
