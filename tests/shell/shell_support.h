// Helpers shared by the shell service tests: toolkit start-up, bounded waiting and pumping,
// temporary folders and small file utilities.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shelltest {

// Initialises the toolkit modules the shell tests use, once per process.
void InitToolkit();

// Directory of the running test program (the build's bin folder), with a trailing backslash.
std::string BinDir();
// A fresh, empty temporary folder (no trailing backslash); removed by RemoveTree.
std::string MakeTempDir(const char* tag);
// Deletes a folder with everything in it.
void RemoveTree(const std::string& dir);
// Whole content of a file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// True if something exists under path.
bool Exists(const std::string& path);
// Splits text into lines (without their line ends).
std::vector<std::string> Lines(const std::string& text);

// Polls cond every stepMs until it holds (true) or timeoutMs have passed (false).
bool WaitFor(const std::function<bool()>& cond, DWORD timeoutMs, DWORD stepMs = 20);
// Dispatches the calling thread's messages until none arrived for quietMs (at most maxMs).
void PumpQuiet(DWORD quietMs = 50, DWORD maxMs = 2000);

} // namespace shelltest
