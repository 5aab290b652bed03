// Times the BMP capture path stage by stage against a floor measured in the
// same run: a bare BitBlt, GetDIBits and one WriteFile of the same bytes.
// Prints one Markdown table row per window size, with the private memory the
// plug-in's own path commits at its peak.
#include "capture/dib.h"
#include "capture/screen_shot.h"
#include "bench/bench_util.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"
#include "common/handles.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

LRESULT CALLBACK GradientProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        for (int y = 0; y < client.bottom; y += 8) {
            UniqueBrush brush(CreateSolidBrush(RGB(y & 0xFF, (y * 3) & 0xFF, 128)));
            RECT band{0, y, client.right, y + 8};
            FillRect(dc, &band, brush.get());
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

struct Row {
    std::string size;
    double grab, convert, write, path, floor;
    uint64_t peakBytes;
};

Row Measure(HWND window, int runs, const std::string& file) {
    std::vector<double> grab, convert, write, path, floor;
    WindowDc screenDc(nullptr);
    const int depth = GetDeviceCaps(screenDc.get(), BITSPIXEL) * GetDeviceCaps(screenDc.get(), PLANES);
    TScreenShot shot;
    uint64_t peak = 0;
    for (int i = 0; i < runs; ++i) {
        double t0 = NowMs();
        UniqueBitmap bitmap(GrabWindow(window));
        double t1 = NowMs();
        UniquePalette palette(CreateSystemPalette());
        UniqueGlobal dib(BitmapToDib(bitmap.get(), DibBitCountForDepth(depth), palette.get()));
        double t2 = NowMs();
        WriteBmpFile(dib.get(), file.c_str());
        double t3 = NowMs();
        grab.push_back(t1 - t0);
        convert.push_back(t2 - t1);
        write.push_back(t3 - t2);

        const uint64_t base = PrivateBytes();
        t0 = NowMs();
        shot.CaptureWindow(window);
        WriteBmpFile(shot.Image, file.c_str());
        const double elapsed = NowMs() - t0;
        const uint64_t held = PrivateBytes();
        shot.FreeImage();
        path.push_back(elapsed);
        peak = std::max(peak, held > base ? held - base : 0);

        // The floor: the least work that gets these pixels into a BMP file.
        RECT rect;
        GetWindowRect(window, &rect);
        const int width = rect.right - rect.left, height = rect.bottom - rect.top;
        t0 = NowMs();
        {
            UniqueDc memory(CreateCompatibleDC(screenDc.get()));
            UniqueBitmap copy(CreateCompatibleBitmap(screenDc.get(), width, height));
            {
                Selection selected(memory.get(), copy.get());
                BitBlt(memory.get(), 0, 0, width, height, screenDc.get(), rect.left, rect.top, SRCCOPY);
            }
            const int bits = DibBitCountForDepth(depth);
            const DWORD stride = DWORD(ScanLineBytes(width * bits));
            const DWORD table = bits <= 8 ? 1024 : 0;
            std::vector<BYTE> bytes(14 + 40 + table + stride * DWORD(height));
            auto* info = reinterpret_cast<BITMAPINFO*>(bytes.data() + 14);
            info->bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, WORD(bits), BI_RGB, 0, 0, 0, 0, 0};
            GetDIBits(screenDc.get(), copy.get(), 0, UINT(height), bytes.data() + 54 + table, info, DIB_RGB_COLORS);
            BITMAPFILEHEADER header{0x4D42, DWORD(bytes.size()), 0, 0, 54 + table};
            memcpy(bytes.data(), &header, 14);
            UniqueFile out(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written;
            WriteFile(out.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr);
        }
        floor.push_back(NowMs() - t0);
    }
    RECT rect;
    GetWindowRect(window, &rect);
    return {std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top), Median(grab),
            Median(convert), Median(write), Median(path), Median(floor), peak};
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    WNDCLASSA wc{};
    wc.lpfnWndProc = GradientProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PixmerleBench";
    RegisterClassA(&wc);

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "pixmerle-bench.bmp";

    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const std::pair<int, int> sizes[] = {{640, 480}, {1280, 1024}, {screenWidth, screenHeight}};
    std::printf("| Window | Grab (ms) | DIB conversion (ms) | File write (ms) | Whole BMP path (ms) | Floor (ms) | Path / floor "
                "| Peak private memory (MB) |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (auto [width, height] : sizes) {
        if (width > screenWidth || height > screenHeight) continue;
        HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "PixmerleBench", "bench", WS_POPUP, 0, 0,
                                      width, height, nullptr, nullptr, wc.hInstance, nullptr);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
        PumpMessages(200);
        const Row row = Measure(window, runs, file);
        std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.1f |\n", row.size.c_str(), row.grab, row.convert,
                    row.write, row.path, row.floor, row.path / row.floor, double(row.peakBytes) / (1024.0 * 1024.0));
        std::fflush(stdout);
        DestroyWindow(window);
        PumpMessages(200);
    }
    DeleteFileA(file.c_str());
    return 0;
}
