// Images: icon and bitmap files loaded into numbered images whose native handles the
// program hands to image controls, menu items and the tray icon. The kind of image is
// taken from the file's content (a bitmap starts with "BM"), never from its name.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include "core/objtable.h"

// Img_Load flag: a device-dependent bitmap instead of a DIB section.
constexpr int32_t IMG_DEVICE_BITMAP = 0x80;

// One loaded image. The handle comes first: a record whose handle is null is free.
struct ImageRecord {
    HANDLE handle; // HBITMAP or HICON
    int16_t width; // of the bitmap, or of the icon's colour bitmap
    int16_t height;
    int8_t depth;         // bits per pixel, likewise
    uint8_t flags;        // low byte of the flags given to Img_Load
    wchar_t* file;        // full path of the file (main heap, UTF-16), to load it again at another DPI
    ListRecord* variants; // the image loaded at other DPIs than the display's, kept until it is freed
};

// A further image reader: given the open file (at its start), returns a bitmap or an icon
// handle, or null when it does not know the format.
typedef HANDLE (*ImgDecoderProc)(FILE* file, int32_t flags);

// ---- Public functions ----

// Creates the image table. Once at start-up, before the first Img_Load.
void Img_Init();

// Empties the decoder list. Once at start-up.
void Decoder_Reset();

// Adds a reader for file types that are neither bitmap nor icon (tried newest first).
// Returns 0 when out of memory.
int32_t Decoder_Add(ImgDecoderProc decoder);

// Loads the file into the image of the number (releasing any image it held first).
// Returns the native handle, the object identifier for OBJ_ANY, or 0 on failure.
ObjId Img_Load(ObjId number, const char* fileName, int32_t flags);

// Native handle of the image, 0 for a free number.
HANDLE Img_Handle(ObjId number);

// Releases one image (also the table's release routine). OBJ_ANY itself is ignored.
void Img_Free(ObjId number);

// Releases every image. Once at program end.
void Img_FreeAll();

// The record of a loaded image (size, depth, flags), or null for a free number.
const ImageRecord* Img_Record(ObjId number);

// The image at a DPI: for an image of the table (or one of its variants) the file loaded at that
// DPI's scale, once, kept with the image until it is freed; the image itself at the display's DPI and
// wherever the file cannot be loaded again; any other handle unchanged.
HANDLE Img_ForDpi(HANDLE image, int32_t dpi);

// Pixel size and depth of a bitmap, or of an icon's colour bitmap (a monochrome icon:
// its mask's upper half, depth 1). Returns 0, leaving the outputs 0, when they cannot be
// read.
int32_t Img_Measure(HANDLE image, int32_t* width, int32_t* height, int32_t* depth);
