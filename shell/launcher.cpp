// Starts other programs. CreateProcessW runs a command line composed here (the program text
// in double quotes, then the parameters); when that fails and no standard handle had to be
// connected, the shell is asked to "Open" the program text instead. Kept processes go into a
// process list guarded by the launcher lock; their records live until the process ends.
//
// Pipes: the child's ends are inheritable, the parent's ends are made private, so the child
// inherits only its own ends and the parent sees end-of-file once the child has gone. A
// source record's output pipe (chaining) is private too; the child gets an inheritable copy
// that the parent closes once the child has started.
#include "shell/launcher.h"

#include <shellapi.h>

#include <cstring>

#include "core/objtable.h"
#include "core/strings.h"
#include "core/sysdir.h"

namespace {

ListRecord* g_processes = nullptr; // newest record of the process list
CRITICAL_SECTION g_processLock;    // the launcher lock: guards g_processes
INIT_ONCE g_processLockOnce = INIT_ONCE_STATIC_INIT;

// Held from making inheritable pipe ends until the child has started and the parent has
// closed them, so that a program started at the same moment by another thread with handle
// inheritance cannot inherit them (its copies would keep the pipes open).
SRWLOCK g_inheritLock = SRWLOCK_INIT;

// The standard handles of one start: the child's ends and the ends the parent keeps.
struct LaunchPipes {
    HANDLE childInput;   // read end of the input pipe, or the copy of the source's output pipe
    HANDLE childOutput;  // write end of the output pipe
    HANDLE childErrors;  // write end of the error pipe
    HANDLE parentInput;  // write end of the input pipe (private)
    HANDLE parentOutput; // read end of the output pipe (private)
    HANDLE parentErrors; // read end of the error pipe (private)
};

// ---- Internal functions ----

BOOL CALLBACK InitProcessLock(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSection(&g_processLock);
    return TRUE;
}

// Closes a handle that may be 0 and sets it to 0.
void CloseIf(HANDLE* handle) {
    if (*handle != nullptr) {
        CloseHandle(*handle);
        *handle = nullptr;
    }
}

// Replaces an inheritable handle by a private copy; on failure the handle stays as it is.
void MakePrivate(HANDLE* handle) {
    HANDLE self = GetCurrentProcess();
    HANDLE copy = nullptr;
    if (DuplicateHandle(self, *handle, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        CloseHandle(*handle);
        *handle = copy;
    }
}

// A pipe whose read or write end stays with the parent (made private). False when CreatePipe
// fails; the standard handle then stays unconnected.
bool MakePipe(HANDLE* childEnd, HANDLE* parentEnd, bool childReads) {
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &attributes, 0))
        return false;
    *childEnd = childReads ? readEnd : writeEnd;
    *parentEnd = childReads ? writeEnd : readEnd;
    MakePrivate(parentEnd);
    return true;
}

// Adds a process record under the launcher lock; null when no record could be made.
ProcessRecord* AddProcess(HANDLE process, int32_t id, const LaunchPipes* pipes) {
    Proc_InitLock();
    EnterCriticalSection(&g_processLock);
    auto* record = static_cast<ProcessRecord*>(List_Add(&g_processes, sizeof(ProcessRecord)));
    if (record != nullptr) {
        record->process = process;
        record->id = id;
        record->input = pipes->parentInput;
        record->output = pipes->parentOutput;
        record->errors = pipes->parentErrors;
    }
    LeaveCriticalSection(&g_processLock);
    return record;
}

// Length of a UTF-16 text: lstrlenW is kernel32's, wcslen would come from a static helper library.
size_t WideLength(const wchar_t* text) {
    return static_cast<size_t>(lstrlenW(text));
}

// Writes the command line: the program text quoted unless it starts with a quote, then a
// space and the parameters when there are any. out holds program + parameters + 4 units.
void ComposeCommandLine(wchar_t* out, const wchar_t* program, const wchar_t* parameters) {
    size_t programLength = WideLength(program);
    const bool quote = program[0] != L'"';
    if (quote)
        *out++ = L'"';
    std::memcpy(out, program, programLength * sizeof(wchar_t));
    out += programLength;
    if (quote)
        *out++ = L'"';
    if (parameters[0] != L'\0') {
        *out++ = L' ';
        size_t parameterLength = WideLength(parameters);
        std::memcpy(out, parameters, parameterLength * sizeof(wchar_t));
        out += parameterLength;
    }
    *out = L'\0';
}

