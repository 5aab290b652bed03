#pragma once
// The time-stamped names captures get in a folder: local date and time to
// the millisecond, then the format's extension.
#include <windows.h>

#include <cstdint>
#include <string>

bool IsCaptureName(const std::string& name, const std::string& extension);
// The local time a capture name stands for; the name must match IsCaptureName.
SYSTEMTIME TimeOfCaptureName(const std::string& name);
// 100-nanosecond ticks, for comparing times.
uint64_t Ticks(const SYSTEMTIME& time);
