// Starts other programs: CreateProcessW with a composed, quoted command line, and the
// shell's "Open" as the fallback. On request it waits for the end, hides the window,
// connects standard input, output and error to pipes and keeps a process record.
#pragma once

#include <windows.h>

#include <cstdint>

// Launch flags.
constexpr uint32_t LAUNCH_WAIT_END = 1;      // return after the program has ended
constexpr uint32_t LAUNCH_HIDDEN = 2;        // start with the window hidden
constexpr uint32_t LAUNCH_KEEP_HANDLE = 4;   // keep a process record and return it
constexpr uint32_t LAUNCH_PIPE_OUTPUT = 8;   // with KEEP_HANDLE: standard output into a pipe
constexpr uint32_t LAUNCH_PIPE_INPUT = 16;   // with KEEP_HANDLE: standard input from a pipe
constexpr uint32_t LAUNCH_PIPE_ERRORS = 32;  // with KEEP_HANDLE: standard error into a pipe
constexpr uint32_t LAUNCH_CHAIN_INPUT = 64;  // standard input from the source's output pipe
constexpr uint32_t LAUNCH_SYSTEM_TOOL = 128; // program is a file name in the system directory

// A started program (payload of a record in the process list). The parent's pipe ends are
// private (not inheritable). Records and their handles live until the process ends.
struct ProcessRecord {
    HANDLE process; // the started process (the shell's handle on the fallback path; may be 0)
    int32_t id;     // the process id, or -1 when the shell started the program
    HANDLE input;   // write end of the standard-input pipe, or 0
    HANDLE output;  // read end of the standard-output pipe, or 0
    HANDLE errors;  // read end of the standard-error pipe, or 0
};

// ---- Public functions ----

// Prepares the launcher lock. Start-up calls it; it is safe to call again, from any thread.
void Proc_InitLock();

// Starts program with parameters in directory (null texts are empty; an empty directory is
// the current one). Texts are 1252; they reach the platform as UTF-16. With LAUNCH_SYSTEM_TOOL the
// program is the file of that name in the system directory (0 when there is no such path). source is the
// record whose output pipe LAUNCH_CHAIN_INPUT reads. Returns 0 on failure, the process record's address with
// LAUNCH_KEEP_HANDLE, else 1.
intptr_t Proc_LaunchEx(const char* program, const char* parameters, const char* directory, uint32_t flags,
                       ProcessRecord* source);

// Proc_LaunchEx without a source record.
intptr_t Proc_Launch(const char* program, const char* parameters, const char* directory, uint32_t flags);
