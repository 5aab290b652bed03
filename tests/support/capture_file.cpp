#include "tests/support/capture_file.h"

#include "tests/support/bmp_file.h"
#include "tests/support/png_decode.h"

#include <algorithm>
#include <cstdlib>
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
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
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
