// Tests of the image module: loading bitmaps and icons by content, reuse of numbers,
// failures on bad files, no file left open, the decoder list, and the program's own
// image files next to the test program.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/harness_common.h"
#include "controls/images.h"

namespace {

typedef std::vector<uint8_t> Bytes;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// BITMAPINFOHEADER for a w x h image (h already doubled for icons).
void PutInfoHeader(Bytes& b, int w, int h, int bpp, uint32_t imageBytes, int colours) {
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(w));
    Put32(b, static_cast<uint32_t>(h));
    Put16(b, 1);
    Put16(b, static_cast<uint32_t>(bpp));
    Put32(b, 0);
    Put32(b, imageBytes);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, static_cast<uint32_t>(colours));
    Put32(b, 0);
}

// A bitmap file of the given depth (24, 8, 4 or 1) with a grey palette for palette depths.
Bytes MakeBmp(int w, int h, int bpp) {
    int colours = bpp <= 8 ? (1 << bpp) : 0;
    uint32_t stride = ((static_cast<uint32_t>(w) * bpp + 31) / 32) * 4;
    uint32_t pixelBytes = stride * static_cast<uint32_t>(h);
    uint32_t offset = 14 + 40 + 4 * colours;
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    Put32(b, offset + pixelBytes);
    Put32(b, 0);
    Put32(b, offset);
    PutInfoHeader(b, w, h, bpp, pixelBytes, colours);
    for (int i = 0; i < colours; ++i) {
        uint8_t v = static_cast<uint8_t>(colours > 1 ? i * 255 / (colours - 1) : 0);
        b.insert(b.end(), {v, v, v, 0});
    }
    for (uint32_t i = 0; i < pixelBytes; ++i) {
        b.push_back(static_cast<uint8_t>(i * 37));
    }
    return b;
}

// An icon file with one 32-bit image (colour with alpha plus AND mask) per size.
Bytes MakeIco(const std::vector<int>& sizes) {
    std::vector<Bytes> images;
    for (int s : sizes) {
        uint32_t maskStride = ((static_cast<uint32_t>(s) + 31) / 32) * 4;
        uint32_t xorBytes = static_cast<uint32_t>(s * s * 4);
        Bytes img;
        PutInfoHeader(img, s, s * 2, 32, xorBytes + maskStride * s, 0);
        for (int y = 0; y < s; ++y) {
            for (int x = 0; x < s; ++x) {
                img.insert(img.end(), {static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 8), 200, 255});
            }
        }
        img.insert(img.end(), maskStride * s, 0);
        images.push_back(img);
    }
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, static_cast<uint32_t>(sizes.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        b.push_back(static_cast<uint8_t>(sizes[i] % 256));
        b.push_back(static_cast<uint8_t>(sizes[i] % 256));
        b.push_back(0);
        b.push_back(0);
        Put16(b, 1);
        Put16(b, 32);
        Put32(b, static_cast<uint32_t>(images[i].size()));
        Put32(b, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const Bytes& img : images) {
        b.insert(b.end(), img.begin(), img.end());
    }
    return b;
}

Bytes FromText(const char* text) {
    return Bytes(text, text + strlen(text));
}

std::string g_dir;

std::string PathOf(const char* name) {
    return g_dir + "\\" + name;
}

