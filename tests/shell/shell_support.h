// Helpers shared by the shell service tests: toolkit start-up, pumping, the host window, and the helpers
// of all test programs (temporary folders, reading files, waiting, message boxes).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/harness_common.h"
#include "common/host_window.h"

namespace shelltest {

using testsupport::BinDir;
using testsupport::BoxText;
using testsupport::FindBox;
using testsupport::Lines;
using testsupport::MakeTempDir;
using testsupport::PressOk;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::WaitFor;

// Initialises the toolkit modules the shell tests use, once per process.
inline void InitToolkit() {
    TestToolkit_Init();
}

// True if something exists under path.
inline bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Dispatches the calling thread's messages (through the toolkit's pump) until none arrived for quietMs
// (at most maxMs).
inline void PumpQuiet(DWORD quietMs = 50, DWORD maxMs = 2000) {
    Test_DrainEvents(quietMs, maxMs);
}

} // namespace shelltest
