#include "capture/dib.h"

#include "common/handles.h"

#include <climits>
#include <cstring>

namespace {

constexpr WORD kBitmapFileType = 0x4D42;  // "BM"
constexpr DWORD kFileHeaderSize = 14;

bool IsSupportedBitCount(int32_t bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
}

// Row length times rows, or 0 when it does not fit in 32 bits.
uint32_t ImageBytes(const BITMAPINFOHEADER& header) {
    const int64_t bitsPerRow = int64_t(header.biWidth) * header.biBitCount;
    if (header.biWidth < 0 || header.biHeight < 0 || bitsPerRow > INT32_MAX - 31) return 0;
    const uint64_t bytes = uint64_t(ScanLineBytes(int32_t(bitsPerRow))) * uint64_t(header.biHeight);
    return bytes > UINT32_MAX - 0x10000 ? 0 : uint32_t(bytes);
}

// Under Wine, GetDIBits at 8 bits fills a colour table of its own, whatever
// palette the DC has selected. Where every colour the pixels use is in the
// system palette, the pixels are renumbered into it and the table becomes
// the system palette, as Windows gives it; otherwise the DIB stays as it is.
void UseSystemPalette(BITMAPINFOHEADER* info, HDC screen) {
    if (info->biBitCount != 8 || DibColorCount(info) != 256) return;
    PALETTEENTRY system[256];
    if (GetSystemPaletteEntries(screen, 0, 256, system) != 256) return;
    auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(info) + info->biSize);
    int map[256];
    bool same = true;
    for (int i = 0; i < 256; ++i) {
        const auto matches = [&table, i](const PALETTEENTRY& e) {
            return e.peRed == table[i].rgbRed && e.peGreen == table[i].rgbGreen && e.peBlue == table[i].rgbBlue;
        };
        map[i] = matches(system[i]) ? i : -1;
        for (int j = 0; j < 256 && map[i] < 0; ++j)
            if (matches(system[j])) map[i] = j;
        same = same && map[i] == i;
    }
    if (same) return;
    BYTE* const pixels = reinterpret_cast<BYTE*>(table + 256);
    const size_t stride = size_t(ScanLineBytes(info->biWidth * 8)), width = size_t(info->biWidth);
    const size_t height = size_t(info->biHeight);
    for (size_t line = 0; line < height; ++line)
        for (size_t x = 0; x < width; ++x)
            if (map[pixels[line * stride + x]] < 0) return;
    for (size_t line = 0; line < height; ++line)
        for (size_t x = 0; x < width; ++x) pixels[line * stride + x] = BYTE(map[pixels[line * stride + x]]);
    for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{system[i].peBlue, system[i].peGreen, system[i].peRed, 0};
}

}  // namespace

int32_t ScanLineBytes(int32_t bitsPerRow) { return ((bitsPerRow + 31) / 32) * 4; }

bool IsInfoHeader(const void* header) {
    return header && static_cast<const BITMAPINFOHEADER*>(header)->biSize == sizeof(BITMAPINFOHEADER);
}

uint32_t DibColorCount(const BITMAPINFOHEADER* header) {
    if (header->biClrUsed != 0) return header->biClrUsed;
    switch (header->biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

uint32_t DibColorTableSize(const BITMAPINFOHEADER* header) {
    return DibColorCount(header) * sizeof(RGBQUAD);
}

int32_t DisplayColorCount(HDC dc) {
    const int depth = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    if (depth <= 0) return 1;
    return depth >= 31 ? INT32_MAX : int32_t(1) << depth;  // saturates where 2^depth does not fit
}

int32_t DibBitCountForDepth(int32_t depth) {
    if (depth <= 1) return 1;
    if (depth <= 4) return 4;
    if (depth <= 8) return 8;
    if (depth <= 24) return 24;
    if (depth <= 32) return 32;
    return depth;
}

HPALETTE CreateSystemPalette() {
    WindowDc screen(nullptr);
    if (!screen) return nullptr;
    // Displays of more than 8 bits per pixel have no system palette.
    if (GetDeviceCaps(screen.get(), BITSPIXEL) * GetDeviceCaps(screen.get(), PLANES) > 8) return nullptr;
    const int32_t entries = DisplayColorCount(screen.get());

    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                                   sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY)));
    if (!block) return nullptr;
    GlobalLockGuard<LOGPALETTE> palette(block.get());
    if (!palette) return nullptr;
    palette.get()->palVersion = 0x300;
    palette.get()->palNumEntries = WORD(entries);
    GetSystemPaletteEntries(screen.get(), 0, UINT(entries), palette.get()->palPalEntry);
    return CreatePalette(palette.get());
}

