// Helpers shared by the test programs of every subsystem: toolkit start-up, bounded draining
// of the toolkit's event pump, keys, and (in namespace testsupport) the test program's own folder,
// temporary folders, reading files, waiting for a condition, window texts and message boxes.
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
// Makes the file hold exactly these bytes; false when it cannot be written.
bool WriteBytes(const std::string& path, const std::string& bytes);
// The lines of a text, without their line ends (CR LF or LF).
std::vector<std::string> Lines(const std::string& text);

// Polls cond every stepMs until it holds (true) or timeoutMs have passed. At the time-out cond
// is asked once more, so a condition that came true during the last pause still counts.
bool WaitFor(const std::function<bool()>& cond, DWORD timeoutMs, DWORD stepMs = 20);

// Texts are read from windows as Unicode and compared as 1252 bytes, like the tests' literals (From16: a
// character 1252 lacks becomes '?'); texts for them go as Unicode from 1252 (To16).
std::string From16(const wchar_t* text);
std::wstring To16(const std::string& text);
// Sends a message as Unicode to a window, also of another process, giving up after 5 s or on a hung one:
// whether it answered (and with what, in result).
bool Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, DWORD_PTR* result = nullptr);
// A window's title (GetWindowTextW), and its text asked by message, also of a window of another
// process or a busy thread ("<no window>", "<no answer>" when there is none).
std::string TitleOf(HWND window);
std::string TextOf(HWND window);

// The top-level windows of a process, in z-order, by class name and title (null: any); visibleOnly
// drops the hidden ones.
std::vector<HWND> TopWindows(DWORD pid, const char* className, const char* title, bool visibleOnly);

// A message box as a user meets it, driven from outside its modal loop (another thread or process):
// the visible window of process pid with the title, polled until timeoutMs (null after); its message
// text; OK pressed, true once the box is gone.
HWND FindBox(const char* title, DWORD pid = GetCurrentProcessId(), DWORD timeoutMs = 5000);
std::string BoxText(HWND box);
bool PressOk(HWND box);
// All three: the box's text, or "<no box 'title'>" when none came.
std::string CloseBox(const char* title, DWORD pid = GetCurrentProcessId());

} // namespace testsupport
