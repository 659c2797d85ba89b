// Tests of the display table and the file size query.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/sysdir.h"
#include "shell/desktop.h"
#include "shell/shell_support.h"

using namespace shelltest;

namespace {

// ---- A stand-in for the platform's display enumeration ----

struct FakeDevice {
    const char* name;
    DWORD flags;
    DWORD width;
    DWORD height;
    DWORD frequency;
    DWORD depth;
    bool settingsFail;
};

const FakeDevice* g_devices = nullptr;
DWORD g_deviceCount = 0;

BOOL WINAPI FakeEnumDevices(LPCSTR device, DWORD index, PDISPLAY_DEVICEA info, DWORD) {
    if (device != nullptr || index >= g_deviceCount || info->cb != sizeof(DISPLAY_DEVICEA))
        return FALSE;
    lstrcpynA(info->DeviceName, g_devices[index].name, sizeof(info->DeviceName));
    info->StateFlags = g_devices[index].flags;
    return TRUE;
}

BOOL WINAPI FakeEnumSettings(LPCSTR device, DWORD mode, DEVMODEA* settings) {
    if (mode != ENUM_CURRENT_SETTINGS || settings->dmSize != sizeof(DEVMODEA))
        return FALSE;
    for (DWORD i = 0; i < g_deviceCount; ++i) {
        if (std::strcmp(g_devices[i].name, device) == 0) {
            if (g_devices[i].settingsFail)
                return FALSE;
            settings->dmPelsWidth = g_devices[i].width;
            settings->dmPelsHeight = g_devices[i].height;
            settings->dmDisplayFrequency = g_devices[i].frequency;
            settings->dmBitsPerPel = g_devices[i].depth;
            return TRUE;
        }
    }
    return FALSE;
}

template <size_t N> void UseDevices(const FakeDevice (&devices)[N]) {
    g_devices = devices;
    g_deviceCount = N;
}

constexpr DWORD kAttached = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
constexpr DWORD kPrimary = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE;

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitToolkit();
    }
    void TearDown() override {
        Desk_Examine(); // leave the real table behind
    }
};

} // namespace

// ---- Displays ----

TEST_F(DesktopTest, test_real_display_matches_screen) {
    int32_t count = Desk_Examine();
    ASSERT_GE(count, 1);
    EXPECT_EQ(Desk_Width(0), GetSystemMetrics(SM_CXSCREEN));
    const DisplayRecord* primary = Desk_Display(0);
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(primary->height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(Desk_Width(count), 0);
    EXPECT_EQ(Desk_Width(-1), 0);
    EXPECT_EQ(Desk_Width(INT32_MIN), 0);
    // A second examination rebuilds the same table, and still works after a release.
    Desk_Release();
    EXPECT_EQ(Desk_Examine(), count);
    EXPECT_EQ(Desk_Width(0), GetSystemMetrics(SM_CXSCREEN));
}

// The display library, like every DLL the toolkit loads, comes from the system directory by its full path,
// never from the program's folder (this test program's folder holds planted_dll.dll).
TEST_F(DesktopTest, test_libraries_load_only_from_the_system_directory) {
    wchar_t system[MAX_PATH + 1];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH + 1), 0u);
    wchar_t path[MAX_PATH + 1];
    ASSERT_TRUE(SysDir_Path("User32.DLL", path));
    EXPECT_EQ(std::wstring(path), std::wstring(system) + L"\\User32.DLL");
    HMODULE user32 = SysDir_LoadLibrary("User32.DLL");
    EXPECT_EQ(user32, GetModuleHandleA("user32.dll")) << "expected the loaded user32";
    FreeLibrary(user32);

    EXPECT_EQ(SysDir_LoadLibrary("planted_dll.dll"), nullptr) << "expected the program's folder not searched";
    HMODULE bare = LoadLibraryA("planted_dll.dll");
    EXPECT_NE(bare, nullptr) << "expected the bare name found beside this test program, or the check above "
                                "proves nothing";
    FreeLibrary(bare);
    EXPECT_FALSE(SysDir_Path(std::string(MAX_PATH, 'x').c_str(), path))
        << "expected a path beyond MAX_PATH refused";
}

