// The held image onto the clipboard: CF_DIB for every program, and in PNG
// mode the bytes of a PNG file under "PNG", which browsers and office
// programs paste without loss.
#include "capture/dib.h"
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"

#include <cstring>

const char kPngClipboardFormat[] = "PNG";

namespace {

constexpr DWORD kClipboardRetryMs = 20;

UniqueGlobal CopyOfBlock(HGLOBAL source) {
    const SIZE_T size = source ? GlobalSize(source) : 0;
    if (!size) return UniqueGlobal();
    UniqueGlobal copy(GlobalAlloc(GMEM_MOVEABLE, size));
    GlobalLockGuard<BYTE> from(source);
    GlobalLockGuard<BYTE> to(copy.get());
    if (!from || !to) return UniqueGlobal();
    std::memcpy(to.get(), from.get(), size);
    return copy;
}

// The PNG writer writes files only: the bytes go through a temporary file.
UniqueGlobal PngBytes(HBITMAP bitmap, int32_t width, int32_t height, bool indexed) {
    char folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH || !GetTempFileNameA(folder, "pxc", 0, path)) return UniqueGlobal();
    ScopeExit remove([&path] { DeleteFileA(path); });
    if (!WritePngFile(path, bitmap, width, height, indexed)) return UniqueGlobal();
    const UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return UniqueGlobal();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > MAXDWORD) return UniqueGlobal();
    UniqueGlobal bytes(GlobalAlloc(GMEM_MOVEABLE, SIZE_T(size.QuadPart)));
    GlobalLockGuard<BYTE> data(bytes.get());
    DWORD read = 0;
    if (!data || !ReadFile(file.get(), data.get(), DWORD(size.QuadPart), &read, nullptr) || read != size.QuadPart)
        return UniqueGlobal();
    data.unlock();
    return bytes;
}

// Another program may hold the clipboard for a moment: it is asked again
// until the wait is over.
bool OpenClipboardWithin(HWND owner, DWORD waitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (OpenClipboard(owner)) return true;
        if (GetTickCount() - start >= waitMs) return false;
        Sleep(kClipboardRetryMs);
    }
}

}  // namespace

bool TScreenShot::CopyToClipboard(HWND owner) {
    if (!Image) return false;
    const bool png = PngAvailable && ImageIsBitmap;
    // Made before the clipboard is opened, so that it is held for as short a time as can be.
    UniqueGlobal dib = png ? UniqueGlobal(BitmapToDib(static_cast<HBITMAP>(Image), 24, nullptr)) : CopyOfBlock(Image);
    if (!dib) return false;
    UniqueGlobal pngBytes = png ? PngBytes(static_cast<HBITMAP>(Image), ImageWidth, ImageHeight, !AlwaysRgb) : UniqueGlobal();
    const UINT pngFormat = png ? RegisterClipboardFormatA(kPngClipboardFormat) : 0;
    if (owner && !IsWindow(owner)) owner = nullptr;
    if (!OpenClipboardWithin(owner, kClipboardWaitMs)) return false;
    ScopeExit close([] { CloseClipboard(); });
    if (!EmptyClipboard()) return false;
    // Once the clipboard takes a block, the block is the clipboard's.
    if (!SetClipboardData(CF_DIB, dib.get())) return false;
    dib.release();
    if (!png) return true;
    if (!pngBytes || !pngFormat || !SetClipboardData(pngFormat, pngBytes.get())) return false;
    pngBytes.release();
    return true;
}
