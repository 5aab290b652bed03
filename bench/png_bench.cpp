// Times capture-to-PNG stage by stage on three kinds of window content, a
// photo-like picture, a debugger-like text listing with flat panels and a
// dialog with antialiased text, at two sizes, beside the BMP path of the
// same window. Reports the private
// memory one capture commits at its peak.
//
//   png_bench [RUNS]                      the table rows
//   png_bench --candidates [WxH]          every fast setting on every content
//   png_bench --hold CONTENT WxH SECONDS  only shows that window, titled
//                                         "Pixmerle PNG bench", for other tools
#include "bench/bench_util.h"
#include "capture/dib.h"
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen_content.h"
#include "tests/support/screen.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum class Content { Photo, Listing, Dialog };

const char* ContentName(Content content) {
    return content == Content::Photo ? "photo" : content == Content::Listing ? "listing" : "dialog";
}

Content ContentNamed(const char* name) {
    if (std::strcmp(name, "listing") == 0) return Content::Listing;
    return std::strcmp(name, "dialog") == 0 ? Content::Dialog : Content::Photo;
}

std::string ColourType(const PngImageBuffers& buffers) {
    if (buffers.Colours == 0) return "RGB";
    return "palette of " + std::to_string(buffers.Colours) + ", " + std::to_string(PaletteBitDepth(buffers.Colours)) +
           "-bit";
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
        else if (shownContent == Content::Listing)
            PaintListing(dc, client.right, client.bottom);
        else
            PaintDialog(dc, client.right, client.bottom);
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
    if (settings.PlugInDeflate) return "plug-in's deflate, no filter";
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
    std::string colourType;
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
        colourType = ColourType(buffers);
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
    std::printf("| %s | %dx%d | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %llu | %s | %s | %.1f | %.1f |\n",
                ContentName(content), width, height, Median(grab), Median(fetch), Median(prepare), Median(choose),
                Median(encode), Median(path), static_cast<unsigned long long>(bytes / 1024), colourType.c_str(),
                Describe(chosen).c_str(), Median(bmp), double(peak) / (1024.0 * 1024.0));
    std::fflush(stdout);
    DestroyWindow(window);
    PumpMessages(100);
}

// Every candidate and the library's defaults, timed on the same pixels.
void MeasureCandidates(const std::string& file, int width, int height) {
    const PngSettings settings[] = {{},
                                    {6, -1, kPngFilterNone},
                                    {6, kZlibRle, kPngAllFilters},
                                    {1, -1, kPngFilterNone},
                                    {1, kZlibRle, kPngFilterSub},
                                    {3, -1, kPngFilterNone},
                                    {9, -1, kPngFilterNone},
                                    {6, kZlibRle, kPngFilterNone},
                                    {6, -1, kPngAllFilters},
                                    {7, -1, kPngFilterNone},
                                    {8, -1, kPngFilterNone},
                                    {6, -1, kPngFilterNone, true}};
    std::printf("| Content | Rows | Settings | Encode (ms) | File (KB) |\n|---|---|---|---|---|\n");
    for (Content content : {Content::Photo, Content::Listing, Content::Dialog}) {
        HWND window = ShowContent(content, width, height);
        UniqueBitmap bitmap(GrabWindow(window));
        for (const bool indexed : {false, true}) {
        PngImageBuffers buffers;
        FetchPngDib(bitmap.get(), width, height, buffers);
        PrepareRows(buffers, indexed);
        if (indexed && buffers.Colours == 0) continue;
        for (const PngSettings& setting : settings) {
            if (setting.PlugInDeflate && buffers.Colours == 0) continue;
            std::vector<double> times;
            for (int i = 0; i < 3; ++i) {
                const double t0 = NowMs();
                EncodePngRows(file.c_str(), buffers, setting);
                times.push_back(NowMs() - t0);
            }
            std::printf("| %s | %s | %s | %.1f | %.1f |\n", ContentName(content), ColourType(buffers).c_str(),
                        Describe(setting).c_str(), Median(times), double(FileBytes(file)) / 1024);
        }
        std::printf("| %s | %s | chosen: %s | | |\n", ContentName(content), ColourType(buffers).c_str(),
                    Describe(ChoosePngSettings(buffers)).c_str());
        }
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
        HWND window = ShowContent(ContentNamed(argv[2]), width, height);
        std::printf("showing\n");
        std::fflush(stdout);
        PumpMessages(DWORD(std::max(1, atoi(argv[4]))) * 1000);
        DestroyWindow(window);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--candidates") == 0) {
        int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        if (argc > 2) std::sscanf(argv[2], "%dx%d", &width, &height);
        MeasureCandidates(file, width, height);
        return 0;
    }
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    std::printf("| Content | Window | Grab | Fetch | Rows | Choice | Encode and write | Whole PNG path | PNG file (KB) "
                "| Colour type | Settings chosen | Whole BMP path | Peak memory (MB) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    for (Content content : {Content::Listing, Content::Dialog, Content::Photo})
        for (const auto& [width, height] : {std::pair{1280, 1024}, std::pair{screenWidth, screenHeight}})
            MeasureRow(content, width, height, runs, file);
    return 0;
}
