#pragma once
// An independent reader of BMP files as written by the plug-in, for checking
// them byte by byte and pixel by pixel.
#include <cstdint>
#include <string>
#include <vector>

struct BmpFile {
    std::vector<uint8_t> bytes;
    // File header.
    uint16_t type = 0;
    uint32_t fileSize = 0;
    uint16_t reserved1 = 0, reserved2 = 0;
    uint32_t offBits = 0;
    // Info header.
    uint32_t headerSize = 0;
    int32_t width = 0, height = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t compression = 0, sizeImage = 0;
    int32_t xPelsPerMeter = 0, yPelsPerMeter = 0;
    uint32_t clrUsed = 0, clrImportant = 0;
    std::vector<uint32_t> colourTable;  // 0x00RRGGBB

    uint32_t stride() const { return ((uint32_t(width) * bitCount + 31) / 32) * 4; }
    // The colour at (x, y) counted from the top-left corner, as 0x00RRGGBB.
    uint32_t PixelAt(int x, int y) const;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Parses the headers and colour table; returns false with a reason when the
// file is malformed or shorter than its headers say.
bool ParseBmp(const std::vector<uint8_t>& bytes, BmpFile& out, std::string& error);
