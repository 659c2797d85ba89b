// The process entry with its start-up sequence and the command line.
#pragma once

#include <windows.h>

// ---- Public functions ----

// Start-up, command line, main loop, ProgramEnd. Never returns.
[[noreturn]] void App_Main();

// The process entry (the linker's entry point): runs App_Main.
extern "C" void WINAPI App_Entry();

// Applies the command line (time field, check boxes, auto-start, minimise) to the built
// main window.
void App_ApplyCommandLine();