TEST_F(DesktopTest, test_primary_display_goes_first) {
    static const FakeDevice devices[] = {
        {"\\\\.\\DISPLAY1", kAttached, 1024, 768, 75, 16, false},
        {"\\\\.\\DISPLAY2", 0, 640, 480, 60, 8, false}, // not attached: not counted
        {"\\\\.\\DISPLAY3", kPrimary, 1280, 1024, 60, 32, false},
    };
    UseDevices(devices);
    ASSERT_EQ(Desk_ExamineWith(FakeEnumDevices, FakeEnumSettings), 2);
    EXPECT_EQ(Desk_Width(0), 1280);
    EXPECT_EQ(Desk_Width(1), 1024);
    EXPECT_EQ(Desk_Width(2), 0);
    const DisplayRecord* primary = Desk_Display(0);
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(primary->height, 1024);
    EXPECT_EQ(primary->frequency, 60);
    EXPECT_EQ(primary->depth, 32);
    EXPECT_STREQ(primary->name, "\\\\.\\DISPLAY3");
    const DisplayRecord* secondary = Desk_Display(1);
    ASSERT_NE(secondary, nullptr);
    EXPECT_EQ(secondary->frequency, 75);
    EXPECT_STREQ(secondary->name, "\\\\.\\DISPLAY1");
}

TEST_F(DesktopTest, test_width_is_signed_16_bit) {
    static const FakeDevice devices[] = {
        {"\\\\.\\DISPLAY1", kPrimary, 0xFFFF, 100, 0, 32, false},
    };
    UseDevices(devices);
    ASSERT_EQ(Desk_ExamineWith(FakeEnumDevices, FakeEnumSettings), 1);
    EXPECT_EQ(Desk_Width(0), -1);
}

TEST_F(DesktopTest, test_extra_displays_never_overflow_the_table) {
    // Three attached devices, no primary: entries 1 and 2 are used, entry 0 stays empty, and a
    // device without settings leaves its place unfilled.
    static const FakeDevice devices[] = {
        {"\\\\.\\A", kAttached, 800, 600, 60, 32, false},
        {"\\\\.\\B", kAttached, 900, 600, 60, 32, true},
        {"\\\\.\\C", kAttached, 1000, 600, 60, 32, false},
    };
    UseDevices(devices);
    ASSERT_EQ(Desk_ExamineWith(FakeEnumDevices, FakeEnumSettings), 3);
    EXPECT_EQ(Desk_Width(0), 0);
    EXPECT_EQ(Desk_Width(1), 800);
    EXPECT_EQ(Desk_Width(2), 1000);
    EXPECT_EQ(Desk_Width(3), 0);
}

TEST_F(DesktopTest, test_fallback_measures_the_screen) {
    // No entry point, and an enumeration without attached devices: one record from the
    // display device context.
    ASSERT_EQ(Desk_ExamineWith(nullptr, nullptr), 1);
    EXPECT_EQ(Desk_Width(0), GetSystemMetrics(SM_CXSCREEN));
    const DisplayRecord* record = Desk_Display(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_STREQ(record->name, "");
    EXPECT_NE(record->depth, 0);
    EXPECT_NE(record->frequency, 1) << "the hardware default is stored as 0";

    static const FakeDevice detached[] = {
        {"\\\\.\\DISPLAY1", 0, 1024, 768, 60, 32, false},
    };
    UseDevices(detached);
    ASSERT_EQ(Desk_ExamineWith(FakeEnumDevices, FakeEnumSettings), 1);
    EXPECT_EQ(Desk_Width(0), GetSystemMetrics(SM_CXSCREEN));
}

// ---- File sizes ----

class FileSizeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitToolkit();
        dir_ = MakeTempDir("size");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        RemoveTree(dir_);
    }
    // Creates a file of bytes length (sparse: only the end is set).
    bool MakeFile(const std::string& path, int64_t bytes) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        LARGE_INTEGER end;
        end.QuadPart = bytes;
        bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        return ok;
    }
    std::string dir_;
};

