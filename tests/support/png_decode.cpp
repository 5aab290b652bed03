#include "tests/support/png_decode.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace {

uint32_t BigEndian(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

}  // namespace

bool DecodePng(const std::vector<uint8_t>& file, DecodedPng& out, std::string& error) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out = DecodedPng{};
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) {
        error = "no PNG signature";
        return false;
    }
    std::vector<uint8_t> compressed;
    for (size_t at = 8; at < file.size();) {
        if (file.size() - at < 12) {
            error = "truncated chunk header";
            return false;
        }
        const uint32_t length = BigEndian(&file[at]);
        if (file.size() - at - 12 < length) {
            error = "truncated chunk";
            return false;
        }
        PngChunk chunk;
        chunk.type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
        chunk.data.assign(file.begin() + long(at + 8), file.begin() + long(at + 8 + length));
        const uint32_t crc = uint32_t(crc32(0, &file[at + 4], 4 + length));
        chunk.crcOk = crc == BigEndian(&file[at + 8 + length]);
        if (chunk.type == "IDAT") compressed.insert(compressed.end(), chunk.data.begin(), chunk.data.end());
        out.chunks.push_back(chunk);
        at += 12 + length;
    }
    if (out.chunks.empty() || out.chunks[0].type != "IHDR" || out.chunks[0].data.size() != 13) {
        error = "no IHDR first";
        return false;
    }
    const auto& ihdr = out.chunks[0].data;
    out.width = BigEndian(&ihdr[0]);
    out.height = BigEndian(&ihdr[4]);
    out.bitDepth = ihdr[8];
    out.colourType = ihdr[9];
    out.compression = ihdr[10];
    out.filter = ihdr[11];
    out.interlace = ihdr[12];
    const bool indexed = out.colourType == 3;
    const bool depthOk = indexed ? (out.bitDepth == 1 || out.bitDepth == 2 || out.bitDepth == 4 || out.bitDepth == 8)
                                 : out.bitDepth == 8;
    if (!depthOk || (out.colourType != 2 && !indexed) || out.interlace != 0) {
        error = "only 8-bit RGB and palette images without interlace are decoded";
        return false;
    }
    if (indexed) {
        for (const PngChunk& chunk : out.chunks) {
            if (chunk.type != "PLTE") continue;
            if (!out.palette.empty() || chunk.data.empty() || chunk.data.size() % 3 || chunk.data.size() > 768) {
                error = "not one PLTE of 1 to 256 entries";
                return false;
            }
            for (size_t i = 0; i < chunk.data.size(); i += 3)
                out.palette.push_back(uint32_t(chunk.data[i]) << 16 | uint32_t(chunk.data[i + 1]) << 8 | chunk.data[i + 2]);
        }
        if (out.palette.empty()) {
            error = "a palette image without PLTE";
            return false;
        }
    }
    // Filters work on bytes, a pixel's bytes apart (at least one).
    const size_t pixelBytes = indexed ? 1 : 3;
    const size_t rowBytes = indexed ? (size_t(out.width) * out.bitDepth + 7) / 8 : size_t(out.width) * 3;
    std::vector<uint8_t> raw((rowBytes + 1) * out.height);
    uLongf rawLength = uLongf(raw.size());
    if (uncompress(raw.data(), &rawLength, compressed.data(), uLong(compressed.size())) != Z_OK ||
        rawLength != raw.size()) {
        error = "image data does not inflate to the image size";
        return false;
    }
    std::vector<uint8_t> rows(rowBytes * out.height, 0);
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint8_t filterType = raw[y * (rowBytes + 1)];
        const uint8_t* in = &raw[y * (rowBytes + 1) + 1];
        uint8_t* row = &rows[y * rowBytes];
        const uint8_t* up = y ? &rows[(y - 1) * rowBytes] : nullptr;
        const size_t n = pixelBytes;
        for (size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= n ? row[i - n] : 0, b = up ? up[i] : 0, c = (up && i >= n) ? up[i - n] : 0;
            int value;
            switch (filterType) {
            case 0: value = in[i]; break;
            case 1: value = in[i] + a; break;
            case 2: value = in[i] + b; break;
            case 3: value = in[i] + (a + b) / 2; break;
            case 4: value = in[i] + Paeth(a, b, c); break;
            default: error = "unknown row filter"; return false;
            }
            row[i] = uint8_t(value);
        }
    }
    if (!indexed) {
        out.rgb = std::move(rows);
        return true;
    }
    out.rgb.assign(size_t(out.width) * out.height * 3, 0);
    const unsigned depth = out.bitDepth, perByte = 8 / depth, mask = (1u << depth) - 1;
    for (uint32_t y = 0; y < out.height; ++y)
        for (uint32_t x = 0; x < out.width; ++x) {
            const uint8_t byte = rows[y * rowBytes + x / perByte];
            const unsigned index = (byte >> (8 - depth * (x % perByte + 1))) & mask;
            if (index >= out.palette.size()) {
                error = "an index past the palette";
                return false;
            }
            const uint32_t colour = out.palette[index];
            uint8_t* pixel = &out.rgb[(size_t(y) * out.width + x) * 3];
            pixel[0] = uint8_t(colour >> 16);
            pixel[1] = uint8_t(colour >> 8);
            pixel[2] = uint8_t(colour);
        }
    return true;
}
