// Tests of the program's resources: icon 1 and the common-controls manifest in the built
// programs (this test program links the same resource script as Nachtriegel.exe), and
// the format of the image files laid out next to the programs.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/harness_common.h"
#include "controls/images.h"

namespace {

// Bytes of a file, none when it cannot be read.
std::vector<uint8_t> ReadAll(const std::string& path) {
    const std::string content = testsupport::ReadFile(path);
    return std::vector<uint8_t>(content.begin(), content.end());
}

uint32_t U16(const std::vector<uint8_t>& b, size_t at) {
    return at + 2 <= b.size() ? static_cast<uint32_t>(b[at] | (b[at + 1] << 8)) : 0;
}
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return U16(b, at) | (U16(b, at + 2) << 16);
}

// Resource bytes of a module, empty when it has no such resource.
std::string ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC info = FindResourceA(module, name, type);
    if (info == nullptr) {
        return std::string();
    }
    HGLOBAL data = LoadResource(module, info);
    const char* p = data != nullptr ? static_cast<const char*>(LockResource(data)) : nullptr;
    return p != nullptr ? std::string(p, SizeofResource(module, info)) : std::string();
}

// Checks icon 1 and manifest 1 of a module.
void ExpectProgramResources(HMODULE module, const char* what) {
    std::string group = ResourceBytes(module, MAKEINTRESOURCEA(1), RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u + 14u) << what << ": no icon 1";
    // The sizes Windows asks for most (16 and 32 at 100 %, 20 at 125 %, 24 at 150 %, 48 for Explorer and
    // Alt+Tab), 32 first, each with 32 bits per pixel.
    const std::vector<uint8_t> directory(group.begin(), group.end());
    std::vector<int> sizes;
    for (size_t entry = 6; entry < 6 + 14 * U16(directory, 4); entry += 14) {
        sizes.push_back(directory[entry]);
        EXPECT_EQ(U16(directory, entry + 6), 32u) << what << ": bits per pixel of the " << sizes.back();
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16, 20, 24, 48})) << what;
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (int size : sizes) {
        // The directory's entry for the size, and the icon image it names, drawn at that size: a PNG (width
        // and height big-endian at 16 and 20) or a bitmap (the width little-endian at 4).
        int id = LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(&group[0]), TRUE, size, size,
                                             LR_DEFAULTCOLOR);
        const std::string image = ResourceBytes(module, MAKEINTRESOURCEA(id), RT_ICON);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER)) << what << ": no image for " << size;
        const std::vector<uint8_t> b(image.begin(), image.end());
        auto big32 = [&](size_t at) {
            return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
        };
        const bool isPng = image.compare(0, png.size(), png) == 0;
        EXPECT_EQ(isPng ? big32(16) : U32(b, 4), static_cast<uint32_t>(size))
            << what << ": width of the " << size;
        if (size == 32) {
            // Stored as PNG to keep the program small: 8 bits for each of red, green, blue and alpha.
            ASSERT_TRUE(isPng) << what << ": the 32 x 32 image is not a PNG";
            EXPECT_EQ(big32(20), 32u) << what << ": height";
            EXPECT_EQ(b[24], 8u) << what << ": bits per channel";
            EXPECT_EQ(b[25], 6u) << what << ": expected colour with alpha";
        }
    }

    std::string manifest = ResourceBytes(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_FALSE(manifest.empty()) << what << ": no manifest 1";
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos) << what;
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos) << what;
    // The program scales itself, so Windows must not stretch it: per monitor from Windows 10 1703, at the
    // system's scale before (1607 reads only dpiAwareness, 7 to 8.1 only dpiAware); Windows 7 up to 10 and
    // 11 (one id).
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << what << ": not DPI-aware";
    EXPECT_NE(manifest.find("2016/WindowsSettings\">PerMonitorV2, System</dpiAwareness>"), std::string::npos)
        << what << ": not per-monitor aware with the system's scale as the fallback";
    EXPECT_NE(manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"), std::string::npos) << what;
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos) << what;
    // The build strips the source's line breaks; one between two attributes must leave a blank, else
    // Windows refuses the joined attributes and the program does not start at all.
    bool inTag = false, inValue = false;
    for (size_t i = 0; i < manifest.size(); ++i) {
        const char c = manifest[i];
        if (inValue) {
            inValue = c != '"';
            const char next = i + 1 < manifest.size() ? manifest[i + 1] : '>';
            EXPECT_TRUE(inValue || strchr(" />?", next) != nullptr)
                << what << ": attributes joined at '" << manifest.substr(i > 20 ? i - 20 : 0, 40) << "'";
        } else if (inTag) {
            inValue = c == '"';
            inTag = c != '>';
        } else {
            inTag = c == '<';
        }
    }
}

