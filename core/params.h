// Command-line parameters, split by the toolkit's own rules: blanks separate (tabs do
// not), a double quote starts a token that runs to the next double quote, the program name
// is never returned.
#pragma once

#include <cstdint>

// Start-up hook of the parameter module. The module keeps no state; the launcher's process
// lock is set up by the launcher module itself.
void Param_Init(void);

// Writes parameter index (0 = first word after the program name) of the process's command
// line at target; a missing parameter (or a negative index) is the empty text.
void Param_Get(int32_t index, int32_t target);

// Param_Get on a given command line (null = empty line).
void Param_GetFrom(const char* commandLine, int32_t index, int32_t target);

// Finds parameter index in commandLine: stores its start and length (without quotes) and
// returns true, or returns false (start = null, length = 0) when it is missing.
bool Param_Scan(const char* commandLine, int32_t index, const char** start, int32_t* length);
