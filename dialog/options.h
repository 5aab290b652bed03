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
extern int32_t CopyToClipboard;
// Seconds a delayed capture waits: "Delay", 1 to 30; anything else gives the default.
extern int32_t CaptureDelaySeconds;
constexpr int32_t kDefaultDelaySeconds = 3;
constexpr int32_t kLongestDelaySeconds = 30;

extern const char kSettingsFileName[];

void LoadSettings();
void SaveSettings();
// The "Delay" text as a number of seconds: the default unless it is a whole
// number from 1 to the longest delay.
int32_t ParseDelay(const char* text);
// "Pixmerle_Option.ini" in the directory of the host's executable.
std::string SettingsFilePath();