HGLOBAL AllocDib(const BITMAPINFOHEADER& header, HBITMAP bitmap) {
    const uint32_t tableBytes = DibColorTableSize(&header);
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, header.biSize + tableBytes));
    if (!block) return nullptr;
    uint64_t total = 0;
    {
        GlobalLockGuard<BITMAPINFOHEADER> info(block.get());
        if (!info) return nullptr;
        std::memcpy(info.get(), &header, sizeof(header));
        {
            WindowDc screen(nullptr);
            if (!screen) return nullptr;
            // Without a pixel buffer the platform only describes the bitmap in this format.
            GetDIBits(screen.get(), bitmap, 0, UINT(header.biHeight), nullptr,
                      reinterpret_cast<BITMAPINFO*>(info.get()), DIB_RGB_COLORS);
        }
        if (info.get()->biSizeImage == 0) {
            info.get()->biSizeImage = ImageBytes(*info.get());
            if (info.get()->biSizeImage == 0 && info.get()->biWidth != 0 && info.get()->biHeight != 0)
                return nullptr;  // does not fit 32-bit sizes
        }
        total = uint64_t(tableBytes) + info.get()->biSize + info.get()->biSizeImage;
    }
    if (total > UINT32_MAX) return nullptr;
    HGLOBAL resized = GlobalReAlloc(block.get(), SIZE_T(total), 0);
    if (!resized) return nullptr;
    block.release();
    return resized;
}

HGLOBAL BitmapToDib(HBITMAP bitmap, int32_t bitCount, HPALETTE palette) {
    if (!bitmap || !IsSupportedBitCount(bitCount)) return nullptr;
    BITMAP described{};
    if (GetObjectA(bitmap, sizeof(described), &described) == 0) return nullptr;

    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = described.bmWidth;
    header.biHeight = described.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = WORD(bitCount);
    header.biCompression = BI_RGB;

    UniqueGlobal block(AllocDib(header, bitmap));
    if (!block) return nullptr;
    GlobalLockGuard<BYTE> data(block.get());
    if (!data) return nullptr;
    auto* info = reinterpret_cast<BITMAPINFOHEADER*>(data.get());
    WindowDc screen(nullptr);
    if (!screen) return nullptr;
    int lines = 0;
    {
        PaletteSelection selected(screen.get(), palette);
        BYTE* pixels = data.get() + info->biSize + DibColorTableSize(info);
        lines = GetDIBits(screen.get(), bitmap, 0, UINT(info->biHeight), pixels,
                          reinterpret_cast<BITMAPINFO*>(info), DIB_RGB_COLORS);
    }
    if (lines == 0) return nullptr;
    UseSystemPalette(info, screen.get());
    data.unlock();
    return block.release();
}

uint32_t WriteBmpFile(HGLOBAL dib, const char* fileName) {
    if (!dib) return ERROR_INVALID_HANDLE;
    if (!fileName || !*fileName) return ERROR_FILE_NOT_FOUND;

    UniqueFile file(CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_NO_RECALL, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return ERROR_TOO_MANY_OPEN_FILES;

    GlobalLockGuard<BYTE> data(dib);
    if (!data) return ERROR_DISCARDED;
    auto* info = reinterpret_cast<BITMAPINFOHEADER*>(data.get());
    if (!IsInfoHeader(info)) return ERROR_INVALID_DATA;

    const uint32_t imageBytes = ImageBytes(*info);
    const uint64_t dataBytes = uint64_t(info->biSize) + DibColorTableSize(info) + imageBytes;
    if ((imageBytes == 0 && info->biWidth != 0 && info->biHeight != 0) ||
        dataBytes > GlobalSize(dib) || dataBytes + kFileHeaderSize > UINT32_MAX)
        return ERROR_INVALID_DATA;
    info->biSizeImage = imageBytes;

    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = kBitmapFileType;
    fileHeader.bfSize = DWORD(dataBytes + kFileHeaderSize);
    fileHeader.bfOffBits = kFileHeaderSize + info->biSize + DibColorTableSize(info);

    DWORD headerWritten = 0, dataWritten = 0;
    const bool headerOk = WriteFile(file.get(), &fileHeader, kFileHeaderSize, &headerWritten, nullptr) &&
                          headerWritten == kFileHeaderSize;
    const bool dataOk = headerOk && WriteFile(file.get(), data.get(), DWORD(dataBytes), &dataWritten, nullptr) &&
                        dataWritten == dataBytes;
    return dataOk ? ERROR_SUCCESS : ERROR_TOO_MANY_OPEN_FILES;
}

int FreeDib(HGLOBAL dib) {
    GlobalFree(dib);
    return 0;
}
