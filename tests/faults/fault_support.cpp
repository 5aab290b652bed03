#include "tests/faults/fault_support.h"

#include "tests/png/png_decode.h"
#include "tests/support/bmp_file.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_class.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

// The plug-in fixes its output format when it is loaded, from the PNG
// library it finds: it is loaded before any test brings one of its own.
class PluginLoadedFirst : public ::testing::Environment {
public:
    void SetUp() override { PluginModule(); }
};

::testing::Environment* const pluginLoadedFirst = ::testing::AddGlobalTestEnvironment(new PluginLoadedFirst);

}  // namespace

bool PngBuild() { return PIXMERLE_FAULTS_PNG != 0; }

const char* CaptureExtension() { return PngBuild() ? ".png" : ".bmp"; }

Usage MeasureUsage() { return Usage{LiveGdiObjects(), OpenKernelHandles(), PrivateBytes()}; }

std::string Describe(const Usage& usage) {
    std::ostringstream text;
    text << usage.gdiObjects << " GDI objects, " << usage.kernelHandles << " kernel handles, "
         << usage.privateBytes / 1024 << " KiB private memory";
    return text.str();
}

std::string CaptureFileMismatch(const std::string& path, int width, int height, const ColourAt& colour) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    std::function<uint32_t(int, int)> pixel;
    int fileWidth = 0, fileHeight = 0;
    DecodedPng png;
    BmpFile bmp;
    std::string error;
    if (bytes.size() >= 4 && bytes[0] == 0x89 && bytes[1] == 'P') {
        if (!DecodePng(bytes, png, error)) return path + " does not decode: " + error;
        if (png.bitDepth != 8 || png.colourType != 2) return path + " is not 8-bit RGB";
        fileWidth = int(png.width);
        fileHeight = int(png.height);
        pixel = [&png](int x, int y) { return png.PixelAt(uint32_t(x), uint32_t(y)); };
    } else {
        if (!ParseBmp(bytes, bmp, error)) return path + " is no complete BMP file: " + error;
        if (bmp.fileSize != bytes.size()) return path + " is not as long as its header says";
        fileWidth = bmp.width;
        fileHeight = bmp.height;
        pixel = [&bmp](int x, int y) { return bmp.PixelAt(x, y); };
    }
    std::ostringstream problem;
    if (fileWidth != width || fileHeight != height) {
        problem << path << " is " << fileWidth << "x" << fileHeight << ", not " << width << "x" << height;
        return problem.str();
    }
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (pixel(x, y) != colour(x, y) && ++wrong <= 3)
                problem << " (" << x << "," << y << ") is " << std::hex << pixel(x, y) << " not " << colour(x, y)
                        << std::dec << ";";
    if (wrong == 0) return std::string();
    return path + ": " + std::to_string(wrong) + " pixels differ:" + problem.str();
}

namespace {

// The target's edge rows and columns on screen hold its own colours: no
// outline is left on it.
bool ShownWithoutOutline(const PatternWindow& target) {
    const ScreenPixels shown = ReadScreen(WindowRect(target.hwnd()));
    for (int x = 0; x < shown.width; ++x)
        if (shown.at(x, 1) != target.ColourAt(x, 1)) return false;
    for (int y = 0; y < shown.height; ++y)
        if (shown.at(1, y) != target.ColourAt(1, y)) return false;
    return true;
}

}  // namespace

void ExpectCaptureOf(CaptureDialog& dialog, const PatternWindow& target, const TempDir& dir) {
    ASSERT_TRUE(dialog.DragTo(Centre(WindowRect(target.hwnd()))));
    // Erasing the outline reaches the screen only once the dialog's thread
    // next waits for messages; a capture taken before would show it.
    ASSERT_TRUE(WaitUntil([&] { return ShownWithoutOutline(target); })) << "the outline stays on the target";
    ASSERT_TRUE(dialog.TakeCapture());
    const std::vector<std::string> files = dir.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(CaptureFileMismatch(dir.file(files[0]), target.width(), target.height(),
                                  [&target](int x, int y) { return target.ColourAt(x, y); }),
              "");
}

// ---------------------------------------------------------------- noise

namespace {

constexpr uint32_t kPureColours[8] = {0x000000, 0xFF0000, 0x00FF00, 0xFFFF00,
                                      0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

LRESULT CALLBACK NoiseProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        const int width = client.right, height = client.bottom;
        std::vector<uint32_t> pixels(size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pixels[size_t(y) * size_t(width) + size_t(x)] = NoiseWindow::ColourAt(x, y);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), pixels.data(), &info,
                          DIB_RGB_COLORS);
        EndPaint(hwnd, &paint);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

NoiseWindow::NoiseWindow(int x, int y, int width, int height) {
    static const ATOM registered = RegisterWindowClass("PixmerleFaultNoise", NoiseProc);
    (void)registered;
    hwnd_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "PixmerleFaultNoise", "noise", WS_POPUP, x, y, width,
                            height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!hwnd_) return;
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd_);
    PumpMessages(150);
}

