#include "capture/screen_shot.h"

#include "capture/dib.h"
#include "capture/png_output.h"
#include "common/handles.h"
#include "common/own_module.h"
#include "resources/resource_ids.h"

#include <algorithm>

TScreenShot* ScreenShot = nullptr;

namespace {

int32_t DisplayDepth() {
    UniqueDc display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return 0;
    return GetDeviceCaps(display.get(), BITSPIXEL) * GetDeviceCaps(display.get(), PLANES);
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
    Sleep(0);
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
    RECT rect{};
    if (!IsWindow(window) || !GetWindowRect(window, &rect)) return nullptr;
    return GrabScreenRect(rect.left, rect.top, rect.right, rect.bottom);
}

HBITMAP GrabScreenRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (right <= left || bottom <= top) return nullptr;
    UniqueDc display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return nullptr;
    UniqueDc memory(CreateCompatibleDC(display.get()));
    if (!memory) return nullptr;

    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, GetDeviceCaps(display.get(), HORZRES));
    bottom = std::min(bottom, GetDeviceCaps(display.get(), VERTRES));
    const int32_t width = right - left;
    const int32_t height = bottom - top;
    // Nothing of the rectangle is on the screen; a 0-sized compatible bitmap
    // would come back as a 1x1 monochrome one.
    if (width <= 0 || height <= 0) return nullptr;

    UniqueBitmap bitmap(CreateCompatibleBitmap(display.get(), width, height));
    if (!bitmap) return nullptr;
    {
        Selection selected(memory.get(), bitmap.get());
        if (!selected) return nullptr;
        if (!BitBlt(memory.get(), 0, 0, width, height, display.get(), left, top, SRCCOPY)) return nullptr;
    }
    return bitmap.release();
}
