#pragma once
// PNG output through a libpng found and bound at run time. The plug-in is
// built without libpng; the functions are looked up by name in "libpng.dll"
// or "lpng.dll". The plug-in writes the file itself through the library's
// write callback, so a library built against any C runtime works; only a
// library without png_set_write_fn gets a FILE* opened by its own
// png_open_file/png_close_file or else by fopen/fclose of "msvcrt.dll".
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// libpng's own structure tags, so these declarations name the same types as png.h.
struct png_struct_def;
struct png_info_def;
struct png_color_struct;

// png_color: one palette entry.
struct PngColour {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

// png_text as libpng 1.0 to 1.6 lay it out with iTXt support.
struct PngText {
    int compression;
    char* key;
    char* text;
    size_t text_length;
    size_t itxt_length;
    char* lang;
    char* lang_key;
};

namespace PngFn {
using ErrorFn = void(__cdecl*)(png_struct_def*, const char*);
using WriteStatusFn = void(__cdecl*)(png_struct_def*, uint32_t, int);
using WriteDataFn = void(__cdecl*)(png_struct_def*, unsigned char*, size_t);
using FlushDataFn = void(__cdecl*)(png_struct_def*);
using OpenFile = FILE*(__cdecl*)(const char*, const char*);
using CloseFile = int(__cdecl*)(FILE*);
using png_create_write_struct = png_struct_def*(__cdecl*)(const char*, void*, ErrorFn, ErrorFn);
using png_create_info_struct = png_info_def*(__cdecl*)(const png_struct_def*);
using png_destroy_write_struct = void(__cdecl*)(png_struct_def**, png_info_def**);
using png_init_io = void(__cdecl*)(png_struct_def*, FILE*);
using png_set_IHDR = void(__cdecl*)(const png_struct_def*, png_info_def*, uint32_t, uint32_t, int, int, int, int,
                                    int);
using png_set_swap = void(__cdecl*)(png_struct_def*);
using png_set_text = void(__cdecl*)(const png_struct_def*, png_info_def*, const PngText*, int);
using png_set_write_status_fn = void(__cdecl*)(png_struct_def*, WriteStatusFn);
using png_write_info = void(__cdecl*)(png_struct_def*, const png_info_def*);
using png_write_image = void(__cdecl*)(png_struct_def*, unsigned char**);
using png_write_end = void(__cdecl*)(png_struct_def*, png_info_def*);
using png_write_flush = void(__cdecl*)(png_struct_def*);
using png_get_libpng_ver = const char*(__cdecl*)(const png_struct_def*);
using png_set_write_fn = void(__cdecl*)(png_struct_def*, void*, WriteDataFn, FlushDataFn);
using png_set_compression_level = void(__cdecl*)(png_struct_def*, int);
using png_set_compression_strategy = void(__cdecl*)(png_struct_def*, int);
using png_set_filter = void(__cdecl*)(png_struct_def*, int, int);
using png_set_bgr = void(__cdecl*)(png_struct_def*);
using png_error = void(__cdecl*)(const png_struct_def*, const char*);
using png_set_PLTE = void(__cdecl*)(png_struct_def*, png_info_def*, const png_color_struct*, int);
using png_set_packing = void(__cdecl*)(png_struct_def*);
using png_write_chunk = void(__cdecl*)(png_struct_def*, const unsigned char*, const unsigned char*, size_t);
}  // namespace PngFn

struct PngBindingRecord {
    // The binding holds a reference of its own on each module it binds, also
    // on one the host had loaded already, so the host freeing its reference
    // leaves every bound function in place.
    HMODULE Library;
    HMODULE Runtime;
    PngFn::OpenFile OpenOutput;
    PngFn::CloseFile CloseOutput;
    PngFn::png_create_write_struct png_create_write_struct;
    PngFn::png_create_info_struct png_create_info_struct;
    PngFn::png_destroy_write_struct png_destroy_write_struct;
    PngFn::png_init_io png_init_io;
    PngFn::png_set_IHDR png_set_IHDR;
    PngFn::png_set_swap png_set_swap;
    PngFn::png_set_text png_set_text;
    PngFn::png_set_write_status_fn png_set_write_status_fn;
    PngFn::png_write_info png_write_info;
    PngFn::png_write_image png_write_image;
    PngFn::png_write_end png_write_end;
    PngFn::png_write_flush png_write_flush;
    // Not required: current libpng releases refuse the two fixed version
    // strings and accept only their own.
    PngFn::png_get_libpng_ver png_get_libpng_ver;
    // Not required; with it the plug-in writes the file through its own
    // file handle, and png_error, where present, ends a failed write.
    PngFn::png_set_write_fn png_set_write_fn;
    PngFn::png_error png_error;
    // Not required; a library without them writes with its defaults, and
    // one without png_set_bgr gets rows converted to red-green-blue first.
    PngFn::png_set_compression_level png_set_compression_level;
    PngFn::png_set_compression_strategy png_set_compression_strategy;
    PngFn::png_set_filter png_set_filter;
    PngFn::png_set_bgr png_set_bgr;
    // Not required; a library without both writes every capture as RGB.
    PngFn::png_set_PLTE png_set_PLTE;
    PngFn::png_set_packing png_set_packing;
    // Not required; with it unfiltered palette rows are compressed by the
    // plug-in and written as one IDAT chunk, else by the library's zlib.
    PngFn::png_write_chunk png_write_chunk;
};

extern PngBindingRecord PngBinding;

extern const char kPngSoftwareText[];

// How zlib and the row filters are set for one file; -1 keeps the library's
// default. Values as zlib.h and png.h define them.
struct PngSettings {
    int Level = -1;
    int Strategy = -1;
    int Filters = -1;
    bool PlugInDeflate = false;  // the plug-in compresses the rows, unfiltered
};
constexpr int kZlibRle = 3;
constexpr int kPngFilterNone = 0x08;
constexpr int kPngFilterSub = 0x10;
constexpr int kPngFilterUp = 0x20;
constexpr int kPngFilterPaeth = 0x80;
constexpr int kPngAllFilters = 0xF8;

constexpr int kPngMostPaletteColours = 256;

// The stages of WritePngFile, apart so they can be measured one by one.
struct PngImageBuffers {
    int32_t Width = 0;
    int32_t Height = 0;
    bool Bgr = false;                          // rows in the DIB's blue-green-red order
    std::unique_ptr<unsigned char[]> Dib;      // 24-bit DIB: header, then lines bottom-up
    // RGB rows top-down; or palette indices, one byte a pixel, each row after
    // a filter byte of 0, so that indexed rows are the deflate input as they lie.
    std::unique_ptr<unsigned char[]> Pixels;
    std::unique_ptr<unsigned char*[]> Rows;    // one pointer per row, top row first
    int Colours = 0;                           // palette entries of indexed rows; 0 for RGB rows
    PngColour Palette[kPngMostPaletteColours] = {};
};
bool FetchPngDib(HBITMAP bitmap, int32_t width, int32_t height, PngImageBuffers& buffers);
// Indexed rows when the library writes palettes, `indexed` allows them and
// the picture holds few enough colours; else the rows point into the DIB
// where the library takes blue-green-red rows, else they are converted into
// Pixels.
bool PrepareRows(PngImageBuffers& buffers, bool indexed = true);
bool ConvertDibToRows(PngImageBuffers& buffers);
// Palette indices into Pixels and the palette of exactly the colours used,
// in the order met; false, with nothing kept, at the 257th colour.
bool IndexDibRows(PngImageBuffers& buffers);
// The bit depth of indexed rows of that many colours: 1, 2, 4 or 8.
int PaletteBitDepth(int colours);
// The settings that give the smallest file for a sample of the rows, among
// a few fast ones; the library's defaults when it cannot be asked.
PngSettings ChoosePngSettings(const PngImageBuffers& buffers);
bool EncodePngRows(const char* fileName, const PngImageBuffers& buffers, const PngSettings& settings);

bool BindPngLibrary(const char* moduleName);
void UnbindPngLibrary();
// A palette file where it fits, unless `indexed` is false: then always RGB.
bool WritePngFile(const char* fileName, HBITMAP bitmap, int32_t width, int32_t height, bool indexed = true);
