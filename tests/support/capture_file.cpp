#include "tests/support/capture_file.h"

#include "tests/support/bmp_file.h"
#include "tests/support/png_decode.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

}  // namespace

std::string CaptureFileMismatch(const std::string& path, int width, int height, const ColourAt& colour,
                                int tolerance) {
    return CaptureBytesMismatch(ReadWholeFile(path), path, width, height, colour, tolerance);
}

std::vector<uint8_t> ClipboardBytes(const char* formatName, UINT format) {
    if (formatName) format = RegisterClipboardFormatA(formatName);
    std::vector<uint8_t> bytes;
    if (!OpenClipboard(nullptr)) return bytes;
    if (HANDLE data = GetClipboardData(format)) {
        const SIZE_T size = GlobalSize(data);
        if (const void* locked = GlobalLock(data)) {
            bytes.assign(static_cast<const uint8_t*>(locked), static_cast<const uint8_t*>(locked) + size);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return bytes;
}

std::string ClipboardDibMismatch(int width, int height, const ColourAt& colour) {
    const std::vector<uint8_t> dib = ClipboardBytes(nullptr, CF_DIB);
    if (dib.size() < sizeof(BITMAPINFOHEADER)) return "the clipboard holds no CF_DIB";
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof header);
    const uint32_t colours = header.biClrUsed ? header.biClrUsed : header.biBitCount <= 8 ? 1u << header.biBitCount : 0;
    const uint32_t stride = ((uint32_t(header.biWidth) * header.biBitCount + 31) / 32) * 4;
    const uint32_t pixelsAt = header.biSize + colours * 4;
    const size_t used = pixelsAt + size_t(stride) * uint32_t(std::abs(header.biHeight));
    if (dib.size() < used) return "the clipboard's CF_DIB is shorter than its header says";
    // As a BMP file: a file header in front of exactly the DIB's bytes.
    std::vector<uint8_t> file(14, 0);
    file[0] = 'B';
    file[1] = 'M';
    const uint32_t fileSize = uint32_t(14 + used), offBits = 14 + pixelsAt;
    std::memcpy(&file[2], &fileSize, 4);
    std::memcpy(&file[10], &offBits, 4);
    file.insert(file.end(), dib.begin(), dib.begin() + std::ptrdiff_t(used));
    return CaptureBytesMismatch(file, "CF_DIB", width, height, colour, 0);
}

std::string CaptureBytesMismatch(const std::vector<uint8_t>& bytes, const std::string& path, int width, int height,
                                 const ColourAt& colour, int tolerance) {
    std::function<uint32_t(int, int)> pixel;
    int fileWidth = 0, fileHeight = 0;
    DecodedPng png;
    BmpFile bmp;
    std::string error;
    if (bytes.size() >= 4 && bytes[0] == 0x89 && bytes[1] == 'P') {
        if (!DecodePng(bytes, png, error)) return path + " does not decode: " + error;
        // An indexed file decodes only with a PLTE holding its indices, one of each colour.
        std::vector<uint32_t> entries = png.palette;
        std::sort(entries.begin(), entries.end());
        if (std::adjacent_find(entries.begin(), entries.end()) != entries.end())
            return path + "'s palette holds a colour twice";
        if (png.colourType == 3) {
            int depth = 1;
            while ((size_t(1) << depth) < png.palette.size()) depth *= 2;
            if (png.bitDepth != depth)
                return path + " has " + std::to_string(png.palette.size()) + " colours at bit depth " +
                       std::to_string(png.bitDepth);
            std::vector<uint32_t> used;
            for (uint32_t y = 0; y < png.height; ++y)
                for (uint32_t x = 0; x < png.width; ++x) used.push_back(png.PixelAt(x, y));
            std::sort(used.begin(), used.end());
            used.erase(std::unique(used.begin(), used.end()), used.end());
            if (used != entries) return path + "'s palette is not exactly the colours of its pixels";
        }
        fileWidth = int(png.width);
        fileHeight = int(png.height);
        pixel = [&png](int x, int y) { return png.PixelAt(uint32_t(x), uint32_t(y)); };
    } else {
        if (!ParseBmp(bytes, bmp, error)) return path + " is no complete BMP file: " + error;
        if (bmp.fileSize != bytes.size()) return path + " is not as long as its header says";
        fileWidth = bmp.width;
        fileHeight = bmp.height;
        pixel = [&bmp](int x, int y) { return bmp.PixelAt(x, y); };
    }
    std::ostringstream problem;
    if (fileWidth != width || fileHeight != height) {
        problem << path << " is " << fileWidth << "x" << fileHeight << ", not " << width << "x" << height;
        return problem.str();
    }
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!Near(pixel(x, y), colour(x, y), tolerance) && ++wrong <= 3)
                problem << " (" << x << "," << y << ") is " << std::hex << pixel(x, y) << " not " << colour(x, y)
                        << std::dec << ";";
    if (wrong == 0) return std::string();
    return path + ": " + std::to_string(wrong) + " pixels differ:" + problem.str();
}
