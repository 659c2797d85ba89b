// Images: loads icon and bitmap files into the image table and releases them again.
// Bitmaps become DIB sections (true-colour pixels stay as in the file) except palette
// bitmaps, which are loaded device-dependent so that the platform maps their palette to
// the screen; icons keep the size stored in the file. At another display scale than 100 %
// every image is loaded at its size scaled with the display.
#include "controls/images.h"

#include "core/strings.h"

#include <limits.h>

#include "window/dpi.h"

namespace {

// Working state of the module, in the main heap.
struct ImageState {
    ObjectTable* table;
};

constexpr int32_t IMG_TABLE_STEP = 16;

ImageState* g_state = nullptr;

// Decoders for further file types. Start-up empties the list before the image table
// exists, so the list head lives outside the state block.
ListRecord* g_decoders = nullptr;

struct DecoderEntry {
    ImgDecoderProc decode;
};

// The image loaded at another DPI.
struct ImageVariant {
    int32_t dpi;
    HANDLE handle;
};

// ---- Internal functions ----

// Narrows a pixel count into the record's 16-bit field.
int16_t ClampDimension(int32_t value) {
    if (value < 0) {
        return 0;
    }
    return static_cast<int16_t>(value > SHRT_MAX ? SHRT_MAX : value);
}

// Little-endian fields of the file headers.
uint32_t Read16(const BYTE* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}
uint32_t Read32(const BYTE* p) {
    return Read16(p) | (Read16(p + 2) << 16);
}

// Whether a file that starts with "BM" holds everything its headers promise: the platform
// loader trusts the headers and would read past the end of a cut-off file (or build an
// image from bytes that are not there), so such files are refused here.
bool BitmapFileIsComplete(const BYTE* head, DWORD got, uint64_t fileSize) {
    constexpr DWORD kFileHeader = 14;
    if (got < kFileHeader + 12) {
        return false;
    }
    const uint64_t pixelOffset = Read32(head + 10);
    const BYTE* info = head + kFileHeader;
    const uint32_t infoSize = Read32(info);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t planes = 0;
    uint32_t bpp = 0;
    uint32_t compression = BI_RGB;
    uint64_t imageSize = 0;
    uint64_t colours = 0;
    uint64_t entrySize = 4;
    if (infoSize == 12) { // BITMAPCOREHEADER
        width = Read16(info + 4);
        height = Read16(info + 6);
        planes = Read16(info + 8);
        bpp = Read16(info + 10);
        entrySize = 3;
    } else if (infoSize >= 40 && got >= kFileHeader + 40) {
        width = static_cast<int32_t>(Read32(info + 4));
        height = static_cast<int32_t>(Read32(info + 8));
        planes = Read16(info + 12);
        bpp = Read16(info + 14);
        compression = Read32(info + 16);
        imageSize = Read32(info + 20);
        colours = Read32(info + 32);
    } else {
        return false;
    }
    if (width <= 0 || height == 0 || planes != 1) {
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        return false;
    }
    if (colours == 0 && bpp <= 8) {
        colours = 1u << bpp;
    }
    // Colour masks follow a 40-byte header for bit-field images.
    const uint64_t masks = (compression == BI_BITFIELDS && infoSize == 40) ? 12 : 0;
    if (kFileHeader + infoSize + masks + colours * entrySize > fileSize || pixelOffset > fileSize) {
        return false;
    }
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    uint64_t pixelBytes = 0;
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        pixelBytes = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4 * rows;
    } else if (compression == BI_RLE8 || compression == BI_RLE4) {
        if (imageSize == 0) {
            return false;
        }
        pixelBytes = imageSize;
    } else {
        return false; // embedded JPEG/PNG and the like are not for the bitmap loader
    }
    return pixelOffset + pixelBytes <= fileSize;
}

