// Times capture-to-PNG stage by stage on a full-screen window of busy,
// photo-like content, against a floor measured in the same run: the grab
// plus libpng encoding the same pixels from a ready RGB buffer. Also
// compares the conversion loop with a memcpy of the same bytes and reports
// the private memory one capture commits at its peak.
#include "bench/bench_util.h"
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

HBITMAP photo = nullptr;

// Smooth gradients with fine noise and shapes: compresses like a photograph.
HBITMAP MakePhoto(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* pixels = static_cast<uint32_t*>(bits);
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
    return bitmap;
}

LRESULT CALLBACK PhotoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        UniqueDc memory(CreateCompatibleDC(dc));
        Selection selected(memory.get(), photo);
        BITMAP size{};
        GetObjectA(photo, sizeof(size), &size);
        BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, memory.get(), 0, 0, SRCCOPY);
        EndPaint(hwnd, &paint);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

// png_bench [RUNS] times the paths; png_bench --hold SECONDS only shows the
// window, titled "Pixmerle PNG bench", for other tools to capture.
int main(int argc, char** argv) {
    const bool hold = argc > 2 && std::strcmp(argv[1], "--hold") == 0;
    const int runs = hold ? 0 : argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    TScreenShot shot;
    if (!shot.PngAvailable) {
        std::fprintf(stderr, "no PNG library found beside the benchmark\n");
        return 1;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    photo = MakePhoto(width, height);
    WNDCLASSA wc{};
    wc.lpfnWndProc = PhotoProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PixmerlePngBench";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, "Pixmerle PNG bench", WS_POPUP,
                                  0, 0, width, height, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    PumpMessages(300);
    if (hold) {
        std::printf("showing\n");
        std::fflush(stdout);
        PumpMessages(DWORD(std::max(1, atoi(argv[2]))) * 1000);
        DestroyWindow(window);
        DeleteObject(photo);
        return 0;
    }

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string file = std::string(temp) + "pixmerle-bench.png";

    // The ready RGB buffer of the floor: the same pixels, converted once.
    PngImageBuffers ready;
    {
        UniqueBitmap grabbed(GrabWindow(window));
        FetchPngDib(grabbed.get(), width, height, ready);
        ConvertDibToRows(ready);
    }
    std::vector<unsigned char> copyTarget(size_t(width) * 3 * size_t(height));

    std::vector<double> grab, fetch, convert, encode, path, floor, copy;
    uint64_t peak = 0;
    for (int i = 0; i < runs; ++i) {
        const uint64_t base = PrivateBytes();
        double t0 = NowMs();
        UniqueBitmap bitmap(GrabWindow(window));
        double t1 = NowMs();
        const uint64_t afterGrab = PrivateBytes();
        PngImageBuffers buffers;
        FetchPngDib(bitmap.get(), width, height, buffers);
        double t2 = NowMs();
        ConvertDibToRows(buffers);
        double t3 = NowMs();
        const uint64_t afterConvert = PrivateBytes();
        EncodePngRows(file.c_str(), buffers.Rows.get(), width, height);
        double t4 = NowMs();
        auto above = [base](uint64_t now) { return now > base ? now - base : 0; };
        peak = std::max({peak, above(afterGrab), above(afterConvert)});
        grab.push_back(t1 - t0);
        fetch.push_back(t2 - t1);
        convert.push_back(t3 - t2);
        encode.push_back(t4 - t3);

        t0 = NowMs();
        shot.CaptureWindow(window);
        WritePngFile(file.c_str(), static_cast<HBITMAP>(shot.Image), shot.ImageWidth, shot.ImageHeight);
        shot.FreeImage();
        path.push_back(NowMs() - t0);

        t0 = NowMs();
        {
            UniqueBitmap floorGrab(GrabWindow(window));
            EncodePngRows(file.c_str(), ready.Rows.get(), width, height);
        }
        floor.push_back(NowMs() - t0);

        t0 = NowMs();
        std::memcpy(copyTarget.data(), ready.Pixels.get(), copyTarget.size());
        copy.push_back(NowMs() - t0);
    }
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &attributes);
    DeleteFileA(file.c_str());

    std::printf("| Stage | Median (ms) |\n|---|---|\n");
    std::printf("| Grab (%dx%d) | %.2f |\n", width, height, Median(grab));
    std::printf("| Fetch as 24-bit DIB | %.2f |\n", Median(fetch));
    std::printf("| Convert to RGB rows | %.2f |\n", Median(convert));
    std::printf("| memcpy of the same bytes | %.2f |\n", Median(copy));
    std::printf("| Encode and write (%lu KB file) | %.2f |\n", attributes.nFileSizeLow / 1024, Median(encode));
    std::printf("| Whole PNG path | %.2f |\n", Median(path));
    std::printf("| Floor: grab + libpng from a ready RGB buffer | %.2f |\n", Median(floor));
    std::printf("| Path / floor | %.2f |\n", Median(path) / Median(floor));
    std::printf("| Conversion / memcpy | %.2f |\n", Median(convert) / Median(copy));
    std::printf("| Peak private memory of one capture | %.1f MB |\n", double(peak) / (1024.0 * 1024.0));
    std::fflush(stdout);
    DestroyWindow(window);
    DeleteObject(photo);
    return 0;
}
