#include "tests/support/capture_name.h"

#include <regex>

bool IsCaptureName(const std::string& name, const std::string& extension) {
    static const std::regex stamp(R"(\d{4}\.\d{2}\.\d{2}_\d{2}-\d{2}-\d{2},\d{3}\.)");
    const size_t stampLength = 24;
    return name.size() == stampLength + extension.size() && name.compare(stampLength, extension.size(), extension) == 0 &&
           std::regex_match(name.substr(0, stampLength), stamp);
}

SYSTEMTIME TimeOfCaptureName(const std::string& name) {
    SYSTEMTIME time{};
    time.wYear = WORD(std::stoi(name.substr(0, 4)));
    time.wMonth = WORD(std::stoi(name.substr(5, 2)));
    time.wDay = WORD(std::stoi(name.substr(8, 2)));
    time.wHour = WORD(std::stoi(name.substr(11, 2)));
    time.wMinute = WORD(std::stoi(name.substr(14, 2)));
    time.wSecond = WORD(std::stoi(name.substr(17, 2)));
    time.wMilliseconds = WORD(std::stoi(name.substr(20, 3)));
    return time;
}

uint64_t Ticks(const SYSTEMTIME& time) {
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    return (uint64_t(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}
