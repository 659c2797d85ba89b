// Test helper: a child program for the launcher's pipe tests. Runs its arguments as a list of
// commands, in order:
//   out TEXT        writes TEXT to standard output
//   err TEXT        writes TEXT to standard error
//   cat             copies standard input to standard output until end of file
//   sleep MS        sleeps MS milliseconds
//   touch FILE      creates FILE (empty)
// Exit code 0, or 1 for an unknown command or a failed write.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

bool WriteAll(HANDLE handle, const char* data, DWORD length) {
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, length, &written, nullptr) || written == 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

bool CopyInput() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        if (!WriteAll(output, buffer, got))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* command = argv[i];
        const char* argument = (i + 1 < argc) ? argv[i + 1] : "";
        if (std::strcmp(command, "cat") == 0) {
            if (!CopyInput())
                return 1;
            continue;
        }
        ++i;
        if (std::strcmp(command, "out") == 0) {
            if (!WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), argument,
                          static_cast<DWORD>(std::strlen(argument))))
                return 1;
        } else if (std::strcmp(command, "err") == 0) {
            if (!WriteAll(GetStdHandle(STD_ERROR_HANDLE), argument,
                          static_cast<DWORD>(std::strlen(argument))))
                return 1;
        } else if (std::strcmp(command, "sleep") == 0) {
            Sleep(static_cast<DWORD>(std::atoi(argument)));
        } else if (std::strcmp(command, "touch") == 0) {
            HANDLE file = CreateFileA(argument, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return 1;
            CloseHandle(file);
        } else {
            return 1;
        }
    }
    return 0;
}
