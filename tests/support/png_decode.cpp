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
    if (out.bitDepth != 8 || out.colourType != 2 || out.interlace != 0) {
        error = "only 8-bit RGB without interlace is decoded";
        return false;
    }
    const size_t rowBytes = size_t(out.width) * 3;
    std::vector<uint8_t> raw((rowBytes + 1) * out.height);
    uLongf rawLength = uLongf(raw.size());
    if (uncompress(raw.data(), &rawLength, compressed.data(), uLong(compressed.size())) != Z_OK ||
        rawLength != raw.size()) {
        error = "image data does not inflate to the image size";
        return false;
    }
    out.rgb.assign(rowBytes * out.height, 0);
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint8_t filterType = raw[y * (rowBytes + 1)];
        const uint8_t* in = &raw[y * (rowBytes + 1) + 1];
        uint8_t* row = &out.rgb[y * rowBytes];
        const uint8_t* up = y ? &out.rgb[(y - 1) * rowBytes] : nullptr;
        for (size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= 3 ? row[i - 3] : 0, b = up ? up[i] : 0, c = (up && i >= 3) ? up[i - 3] : 0;
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
    return true;
}
