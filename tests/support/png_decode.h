#pragma once
// A PNG reader independent of the writer and of libpng: it lists the chunks
// and decodes 8-bit truecolour and 1-, 2-, 4- and 8-bit palette images with
// zlib and the five row filters.
#include <cstdint>
#include <string>
#include <vector>

struct PngChunk {
    std::string type;
    std::vector<uint8_t> data;
    bool crcOk;
};

struct DecodedPng {
    std::vector<PngChunk> chunks;
    uint32_t width = 0, height = 0;
    uint8_t bitDepth = 0, colourType = 0, compression = 0, filter = 0, interlace = 0;
    std::vector<uint32_t> palette;  // PLTE's entries as 0x00RRGGBB
    std::vector<uint8_t> rgb;  // rows top-down, 3 bytes per pixel, palette entries looked up
    uint32_t PixelAt(uint32_t x, uint32_t y) const {
        const size_t at = (size_t(y) * width + x) * 3;
        return (uint32_t(rgb[at]) << 16) | (uint32_t(rgb[at + 1]) << 8) | rgb[at + 2];
    }
};

bool DecodePng(const std::vector<uint8_t>& file, DecodedPng& out, std::string& error);
