// Command-line parameters. The line is read afresh from the platform on every call and
// never changed; the wanted parameter is copied into the caller's scratch area.
#include "core/params.h"

#include <windows.h>

#include <cstring>

#include "core/strings.h"

// ---- Public functions ----

void Param_Init(void) {}

bool Param_Scan(const char* commandLine, int32_t index, const char** start, int32_t* length) {
    const char* found = nullptr;
    int32_t foundLength = 0;
    bool ok = false;
    if (commandLine != nullptr && index >= 0) {
        const char* p = commandLine;
        int32_t number = -1;
        while (*p != '\0') {
            // Only blanks separate; a tab is an ordinary character.
            while (*p == ' ')
                ++p;
            const char* tokenStart = nullptr;
            const char* tokenEnd = nullptr;
            if (*p == '"') {
                tokenStart = ++p;
                while (*p != '\0' && *p != '"')
                    ++p;
                tokenEnd = p;
                if (*p == '"')
                    ++p; // the next token may follow the closing quote at once
            } else if (*p != '\0') {
                tokenStart = p;
                while (*p != '\0' && *p != ' ')
                    ++p;
                tokenEnd = p;
                if (*p == ' ')
                    ++p;
            }
            if (number == index) {
                if (tokenStart != nullptr) {
                    found = tokenStart;
                    foundLength = static_cast<int32_t>(tokenEnd - tokenStart);
                    ok = true;
                }
                break;
            }
            if (tokenStart != nullptr)
                ++number;
        }
    }
    if (start != nullptr)
        *start = found;
    if (length != nullptr)
        *length = foundLength;
    return ok;
}

void Param_GetFrom(const char* commandLine, int32_t index, int32_t target) {
    const char* start = nullptr;
    int32_t length = 0;
    if (!Param_Scan(commandLine, index, &start, &length) || length == 0) {
        Scratch_SetPos(target);
        return;
    }
    char* out = Scratch_Reserve(length, target);
    if (out == nullptr) {
        Scratch_SetPos(target);
        return;
    }
    std::memcpy(out, start, static_cast<size_t>(length));
    out[length] = '\0';
}

// Writes parameter index of the process's command line at target. The line is read in UTF-16 and
// turned into 1252 above the room the parameter can need (it is no longer than the line); a character
// 1252 lacks reads as '?', whatever the system's ANSI code page.
void Param_Get(int32_t index, int32_t target) {
    const wchar_t* line = GetCommandLineW();
    const int32_t length = line != nullptr ? lstrlenW(line) : 0;
    const int32_t copy = target + length + 1;
    Str_FromWide(line, length, copy);
    const char* start = nullptr;
    int32_t found = 0;
    if (!Param_Scan(Scratch_Ptr(copy), index, &start, &found) || found == 0) {
        Scratch_SetPos(target);
        return;
    }
    std::memmove(Scratch_Ptr(target), start, static_cast<size_t>(found));
    Scratch_SetPos(target + found);
}
