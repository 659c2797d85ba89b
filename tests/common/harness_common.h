// Helpers shared by the test programs of every subsystem: toolkit start-up, bounded draining
// of the toolkit's event pump, and the test program's own folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Initialises the toolkit modules the tests build on (heaps, strings, lists, threads, windows,
// controls), once per process.
void TestToolkit_Init();

// Calls Win_WaitEvent until nothing arrives for quietMs (bounded by maxMs) and returns every
// code it produced; onEvent, when given, sees each code right after Win_WaitEvent returned it
// (while Event_Control and Event_Type still describe it).
std::vector<int32_t> Test_DrainEvents(DWORD quietMs, DWORD maxMs,
                                      const std::function<void(int32_t)>& onEvent = nullptr);

// Folder of the running test program (the build's bin folder), without a trailing backslash.
std::string Test_ExeDir();
