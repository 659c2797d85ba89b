// Helpers of the long-run reliability tests: counting a process's handles, threads and banner
// windows from outside, reading a banner's sentence, and the reference rules by which the program
// splits its command line and converts its time field.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app_support.h"

namespace longrun {

// Number of kernel handles the process holds (system handle table), or -1.
int HandleCount(DWORD pid);

// Counts of one program at one moment.
struct Census {
    int threads = -1;
    int handles = -1;
    int banners = -1; // top-level windows of the banner's class
};
Census Take(apptest::Program& program);

// The words of a command line by the program's splitting rules, the program name first: spaces
// separate, a double quote starts a quoted word that runs to the next quote, tabs are ordinary.
std::vector<std::string> Words(const std::string& commandLine);
// Parameter `index` of a command line (the word after the program name that has this number), or
// "" when there is none.
std::string ParamOf(const std::string& commandLine, int index);

// How the countdown reads its field: blanks and tabs skipped, one sign, digits; a number past the
// 32-bit range counts as the range's end.
int32_t ToInt(const std::string& text);

// The five task keywords in task order.
extern const char* const kKeywords[5];
// The recorded command of each task (tool in the system directory with its switches).
std::string TaskCommand(int task);

} // namespace longrun
