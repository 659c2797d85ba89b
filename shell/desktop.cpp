// Environment queries: the table of displays attached to the desktop (primary display in
// entry 0), measured once at start-up, and the size of a file, a directory or a drive.
//
// EnumDisplayDevicesA is looked up at run time so that the program still starts where it is
// missing; the display is then measured through a display device context. Its library is loaded
// by its full path in the system directory, never by a bare name. The table is
// rebuilt only by Desk_Examine, which must not run while another thread reads Desk_Width
// (the program examines once at start-up, before any other thread exists).
#include "shell/desktop.h"

#include "core/strings.h"

#include <cstring>

#include "core/objtable.h"
#include "core/sysdir.h"
#include "window/dpi.h"

namespace {

// Bound of the enumeration, so that a misbehaving enumerator cannot hang start-up.
constexpr DWORD kMaxDevices = 64;

// Module state: the display table and the run-time link to EnumDisplayDevicesA.
struct DeskState {
    DisplayRecord* table;            // count records from the main heap, or null
    int32_t count;                   // records in the table
    HMODULE user32;                  // the loaded "User32.DLL", or null
    DeskEnumDevicesProc enumDevices; // its EnumDisplayDevicesA, or null
};

DeskState g_desk = {};

// ---- Internal functions ----

// Counts the devices attached to the desktop.
int32_t CountAttached(DeskEnumDevicesProc enumDevices) {
    int32_t attached = 0;
    DISPLAY_DEVICEA device;
    for (DWORD index = 0; index < kMaxDevices; ++index) {
        Mem_Zero(&device, sizeof(device));
        device.cb = sizeof(device);
        if (!enumDevices(nullptr, index, &device, 0))
            break;
        if (device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)
            attached++;
    }
    return attached;
}

// Fills the table from the attached devices: the primary display in entry 0, the others from
// entry 1 upward in enumeration order (never beyond the table).
void FillFromDevices(DeskEnumDevicesProc enumDevices, DeskEnumSettingsProc enumSettings, DisplayRecord* table,
                     int32_t count) {
    int32_t nextFree = 1;
    DISPLAY_DEVICEA device;
    DEVMODEA mode;
    for (DWORD index = 0; index < kMaxDevices; ++index) {
        Mem_Zero(&device, sizeof(device));
        device.cb = sizeof(device);
        if (!enumDevices(nullptr, index, &device, 0))
            break;
        if (!(device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP))
            continue;
        Mem_Zero(&mode, sizeof(mode));
        mode.dmSize = sizeof(mode);
        mode.dmDriverExtra = 0;
        if (enumSettings == nullptr || !enumSettings(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode))
            continue;
        int32_t entry;
        if (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) {
            entry = 0;
        } else if (nextFree < count) {
            entry = nextFree++;
        } else {
            continue;
        }
        DisplayRecord* record = &table[entry];
        record->width = static_cast<int16_t>(mode.dmPelsWidth);
        record->height = static_cast<int16_t>(mode.dmPelsHeight);
        record->frequency = static_cast<uint16_t>(mode.dmDisplayFrequency);
        record->depth = static_cast<uint16_t>(mode.dmBitsPerPel);
        static_assert(sizeof(record->name) == sizeof(device.DeviceName), "device names are 32 bytes");
        std::memcpy(record->name, device.DeviceName, sizeof(record->name));
        record->name[sizeof(record->name) - 1] = '\0';
    }
}

// One record measured through a display device context; 0 when even that fails.
int32_t MeasureFallback() {
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (display == nullptr)
        return 0;
    auto* table = static_cast<DisplayRecord*>(Mem_Alloc(sizeof(DisplayRecord)));
    if (table != nullptr) {
        table->width = static_cast<int16_t>(GetSystemMetrics(SM_CXSCREEN));
        table->height = static_cast<int16_t>(GetSystemMetrics(SM_CYSCREEN));
        table->depth = static_cast<uint16_t>(GetDeviceCaps(display, BITSPIXEL));
        int refresh = GetDeviceCaps(display, VREFRESH);
        // 1 stands for the hardware's default rate, which the table writes as 0.
        table->frequency = static_cast<uint16_t>(refresh == 1 ? 0 : refresh);
    }
    DeleteDC(display);
    g_desk.table = table;
    g_desk.count = (table != nullptr) ? 1 : 0;
    return g_desk.count;
}

bool IsSeparator(wchar_t c) {
    return c == '\\' || c == '/';
}

} // namespace