NoiseWindow::~NoiseWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    PumpMessages(30);
}

uint32_t NoiseWindow::ColourAt(int x, int y) {
    uint32_t hash = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
    hash ^= hash >> 15;
    hash *= 0x2C1B3C6Du;
    hash ^= hash >> 12;
    return kPureColours[(hash >> 7) & 7];
}

// ---------------------------------------------------------------- hung window

namespace {

constexpr UINT kHangNow = WM_APP + 0x47;

}  // namespace

HungWindow::HungWindow(int x, int y, int width, int height, uint32_t rgb, const std::string& title)
    : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      stuck_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      rgb_(rgb),
      thread_([this, x, y, width, height, title] { Run(x, y, width, height, title); }) {
    WaitForSingleObject(ready_.get(), 30000);
    PumpMessages(150);
}

HungWindow::~HungWindow() {
    Release();
    if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
}

void HungWindow::Run(int x, int y, int width, int height, const std::string& title) {
    static const ATOM registered = RegisterWindowClass("PixmerleFaultHung", Proc);
    (void)registered;
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "PixmerleFaultHung", title.c_str(), WS_POPUP, x,
                                  y, width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window) {
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    hwnd_ = window;
    SetEvent(ready_.get());
    if (!window) return;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void HungWindow::StayStuck() {
    hanging_ = true;
    SetEvent(stuck_.get());
    WaitForSingleObject(release_.get(), kLongestHangMs);
    hanging_ = false;
}

LRESULT CALLBACK HungWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HungWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        if (self) {
            const uint32_t rgb = self->rgb_;
            const UniqueBrush brush(CreateSolidBrush(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF)));
            RECT client;
            GetClientRect(hwnd, &client);
            FillRect(dc, &client, brush.get());
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case kHangNow:
        if (self) self->StayStuck();
        return 0;
    case WM_GETTEXT:
        if (self && self->hangOnGetText_.exchange(false)) self->StayStuck();
        break;
    case WM_DESTROY: PostQuitMessage(0); break;
    default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool HungWindow::Start(Hang how) {
    if (!hwnd_) return false;
    ResetEvent(release_.get());
    ResetEvent(stuck_.get());
    if (how == Hang::OnGetText) {
        hangOnGetText_ = true;
        return true;
    }
    PostMessageA(hwnd_, kHangNow, 0, 0);
    return WaitForSingleObject(stuck_.get(), 30000) == WAIT_OBJECT_0;
}

bool HungWindow::Release() {
    hangOnGetText_ = false;
    SetEvent(release_.get());
    if (!hwnd_) return true;
    // Sent messages are taken in order: the answer to this one comes after
    // every message that was sent while the thread was stuck.
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored) != 0;
}

// ---------------------------------------------------------------- full disk

ScratchFolder::ScratchFolder(const std::string& base) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint32_t tag = uint32_t(now.QuadPart) ^ (GetTickCount() << 16);
    for (int attempt = 0; attempt < 100; ++attempt, tag = tag * 1664525u + 1013904223u) {
        const std::string candidate = base + "\\faults-" + std::to_string(tag);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) RemoveFolder(path_);
}

DiskFiller::DiskFiller(const std::string& folder, uint64_t leaveFree) : path_(folder + "\\filler.bin") {
    const UniqueFile file(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) {
        problem_ = "cannot create " + path_ + ": error " + std::to_string(GetLastError());
        return;
    }
    // Past this the file system is not a small one, and is left alone.
    constexpr uint64_t kLargest = 16 * 1024 * 1024;
    std::vector<char> zeros(65536, 0);
    uint64_t size = 0;
    bool full = false;
    for (DWORD chunk : {DWORD(65536), DWORD(4096), DWORD(512), DWORD(1)}) {
        while (size < kLargest) {
            DWORD written = 0;
            const BOOL ok = WriteFile(file.get(), zeros.data(), chunk, &written, nullptr);
            size += written;
            if (ok && written == chunk) continue;
            full = true;
            // A short write may have moved the file pointer by what it wrote.
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(size);
            SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
            break;
        }
    }
    // Others may hold most of the space: then all of this file is given back.
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(size > leaveFree ? size - leaveFree : 0);
    filled_ = full && SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
    if (!filled_) problem_ = full ? "cannot give back space: error " + std::to_string(GetLastError()) : "never full";
}

DiskFiller::~DiskFiller() { DeleteFileA(path_.c_str()); }