// Opens the file without sharing (the platform loader opens it again itself right after)
// and reads its first two bytes, and for a bitmap whether the file is complete. False when
// the file cannot be opened.
bool ReadSignature(const wchar_t* fileName, WORD* signature, bool* completeBitmap) {
    *signature = 0;
    *completeBitmap = false;
    HANDLE file = CreateFileW(fileName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BYTE head[14 + 40] = {};
    DWORD got = 0;
    LARGE_INTEGER size = {};
    if (ReadFile(file, head, sizeof(head), &got, nullptr) && got >= 2 && GetFileSizeEx(file, &size)) {
        *signature = static_cast<WORD>(Read16(head));
        if (*signature == 0x4D42) {
            *completeBitmap = BitmapFileIsComplete(head, got, static_cast<uint64_t>(size.QuadPart));
        }
    }
    CloseHandle(file);
    return true;
}

// Destroys a native image by its actual type.
void DestroyImage(HANDLE handle) {
    if (GetObjectType(handle) == OBJ_BITMAP) {
        DeleteObject(handle);
    } else {
        DestroyIcon(static_cast<HICON>(handle));
    }
}

// At another scale than 100 % the file is loaded again at the scaled size of the image loaded at
// its own size: an icon file then offers its image drawn for that size, a bitmap is stretched.
// Where that fails the own-size image stays.
HANDLE LoadScaled(HANDLE image, const wchar_t* fileName, UINT type, UINT options, HINSTANCE instance,
                  int32_t dpi) {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    if (image == nullptr || dpi == DPI_BASE || !Img_Measure(image, &width, &height, &depth)) {
        return image;
    }
    HANDLE scaled =
        LoadImageW(instance, fileName, type, Dpi_ScaleAt(width, dpi), Dpi_ScaleAt(height, dpi), options);
    if (scaled == nullptr) {
        return image;
    }
    DestroyImage(image);
    return scaled;
}

// A bitmap file: a DIB section unless asked for a device bitmap; palette bitmaps (8 bits
// per pixel or fewer) are loaded again as device bitmaps. Null on failure.
HANDLE LoadBitmapFile(const wchar_t* fileName, int32_t flags, HINSTANCE instance, int32_t dpi) {
    UINT options = (flags & IMG_DEVICE_BITMAP) ? LR_LOADFROMFILE : (LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    HANDLE bitmap = LoadImageW(instance, fileName, IMAGE_BITMAP, 0, 0, options);
    if (bitmap == nullptr) {
        return nullptr;
    }
    BITMAP bm = {};
    if (GetObjectA(bitmap, sizeof(bm), &bm) != 0 && bm.bmBitsPixel <= 8) {
        DeleteObject(bitmap);
        options = LR_LOADFROMFILE;
        bitmap = LoadImageW(instance, fileName, IMAGE_BITMAP, 0, 0, options);
    }
    return LoadScaled(bitmap, fileName, IMAGE_BITMAP, options, instance, dpi);
}

// Offers the file to the decoders, newest first. Null when none accepts it (always so
// while the list is empty) or the file cannot be opened.
HANDLE DecodeFile(const wchar_t* fileName, int32_t flags) {
    FILE* file = _wfopen(fileName, L"rb");
    if (file == nullptr) {
        return nullptr;
    }
    HANDLE handle = nullptr;
    for (void* p = List_First(g_decoders); p != nullptr && handle == nullptr; p = List_Older(p)) {
        auto* entry = static_cast<DecoderEntry*>(p);
        rewind(file);
        handle = entry->decode(file, flags);
    }
    fclose(file);
    return handle;
}

// The file's image at the DPI's scale: a complete bitmap, an icon, or what a decoder makes of it.
HANDLE LoadFile(const wchar_t* fileName, int32_t flags, int32_t dpi) {
    WORD signature = 0;
    bool completeBitmap = false;
    if (!ReadSignature(fileName, &signature, &completeBitmap)) {
        return nullptr;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (signature == 0x4D42) { // "BM"
        return completeBitmap ? LoadBitmapFile(fileName, flags, instance, dpi) : nullptr;
    }
    // Without LR_DEFAULTSIZE a zero size means the icon's own size (its file's first image).
    HANDLE handle = LoadScaled(LoadImageW(instance, fileName, IMAGE_ICON, 0, 0, LR_LOADFROMFILE), fileName,
                               IMAGE_ICON, LR_LOADFROMFILE, instance, dpi);
    return handle != nullptr ? handle : DecodeFile(fileName, flags);
}

// The file's full path in the main heap (the current directory may change), or null. In UTF-16, so that a
// folder whose name 1252 lacks (a user name in Cyrillic, say) is found again.
wchar_t* FullPath(const wchar_t* fileName) {
    auto* path = static_cast<wchar_t*>(Mem_Alloc(MAX_PATH * sizeof(wchar_t)));
    const DWORD length = path != nullptr ? GetFullPathNameW(fileName, MAX_PATH, path, nullptr) : 0;
    if (length == 0 || length >= MAX_PATH) {
        Mem_Free(path);
        return nullptr;
    }
    return path;
}

} // namespace

// ---- Public functions ----

void Img_Init() {
    if (g_state != nullptr) {
        return;
    }
    auto* state = static_cast<ImageState*>(ModuleState_Create(sizeof(ImageState), nullptr));
    if (state == nullptr) {
        return;
    }
    state->table = ObjTable_Create(sizeof(ImageRecord), IMG_TABLE_STEP, Img_Free);
    if (state->table == nullptr) {
        return;
    }
    g_state = state;
}

void Decoder_Reset() {
    while (g_decoders != nullptr) {
        List_Remove(&g_decoders, List_First(g_decoders));
    }
}

int32_t Decoder_Add(ImgDecoderProc decoder) {
    if (decoder == nullptr) {
        return 0;
    }
    auto* entry = static_cast<DecoderEntry*>(List_Add(&g_decoders, sizeof(DecoderEntry)));
    if (entry == nullptr) {
        return 0;
    }
    entry->decode = decoder;
    return 1;
}

ObjId Img_Load(ObjId number, const char* fileName, int32_t flags) {
    if (g_state == nullptr) {
        return 0;
    }
    // Acquiring a number in use releases the old image first, whatever happens below.
    auto* record = static_cast<ImageRecord*>(ObjTable_Acquire(g_state->table, number));
    if (record == nullptr) {
        return 0;
    }
    // The name is 1252; the platform gets it (and the current directory it is found in) in UTF-16.
    WideText wideName(fileName);
    HANDLE handle = fileName != nullptr ? LoadFile(wideName.Get(), flags, Dpi_Get()) : nullptr;
    if (handle == nullptr) {
        // A fresh OBJ_ANY record must not stay behind empty: nothing could ever free it.
        if (number == OBJ_ANY) {
            ObjTable_Discard(g_state->table, reinterpret_cast<ObjId>(record));
        }
        return 0;
    }
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    Img_Measure(handle, &width, &height, &depth);
    record->width = ClampDimension(width);
    record->height = ClampDimension(height);
    record->depth = static_cast<int8_t>(depth > 64 ? 64 : depth);
    record->flags = static_cast<uint8_t>(flags & 0xFF);
    record->file = FullPath(wideName.Get());
    record->handle = handle;
    if (number == OBJ_ANY) {
        return reinterpret_cast<ObjId>(record);
    }
    return reinterpret_cast<ObjId>(handle);
}

HANDLE Img_Handle(ObjId number) {
    const ImageRecord* record = Img_Record(number);
    return record != nullptr ? record->handle : nullptr;
}

void Img_Free(ObjId number) {
    if (g_state == nullptr || number == OBJ_ANY) {
        return;
    }
    auto* record = static_cast<ImageRecord*>(ObjTable_Find(g_state->table, number));
    if (record == nullptr) {
        return;
    }
    DestroyImage(record->handle);
    while (record->variants != nullptr) {
        void* variant = List_First(record->variants);
        DestroyImage(static_cast<ImageVariant*>(variant)->handle);
        List_Remove(&record->variants, variant);
    }
    Mem_Free(record->file);
    ObjTable_Discard(g_state->table, number);
}

// Releases every image: numbered ones first, then the OBJ_ANY ones.
void Img_FreeAll() {
    if (g_state == nullptr) {
        return;
    }
    ObjId number = 0;
    ObjTable_Rewind(g_state->table);
    while (ObjTable_Next(g_state->table, &number) != nullptr) {
        Img_Free(number);
    }
}

const ImageRecord* Img_Record(ObjId number) {
    if (g_state == nullptr || number == OBJ_ANY) {
        return nullptr;
    }
    return static_cast<const ImageRecord*>(ObjTable_Find(g_state->table, number));
}

// Finds the record that holds the image, then its variant at the DPI, or loads one. Variants live until the
// image is freed: a picture shown in one window is never destroyed under it by another window's change.
HANDLE Img_ForDpi(HANDLE image, int32_t dpi) {
    if (g_state == nullptr || image == nullptr) {
        return image;
    }
    ObjId number = 0;
    ObjTable_Rewind(g_state->table);
    while (auto* record = static_cast<ImageRecord*>(ObjTable_Next(g_state->table, &number))) {
        bool ours = record->handle == image;
        HANDLE found = dpi == Dpi_Get() ? record->handle : nullptr;
        for (void* p = List_First(record->variants); p != nullptr; p = List_Older(p)) {
            const ImageVariant* variant = static_cast<const ImageVariant*>(p);
            ours = ours || variant->handle == image;
            if (variant->dpi == dpi) {
                found = variant->handle;
            }
        }
        if (!ours) {
            continue;
        }
        if (found == nullptr) {
            auto* variant = static_cast<ImageVariant*>(List_Add(&record->variants, sizeof(ImageVariant)));
            found = variant != nullptr ? LoadFile(record->file, record->flags, dpi) : nullptr;
            if (found == nullptr) {
                // Shown at the display's scale rather than not at all.
                List_Remove(&record->variants, variant);
                return record->handle;
            }
            variant->dpi = dpi;
            variant->handle = found;
        }
        return found;
    }
    return image;
}

int32_t Img_Measure(HANDLE image, int32_t* width, int32_t* height, int32_t* depth) {
    *width = 0;
    *height = 0;
    *depth = 0;
    if (image == nullptr) {
        return 0;
    }
    BITMAP bm = {};
    if (GetObjectType(image) == OBJ_BITMAP) {
        if (GetObjectA(image, sizeof(bm), &bm) == 0) {
            return 0;
        }
        *width = bm.bmWidth;
        *height = bm.bmHeight;
        *depth = bm.bmBitsPixel;
        return 1;
    }
    ICONINFO info = {};
    if (!GetIconInfo(static_cast<HICON>(image), &info)) {
        return 0;
    }
    int32_t result = 0;
    if (info.hbmColor != nullptr) {
        if (GetObjectA(info.hbmColor, sizeof(bm), &bm) != 0) {
            *width = bm.bmWidth;
            *height = bm.bmHeight;
            *depth = bm.bmBitsPixel;
            result = 1;
        }
    } else if (info.hbmMask != nullptr && GetObjectA(info.hbmMask, sizeof(bm), &bm) != 0) {
        // A monochrome icon keeps its AND and XOR halves stacked in the mask.
        *width = bm.bmWidth;
        *height = bm.bmHeight / 2;
        *depth = 1;
        result = 1;
    }
    // GetIconInfo hands out copies of both bitmaps; they are ours to delete.
    if (info.hbmMask != nullptr) {
        DeleteObject(info.hbmMask);
    }
    if (info.hbmColor != nullptr) {
        DeleteObject(info.hbmColor);
    }
    return result;
}
