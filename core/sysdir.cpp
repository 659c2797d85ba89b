// The system directory: restricting the DLL search to it, and full paths of files in it.
#include "core/sysdir.h"

#include <cstring>

#include "core/strings.h"

// ---- Public functions ----

// SetDefaultDllDirectories is looked up at run time: an un-updated Windows 7 lacks it, and a static
// import would keep the program from starting there.
void SysDir_RestrictDllSearch() {
    // Through void (*)(void): the documented way to convert a FARPROC without a cast-function-type warning.
    auto restrict = reinterpret_cast<decltype(&SetDefaultDllDirectories)>(reinterpret_cast<void (*)(void)>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    // The empty text removes the current directory from the search; the program's own folder stays in it.
    if (restrict == nullptr || !restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryA("");
    }
}

// The directory, one backslash, the name; in UTF-16 throughout, so that no folder name passes through 1252.
bool SysDir_Path(const char* name, wchar_t* path) {
    UINT length = GetSystemDirectoryW(path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return false;
    }
    if (path[length - 1] != L'\\') {
        path[length++] = L'\\';
    }
    size_t nameLength = std::strlen(name);
    if (length + nameLength > MAX_PATH) {
        return false;
    }
    Str_ToWide(name, path + length, nameLength);
    return true;
}

// By its full path the DLL is found the same way with and without the restricted search.
HMODULE SysDir_LoadLibrary(const char* name) {
    wchar_t path[MAX_PATH + 1];
    return SysDir_Path(name, path) ? LoadLibraryW(path) : nullptr;
}
