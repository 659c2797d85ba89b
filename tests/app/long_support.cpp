// Helpers of the long-run reliability tests (see long_support.h).
#include "long_support.h"

#include <algorithm>
#include <vector>

namespace longrun {

namespace {

// One entry of the extended system handle table (SystemExtendedHandleInformation).
struct HandleEntry {
    PVOID object;
    ULONG_PTR pid;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
};
struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};
constexpr ULONG kExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
typedef LONG(NTAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

} // namespace

const char* const kKeywords[5] = {"end", "restart", "standby", "change-user", "end-user"};

int HandleCount(DWORD pid) {
    static auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return -1;
    }
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        status = query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != kInfoLengthMismatch) {
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        return -1;
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    int count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        if (table->entries[i].pid == pid) {
            ++count;
        }
    }
    return count;
}

Census Take(apptest::Program& program) {
    Census census;
    census.threads = program.ThreadCount();
    census.handles = HandleCount(program.ProcessId());
    census.banners = static_cast<int>(program.WindowsOfClass("WindowClass_1").size());
    return census;
}

// The words of a command line, the program name first. Written as a three-state machine from the
// splitting rules (not after the program's scanning loop): between words a space is skipped; a
// word that starts with a double quote ends at the next double quote (which is dropped, and the
// next word may follow at once), any other word ends at a space; an unclosed word ends with the
// line; tabs and quotes inside a plain word are ordinary characters.
std::vector<std::string> Words(const std::string& line) {
    enum class State { Between, Plain, Quoted };
    std::vector<std::string> words;
    std::string word;
    State state = State::Between;
    for (char c : line) {
        switch (state) {
            case State::Between:
                if (c == '"') {
                    word.clear();
                    state = State::Quoted;
                } else if (c != ' ') {
                    word.assign(1, c);
                    state = State::Plain;
                }
                break;
            case State::Plain:
            case State::Quoted:
                if (c == (state == State::Plain ? ' ' : '"')) {
                    words.push_back(word);
                    state = State::Between;
                } else {
                    word += c;
                }
                break;
        }
    }
    if (state != State::Between) {
        words.push_back(word);
    }
    return words;
}

std::string ParamOf(const std::string& line, int index) {
    const std::vector<std::string> words = Words(line);
    const size_t position = static_cast<size_t>(index) + 1; // word 0 is the program name
    return index >= 0 && position < words.size() ? words[position] : std::string();
}

int32_t ToInt(const std::string& text) {
    size_t p = 0;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) {
        ++p;
    }
    bool negative = false;
    if (p < text.size() && (text[p] == '-' || text[p] == '+')) {
        negative = text[p] == '-';
        ++p;
    }
    int64_t value = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
        value = std::min<int64_t>(value * 10 + (text[p] - '0'), int64_t{1} << 40);
        ++p;
    }
    value = negative ? -value : value;
    return static_cast<int32_t>(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, value)));
}

std::string TaskCommand(int task) {
    switch (task) {
        case 0:
            return apptest::ExpectedCommand("shutdown.exe", "-s -f");
        case 1:
            return apptest::ExpectedCommand("shutdown.exe", "-r -f");
        case 2:
            return apptest::ExpectedCommand("rundll32.exe", "PowrProf.dll,SetSuspendState");
        case 3:
            return apptest::ExpectedCommand("rundll32.exe", "user32.dll,LockWorkStation");
        case 4:
            return apptest::ExpectedCommand("shutdown.exe", "-l -f");
        default:
            return std::string();
    }
}

} // namespace longrun