std::string Write(const char* name, const Bytes& bytes) {
    std::string path = PathOf(name);
    testsupport::WriteBytes(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

// True when nobody holds the file open: an exclusive open and a delete both succeed.
bool OpenExclusively(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
}

bool IsDibSection(HANDLE h) {
    DIBSECTION ds;
    return GetObjectA(h, sizeof(ds), &ds) == static_cast<int>(sizeof(ds));
}

int BitsPerPixel(HANDLE h) {
    BITMAP bm = {};
    GetObjectA(h, sizeof(bm), &bm);
    return bm.bmBitsPixel;
}

// A live icon answers GetIconInfo; a destroyed one does not.
bool IconAlive(HANDLE h) {
    ICONINFO info = {};
    if (!GetIconInfo(static_cast<HICON>(h), &info)) {
        return false;
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

class Images : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Img_Init();
        Decoder_Reset();
        g_dir = testsupport::MakeTempDir("images");
    }
    static void TearDownTestSuite() {
        Img_FreeAll();
        testsupport::RemoveTree(g_dir);
    }
    void TearDown() override {
        Img_FreeAll();
        Decoder_Reset();
    }
};

TEST_F(Images, test_bitmaps_load_as_dib_or_device_bitmap_by_depth) {
    std::string p24 = Write("true.bmp", MakeBmp(20, 10, 24));
    ObjId h = Img_Load(1, p24.c_str(), 0);
    ASSERT_NE(h, 0) << "24-bit bitmap did not load";
    EXPECT_EQ(reinterpret_cast<HANDLE>(h), Img_Handle(1)) << "Img_Load must return the native handle";
    EXPECT_EQ(GetObjectType(Img_Handle(1)), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_TRUE(IsDibSection(Img_Handle(1))) << "expected a DIB section for a 24-bit file";
    const ImageRecord* r = Img_Record(1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->width, 20);
    EXPECT_EQ(r->height, 10);
    EXPECT_EQ(r->depth, 24);
    EXPECT_EQ(r->flags, 0);

    for (int bpp : {8, 4, 1}) {
        std::string name = "palette" + std::to_string(bpp) + ".bmp";
        std::string path = Write(name.c_str(), MakeBmp(7, 5, bpp));
        ASSERT_NE(Img_Load(2, path.c_str(), 0), 0) << bpp << "-bit bitmap did not load";
        HANDLE kept = Img_Handle(2);
        EXPECT_FALSE(IsDibSection(kept)) << bpp << "-bit bitmap: expected a device-dependent bitmap";
        r = Img_Record(2);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->width, 7);
        EXPECT_EQ(r->height, 5);
        EXPECT_EQ(r->depth, BitsPerPixel(kept)) << "depth must be that of the bitmap finally kept";
    }

    // The device-bitmap flag turns a true-colour file into a device bitmap and is kept.
    ASSERT_NE(Img_Load(3, p24.c_str(), IMG_DEVICE_BITMAP | 0x100), 0);
    EXPECT_FALSE(IsDibSection(Img_Handle(3))) << "IMG_DEVICE_BITMAP must give a device-dependent bitmap";
    EXPECT_EQ(Img_Record(3)->flags, IMG_DEVICE_BITMAP) << "only the low byte of the flags is kept";
}

TEST_F(Images, test_content_decides_the_type_not_the_name) {
    std::string iconAsBmp = Write("icon.bmp", MakeIco({32}));
    std::string bmpAsIcon = Write("bitmap.ico", MakeBmp(9, 9, 24));
    ASSERT_NE(Img_Load(4, iconAsBmp.c_str(), 0), 0) << "an icon named .bmp must load";
    EXPECT_NE(GetObjectType(Img_Handle(4)), static_cast<DWORD>(OBJ_BITMAP)) << "expected an icon";
    EXPECT_TRUE(IconAlive(Img_Handle(4)));
    EXPECT_EQ(Img_Record(4)->width, 32);
    EXPECT_EQ(Img_Record(4)->height, 32);
    EXPECT_EQ(Img_Record(4)->depth, 32);

    ASSERT_NE(Img_Load(5, bmpAsIcon.c_str(), 0), 0) << "a bitmap named .ico must load";
    EXPECT_EQ(GetObjectType(Img_Handle(5)), static_cast<DWORD>(OBJ_BITMAP)) << "expected a bitmap";
    EXPECT_EQ(Img_Record(5)->width, 9);
}

TEST_F(Images, test_icons_keep_their_own_size) {
    for (int size : {16, 48}) {
        std::string name = "own" + std::to_string(size) + ".ico";
        std::string path = Write(name.c_str(), MakeIco({size}));
        ASSERT_NE(Img_Load(6, path.c_str(), 0), 0);
        int32_t w = 0, h = 0, d = 0;
        EXPECT_EQ(Img_Measure(Img_Handle(6), &w, &h, &d), 1);
        EXPECT_EQ(w, size) << "expected the icon's own width " << size << ", got " << w;
        EXPECT_EQ(h, size);
        EXPECT_EQ(Img_Record(6)->width, size);
    }
    // A relative name in a folder whose name 1252 lacks (a user folder in Cyrillic): the path kept for a load
    // at another scale is that folder's, not one with "?" in it.
    wchar_t home[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, home);
    const std::wstring folder = std::wstring(g_dir.begin(), g_dir.end()) + L"\\Загрузки";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::string icon = testsupport::BinDir() + "\\Symbole\\Warnung.ico";
    ASSERT_TRUE(
        CopyFileW(std::wstring(icon.begin(), icon.end()).c_str(), (folder + L"\\w.ico").c_str(), FALSE));
    SetCurrentDirectoryW(folder.c_str());
    EXPECT_NE(Img_Load(6, "w.ico", 0), 0) << "expected the icon found in the folder";
    SetCurrentDirectoryW(home);
    ASSERT_NE(Img_Record(6), nullptr);
    EXPECT_EQ(std::wstring(Img_Record(6)->file), folder + L"\\w.ico");
    Img_FreeAll();
    DeleteFileW((folder + L"\\w.ico").c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(Images, test_bad_files_fail_with_zero_and_leave_the_number_free) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes truncated = MakeBmp(16, 16, 24);
    truncated.resize(30);
    Bytes garbageIcon = {0, 0, 1, 0, 5, 0, 0xFF, 0xFF, 0xFF};
    Bytes cutIcon = MakeIco({32});
    cutIcon.resize(cutIcon.size() / 2);
    Bytes noImages = {0, 0, 1, 0, 0, 0};
    Bytes cutPalette = MakeBmp(8, 8, 8);
    cutPalette.resize(14 + 40 + 100);
    Bytes cutPixels = MakeBmp(16, 16, 24);
    cutPixels.resize(cutPixels.size() - 3);
    Bytes hugeBitmap = MakeBmp(2, 2, 24);
    hugeBitmap[18] = 0xFF; // width 0x7FFFFF.. with the pixels of a 2 x 2 image
    hugeBitmap[19] = 0xFF;
    hugeBitmap[20] = 0xFF;
    hugeBitmap[21] = 0x7F;
    Case cases[] = {
        {"text.bmp", FromText("just some text, neither a bitmap nor an icon")},
        {"empty.ico", Bytes()},
        {"one.ico", Bytes{'B'}},
        {"truncated.bmp", truncated},
        {"garbage.ico", garbageIcon},
        {"onlyBM.bmp", FromText("BM")},
        {"cut.ico", cutIcon},
        {"noimages.ico", noImages},
        {"cutpalette.bmp", cutPalette},
        {"cutpixels.bmp", cutPixels},
        {"huge.bmp", hugeBitmap},
    };
    std::string good = Write("good.bmp", MakeBmp(4, 4, 24));
    for (const Case& c : cases) {
        std::string path = Write(c.name, c.bytes);
        ASSERT_NE(Img_Load(7, good.c_str(), 0), 0);
        HANDLE old = Img_Handle(7);
        EXPECT_EQ(Img_Load(7, path.c_str(), 0), 0) << c.name << ": expected failure";
        EXPECT_EQ(Img_Handle(7), nullptr) << c.name << ": the number must be free after a failed load";
        EXPECT_EQ(GetObjectType(old), 0u) << c.name << ": the earlier image must be released";
        EXPECT_TRUE(OpenExclusively(path)) << c.name << ": file still open after the load";
        EXPECT_TRUE(DeleteFileA(path.c_str())) << c.name << ": file cannot be deleted after the load";
    }
    EXPECT_EQ(Img_Load(7, PathOf("missing.bmp").c_str(), 0), 0);
    EXPECT_EQ(Img_Load(7, g_dir.c_str(), 0), 0) << "a directory must fail";
    EXPECT_EQ(Img_Load(7, nullptr, 0), 0) << "a null name must fail";
    EXPECT_EQ(Img_Load(7, "", 0), 0);
    EXPECT_EQ(Img_Load(OBJ_ANY, PathOf("missing.bmp").c_str(), 0), 0);
    EXPECT_EQ(Img_Handle(7), nullptr);
}

TEST_F(Images, test_no_file_left_open_after_successful_loads) {
    std::string files[] = {
        Write("open24.bmp", MakeBmp(3, 3, 24)),
        Write("open8.bmp", MakeBmp(3, 3, 8)),
        Write("open.ico", MakeIco({32})),
    };
    for (const std::string& path : files) {
        ASSERT_NE(Img_Load(8, path.c_str(), 0), 0) << path;
        EXPECT_TRUE(OpenExclusively(path)) << path << " still open after the load";
        EXPECT_TRUE(DeleteFileA(path.c_str())) << path;
    }
}

TEST_F(Images, test_file_held_open_by_another_fails) {
    std::string path = Write("held.bmp", MakeBmp(3, 3, 24));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // The signature is read with an exclusive open, so a file in use is refused.
    EXPECT_EQ(Img_Load(9, path.c_str(), 0), 0);
    CloseHandle(h);
    EXPECT_NE(Img_Load(9, path.c_str(), 0), 0);
}

TEST_F(Images, test_reusing_a_number_releases_the_old_image_by_its_type) {
    std::string bmp = Write("reuse.bmp", MakeBmp(5, 5, 24));
    std::string ico = Write("reuse.ico", MakeIco({32}));

    ASSERT_NE(Img_Load(10, bmp.c_str(), 0), 0);
    HANDLE bitmap = Img_Handle(10);
    ASSERT_NE(Img_Load(10, ico.c_str(), 0), 0);
    EXPECT_EQ(GetObjectType(bitmap), 0u) << "the old bitmap must be deleted";
    HANDLE icon = Img_Handle(10);
    ASSERT_TRUE(IconAlive(icon));

    ASSERT_NE(Img_Load(10, bmp.c_str(), 0), 0);
    EXPECT_FALSE(IconAlive(icon)) << "the old icon must be destroyed with DestroyIcon";

    // Another number is not touched.
    ASSERT_NE(Img_Load(11, ico.c_str(), 0), 0);
    HANDLE other = Img_Handle(11);
    ASSERT_NE(Img_Load(10, ico.c_str(), 0), 0);
    EXPECT_TRUE(IconAlive(other));
}

TEST_F(Images, test_obj_any_images_and_free) {
    std::string bmp = Write("any.bmp", MakeBmp(6, 2, 24));
    ObjId id = Img_Load(OBJ_ANY, bmp.c_str(), 0);
    ASSERT_NE(id, 0);
    const ImageRecord* r = Img_Record(id);
    ASSERT_NE(r, nullptr) << "the identifier must name the record";
    EXPECT_EQ(reinterpret_cast<ObjId>(r), id) << "the identifier is the record's address";
    HANDLE h = Img_Handle(id);
    EXPECT_EQ(GetObjectType(h), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(r->width, 6);

    Img_Free(OBJ_ANY); // ignored
    EXPECT_EQ(Img_Handle(id), h);
    Img_Free(id);
    EXPECT_EQ(GetObjectType(h), 0u) << "Img_Free must delete the bitmap";

    // Unknown numbers and identifiers are harmless.
    Img_Free(12);
    Img_Free(5000);
    EXPECT_EQ(Img_Handle(12), nullptr);
    EXPECT_EQ(Img_Handle(5000), nullptr);
    EXPECT_EQ(Img_Handle(0x12345678), nullptr);
    EXPECT_EQ(Img_Handle(OBJ_ANY), nullptr);
}

TEST_F(Images, test_free_all_releases_every_image) {
    std::string bmp = Write("all.bmp", MakeBmp(2, 2, 24));
    std::string ico = Write("all.ico", MakeIco({32}));
    ASSERT_NE(Img_Load(1, bmp.c_str(), 0), 0);
    ASSERT_NE(Img_Load(3, ico.c_str(), 0), 0);
    ASSERT_NE(Img_Load(40, bmp.c_str(), 0), 0);
    ObjId a = Img_Load(OBJ_ANY, ico.c_str(), 0);
    ObjId b = Img_Load(OBJ_ANY, bmp.c_str(), 0);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    HANDLE handles[] = {Img_Handle(1), Img_Handle(3), Img_Handle(40), Img_Handle(a), Img_Handle(b)};

    Img_FreeAll();
    for (ObjId n : {ObjId(1), ObjId(3), ObjId(40)}) {
        EXPECT_EQ(Img_Handle(n), nullptr) << "image " << n << " survived Img_FreeAll";
    }
    EXPECT_EQ(GetObjectType(handles[0]), 0u);
    EXPECT_FALSE(IconAlive(handles[1]));
    EXPECT_EQ(GetObjectType(handles[2]), 0u);
    EXPECT_FALSE(IconAlive(handles[3]));
    EXPECT_EQ(GetObjectType(handles[4]), 0u);
    // Loading again after a full release works.
    EXPECT_NE(Img_Load(1, bmp.c_str(), 0), 0);
}

// A decoder for a private test format: "XIMG", width byte, height byte.
int g_decoderCalls = 0;
HANDLE TestDecoder(FILE* file, int32_t) {
    ++g_decoderCalls;
    unsigned char head[6] = {};
    if (fread(head, 1, sizeof(head), file) != sizeof(head) || memcmp(head, "XIMG", 4) != 0) {
        return nullptr;
    }
    return CreateBitmap(head[4], head[5], 1, 32, nullptr);
}

TEST_F(Images, test_decoder_list_is_tried_after_the_icon_and_reset_empties_it) {
    std::string path = Write("private.xim", Bytes{'X', 'I', 'M', 'G', 11, 3});
    g_decoderCalls = 0;
    EXPECT_EQ(Img_Load(13, path.c_str(), 0), 0) << "with an empty decoder list the file must fail";

    ASSERT_EQ(Decoder_Add(TestDecoder), 1);
    ASSERT_NE(Img_Load(13, path.c_str(), 0), 0) << "the decoder must be offered the file";
    EXPECT_EQ(g_decoderCalls, 1);
    EXPECT_EQ(Img_Record(13)->width, 11);
    EXPECT_EQ(Img_Record(13)->height, 3);
    EXPECT_TRUE(OpenExclusively(path)) << "the decoder's file must be closed";

    // Bitmaps and icons never reach the decoders.
    std::string bmp = Write("nodecoder.bmp", MakeBmp(2, 2, 24));
    ASSERT_NE(Img_Load(14, bmp.c_str(), 0), 0);
    EXPECT_EQ(g_decoderCalls, 1);

    Decoder_Reset();
    EXPECT_EQ(Img_Load(13, path.c_str(), 0), 0) << "Decoder_Reset must empty the list";
    EXPECT_EQ(g_decoderCalls, 1);
    EXPECT_EQ(Decoder_Add(nullptr), 0);
}

TEST_F(Images, test_program_image_files_have_the_stated_sizes) {
    struct Expected {
        const char* file;
        bool icon;
        int size;
        int depth;
    };
    const Expected files[] = {
        {"Symbole\\Einleitung.ico", true, 32, 32},    {"Symbole\\Vorgang.ico", true, 32, 32},
        {"Bilder\\Einstellungen.bmp", false, 13, 24}, {"Bilder\\Beenden.bmp", false, 13, 24},
        {"Bilder\\Informationen.bmp", false, 13, 24}, {"Symbole\\Nachtriegel-16.ico", true, 16, 32},
        {"Bilder\\Anzeigen.bmp", false, 13, 24},      {"Bilder\\Verstecken.bmp", false, 13, 24},
        {"Bilder\\Haftung.bmp", false, 13, 24},       {"Symbole\\Warnung.ico", true, 32, 32},
    };
    std::string dir = testsupport::BinDir();
    ObjId number = 1;
    for (const Expected& e : files) {
        std::string path = dir + "\\" + e.file;
        ASSERT_NE(Img_Load(number, path.c_str(), 0), 0) << e.file << " did not load";
        HANDLE h = Img_Handle(number);
        EXPECT_EQ(GetObjectType(h) == OBJ_BITMAP, !e.icon) << e.file << ": wrong image type";
        const ImageRecord* r = Img_Record(number);
        EXPECT_EQ(r->width, e.size) << e.file;
        EXPECT_EQ(r->height, e.size) << e.file;
        EXPECT_EQ(r->depth, e.depth) << e.file;
        if (!e.icon) {
            EXPECT_TRUE(IsDibSection(h)) << e.file << ": expected a true-colour DIB section";
        }
        ++number;
    }
}

} // namespace

namespace {

TEST(ImageMeasure, test_sizes_of_bitmaps_colour_and_monochrome_icons) {
    int32_t w = -1, h = -1, d = -1;
    EXPECT_EQ(Img_Measure(nullptr, &w, &h, &d), 0);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(d, 0);

    HBITMAP bitmap = CreateBitmap(7, 3, 1, 32, nullptr);
    EXPECT_EQ(Img_Measure(bitmap, &w, &h, &d), 1);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(d, 32);

    // A monochrome icon keeps its AND and XOR halves in one mask twice as high.
    HBITMAP mask = CreateBitmap(24, 48, 1, 1, nullptr);
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    HICON mono = CreateIconIndirect(&info);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(Img_Measure(mono, &w, &h, &d), 1);
    EXPECT_EQ(w, 24);
    EXPECT_EQ(h, 24) << "expected half the mask's height";
    EXPECT_EQ(d, 1);

    // A deleted bitmap cannot be read.
    DeleteObject(bitmap);
    EXPECT_EQ(Img_Measure(bitmap, &w, &h, &d), 0);
    EXPECT_EQ(w, 0);
    DestroyIcon(mono);
    DeleteObject(mask);
}

} // namespace