TEST_F(FileSizeTest, test_file_sizes_small_and_over_4_gib) {
    std::string empty = dir_ + "\\empty.bin";
    ASSERT_TRUE(MakeFile(empty, 0));
    EXPECT_EQ(File_QuerySize(empty.c_str()), 0);

    std::string small = dir_ + "\\small.bin";
    ASSERT_TRUE(MakeFile(small, 12345));
    EXPECT_EQ(File_QuerySize(small.c_str()), 12345);

    // 5 GiB + 7: the high 32 bits must count. The file is sparse, so it costs no disk space.
    const int64_t big = (INT64_C(5) << 30) + 7;
    std::string large = dir_ + "\\large.bin";
    ASSERT_TRUE(MakeFile(large, big));
    EXPECT_EQ(File_QuerySize(large.c_str()), big);
    DeleteFileA(large.c_str());
    EXPECT_EQ(File_QuerySize(large.c_str()), FILE_SIZE_MISSING);
}

TEST_F(FileSizeTest, test_directories_and_drives) {
    EXPECT_EQ(File_QuerySize(dir_.c_str()), FILE_SIZE_DIRECTORY);
    EXPECT_EQ(File_QuerySize((dir_ + "\\").c_str()), FILE_SIZE_DIRECTORY);
    EXPECT_EQ(File_QuerySize("C:"), FILE_SIZE_DIRECTORY);
    EXPECT_EQ(File_QuerySize("C:\\"), FILE_SIZE_DIRECTORY);

    // A drive letter that names no drive.
    DWORD drives = GetLogicalDrives();
    char letter = 0;
    for (char c = 'Y'; c > 'D'; --c) {
        if (!(drives & (1u << (c - 'A')))) {
            letter = c;
            break;
        }
    }
    ASSERT_NE(letter, 0) << "no free drive letter";
    const char missingDrive[] = {letter, ':', '\0'};
    const char missingRoot[] = {letter, ':', '\\', '\0'};
    EXPECT_EQ(File_QuerySize(missingDrive), FILE_SIZE_MISSING) << missingDrive;
    EXPECT_EQ(File_QuerySize(missingRoot), FILE_SIZE_MISSING) << missingRoot;
}

TEST_F(FileSizeTest, test_missing_empty_and_null_paths) {
    EXPECT_EQ(File_QuerySize((dir_ + "\\no-such-file.txt").c_str()), FILE_SIZE_MISSING);
    EXPECT_EQ(File_QuerySize((dir_ + "\\no-such-dir\\").c_str()), FILE_SIZE_MISSING);
    EXPECT_EQ(File_QuerySize(""), FILE_SIZE_MISSING);
    EXPECT_EQ(File_QuerySize(nullptr), FILE_SIZE_MISSING);
}

TEST_F(FileSizeTest, test_drive_relative_name_is_a_file_not_a_drive) {
    // "X:name" names a file in drive X's current directory: looked up, not taken as a root.
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof(current), current);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
    ASSERT_TRUE(MakeFile(dir_ + "\\q", 3));
    const char relative[] = {dir_[0], ':', 'q', '\0'};
    EXPECT_EQ(File_QuerySize(relative), 3) << relative;
    SetCurrentDirectoryA(current);
}

TEST_F(FileSizeTest, test_long_paths_are_cut_safely) {
    // A path far beyond 260 bytes is cut, not overrun; the cut path names nothing.
    std::string longPath = dir_ + "\\" + std::string(600, 'a');
    EXPECT_EQ(File_QuerySize(longPath.c_str()), FILE_SIZE_MISSING);
}

TEST_F(FileSizeTest, test_no_search_handle_stays_open) {
    // Handle slots are reused lowest first: after queries that close every handle they open,
    // a new handle takes the slot that a probe handle left free just before.
    std::string file = dir_ + "\\f.bin";
    ASSERT_TRUE(MakeFile(file, 1));
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(probe, nullptr);
    CloseHandle(probe);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(File_QuerySize(file.c_str()), 1);
        ASSERT_EQ(File_QuerySize(dir_.c_str()), FILE_SIZE_DIRECTORY);
        ASSERT_EQ(File_QuerySize((dir_ + "\\*.bin").c_str()), 1);
    }
    HANDLE again = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(again, probe) << "a handle stayed open";
    CloseHandle(again);
}
