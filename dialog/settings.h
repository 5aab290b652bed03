#pragma once
// The options that persist between runs of the capture dialog, the settings
// file beside the host's executable that holds them, and the folder browser.
#include <windows.h>
#include <cstdint>
#include <string>

extern char SaveFolder[261];
extern int32_t SaveToFolder;
extern int32_t HideOnCapture;

extern const char kSettingsFileName[];

void LoadSettings();
void SaveSettings();
// "Pixmerle_Option.ini" in the directory of the host's executable.
std::string SettingsFilePath();
std::string ExtractDirectory(const std::string& path);
bool FileExists(const char* name);
bool BrowseForFolder(HWND owner, const char* title, std::string& folder);
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM value, LPARAM data);