// ---- Public functions ----

int32_t Desk_Examine() {
    if (g_desk.user32 == nullptr) {
        g_desk.user32 = SysDir_LoadLibrary("User32.DLL");
        g_desk.enumDevices = nullptr;
        if (g_desk.user32 != nullptr) {
            // Through void (*)(void): the documented way to convert a FARPROC without a
            // cast-function-type warning.
            FARPROC entry = GetProcAddress(g_desk.user32, "EnumDisplayDevicesA");
            g_desk.enumDevices =
                reinterpret_cast<DeskEnumDevicesProc>(reinterpret_cast<void (*)(void)>(entry));
        }
    }
    return Desk_ExamineWith(g_desk.enumDevices, EnumDisplaySettingsA);
}

// Width of display index (sign-extended from 16 bits) in 96-DPI units; 0 outside the table.
int32_t Desk_Width(int32_t index) {
    if (index < 0 || index >= g_desk.count || g_desk.table == nullptr)
        return 0;
    // Rounded up at other scales, so that a window this wide covers the whole display.
    return Dpi_Unscale(g_desk.table[index].width);
}

// Frees the library loaded for the enumeration; a later Desk_Examine loads it again.
void Desk_Release() {
    if (g_desk.user32 != nullptr)
        FreeLibrary(g_desk.user32);
    g_desk.user32 = nullptr;
    g_desk.enumDevices = nullptr;
}

int64_t File_QuerySize(const char* path) {
    if (path == nullptr || path[0] == '\0')
        return FILE_SIZE_MISSING;
    wchar_t buffer[MAX_PATH + 1];
    // The 1252 path in UTF-16, cut after MAX_PATH characters.
    size_t length = Str_ToWide(path, buffer, MAX_PATH);

    // A drive root ("C:" or "C:\"): the drive exists or not. "C:name" is a file on drive C
    // and is looked up like any other path.
    if (buffer[1] == L':' && (length == 2 || (length == 3 && IsSeparator(buffer[2])))) {
        if (length == 2) {
            buffer[2] = L'\\';
            buffer[3] = L'\0';
        }
        return GetDriveTypeW(buffer) > DRIVE_NO_ROOT_DIR ? FILE_SIZE_DIRECTORY : FILE_SIZE_MISSING;
    }

    // FindFirstFileW does not find "dir\".
    if (IsSeparator(buffer[length - 1]))
        buffer[--length] = L'\0';

    int64_t result = FILE_SIZE_MISSING;
    // No "insert a disk" dialog for an empty removable drive.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    WIN32_FIND_DATAW found;
    HANDLE search = (length != 0) ? FindFirstFileW(buffer, &found) : INVALID_HANDLE_VALUE;
    if (search != INVALID_HANDLE_VALUE) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            result = FILE_SIZE_DIRECTORY;
        } else {
            result =
                static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
        }
        FindClose(search);
    } else if (buffer[0] == L'\\' && buffer[1] == L'\\') {
        // A share such as \\server\share cannot be listed, only asked for its attributes.
        DWORD attributes = GetFileAttributesW(buffer);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            result = FILE_SIZE_DIRECTORY;
    }
    SetThreadErrorMode(previousMode, nullptr);
    return result;
}

// ---- Test support ----

int32_t Desk_ExamineWith(DeskEnumDevicesProc enumDevices, DeskEnumSettingsProc enumSettings) {
    Mem_Free(g_desk.table);
    g_desk.table = nullptr;
    g_desk.count = 0;

    if (enumDevices != nullptr) {
        int32_t count = CountAttached(enumDevices);
        if (count != 0) {
            auto* table =
                static_cast<DisplayRecord*>(Mem_Alloc(sizeof(DisplayRecord) * static_cast<size_t>(count)));
            if (table != nullptr) {
                FillFromDevices(enumDevices, enumSettings, table, count);
                g_desk.table = table;
                g_desk.count = count;
            }
        }
    }
    if (g_desk.count == 0)
        return MeasureFallback();
    return g_desk.count;
}

const DisplayRecord* Desk_Display(int32_t index) {
    if (index < 0 || index >= g_desk.count || g_desk.table == nullptr)
        return nullptr;
    return &g_desk.table[index];
}
