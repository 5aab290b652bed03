#pragma once
// Checking a capture file, PNG or BMP, pixel by pixel against known colours.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

// The colour of a pixel at window coordinates, as 0x00RRGGBB.
using ColourAt = std::function<uint32_t(int x, int y)>;

// Reads a capture file (PNG or BMP, by its content) and compares its size
// and every pixel, each channel within `tolerance`; empty when it matches,
// else what is wrong.
std::string CaptureFileMismatch(const std::string& path, int width, int height, const ColourAt& colour,
                                int tolerance = 0);
// The same for a file's bytes, named `path` in what it gives.
std::string CaptureBytesMismatch(const std::vector<uint8_t>& bytes, const std::string& path, int width, int height,
                                 const ColourAt& colour, int tolerance = 0);
// What the clipboard holds in a format, by registered name or else by number; empty when nothing.
std::vector<uint8_t> ClipboardBytes(const char* formatName, UINT format = 0);
// The clipboard's CF_DIB compared as a capture file is.
std::string ClipboardDibMismatch(int width, int height, const ColourAt& colour);
