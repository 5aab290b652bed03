#include "tests/support/bmp_file.h"

#include <cstdio>

namespace {

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

bool ParseBmp(const std::vector<uint8_t>& bytes, BmpFile& out, std::string& error) {
    out = BmpFile{};
    out.bytes = bytes;
    if (bytes.size() < 54) {
        error = "file of " + std::to_string(bytes.size()) + " bytes is shorter than its headers";
        return false;
    }
    out.type = U16(bytes, 0);
    out.fileSize = U32(bytes, 2);
    out.reserved1 = U16(bytes, 6);
    out.reserved2 = U16(bytes, 8);
    out.offBits = U32(bytes, 10);
    out.headerSize = U32(bytes, 14);
    out.width = int32_t(U32(bytes, 18));
    out.height = int32_t(U32(bytes, 22));
    out.planes = U16(bytes, 26);
    out.bitCount = U16(bytes, 28);
    out.compression = U32(bytes, 30);
    out.sizeImage = U32(bytes, 34);
    out.xPelsPerMeter = int32_t(U32(bytes, 38));
    out.yPelsPerMeter = int32_t(U32(bytes, 42));
    out.clrUsed = U32(bytes, 46);
    out.clrImportant = U32(bytes, 50);
    if (out.width <= 0 || out.height <= 0 || out.headerSize != 40) {
        error = "unexpected header";
        return false;
    }
    uint32_t colours = out.clrUsed;
    if (colours == 0 && out.bitCount <= 8) colours = 1u << out.bitCount;
    if (54 + size_t(colours) * 4 > bytes.size()) {
        error = "colour table runs past the end";
        return false;
    }
    for (uint32_t i = 0; i < colours; ++i) out.colourTable.push_back(U32(bytes, 54 + size_t(i) * 4) & 0xFFFFFF);
    if (size_t(out.offBits) + size_t(out.stride()) * size_t(out.height) > bytes.size()) {
        error = "pixel data runs past the end";
        return false;
    }
    return true;
}

uint32_t BmpFile::PixelAt(int x, int y) const {
    const size_t row = size_t(offBits) + size_t(height - 1 - y) * stride();
    switch (bitCount) {
    case 32:
    case 24: {
        const size_t at = row + size_t(x) * (bitCount / 8);
        return uint32_t(bytes[at]) | (uint32_t(bytes[at + 1]) << 8) | (uint32_t(bytes[at + 2]) << 16);
    }
    case 8: return colourTable.at(bytes[row + size_t(x)]);
    case 4: return colourTable.at((bytes[row + size_t(x) / 2] >> (x % 2 ? 0 : 4)) & 0xF);
    case 1: return colourTable.at((bytes[row + size_t(x) / 8] >> (7 - x % 8)) & 1);
    default: return 0xFFFFFFFF;
    }
}