// The shell's fallback: "Open" the program text. Returns the launch result.
intptr_t LaunchThroughShell(const wchar_t* program, const wchar_t* parameters, const wchar_t* directory,
                            uint32_t flags, wchar_t* derivedDirectory) {
    // Without a directory, a program given with a path runs in its own directory.
    if (directory[0] == L'\0' && program[0] != L'\0') {
        size_t lastBackslash = 0;
        for (size_t i = 1; program[i] != L'\0'; ++i) {
            if (program[i] == L'\\')
                lastBackslash = i;
        }
        if (lastBackslash != 0) {
            std::memcpy(derivedDirectory, program, (lastBackslash + 1) * sizeof(wchar_t));
            derivedDirectory[lastBackslash + 1] = L'\0';
            directory = derivedDirectory;
        }
    }
    SHELLEXECUTEINFOW info;
    Mem_Zero(&info, sizeof(info));
    info.cbSize = sizeof(info);
    // No error dialog: a failed start is reported as 0 like every other failure, and a dialog
    // would block the calling thread (at the end of a countdown, the program's end).
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"Open";
    info.lpFile = program;
    info.lpParameters = parameters;
    info.lpDirectory = (directory[0] != L'\0') ? directory : nullptr;
    info.nShow = (flags & LAUNCH_HIDDEN) ? SW_HIDE : SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return 0;
    if ((flags & LAUNCH_WAIT_END) && info.hProcess != nullptr)
        WaitForSingleObject(info.hProcess, INFINITE);
    if (flags & LAUNCH_KEEP_HANDLE) {
        LaunchPipes none = {};
        ProcessRecord* record = AddProcess(info.hProcess, -1, &none);
        if (record == nullptr) {
            CloseIf(&info.hProcess);
            return 0;
        }
        return reinterpret_cast<intptr_t>(record);
    }
    CloseIf(&info.hProcess);
    return 1;
}

} // namespace

// ---- Public functions ----

void Proc_InitLock() {
    InitOnceExecuteOnce(&g_processLockOnce, InitProcessLock, nullptr, nullptr);
}

