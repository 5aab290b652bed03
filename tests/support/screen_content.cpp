#include "tests/support/screen_content.h"

#include "common/handles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

void PaintPhoto(HDC dc, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    uint32_t noise = 7;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const double fx = double(x) / width, fy = double(y) / height;
            const int r = int(128 + 100 * std::sin(fx * 9 + fy * 4)) + int(noise >> 29);
            const int g = int(128 + 90 * std::cos(fy * 11 - fx * 3)) + int((noise >> 26) & 7);
            const int b = int(120 + 110 * std::sin((fx + fy) * 7)) + int((noise >> 23) & 7);
            pixels[size_t(y) * size_t(width) + size_t(x)] =
                (uint32_t(std::min(r, 255)) << 16) | (uint32_t(std::min(g, 255)) << 8) | uint32_t(std::min(b, 255));
        }
    SetDIBitsToDevice(dc, 0, 0, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), pixels.data(), &info,
                      DIB_RGB_COLORS);
}

namespace {

void Fill(HDC dc, RECT rect, COLORREF colour) {
    const UniqueBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

}  // namespace

void PaintListing(HDC dc, int width, int height) {
    Fill(dc, RECT{0, 0, width, height}, RGB(255, 255, 255));
    Fill(dc, RECT{0, 0, width, 28}, RGB(236, 233, 216));
    for (int x = 6; x < 400; x += 26) Fill(dc, RECT{x, 5, x + 20, 23}, RGB(90 + x % 120, 110, 160));
    const int split = width * 2 / 3, dumpTop = height * 2 / 3;
    Fill(dc, RECT{split, 28, split + 3, height}, RGB(160, 160, 160));
    Fill(dc, RECT{0, dumpTop, split, dumpTop + 3}, RGB(160, 160, 160));
    Fill(dc, RECT{split + 3, 28, width, height}, RGB(250, 250, 240));
    const UniqueFont font(CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, NONANTIALIASED_QUALITY,
                                      FIXED_PITCH | FF_MODERN, "Courier New"));
    Selection selected(dc, font.get());
    SetBkMode(dc, TRANSPARENT);
    static const char* const kMnemonics[] = {"push ebp", "mov ebp, esp", "sub esp, 0x40", "call 0x00401A2C",
                                             "test eax, eax", "jne short 0x00401035", "lea ecx, [ebp-0x10]",
                                             "xor eax, eax", "pop ebp", "ret 0x8"};
    uint32_t address = 0x00401000, bytes = 0x8B55EC83;
    int line = 0;
    for (int y = 32; y + 16 < dumpTop; y += 16, ++line) {
        if (line % 17 == 5) Fill(dc, RECT{0, y, split, y + 16}, RGB(0, 0, 128));
        SetTextColor(dc, line % 17 == 5 ? RGB(255, 255, 255) : RGB(0, 0, 0));
        char text[128];
        bytes = bytes * 2654435761u + 17;
        std::snprintf(text, sizeof text, "%08X   %08X    %s", address, bytes, kMnemonics[line % 10]);
        TextOutA(dc, 4, y, text, int(std::strlen(text)));
        address += 2 + bytes % 5;
    }
    SetTextColor(dc, RGB(0, 0, 0));
    for (int y = dumpTop + 6, row = 0; y + 16 < height; y += 16, ++row) {
        char text[128];
        std::snprintf(text, sizeof text, "%08X  %02X %02X %02X %02X %02X %02X %02X %02X  %c%c%c%c%c%c%c%c",
                      0x00403000 + row * 8, row & 0xFF, (row * 7) & 0xFF, 0, 0, (row * 13) & 0xFF, 0x40, 0, 0,
                      'A' + row % 26, '.', '.', '.', 'a' + row % 26, '@', '.', '.');
        TextOutA(dc, 4, y, text, int(std::strlen(text)));
    }
    static const char* const kRegisters[] = {"EAX", "ECX", "EDX", "EBX", "ESP", "EBP", "ESI", "EDI", "EIP"};
    for (int i = 0; i < 9; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%s 00%06X", kRegisters[i], (i * 0x1F3D5) & 0xFFFFFF);
        TextOutA(dc, split + 12, 40 + 18 * i, text, int(std::strlen(text)));
    }
}

void PaintDialog(HDC dc, int width, int height) {
    Fill(dc, RECT{0, 0, width, height}, RGB(212, 208, 200));
    const UniqueFont font(CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, ANTIALIASED_QUALITY,
                                      VARIABLE_PITCH | FF_SWISS, "Tahoma"));
    Selection selected(dc, font.get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    static const char* const kLabels[] = {"Break on new module", "Ignore memory access violations",
                                          "Show symbolic addresses", "Decode names of arguments",
                                          "Highlight jump destinations", "Follow the stack frame"};
    int item = 0;
    for (int top = 12; top + 150 < height; top += 170) {
        for (int left = 12; left + 300 < width; left += 320) {
            const RECT group{left, top, left + 300, top + 150};
            RECT etched = group;
            DrawEdge(dc, &etched, EDGE_ETCHED, BF_RECT);
            Fill(dc, RECT{left + 8, top - 2, left + 150, top + 14}, RGB(212, 208, 200));
            char title[32];
            std::snprintf(title, sizeof title, "Options %d", item / 3 + 1);
            TextOutA(dc, left + 10, top - 3, title, int(std::strlen(title)));
            for (int line = 0; line < 3; ++line, ++item) {
                const int y = top + 18 + line * 26;
                RECT box{left + 12, y + 2, left + 25, y + 15};
                Fill(dc, box, RGB(255, 255, 255));
                DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT);
                const char* label = kLabels[item % 6];
                TextOutA(dc, left + 32, y, label, int(std::strlen(label)));
            }
            RECT edit{left + 12, top + 100, left + 200, top + 121};
            Fill(dc, edit, RGB(255, 255, 255));
            DrawEdge(dc, &edit, EDGE_SUNKEN, BF_RECT);
            char path[48];
            std::snprintf(path, sizeof path, "C:\\Samples\\unpacked_%d.exe", item);
            TextOutA(dc, left + 16, top + 102, path, int(std::strlen(path)));
            RECT button{left + 210, top + 98, left + 288, top + 123};
            DrawEdge(dc, &button, EDGE_RAISED, BF_RECT);
            TextOutA(dc, left + 226, top + 102, "Browse", 6);
        }
    }
}
