// Times capture-to-PNG stage by stage on two kinds of window content, a
// photo-like picture and a debugger-like text listing with flat panels, at
// two sizes, beside the BMP path of the same window. Reports the private
// memory one capture commits at its peak.
//
//   png_bench [RUNS]                      the table rows
//   png_bench --candidates                every fast setting on every content
//   png_bench --hold CONTENT WxH SECONDS  only shows that window, titled
//                                         "Pixmerle PNG bench", for other tools
#include "bench/bench_util.h"
#include "capture/dib.h"
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum class Content { Photo, Listing };

const char* ContentName(Content content) { return content == Content::Photo ? "photo" : "listing"; }

// Smooth gradients with fine noise: compresses like a photograph.
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

void Fill(HDC dc, RECT rect, COLORREF colour) {
    const UniqueBrush brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

// A debugger's CPU window: a toolbar, a disassembly listing with addresses,
// bytes and instructions, a register panel and a hex dump, in flat colours.
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

Content shownContent = Content::Photo;

LRESULT CALLBACK BenchProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        if (shownContent == Content::Photo)
            PaintPhoto(dc, client.right, client.bottom);
        else
            PaintListing(dc, client.right, client.bottom);
        EndPaint(hwnd, &paint);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND ShowContent(Content content, int width, int height) {
    shownContent = content;
    WNDCLASSA wc{};
    wc.lpfnWndProc = BenchProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PixmerlePngBench";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, "Pixmerle PNG bench", WS_POPUP,
                                  0, 0, width, height, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    PumpMessages(300);
    return window;
}

uint64_t FileBytes(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &attributes);
    return attributes.nFileSizeLow;
}

std::string Describe(const PngSettings& settings) {
    if (settings.Level < 0) return "library defaults";
    std::string text = "level " + std::to_string(settings.Level);
    if (settings.Strategy == kZlibRle) text += ", run-length";
    text += settings.Filters == kPngFilterNone ? ", no filter"
            : settings.Filters == kPngFilterSub ? ", filter sub"
            : settings.Filters == kPngAllFilters ? ", filter per row"
                                                 : ", filters " + std::to_string(settings.Filters);
    return text;
}

// One row of the table: the whole PNG path, its stages, and the BMP path.
void MeasureRow(Content content, int width, int height, int runs, const std::string& file) {
    HWND window = ShowContent(content, width, height);
    TScreenShot shot;
    std::vector<double> grab, fetch, prepare, choose, encode, path, bmp;
    uint64_t peak = 0, bytes = 0;
    PngSettings chosen;
    WindowDc screen(nullptr);
    const int depth = GetDeviceCaps(screen.get(), BITSPIXEL);
    for (int i = 0; i < runs; ++i) {
        double t0 = NowMs();
        shot.CaptureWindow(window);
        shot.SaveToFile(file.c_str());
        shot.FreeImage();
        path.push_back(NowMs() - t0);
        bytes = FileBytes(file);

        const uint64_t base = PrivateBytes();
        auto above = [base](uint64_t now) { return now > base ? now - base : 0; };
        t0 = NowMs();
        UniqueBitmap bitmap(GrabWindow(window));
        const double t1 = NowMs();
        PngImageBuffers buffers;
        FetchPngDib(bitmap.get(), width, height, buffers);
        const double t2 = NowMs();
        PrepareRows(buffers);
        const double t3 = NowMs();
        chosen = ChoosePngSettings(buffers);
        const double t4 = NowMs();
        const uint64_t held = PrivateBytes();
        EncodePngRows(file.c_str(), buffers, chosen);
        const double t5 = NowMs();
        peak = std::max({peak, above(held), above(PrivateBytes())});
        grab.push_back(t1 - t0);
        fetch.push_back(t2 - t1);
        prepare.push_back(t3 - t2);
        choose.push_back(t4 - t3);
        encode.push_back(t5 - t4);

        t0 = NowMs();
        {
            UniqueBitmap grabbed(GrabWindow(window));
            UniquePalette palette(CreateSystemPalette());
            UniqueGlobal dib(BitmapToDib(grabbed.get(), DibBitCountForDepth(depth), palette.get()));
            WriteBmpFile(dib.get(), file.c_str());
        }
        bmp.push_back(NowMs() - t0);
    }
    DeleteFileA(file.c_str());
    std::printf("| %s | %dx%d | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %llu | %s | %.1f | %.1f |\n",
                ContentName(content), width, height, Median(grab), Median(fetch), Median(prepare), Median(choose),
                Median(encode), Median(path), static_cast<unsigned long long>(bytes / 1024), Describe(chosen).c_str(),
                Median(bmp), double(peak) / (1024.0 * 1024.0));
    std::fflush(stdout);
    DestroyWindow(window);
    PumpMessages(100);
}

// Every candidate and the library's defaults, timed on the same pixels.
void MeasureCandidates(const std::string& file) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    const PngSettings settings[] = {{},
                                    {6, -1, kPngFilterNone},
                                    {6, kZlibRle, kPngAllFilters},
                                    {1, -1, kPngFilterNone},
                                    {1, kZlibRle, kPngFilterSub}};
    std::printf("| Content | Settings | Encode (ms) | File (KB) |\n|---|---|---|---|\n");
    for (Content content : {Content::Photo, Content::Listing}) {
        HWND window = ShowContent(content, width, height);
        UniqueBitmap bitmap(GrabWindow(window));
        PngImageBuffers buffers;
        FetchPngDib(bitmap.get(), width, height, buffers);
        PrepareRows(buffers);
        for (const PngSettings& setting : settings) {
            std::vector<double> times;
            for (int i = 0; i < 3; ++i) {
                const double t0 = NowMs();
                EncodePngRows(file.c_str(), buffers, setting);
                times.push_back(NowMs() - t0);
            }
            std::printf("| %s | %s | %.1f | %llu |\n", ContentName(content), Describe(setting).c_str(), Median(times),
                        static_cast<unsigned long long>(FileBytes(file) / 1024));
        }
        std::printf("| %s | chosen: %s | | |\n", ContentName(content), Describe(ChoosePngSettings(buffers)).c_str());
        std::fflush(stdout);
        DestroyWindow(window);
        PumpMessages(100);
    }
    DeleteFileA(file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    TScreenShot probe;
    if (!probe.PngAvailable) {
        std::fprintf(stderr, "no PNG library found beside the benchmark\n");
        return 1;
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "pixmerle-bench.png";

    if (argc > 4 && std::strcmp(argv[1], "--hold") == 0) {
        int width = 0, height = 0;
        std::sscanf(argv[3], "%dx%d", &width, &height);
        HWND window = ShowContent(std::strcmp(argv[2], "listing") == 0 ? Content::Listing : Content::Photo, width,
                                  height);
        std::printf("showing\n");
        std::fflush(stdout);
        PumpMessages(DWORD(std::max(1, atoi(argv[4]))) * 1000);
        DestroyWindow(window);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--candidates") == 0) {
        MeasureCandidates(file);
        return 0;
    }
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    std::printf("| Content | Window | Grab | Fetch | Rows | Choice | Encode and write | Whole PNG path | PNG file (KB) "
                "| Settings chosen | Whole BMP path | Peak memory (MB) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    for (Content content : {Content::Photo, Content::Listing})
        for (const auto& [width, height] : {std::pair{1280, 1024}, std::pair{screenWidth, screenHeight}})
            MeasureRow(content, width, height, runs, file);
    return 0;
}
