// Helpers shared by the test programs of every subsystem: toolkit start-up, bounded draining
// of the toolkit's event pump, and (in namespace testsupport) the test program's own folder,
// temporary folders, reading files and waiting for a condition.
#pragma once

#include <gtest/gtest.h>

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

// Calls Win_WaitEvent until it returns `wanted` (bounded by maxMs); a failure names the codes that came
// instead.
::testing::AssertionResult Test_WaitForEvent(int32_t wanted, DWORD maxMs = 3000);

// Posts a key press to the window as a keyboard would deliver it.
void Test_PostKey(HWND hwnd, WPARAM vk);

namespace testsupport {

// Folder of the running test program (the build's bin folder, where the programs, the helper
// tools and the image folders are), without a trailing backslash.
std::string BinDir();

// A fresh, empty folder in the temporary folder, named after tag and this process; "" when none
// can be made. Removed by RemoveTree.
std::string MakeTempDir(const std::string& tag);
// Deletes a folder with everything in it, read-only files too.
void RemoveTree(const std::string& dir);

// Whole content of a file (also one that another process still has open), or "" when it cannot
// be read.
std::string ReadFile(const std::string& path);
// The lines of a text, without their line ends (CR LF or LF).
std::vector<std::string> Lines(const std::string& text);

// Polls cond every stepMs until it holds (true) or timeoutMs have passed. At the time-out cond
// is asked once more, so a condition that came true during the last pause still counts.
bool WaitFor(const std::function<bool()>& cond, DWORD timeoutMs, DWORD stepMs = 20);

} // namespace testsupport
