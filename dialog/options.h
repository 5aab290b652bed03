#pragma once
// The options that persist between runs of the capture dialog, and the
// settings file beside the host's executable that holds them.
#include <windows.h>
#include <cstdint>
#include <string>

extern char SaveFolder[261];
extern int32_t SaveToFolder;
extern int32_t HideOnCapture;
// IsRgb: no control shows it, and the dialog never writes it.
extern int32_t RgbOnly;

extern const char kSettingsFileName[];

void LoadSettings();
void SaveSettings();
// "Pixmerle_Option.ini" in the directory of the host's executable.
std::string SettingsFilePath();
