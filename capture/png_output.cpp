#include "capture/png_output.h"

#include "capture/dib.h"
#include "capture/scanline_deflate.h"
#include "common/handles.h"
#include "common/own_module.h"
#include "common/run_time_binding.h"
#include "resources/resource_ids.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

PngBindingRecord PngBinding{};

const char kPngSoftwareText[] = "Pixmerle 1.1.7 window capture";

namespace {

// Fast settings for screen content, tried on bands of rows from each image:
// flat panels and text compress best unfiltered, where zlib finds long
// matches; photo-like pixels best with the filters chosen row by row and
// run-length coding, where matches are rare and searching for them is wasted
// time. Where bands clearly disagree (text beside a photo), neither suits the
// whole image, and the library's slower defaults, which adapt row by row and
// search fully, give the smaller file.
constexpr PngSettings kCandidateSettings[] = {
    {6, -1, kPngFilterNone},
    {6, kZlibRle, kPngAllFilters},
};
// Palette rows of listings and dialogs, measured at 1600x1200: unfiltered
// rows gave the smallest files of the fast settings (level 6, 28 KB, where
// filters chosen per row gave 28 KB in 1.3 times the time and run-length
// coding 37 to 138 KB). Level 8 saved 7 to 9 % but took 2.5 to 3 times as
// long to encode, over half of the whole capture's time again. Filters per
// row stay the other candidate, for palettes of photo-like pictures.
constexpr PngSettings kIndexedCandidateSettings[] = {
    {6, -1, kPngFilterNone},
    {6, -1, kPngAllFilters},
};

void ReleaseModule(HMODULE module) {
    if (module) FreeLibrary(module);
}

bool AllBound(const PngBindingRecord& b) {
    return b.OpenOutput && b.CloseOutput && b.png_create_write_struct && b.png_create_info_struct &&
           b.png_destroy_write_struct && b.png_init_io && b.png_set_IHDR && b.png_set_swap && b.png_set_text &&
           b.png_set_write_status_fn && b.png_write_info && b.png_write_image && b.png_write_end &&
           b.png_write_flush;
}

bool PalettesWritable(const PngBindingRecord& b) { return b.png_set_PLTE && b.png_set_packing; }

// libpng reports errors through a function that must not return; without one
// it aborts the whole process. The write in progress on this thread sets the
// place to return to.
thread_local std::jmp_buf* activeWriteJump = nullptr;

void __cdecl PngErrorHandler(png_struct_def*, const char*) {
    if (activeWriteJump) std::longjmp(*activeWriteJump, 1);
}

// Where the write in progress on this thread goes when the plug-in writes
// the file through the library's callback: a file, or with no file only a
// count of the bytes, for trying settings on a sample.
struct PngOutput {
    HANDLE File = INVALID_HANDLE_VALUE;
    uint64_t Bytes = 0;
};
thread_local PngOutput* activeOutput = nullptr;

void __cdecl WriteToOutput(png_struct_def* png, unsigned char* data, size_t length) {
    PngOutput& output = *activeOutput;
    output.Bytes += length;
    if (output.File == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    const bool whole = length <= MAXDWORD && WriteFile(output.File, data, DWORD(length), &written, nullptr) &&
                       written == length;
    if (whole) return;
    // The library's error path ends the write; it never comes back here.
    if (PngBinding.png_error) PngBinding.png_error(png, "write error");
    PngErrorHandler(png, "write error");
}

void __cdecl FlushOutput(png_struct_def*) {}

void __cdecl PngWarningHandler(png_struct_def*, const char*) {}

png_struct_def* CreateWriteStruct() {
    const PngBindingRecord& b = PngBinding;
    png_struct_def* png = b.png_create_write_struct("1.0.1", nullptr, PngErrorHandler, PngWarningHandler);
    if (!png) png = b.png_create_write_struct("1.2.0", nullptr, PngErrorHandler, PngWarningHandler);
    if (!png && b.png_get_libpng_ver) {
        const char* own = b.png_get_libpng_ver(nullptr);
        if (own) png = b.png_create_write_struct(own, nullptr, PngErrorHandler, PngWarningHandler);
    }
    return png;
}

void ApplySettings(png_struct_def* png, const PngSettings& settings) {
    const PngBindingRecord& b = PngBinding;
    if (settings.Level >= 0 && b.png_set_compression_level) b.png_set_compression_level(png, settings.Level);
    if (settings.Strategy >= 0 && b.png_set_compression_strategy) b.png_set_compression_strategy(png, settings.Strategy);
    if (settings.Filters >= 0 && b.png_set_filter) b.png_set_filter(png, 0, settings.Filters);
}

// The part of the write that libpng may leave by longjmp: only plain data
// lives in this frame, so no destructor is skipped. `file` is null when the
// rows go through WriteToOutput.
// `idat`, where given, is the image data compressed already.
bool WriteRows(FILE* file, const PngImageBuffers& image, int32_t firstRow, uint32_t height,
               const PngSettings& settings, const unsigned char* idat = nullptr, size_t idatBytes = 0) {
    const PngBindingRecord& b = PngBinding;
    std::jmp_buf jump;
    png_struct_def* volatile png = nullptr;
    png_info_def* volatile info = nullptr;
    volatile bool written = false;
    std::jmp_buf* const outerJump = activeWriteJump;
    activeWriteJump = &jump;
    if (setjmp(jump) == 0) {
        png = CreateWriteStruct();
        if (png) info = b.png_create_info_struct(png);
        if (png && info) {
            if (file)
                b.png_init_io(png, file);
            else
                b.png_set_write_fn(png, nullptr, WriteToOutput, FlushOutput);
            b.png_set_write_status_fn(png, nullptr);
            const int depth = image.Colours > 0 ? PaletteBitDepth(image.Colours) : 8;
            b.png_set_IHDR(png, info, uint32_t(image.Width), height, depth, image.Colours > 0 ? 3 : 2, 0, 0, 0);
            if (image.Colours > 0)
                b.png_set_PLTE(png, info, reinterpret_cast<const png_color_struct*>(image.Palette), image.Colours);
            ApplySettings(png, settings);
            if (image.Bgr) b.png_set_bgr(png);
            PngText text{};
            text.compression = -1;
            text.key = const_cast<char*>("Software");
            text.text = const_cast<char*>(kPngSoftwareText);
            b.png_set_text(png, info, &text, 1);
            b.png_write_info(png, info);
            if (idat) {
                b.png_write_chunk(png, reinterpret_cast<const unsigned char*>("IDAT"), idat, idatBytes);
                b.png_write_chunk(png, reinterpret_cast<const unsigned char*>("IEND"), nullptr, 0);
            } else {
                // Packing takes the depth that png_write_info has just set: one
                // index byte a pixel in, 8 / depth pixels a byte out.
                if (depth < 8) b.png_set_packing(png);
                // libpng leaves the rows as they are: the pointers only lack const.
                b.png_write_image(png, const_cast<unsigned char**>(image.Rows.get() + firstRow));
                b.png_write_end(png, info);
            }
            b.png_write_flush(png);
            written = true;
        }
    }
    activeWriteJump = outerJump;
    if (png) {
        png_struct_def* destroyPng = png;
        png_info_def* destroyInfo = info;
        b.png_destroy_write_struct(&destroyPng, destroyInfo ? &destroyInfo : nullptr);
    }
    return written;
}

// Copies one line of blue-green-red pixels as red-green-blue. Four pixels
// (three 32-bit words) at a time: the byte-wise loop costs several times a
// plain copy.
void SwapRedAndBlue(const unsigned char* source, unsigned char* target, int32_t pixels) {
    int32_t x = 0;
    for (; x + 4 <= pixels; x += 4, source += 12, target += 12) {
        uint32_t w0, w1, w2;
        std::memcpy(&w0, source, 4);      // b0 g0 r0 b1
        std::memcpy(&w1, source + 4, 4);  // g1 r1 b2 g2
        std::memcpy(&w2, source + 8, 4);  // r2 b3 g3 r3
        const uint32_t d0 = ((w0 >> 16) & 0xFF) | (w0 & 0xFF00) | ((w0 & 0xFF) << 16) | (((w1 >> 8) & 0xFF) << 24);
        const uint32_t d1 = (w1 & 0xFF) | ((w0 >> 24) << 8) | ((w2 & 0xFF) << 16) | (w1 & 0xFF000000u);
        const uint32_t d2 = ((w1 >> 16) & 0xFF) | ((w2 >> 24) << 8) | (w2 & 0xFF0000) | (((w2 >> 8) & 0xFF) << 24);
        std::memcpy(target, &d0, 4);
        std::memcpy(target + 4, &d1, 4);
        std::memcpy(target + 8, &d2, 4);
    }
    for (; x < pixels; ++x, source += 3, target += 3) {
        target[0] = source[2];
        target[1] = source[1];
        target[2] = source[0];
    }
}

}  // namespace

bool BindPngLibrary(const char* moduleName) {
    PngBindingRecord b{};
    // Beside the host's executable, where the packages put it, then beside
    // the plug-in, then in the system folder.
    b.Library = LoadTrustedLibrary(moduleName, kBesideHost | kBesideOwnModule | kSystemFolder);
    if (!b.Library) return false;

    const std::string names[] = {
        OwnString(IDS_PNG_CLOSE_FILE),          OwnString(IDS_PNG_OPEN_FILE),
        OwnString(IDS_PNG_CREATE_INFO_STRUCT),  OwnString(IDS_PNG_CREATE_WRITE_STRUCT),
        OwnString(IDS_PNG_DESTROY_WRITE_STRUCT), OwnString(IDS_PNG_INIT_IO),
        OwnString(IDS_PNG_SET_IHDR),            OwnString(IDS_PNG_SET_SWAP),
        OwnString(IDS_PNG_SET_TEXT),            OwnString(IDS_PNG_SET_WRITE_STATUS_FN),
        OwnString(IDS_PNG_WRITE_END),           OwnString(IDS_PNG_WRITE_FLUSH),
        OwnString(IDS_PNG_WRITE_IMAGE),         OwnString(IDS_PNG_WRITE_INFO),
    };
    BindNames(b.Library, {
        {names[0].c_str(), b.CloseOutput},
        {names[1].c_str(), b.OpenOutput},
        {names[2].c_str(), b.png_create_info_struct},
        {names[3].c_str(), b.png_create_write_struct},
        {names[4].c_str(), b.png_destroy_write_struct},
        {names[5].c_str(), b.png_init_io},
        {names[6].c_str(), b.png_set_IHDR},
        {names[7].c_str(), b.png_set_swap},
        {names[8].c_str(), b.png_set_text},
        {names[9].c_str(), b.png_set_write_status_fn},
        {names[10].c_str(), b.png_write_end},
        {names[11].c_str(), b.png_write_flush},
        {names[12].c_str(), b.png_write_image},
        {names[13].c_str(), b.png_write_info},
    });
    BindNames(b.Library, {
        {"png_get_libpng_ver", b.png_get_libpng_ver},
        {"png_set_write_fn", b.png_set_write_fn},
        {"png_error", b.png_error},
        {"png_set_compression_level", b.png_set_compression_level},
        {"png_set_compression_strategy", b.png_set_compression_strategy},
        {"png_set_filter", b.png_set_filter},
        {"png_set_bgr", b.png_set_bgr},
        {"png_set_PLTE", b.png_set_PLTE},
        {"png_set_packing", b.png_set_packing},
        {"png_write_chunk", b.png_write_chunk},
    });

    if (!b.OpenOutput || !b.CloseOutput) {
        b.Runtime = LoadTrustedLibrary(OwnString(IDS_C_RUNTIME).c_str(), kSystemFolder);
        if (b.Runtime) {
            const std::string closeName = OwnString(IDS_FCLOSE), openName = OwnString(IDS_FOPEN);
            BindNames(b.Runtime, {{closeName.c_str(), b.CloseOutput}, {openName.c_str(), b.OpenOutput}});
        }
    }

    if (!AllBound(b)) {
        ReleaseModule(b.Library);
        ReleaseModule(b.Runtime);
        PngBinding = PngBindingRecord{};
        return false;
    }
    PngBinding = b;
    return true;
}

void UnbindPngLibrary() {
    ReleaseModule(PngBinding.Library);
    ReleaseModule(PngBinding.Runtime);
    PngBinding = PngBindingRecord{};
}

bool FetchPngDib(HBITMAP bitmap, int32_t width, int32_t height, PngImageBuffers& buffers) {
    buffers = PngImageBuffers{};
    if (width <= 0 || height <= 0 || width > (INT32_MAX - 31) / 24) return false;
    const uint32_t stride = uint32_t(ScanLineBytes(width * 24));
    const uint64_t dibBytes = sizeof(BITMAPINFOHEADER) + uint64_t(stride) * uint64_t(height);
    if (dibBytes > INT32_MAX) return false;
    buffers.Dib.reset(new (std::nothrow) unsigned char[size_t(dibBytes)]());
    if (!buffers.Dib) return false;
    buffers.Width = width;
    buffers.Height = height;

    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(buffers.Dib.get());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biXPelsPerMeter = 1;
    header->biYPelsPerMeter = 1;
    // A fetch that fails, or fills fewer lines, would write black rows as
    // if they were the picture: the capture fails instead.
    WindowDc screen(nullptr);
    if (!screen) return false;
    return GetDIBits(screen.get(), bitmap, 0, UINT(height), buffers.Dib.get() + sizeof(BITMAPINFOHEADER),
                     reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS) == height;
}

bool PrepareRows(PngImageBuffers& buffers, bool indexed) {
    const int32_t width = buffers.Width, height = buffers.Height;
    if (indexed && PalettesWritable(PngBinding) && IndexDibRows(buffers)) return true;
    if (!PngBinding.png_set_bgr || !PngBinding.png_set_write_fn) return ConvertDibToRows(buffers);
    if (!buffers.Dib || width <= 0 || height <= 0) return false;
    buffers.Rows.reset(new (std::nothrow) unsigned char*[size_t(height)]());
    if (!buffers.Rows) return false;
    // DIB lines run bottom-up; the library reads them where they are.
    const size_t stride = size_t(ScanLineBytes(width * 24));
    unsigned char* dibPixels = buffers.Dib.get() + sizeof(BITMAPINFOHEADER);
    for (int32_t r = 0; r < height; ++r) buffers.Rows[size_t(r)] = dibPixels + size_t(height - 1 - r) * stride;
    buffers.Bgr = true;
    return true;
}

bool ConvertDibToRows(PngImageBuffers& buffers) {
    const int32_t width = buffers.Width, height = buffers.Height;
    if (!buffers.Dib || width <= 0 || height <= 0) return false;
    const uint64_t pixelBytes = uint64_t(width) * 3 * uint64_t(height);
    if (pixelBytes > INT32_MAX) return false;
    buffers.Pixels.reset(new (std::nothrow) unsigned char[size_t(pixelBytes)]());
    buffers.Rows.reset(new (std::nothrow) unsigned char*[size_t(height)]());
    if (!buffers.Pixels || !buffers.Rows) return false;
    const size_t rowBytes = size_t(width) * 3;
    for (int32_t r = 0; r < height; ++r) buffers.Rows[size_t(r)] = buffers.Pixels.get() + size_t(r) * rowBytes;

    // DIB lines run bottom-up in blue, green, red; PNG rows top-down in red, green, blue.
    const size_t stride = size_t(ScanLineBytes(width * 24));
    const unsigned char* dibPixels = buffers.Dib.get() + sizeof(BITMAPINFOHEADER);
    for (int32_t line = 0; line < height; ++line)
        SwapRedAndBlue(dibPixels + size_t(line) * stride, buffers.Rows[size_t(height - 1 - line)], width);
    buffers.Bgr = false;
    buffers.Colours = 0;
    return true;
}

int PaletteBitDepth(int colours) {
    if (colours <= 2) return 1;
    if (colours <= 4) return 2;
    return colours <= 16 ? 4 : 8;
}

bool IndexDibRows(PngImageBuffers& buffers) {
    const int32_t width = buffers.Width, height = buffers.Height;
    if (!buffers.Dib || width <= 0 || height <= 0) return false;
    if ((uint64_t(width) + 1) * uint64_t(height) > INT32_MAX) return false;
    // Not zeroed: every byte is written before it is read, and a photo
    // gives up after a few rows, before most pages are touched.
    const size_t lineBytes = size_t(width) + 1;
    std::unique_ptr<unsigned char[]> indices(new (std::nothrow) unsigned char[lineBytes * size_t(height)]);
    std::unique_ptr<unsigned char*[]> rows(new (std::nothrow) unsigned char*[size_t(height)]);
    if (!indices || !rows) return false;

    // Open addressing, a quarter full at most; 0xFFFFFFFF is no 24-bit colour.
    constexpr uint32_t kSlots = 1024, kFree = 0xFFFFFFFFu;
    uint32_t keys[kSlots];
    unsigned char values[kSlots];
    std::fill(std::begin(keys), std::end(keys), kFree);
    int colours = 0;
    // Screens repeat the pixel before most of the time: that one is kept aside.
    uint32_t last = kFree;
    unsigned char lastIndex = 0;
    const size_t stride = size_t(ScanLineBytes(width * 24));
    const unsigned char* dibPixels = buffers.Dib.get() + sizeof(BITMAPINFOHEADER);
    for (int32_t r = 0; r < height; ++r) {
        const unsigned char* pixel = dibPixels + size_t(height - 1 - r) * stride;
        unsigned char* out = indices.get() + size_t(r) * lineBytes + 1;
        out[-1] = 0;
        rows[size_t(r)] = out;
        for (int32_t x = 0; x < width; ++x, pixel += 3) {
            const uint32_t colour = uint32_t(pixel[2]) << 16 | uint32_t(pixel[1]) << 8 | pixel[0];
            if (colour != last) {
                uint32_t slot = (colour * 2654435761u) >> 22;
                while (keys[slot] != colour && keys[slot] != kFree) slot = (slot + 1) & (kSlots - 1);
                if (keys[slot] == kFree) {
                    if (colours == kPngMostPaletteColours) return false;
                    keys[slot] = colour;
                    values[slot] = static_cast<unsigned char>(colours);
                    buffers.Palette[colours] = PngColour{pixel[2], pixel[1], pixel[0]};
                    ++colours;
                }
                last = colour;
                lastIndex = values[slot];
            }
            out[x] = lastIndex;
        }
    }
    buffers.Pixels = std::move(indices);
    buffers.Rows = std::move(rows);
    buffers.Colours = colours;
    buffers.Bgr = false;
    return true;
}

PngSettings ChoosePngSettings(const PngImageBuffers& buffers) {
    const PngBindingRecord& b = PngBinding;
    const int32_t height = buffers.Height;
    if (!b.png_set_write_fn || !b.png_set_compression_level || !b.png_set_filter || !buffers.Rows || height <= 0)
        return PngSettings{};
    // A few bands of neighbouring rows from all over the image: the filters
    // see real row neighbours, and content that changes down the image is seen.
    constexpr int32_t kBands = 4, kBandRows = 16;
    const int32_t bands = height <= kBands * kBandRows ? 1 : kBands;
    const int32_t bandRows = bands == 1 ? height : kBandRows;
    static_assert(std::size(kCandidateSettings) == 2, "a band votes between two settings");
    static_assert(std::size(kIndexedCandidateSettings) == 2, "a band votes between two settings");
    const PngSettings* const candidates = buffers.Colours > 0 ? kIndexedCandidateSettings : kCandidateSettings;
    bool usable[2];
    for (size_t i = 0; i < 2; ++i) usable[i] = candidates[i].Strategy < 0 || b.png_set_compression_strategy;
    uint64_t totals[2] = {};
    int vote = -1;
    for (int32_t band = 0; band < bands; ++band) {
        const int32_t first = bands == 1 ? 0 : (height - kBandRows) * band / (kBands - 1);
        uint64_t bytes[2] = {};
        for (size_t i = 0; i < 2; ++i) {
            if (!usable[i]) continue;
            PngOutput counter;
            PngOutput* const outerOutput = activeOutput;
            activeOutput = &counter;
            // A setting this library's zlib refuses fails here, never in the file.
            usable[i] = WriteRows(nullptr, buffers, first, uint32_t(bandRows), candidates[i]);
            activeOutput = outerOutput;
            bytes[i] = counter.Bytes;
            totals[i] += counter.Bytes;
        }
        if (!usable[0] || !usable[1]) continue;
        // A band votes when one setting beats the other by more than a tenth
        // and by more than a hundredth of the band's raw bytes: flat bands,
        // which every setting shrinks to almost nothing, do not vote.
        const int winner = bytes[0] <= bytes[1] ? 0 : 1;
        const uint64_t excess = bytes[1 - winner] - bytes[winner];
        const uint64_t rawBytes = uint64_t(buffers.Width) * (buffers.Colours > 0 ? 1 : 3) * uint64_t(bandRows);
        if (excess * 10 <= bytes[winner] || excess * 100 <= rawBytes) continue;
        if (vote >= 0 && vote != winner) return PngSettings{};
        vote = winner;
    }
    // The first of each pair is the faster: the other must save more than
    // a fiftieth to be worth its time (a listing's palette rows came out the
    // same size with filters per row, in 1.4 times the time).
    int chosen = -1;
    if (usable[0] && usable[1])
        chosen = totals[1] * 50 < totals[0] * 49 ? 1 : 0;
    else if (usable[0] || usable[1])
        chosen = usable[0] ? 0 : 1;
    if (chosen < 0) return PngSettings{};
    PngSettings settings = candidates[chosen];
    // Unfiltered palette rows: the plug-in's own parse gave smaller files
    // than level 6 on every listing and dialog measured, and than level 8
    // on listings, in less time than level 8.
    settings.PlugInDeflate = buffers.Colours > 0 && settings.Filters == kPngFilterNone && b.png_write_chunk;
    return settings;
}

namespace {

// The zlib stream of unfiltered palette rows, packed to their bit depth.
bool DeflateIndexedRows(const PngImageBuffers& buffers, std::vector<unsigned char>& out) {
    const int depth = PaletteBitDepth(buffers.Colours);
    const size_t width = size_t(buffers.Width), height = size_t(buffers.Height);
    // The rows lie one after another, each after its filter byte.
    const unsigned char* first = buffers.Rows[0] - 1;
    if (depth == 8) return DeflateScanlines(first, (width + 1) * height, width + 1, out);
    try {
        const size_t lineBytes = (width * size_t(depth) + 7) / 8 + 1;
        std::vector<unsigned char> packed(lineBytes * height);
        const int perByte = 8 / depth;
        for (size_t r = 0; r < height; ++r) {
            const unsigned char* index = buffers.Rows[r];
            unsigned char* line = packed.data() + r * lineBytes + 1;
            // The first pixel in the highest bits.
            for (size_t x = 0; x < width; ++x)
                line[x / perByte] |= static_cast<unsigned char>(index[x] << (8 - depth * int(x % perByte + 1)));
        }
        return DeflateScanlines(packed.data(), packed.size(), lineBytes, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

bool EncodePngRows(const char* fileName, const PngImageBuffers& buffers, const PngSettings& settings) {
    const uint32_t height = uint32_t(buffers.Height);
    if (!PngBinding.png_create_write_struct || !fileName || buffers.Width <= 0 || buffers.Height <= 0 ||
        !buffers.Rows || (buffers.Colours > 0 && !PalettesWritable(PngBinding)))
        return false;
    if (PngBinding.png_set_write_fn) {
        const UniqueFile file(CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) return false;
        std::vector<unsigned char> idat;
        const bool deflated = settings.PlugInDeflate && buffers.Colours > 0 && PngBinding.png_write_chunk &&
                              DeflateIndexedRows(buffers, idat);
        PngOutput output;
        output.File = file.get();
        PngOutput* const outerOutput = activeOutput;
        activeOutput = &output;
        const bool written = WriteRows(nullptr, buffers, 0, height, settings, deflated ? idat.data() : nullptr,
                                       idat.size());
        activeOutput = outerOutput;
        return written;
    }
    if (buffers.Bgr) return false;
    FILE* file = PngBinding.OpenOutput(fileName, "wb");
    if (!file) return false;
    const bool written = WriteRows(file, buffers, 0, height, settings);
    // fclose reports the bytes it could not flush (a full disk); a library's
    // own png_close_file promises no result worth reading.
    const bool fromRuntime = PngBinding.Runtime != nullptr;
    const int closeResult = PngBinding.CloseOutput(file);
    return written && (!fromRuntime || closeResult == 0);
}

bool WritePngFile(const char* fileName, HBITMAP bitmap, int32_t width, int32_t height, bool indexed) {
    if (!PngBinding.png_create_write_struct || !fileName) return false;
    PngImageBuffers buffers;
    return FetchPngDib(bitmap, width, height, buffers) && PrepareRows(buffers, indexed) &&
           EncodePngRows(fileName, buffers, ChoosePngSettings(buffers));
}
