// Helpers shared by the shell service tests: toolkit start-up, pumping, and the helpers of all
// test programs (temporary folders, reading files, waiting).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/harness_common.h"

namespace shelltest {

using testsupport::BinDir;
using testsupport::Lines;
using testsupport::MakeTempDir;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::WaitFor;

// Initialises the toolkit modules the shell tests use, once per process.
void InitToolkit();

// True if something exists under path.
bool Exists(const std::string& path);

// Dispatches the calling thread's messages until none arrived for quietMs (at most maxMs).
void PumpQuiet(DWORD quietMs = 50, DWORD maxMs = 2000);

} // namespace shelltest
