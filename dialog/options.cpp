#include "dialog/options.h"

#include "dialog/folders.h"

#include <cerrno>
#include <cstdlib>

char SaveFolder[261] = {};
int32_t SaveToFolder = 0;
int32_t HideOnCapture = 0;
int32_t RgbOnly = 0;
int32_t CopyToClipboard = 0;
int32_t CaptureDelaySeconds = kDefaultDelaySeconds;

const char kSettingsFileName[] = "Pixmerle_Option.ini";

namespace {

constexpr char kSection[] = "Settings";

void WriteFlag(const char* key, int32_t flag) {
    char text[261] = {};
    text[0] = flag ? '1' : '0';
    WritePrivateProfileStringA(kSection, key, text, SettingsFilePath().c_str());
}

}  // namespace

std::string SettingsFilePath() {
    char module[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    return ExtractDirectory(module) + kSettingsFileName;
}

void LoadSettings() {
    GetPrivateProfileStringA(kSection, "Address", "", SaveFolder, 260, SettingsFilePath().c_str());
    SaveToFolder = int32_t(GetPrivateProfileIntA(kSection, "IsAddress", 0, SettingsFilePath().c_str()));
    HideOnCapture = int32_t(GetPrivateProfileIntA(kSection, "IsHide", 0, SettingsFilePath().c_str()));
    RgbOnly = int32_t(GetPrivateProfileIntA(kSection, "IsRgb", 0, SettingsFilePath().c_str()));
    CopyToClipboard = int32_t(GetPrivateProfileIntA(kSection, "IsClipboard", 0, SettingsFilePath().c_str()));
    char delay[32] = {};
    GetPrivateProfileStringA(kSection, "Delay", "", delay, sizeof delay, SettingsFilePath().c_str());
    CaptureDelaySeconds = ParseDelay(delay);
}

int32_t ParseDelay(const char* text) {
    if (!text) return kDefaultDelaySeconds;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE) return kDefaultDelaySeconds;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0' || seconds < 1 || seconds > kLongestDelaySeconds) return kDefaultDelaySeconds;
    return int32_t(seconds);
}

void SaveSettings() {
    WritePrivateProfileStringA(kSection, "Address", SaveFolder, SettingsFilePath().c_str());
    WriteFlag("IsAddress", SaveToFolder);
    WriteFlag("IsHide", HideOnCapture);
    WriteFlag("IsClipboard", CopyToClipboard);
}