TEST(Resources, test_test_program_carries_icon_and_manifest) {
    HMODULE self = GetModuleHandleA(nullptr);
    ExpectProgramResources(self, "test program");

    // Window classes load icon 1 by number: it comes out 32 x 32 at 32 bits per pixel.
    HICON icon = LoadIconA(self, MAKEINTRESOURCEA(1));
    ASSERT_NE(icon, nullptr);
    int32_t w = 0, h = 0, depth = 0;
    EXPECT_EQ(Img_Measure(icon, &w, &h, &depth), 1);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
    EXPECT_EQ(depth, 32);
}

TEST(Resources, test_manifest_selects_common_controls_6) {
    // The process's default activation context redirects comctl32 to version 6.
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof(data);
    EXPECT_TRUE(FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                         "comctl32.dll", &data))
        << "comctl32.dll is not redirected: the manifest is not in effect";
}

TEST(Resources, test_program_carries_icon_and_manifest) {
    std::string path = testsupport::BinDir() + "\\Nachtriegel.exe";
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "Nachtriegel.exe is not built next to the tests";
    }
    HMODULE program = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr) << "cannot open Nachtriegel.exe as a data file";
    ExpectProgramResources(program, "Nachtriegel.exe");
    FreeLibrary(program);
}

// Explorer's details and Task Manager name the program and its maker from its version resource, German,
// with the version its title shows: 0. and the size of its file.
TEST(Resources, test_program_names_itself_and_its_version_in_german) {
    const std::string path = testsupport::BinDir() + "\\Nachtriegel.exe";
    const std::vector<uint8_t> file = ReadAll(path);
    if (file.empty()) {
        GTEST_SKIP() << "Nachtriegel.exe is not built next to the tests";
    }
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty()) << "Nachtriegel.exe has no version resource";
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(static_cast<WORD*>(value)[0], 0x0407u) << "expected German";
    EXPECT_EQ(static_cast<WORD*>(value)[1], 1252u) << "expected the ANSI code page 1252";
    auto text = [&](const char* name) {
        const std::string key = std::string("\\StringFileInfo\\040704E4\\") + name;
        return VerQueryValueA(info.data(), key.c_str(), &value, &length) && length > 0
                   ? std::string(static_cast<const char*>(value))
                   : std::string("<missing>");
    };
    const std::string version = "0." + std::to_string(file.size());
    EXPECT_EQ(text("FileVersion"), version);
    EXPECT_EQ(text("ProductVersion"), version);
    EXPECT_EQ(text("OriginalFilename"), "Nachtriegel.exe");
    EXPECT_EQ(text("InternalName"), "Nachtriegel");
    EXPECT_EQ(text("ProductName"), "Nachtriegel");
    EXPECT_EQ(text("FileDescription").rfind("Nachtriegel", 0), 0u) << text("FileDescription");
    const std::string maker = text("CompanyName");
    EXPECT_NE(maker, "<missing>");
    EXPECT_EQ(text("LegalCopyright"), "\xA9 2026 " + maker) << "expected the copyright sign in CP1252";

    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const VS_FIXEDFILEINFO* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
    // The binary version's word holds 16 bits: a larger file (the 64-bit build may be one) has 0 there.
    const DWORD word = file.size() > 0xFFFF ? 0 : static_cast<DWORD>(file.size());
    EXPECT_EQ(fixed->dwFileVersionMS, word) << "expected 0." << file.size();
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
}

// The header names Windows 7 as the oldest system, as Microsoft's linker writes /SUBSYSTEM:WINDOWS,6.01,
// and is Terminal-Server aware (ASLR, DEP and the relocations are the release check's).
TEST(Resources, test_program_header_names_windows_7_and_its_safety_flags) {
    const std::vector<uint8_t> b = ReadAll(testsupport::BinDir() + "\\Nachtriegel.exe");
    if (b.empty()) {
        GTEST_SKIP() << "Nachtriegel.exe is not built next to the tests";
    }
    const size_t pe = U32(b, 0x3C);
    ASSERT_EQ(U32(b, pe), 0x4550u) << "no PE signature";
    const size_t optional = pe + 24;
    EXPECT_EQ(U16(b, optional + 40), 6u) << "operating system version";
    EXPECT_EQ(U16(b, optional + 42), 1u) << "operating system version";
    EXPECT_EQ(U16(b, optional + 48), 6u) << "subsystem version";
    EXPECT_EQ(U16(b, optional + 50), 1u) << "subsystem version";
    const uint32_t flags = U16(b, optional + 70);
    EXPECT_NE(flags & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, 0u)
        << std::hex << "DLL characteristics 0x" << flags;
}

