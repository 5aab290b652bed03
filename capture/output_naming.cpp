// Turning a held image into a file: the writer of the object's mode, the
// save-file dialog and the time-stamped names of captures into a folder.
#include "capture/dib.h"
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/own_module.h"

#include <commdlg.h>

#include <memory>
#include <new>
#include <vector>

HWND SaveDialogOwner = nullptr;

namespace {

constexpr char kTimeStampFormat[] = "%4.4d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d,%3.3d";
constexpr char kPngFilter[] = "PNG files\0*.png\0";
constexpr char kBmpFilter[] = "Bitmap files\0*.bmp\0";

}  // namespace

std::string FormatText(const char* format, std::initializer_list<int32_t> arguments) {
    std::unique_ptr<char[]> output(new (std::nothrow) char[1025]);
    if (!output) return std::string();
    std::vector<int32_t> list(arguments);
    const int count = wvsprintfA(output.get(), format, reinterpret_cast<va_list>(list.data()));
    return count > 0 ? std::string(output.get(), size_t(count)) : std::string();
}

std::string TimeStampedName(const SYSTEMTIME& time, bool png) {
    return FormatText(kTimeStampFormat, {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                                         time.wMilliseconds}) +
           (png ? ".png" : ".bmp");
}

bool TScreenShot::SaveToFile(const char* fileName) {
    if (!Image) return false;
    if (PngAvailable && ImageIsBitmap)
        return WritePngFile(fileName, static_cast<HBITMAP>(Image), ImageWidth, ImageHeight);
    return WriteBmpFile(Image, fileName) == ERROR_SUCCESS;
}

bool TScreenShot::SaveToFileAndFree(const char* fileName) {
    const bool saved = SaveToFile(fileName);
    FreeImage();
    return saved;
}

bool TScreenShot::SaveWithDialog() {
    if (!Image) return false;
    const bool png = PngAvailable && ImageIsBitmap;
    char file[MAX_PATH + 1] = {};
    // The full record with its trailing reserved members: 88 bytes.
    OPENFILENAMEA dialog{};
    static_assert(sizeof(dialog) == 88, "OPENFILENAMEA is the Windows 2000 record");
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = SaveDialogOwner;
    dialog.hInstance = reinterpret_cast<HINSTANCE>(OwnModule());
    dialog.lpstrFilter = png ? kPngFilter : kBmpFilter;
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    // No overwrite prompt: choosing an existing file replaces it.
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;
    dialog.lpstrDefExt = png ? "png" : "bmp";
    if (!GetSaveFileNameA(&dialog)) return false;
    file[MAX_PATH] = '\0';
    return SaveToFile(file);
}

bool TScreenShot::SaveWithDialogAndFree() {
    const bool saved = SaveWithDialog();
    FreeImage();
    return saved;
}

bool TScreenShot::CaptureToFolder(HWND window, const char* folder) {
    const bool captured = CaptureWindow(window);
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!captured) return false;
    std::string path = folder ? folder : "";
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += TimeStampedName(now, PngAvailable && ImageIsBitmap);
    return SaveToFileAndFree(path.c_str());
}

void TScreenShot::CaptureAndSaveAs(HWND window) {
    if (CaptureWindow(window)) SaveWithDialogAndFree();
}
