#pragma once
// Checking a capture file, PNG or BMP, pixel by pixel against known colours.
#include <cstdint>
#include <functional>
#include <string>

// The colour of a pixel at window coordinates, as 0x00RRGGBB.
using ColourAt = std::function<uint32_t(int x, int y)>;

// Reads a capture file (PNG or BMP, by its content) and compares its size
// and every pixel, each channel within `tolerance`; empty when it matches,
// else what is wrong.
std::string CaptureFileMismatch(const std::string& path, int width, int height, const ColourAt& colour,
                                int tolerance = 0);
