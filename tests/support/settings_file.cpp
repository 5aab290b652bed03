#include "tests/support/settings_file.h"

#include "common/handles.h"
#include "tests/support/bmp_file.h"

#include <windows.h>

std::string SettingsPath(const std::string& folder) { return folder + "Pixmerle_Option.ini"; }

std::string SettingsText(const std::string& folder, int toFolder, int hide, int clipboard) {
    return "[Settings]\r\nAddress=" + folder + "\r\nIsAddress=" + std::to_string(toFolder) +
           "\r\nIsHide=" + std::to_string(hide) + "\r\nIsClipboard=" + std::to_string(clipboard) + "\r\n";
}

bool WriteSettings(const std::string& text, const std::string& path) {
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string ReadSettings(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void RemoveSettings(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}
