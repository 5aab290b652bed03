// Turning a held image into a file: the writer of the object's mode, the
// save-file dialog and the time-stamped names of captures into a folder.
#include "capture/dib.h"
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/own_module.h"

#include <commdlg.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <new>

HWND SaveDialogOwner = nullptr;

namespace {

constexpr char kTimeStampFormat[] = "%4.4d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d,%3.3d";
constexpr char kPngFilter[] = "PNG files\0*.png\0";
constexpr char kBmpFilter[] = "Bitmap files\0*.bmp\0";

// The folder part of a path, "." for a bare name.
std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return ".";
    return path.substr(0, separator == 0 ? 1 : separator);
}

// Writes into a new file beside the final name and moves it over that name
// only once complete: a failed write leaves nothing partial behind, and an
// existing file of that name as it was. A directory or a read-only file of
// that name is never replaced.
// With `replace` false, `nameTaken` tells a name that another file took meanwhile.
bool WriteComplete(const char* fileName, const std::function<bool(const char*)>& write, bool replace = true,
                   bool* nameTaken = nullptr) {
    if (!fileName || !*fileName) return false;
    const DWORD existing = GetFileAttributesA(fileName);
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return false;
    char temporary[MAX_PATH] = {};
    if (!GetTempFileNameA(FolderOf(fileName).c_str(), "pxm", 0, temporary)) return false;
    if (write(temporary)) {
        if (MoveFileExA(temporary, fileName, replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
        const DWORD error = GetLastError();
        if (nameTaken) *nameTaken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    }
    DeleteFileA(temporary);
    return false;
}

// Captures named within one millisecond: the later ones get a number.
constexpr int kMostSameNames = 1000;

}  // namespace

std::string FormatText(const char* format, std::initializer_list<int32_t> arguments) {
    std::unique_ptr<char[]> output(new (std::nothrow) char[1025]);
    if (!output) return std::string();
    // Passed as real variadic arguments: an array of ints is no va_list on
    // 64-bit Windows, where each argument takes a slot of eight bytes.
    int32_t slots[8] = {};
    std::copy_n(arguments.begin(), std::min(arguments.size(), std::size(slots)), slots);
    const int count = wsprintfA(output.get(), format, slots[0], slots[1], slots[2], slots[3], slots[4], slots[5],
                                slots[6], slots[7]);
    return count > 0 ? std::string(output.get(), size_t(count)) : std::string();
}

std::string TimeStampedName(const SYSTEMTIME& time, bool png) { return TimeStampedName(time, png, 1); }

std::string TimeStampedName(const SYSTEMTIME& time, bool png, int sequence) {
    return FormatText(kTimeStampFormat, {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                                         time.wMilliseconds}) +
           (sequence > 1 ? "_" + std::to_string(sequence) : std::string()) + (png ? ".png" : ".bmp");
}

bool TScreenShot::WriteImage(const char* path) {
    if (PngAvailable && ImageIsBitmap)
        return WritePngFile(path, static_cast<HBITMAP>(Image), ImageWidth, ImageHeight, !AlwaysRgb);
    return WriteBmpFile(Image, path) == ERROR_SUCCESS;
}

bool TScreenShot::SaveToFile(const char* fileName) {
    if (!Image) return false;
    return WriteComplete(fileName, [this](const char* path) { return WriteImage(path); });
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
    // The full record with its trailing reserved members: 88 bytes (152 in
    // 64-bit Windows).
    OPENFILENAMEA dialog{};
    static_assert(sizeof(dialog) == (sizeof(void*) == 8 ? 152 : 88), "OPENFILENAMEA is the Windows 2000 record");
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = SaveDialogOwner;
    dialog.hInstance = reinterpret_cast<HINSTANCE>(OwnModule());
    dialog.lpstrFilter = png ? kPngFilter : kBmpFilter;
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    // No overwrite prompt: choosing an existing file replaces it. The host's
    // current directory, and with it its DLL search path, stays as it was.
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES | OFN_NOCHANGEDIR;
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
    const bool saved = SaveToFolderAt(folder, now);
    FreeImage();
    return saved;
}

// Writes the held image under the time-stamped name, or the next free
// numbered one: a capture never replaces one made in the same millisecond.
bool TScreenShot::SaveToFolderAt(const char* folder, const SYSTEMTIME& time) {
    if (!Image) return false;
    std::string base = folder ? folder : "";
    if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
    const bool png = PngAvailable && ImageIsBitmap;
    for (int sequence = 1; sequence <= kMostSameNames; ++sequence) {
        const std::string path = base + TimeStampedName(time, png, sequence);
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        // Not replacing: a file that came under this name meanwhile stays.
        bool nameTaken = false;
        if (WriteComplete(path.c_str(), [this](const char* temporary) { return WriteImage(temporary); }, false,
                          &nameTaken))
            return true;
        if (!nameTaken) return false;
    }
    return false;
}

bool TScreenShot::CaptureToDestinations(HWND window, const char* folder, bool clipboard, HWND clipboardOwner) {
    const bool toFolder = folder && *folder;
    if (!toFolder && !clipboard) {
        if (!CaptureWindow(window)) return false;
        return SaveWithDialogAndFree();
    }
    const bool captured = CaptureWindow(window);
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!captured) return false;
    // The file first: a clipboard that stays held costs the file nothing.
    bool delivered = !toFolder || SaveToFolderAt(folder, now);
    if (clipboard) delivered = CopyToClipboard(clipboardOwner) && delivered;
    FreeImage();
    return delivered;
}

void TScreenShot::CaptureAndSaveAs(HWND window) {
    if (CaptureWindow(window)) SaveWithDialogAndFree();
}
