// The system directory, the one place the program takes its tools and DLLs from: a file named there
// cannot be replaced by a same-named one in the program's folder (often a download folder) or the
// current directory.
#pragma once

#include <windows.h>

// ---- Public functions ----

// Restricts the DLL search of the process to the system directory. Called first at start-up, once the
// static imports are loaded; where the system lacks that (Windows 7 without KB2533623), takes at least
// the current directory out of the search.
void SysDir_RestrictDllSearch();

// Writes the full path of name (a 1252 text) in the system directory into path (MAX_PATH + 1 UTF-16
// units); false when the directory cannot be read or the path would be longer than MAX_PATH.
bool SysDir_Path(const char* name, wchar_t* path);

// Loads a system DLL by its full path in the system directory; null when it cannot. The caller frees
// the reference with FreeLibrary.
HMODULE SysDir_LoadLibrary(const char* name);
