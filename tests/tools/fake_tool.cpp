// Recorder that stands in for the system's shutdown.exe and rundll32.exe in the test prefix.
// It acts on nothing: it appends its full command line (one line per start) to the record file
// named by NACHTRIEGEL_RECORD, or to C:\nachtriegel-record.txt, and exits with code 0.
#include <windows.h>

#include <cstring>

namespace {

constexpr char kDefaultRecord[] = "C:\\nachtriegel-record.txt";

// The record file: the environment's choice, else the default.
void RecordPath(char* path, DWORD size) {
    DWORD length = GetEnvironmentVariableA("NACHTRIEGEL_RECORD", path, size);
    if (length == 0 || length >= size) {
        lstrcpynA(path, kDefaultRecord, static_cast<int>(size));
    }
}

} // namespace

int main() {
    char path[MAX_PATH];
    RecordPath(path, sizeof path);
    const char* commandLine = GetCommandLineA();
    // Appending with shared access lets a test read the file while several starts write to it.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    WriteFile(file, commandLine, static_cast<DWORD>(std::strlen(commandLine)), &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
    CloseHandle(file);
    return 0;
}