intptr_t Proc_LaunchEx(const char* program, const char* parameters, const char* directory, uint32_t flags,
                       ProcessRecord* source) {
    // The texts go to the platform in UTF-16; a system tool's path is made in UTF-16 from the start.
    wchar_t toolPath[MAX_PATH + 1];
    if ((flags & LAUNCH_SYSTEM_TOOL) != 0 && (program == nullptr || !SysDir_Path(program, toolPath)))
        return 0;
    WideText programText((flags & LAUNCH_SYSTEM_TOOL) != 0 ? "" : program);
    const wchar_t* wideProgram = (flags & LAUNCH_SYSTEM_TOOL) != 0 ? toolPath : programText.Get();
    WideText wideParameters(parameters);
    WideText wideDirectoryText(directory);
    const wchar_t* wideDirectory = wideDirectoryText.Get();
    const bool keep = (flags & LAUNCH_KEEP_HANDLE) != 0;
    const bool hidden = (flags & LAUNCH_HIDDEN) != 0;

    // One block for the command line and a directory derived on the shell path.
    size_t programLength = WideLength(wideProgram);
    size_t lineUnits = programLength + WideLength(wideParameters.Get()) + 4;
    auto* block = static_cast<wchar_t*>(Mem_Alloc((lineUnits + programLength + 1) * sizeof(wchar_t)));
    if (block == nullptr)
        return 0;
    wchar_t* commandLine = block;
    wchar_t* derivedDirectory = block + lineUnits;
    ComposeCommandLine(commandLine, wideProgram, wideParameters.Get());

    STARTUPINFOW startup;
    Mem_Zero(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = hidden ? SW_HIDE : SW_SHOWNORMAL;
    DWORD creationFlags = NORMAL_PRIORITY_CLASS | (hidden ? DETACHED_PROCESS : 0);

    const bool chain = (flags & LAUNCH_CHAIN_INPUT) && source != nullptr && source->output != nullptr;
    const bool anyPipe =
        chain || (keep && (flags & (LAUNCH_PIPE_INPUT | LAUNCH_PIPE_OUTPUT | LAUNCH_PIPE_ERRORS)));
    if (anyPipe)
        AcquireSRWLockExclusive(&g_inheritLock);

    LaunchPipes pipes = {};
    if (chain) {
        HANDLE self = GetCurrentProcess();
        HANDLE copy = nullptr;
        if (DuplicateHandle(self, source->output, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
            pipes.childInput = copy;
    } else if (keep && (flags & LAUNCH_PIPE_INPUT)) {
        MakePipe(&pipes.childInput, &pipes.parentInput, true);
    }
    if (keep && (flags & LAUNCH_PIPE_OUTPUT))
        MakePipe(&pipes.childOutput, &pipes.parentOutput, false);
    if (keep && (flags & LAUNCH_PIPE_ERRORS))
        MakePipe(&pipes.childErrors, &pipes.parentErrors, false);

    BOOL inheritHandles = FALSE;
    if (pipes.childInput != nullptr || pipes.childOutput != nullptr || pipes.childErrors != nullptr) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        inheritHandles = TRUE;
        creationFlags &= ~static_cast<DWORD>(DETACHED_PROCESS);
        startup.hStdInput = pipes.childInput != nullptr ? pipes.childInput : GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput =
            pipes.childOutput != nullptr ? pipes.childOutput : GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = pipes.childErrors != nullptr ? pipes.childErrors : GetStdHandle(STD_ERROR_HANDLE);
    }

    PROCESS_INFORMATION started;
    Mem_Zero(&started, sizeof(started));
    BOOL ok = CreateProcessW(nullptr, commandLine, nullptr, nullptr, inheritHandles, creationFlags, nullptr,
                             wideDirectory[0] != L'\0' ? wideDirectory : nullptr, &startup, &started);

    // The child has its copies now (or there is no child): the parent closes the child's ends.
    CloseIf(&pipes.childInput);
    CloseIf(&pipes.childOutput);
    CloseIf(&pipes.childErrors);
    if (anyPipe)
        ReleaseSRWLockExclusive(&g_inheritLock);

    intptr_t result = 0;
    if (ok) {
        CloseHandle(started.hThread);
        if (flags & LAUNCH_WAIT_END)
            WaitForSingleObject(started.hProcess, INFINITE);
        if (keep) {
            ProcessRecord* record =
                AddProcess(started.hProcess, static_cast<int32_t>(started.dwProcessId), &pipes);
            if (record != nullptr) {
                result = reinterpret_cast<intptr_t>(record);
            } else {
                CloseHandle(started.hProcess);
                CloseIf(&pipes.parentInput);
                CloseIf(&pipes.parentOutput);
                CloseIf(&pipes.parentErrors);
            }
        } else {
            CloseHandle(started.hProcess);
            result = 1;
        }
    } else {
        CloseIf(&pipes.parentInput);
        CloseIf(&pipes.parentOutput);
        CloseIf(&pipes.parentErrors);
        // A start that needs standard handles cannot go through the shell.
        const uint32_t needsHandles =
            LAUNCH_PIPE_OUTPUT | LAUNCH_PIPE_INPUT | LAUNCH_PIPE_ERRORS | LAUNCH_CHAIN_INPUT;
        if ((flags & needsHandles) == 0)
            result =
                LaunchThroughShell(wideProgram, wideParameters.Get(), wideDirectory, flags, derivedDirectory);
    }
    Mem_Free(block);
    return result;
}

intptr_t Proc_Launch(const char* program, const char* parameters, const char* directory, uint32_t flags) {
    return Proc_LaunchEx(program, parameters, directory, flags, nullptr);
}
