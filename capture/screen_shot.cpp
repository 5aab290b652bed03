#include "capture/screen_shot.h"

#include "capture/dib.h"
#include "capture/png_output.h"
#include "common/compositor.h"
#include "common/dpi_awareness.h"
#include "common/handles.h"
#include "common/own_module.h"
#include "resources/resource_ids.h"

TScreenShot* ScreenShot = nullptr;

namespace {

int32_t DisplayDepth() {
    UniqueDc display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return 0;
    return GetDeviceCaps(display.get(), BITSPIXEL) * GetDeviceCaps(display.get(), PLANES);
}

// Every monitor's area, in the coordinates of the primary monitor's
// top-left corner; before Windows 98 and 2000, the one screen.
RECT VirtualScreen() {
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{left, top, left + width, top + height};
}

// The parts of a rectangle that lie on a monitor.
struct MonitorParts {
    static constexpr int kMost = 16;
    RECT wanted;
    RECT parts[kMost];
    int count = 0;
    bool tooMany = false;
    int64_t area = 0;
};

BOOL CALLBACK CollectMonitorPart(HMONITOR, HDC, LPRECT monitor, LPARAM found) {
    auto* parts = reinterpret_cast<MonitorParts*>(found);
    RECT part;
    if (!IntersectRect(&part, monitor, &parts->wanted)) return TRUE;
    if (parts->count == MonitorParts::kMost) {
        parts->tooMany = true;
        return FALSE;
    }
    parts->parts[parts->count++] = part;
    parts->area += int64_t(part.right - part.left) * (part.bottom - part.top);
    return TRUE;
}

// Copies the screen inside `area` to (0, 0) of `memory`. What lies on no
// monitor becomes black: a screen may give anything there.
bool CopyScreen(HDC memory, HDC screen, const RECT& area) {
    MonitorParts monitors;
    monitors.wanted = area;
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (!EnumDisplayMonitors(nullptr, &area, CollectMonitorPart, reinterpret_cast<LPARAM>(&monitors)) ||
        monitors.tooMany)
        return BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
    if (monitors.area < int64_t(width) * height && !PatBlt(memory, 0, 0, width, height, BLACKNESS)) return false;
    for (int i = 0; i < monitors.count; ++i) {
        const RECT& part = monitors.parts[i];
        if (!BitBlt(memory, part.left - area.left, part.top - area.top, part.right - part.left,
                    part.bottom - part.top, screen, part.left, part.top, SRCCOPY))
            return false;
    }
    return true;
}

}  // namespace

TScreenShot::TScreenShot() {
    PngAvailable = BindPngLibrary(OwnString(IDS_PNG_LIBRARY).c_str());
    if (!PngAvailable) PngAvailable = BindPngLibrary(OwnString(IDS_PNG_LIBRARY_ALTERNATE).c_str());
}

TScreenShot::~TScreenShot() {
    FreeImage();
    if (PngAvailable) UnbindPngLibrary();
}

bool TScreenShot::CaptureWindow(HWND window) {
    FreeImage();
    if (!IsWindow(window) || !IsWindowVisible(window)) return false;

    const int32_t depth = DisplayDepth();
    UniqueBitmap bitmap(GrabWindow(window));

    if (PngAvailable) {
        BITMAP described{};
        if (bitmap && GetObjectA(bitmap.get(), sizeof(described), &described)) {
            ImageWidth = described.bmWidth;
            ImageHeight = described.bmHeight;
        }
        Image = bitmap.release();
        ImageIsBitmap = Image != nullptr;
    } else {
        UniquePalette palette(bitmap ? CreateSystemPalette() : nullptr);
        Image = BitmapToDib(bitmap.get(), DibBitCountForDepth(depth), palette.get());
        ImageIsBitmap = false;
    }
    return Image != nullptr;
}

void TScreenShot::FreeImage() {
    if (!Image) return;
    if (PngAvailable && ImageIsBitmap) {
        ImageIsBitmap = false;
        DeleteObject(Image);
        ImageWidth = 0;
        ImageHeight = 0;
    } else {
        FreeDib(Image);
    }
    Image = nullptr;
}

HBITMAP GrabWindow(HWND window) {
    // The rectangle and the grab in physical pixels, also for an unaware host.
    PerMonitorDpiScope physical;
    RECT rect{};
    if (!IsWindow(window) || !VisibleWindowRect(window, rect)) return nullptr;
    return GrabScreenRect(rect.left, rect.top, rect.right, rect.bottom);
}

HBITMAP GrabScreenRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (right <= left || bottom <= top) return nullptr;
    const RECT wanted{left, top, right, bottom};
    const RECT desktop = VirtualScreen();
    RECT area;
    // Nothing of the rectangle is on the screen; a 0-sized compatible bitmap
    // would come back as a 1x1 monochrome one.
    if (!IntersectRect(&area, &wanted, &desktop)) return nullptr;

    // The desktop window's DC: a display DC made by CreateDC would ignore
    // monitors left of or above the primary one.
    WindowDc screen(nullptr);
    if (!screen) return nullptr;
    UniqueDc memory(CreateCompatibleDC(screen.get()));
    if (!memory) return nullptr;
    UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), area.right - area.left, area.bottom - area.top));
    if (!bitmap) return nullptr;
    {
        Selection selected(memory.get(), bitmap.get());
        if (!selected) return nullptr;
        if (!CopyScreen(memory.get(), screen.get(), area)) return nullptr;
    }
    return bitmap.release();
}