TEST(Resources, test_icon_files_hold_an_image_per_display_scale_with_alpha_and_mask) {
    struct Icon {
        const char* file;
        int size; // at 100 %: the file's first image, which a load at the icon's own size takes
    };
    const Icon icons[] = {{"Symbole\\Einleitung.ico", 32},
                          {"Symbole\\Vorgang.ico", 32},
                          {"Symbole\\Warnung.ico", 32},
                          {"Symbole\\Nachtriegel-16.ico", 16}};
    // 100, 125, 150 and 200 % of 16 and of 32 pixels.
    const std::vector<int> sizes = {16, 20, 24, 32, 40, 48, 64};
    for (const Icon& icon : icons) {
        std::vector<uint8_t> b = ReadAll(testsupport::BinDir() + "\\" + icon.file);
        ASSERT_GE(b.size(), 22u + 40u) << icon.file << " missing or too short";
        EXPECT_EQ(U16(b, 0), 0u) << icon.file;
        EXPECT_EQ(U16(b, 2), 1u) << icon.file << ": not an icon file";
        const size_t count = U16(b, 4);
        ASSERT_EQ(count, sizes.size()) << icon.file << ": expected one image per size";
        EXPECT_EQ(b[6], icon.size) << icon.file << ": the image of the own size must come first";
        std::vector<int> found;
        size_t end = 6 + 16 * count;
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = 6 + 16 * i;
            const int size = b[entry];
            found.push_back(size);
            EXPECT_EQ(b[entry + 1], size) << icon.file;
            EXPECT_EQ(U16(b, entry + 6), 32u) << icon.file << ": expected 32 bits per pixel";
            const size_t offset = U32(b, entry + 12);
            const size_t length = U32(b, entry + 8);
            ASSERT_EQ(offset, end) << icon.file << ": images follow each other";
            end = offset + length;
            ASSERT_LE(end, b.size()) << icon.file;
            EXPECT_EQ(U32(b, offset + 4), static_cast<uint32_t>(size)) << icon.file;
            EXPECT_EQ(U32(b, offset + 8), static_cast<uint32_t>(2 * size)) << icon.file;
            EXPECT_EQ(U16(b, offset + 14), 32u) << icon.file;

            // Real alpha: some pixels transparent, some opaque; and the AND mask marks exactly the
            // mostly transparent ones.
            const size_t pixels = offset + 40;
            const size_t maskStride = ((size + 31) / 32) * 4;
            const size_t mask = pixels + static_cast<size_t>(size * size * 4);
            ASSERT_EQ(mask + maskStride * size, end) << icon.file << ", " << size << " pixels";
            int transparent = 0, opaque = 0, mismatches = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    const uint8_t alpha = b[pixels + (y * size + x) * 4 + 3];
                    transparent += alpha == 0 ? 1 : 0;
                    opaque += alpha == 255 ? 1 : 0;
                    const bool maskBit = (b[mask + y * maskStride + x / 8] >> (7 - x % 8)) & 1;
                    mismatches += maskBit != (alpha < 128) ? 1 : 0;
                }
            }
            EXPECT_GT(transparent, 0) << icon.file << ", " << size << " pixels: no transparent pixel";
            EXPECT_GT(opaque, size * size / 3)
                << icon.file << ", " << size << " pixels: too few opaque pixels";
            EXPECT_EQ(mismatches, 0) << icon.file << ", " << size
                                     << " pixels: AND mask does not follow the alpha";
        }
        EXPECT_EQ(end, b.size()) << icon.file;
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, sizes) << icon.file;
    }
}

TEST(Resources, test_menu_bitmaps_are_13_pixel_true_colour_files) {
    const char* files[] = {"Bilder\\Einstellungen.bmp", "Bilder\\Beenden.bmp",    "Bilder\\Informationen.bmp",
                           "Bilder\\Anzeigen.bmp",      "Bilder\\Verstecken.bmp", "Bilder\\Haftung.bmp"};
    for (const char* file : files) {
        std::vector<uint8_t> b = ReadAll(testsupport::BinDir() + "\\" + file);
        ASSERT_GE(b.size(), 54u) << file << " missing or too short";
        EXPECT_EQ(b[0], 'B') << file;
        EXPECT_EQ(b[1], 'M') << file;
        EXPECT_EQ(U32(b, 2), b.size()) << file << ": size field";
        EXPECT_EQ(U32(b, 18), 13u) << file;
        EXPECT_EQ(U32(b, 22), 13u) << file;
        EXPECT_EQ(U16(b, 28), 24u) << file << ": expected 24 bits per pixel";
        EXPECT_EQ(U32(b, 30), 0u) << file << ": expected no compression";
        const size_t pixels = U32(b, 10);
        ASSERT_EQ(pixels + 40u * 13u, b.size()) << file << ": 13 rows of 40 bytes";
        // White surroundings (menus combine the bitmap with their colour) and a drawn picture.
        int white = 0, dark = 0;
        for (size_t row = 0; row < 13; ++row) {
            for (size_t x = 0; x < 13; ++x) {
                const uint8_t* p = &b[pixels + row * 40 + x * 3];
                const int sum = p[0] + p[1] + p[2];
                white += sum == 3 * 255 ? 1 : 0;
                dark += sum < 3 * 160 ? 1 : 0;
            }
        }
        EXPECT_GT(white, 10) << file << ": expected a white background";
        EXPECT_GT(dark, 10) << file << ": expected a visible picture";
    }
}

} // namespace
