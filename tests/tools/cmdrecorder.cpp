// Test helper: records how it was started. Writes four lines to the file named by the
// environment variable NR_RECORD_FILE (or, without it, to cmdrecorder.txt next to itself):
// the command line exactly as received, the current directory, the show flags of its start-up
// information and its process id. The file is written under a temporary name and then renamed,
// so a test polling for it never reads half a record.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// Target file: NR_RECORD_FILE, else "cmdrecorder.txt" in the program's directory.
bool RecordPath(char* path, DWORD size) {
    DWORD length = GetEnvironmentVariableA("NR_RECORD_FILE", path, size);
    if (length > 0 && length < size)
        return true;
    length = GetModuleFileNameA(nullptr, path, size);
    if (length == 0 || length >= size)
        return false;
    char* slash = std::strrchr(path, '\\');
    char* name = slash != nullptr ? slash + 1 : path;
    const char file[] = "cmdrecorder.txt";
    if (static_cast<size_t>(name - path) + sizeof(file) > size)
        return false;
    std::memcpy(name, file, sizeof(file));
    return true;
}

} // namespace

int main() {
    char path[MAX_PATH];
    if (!RecordPath(path, sizeof(path)))
        return 2;
    char temporary[MAX_PATH + 8];
    std::snprintf(temporary, sizeof(temporary), "%s.tmp", path);

    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(directory), directory);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);

    FILE* out = std::fopen(temporary, "wb");
    if (out == nullptr)
        return 3;
    std::fprintf(out, "%s\n%s\nshow=%u flags=%lx\npid=%lu\n", GetCommandLineA(), directory,
                 static_cast<unsigned>(startup.wShowWindow), static_cast<unsigned long>(startup.dwFlags),
                 static_cast<unsigned long>(GetCurrentProcessId()));
    std::fclose(out);
    return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
