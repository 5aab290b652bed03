#include "tests/support/temp_dir.h"

#include "common/handles.h"
#include "tests/support/bmp_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

void RemoveFolder(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolder(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

TempDir::TempDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        path_ = std::string(base) + "pixmerle-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
}

TempDir::~TempDir() { RemoveFolder(path_); }

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FilesAddedTo(const std::string& folder, const std::vector<std::string>& before) {
    std::vector<std::string> added;
    for (const std::string& name : FilesIn(folder))
        if (!std::binary_search(before.begin(), before.end(), name)) added.push_back(name);
    return added;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string CurrentDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
    return std::string(path, length < MAX_PATH ? length : 0);
}

CurrentFolder::CurrentFolder() : previous_(CurrentDirectory()) { SetCurrentDirectoryA(dir_.path().c_str()); }

CurrentFolder::~CurrentFolder() { SetCurrentDirectoryA(previous_.c_str()); }

bool CurrentFolder::StillCurrent() const { return lstrcmpiA(CurrentDirectory().c_str(), path().c_str()) == 0; }

std::string SmallDiskFolder() {
    const char* unixPath = std::getenv("PIXMERLE_SMALL_DISK");
    if (!unixPath || !*unixPath) return std::string();
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return PathExists(path) ? path : std::string();
}

ScratchFolder::ScratchFolder(const std::string& base) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint32_t tag = uint32_t(now.QuadPart) ^ (GetTickCount() << 16);
    for (int attempt = 0; attempt < 100; ++attempt, tag = tag * 1664525u + 1013904223u) {
        const std::string candidate = base + "\\faults-" + std::to_string(tag);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) RemoveFolder(path_);
}

DiskFiller::DiskFiller(const std::string& folder, uint64_t leaveFree) : path_(folder + "\\filler.bin") {
    const UniqueFile file(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) {
        problem_ = "cannot create " + path_ + ": error " + std::to_string(GetLastError());
        return;
    }
    // Past this the file system is not a small one, and is left alone.
    constexpr uint64_t kLargest = 16 * 1024 * 1024;
    std::vector<char> zeros(65536, 0);
    uint64_t size = 0;
    bool full = false;
    for (DWORD chunk : {DWORD(65536), DWORD(4096), DWORD(512), DWORD(1)}) {
        while (size < kLargest) {
            DWORD written = 0;
            const BOOL ok = WriteFile(file.get(), zeros.data(), chunk, &written, nullptr);
            size += written;
            if (ok && written == chunk) continue;
            full = true;
            // A short write may have moved the file pointer by what it wrote.
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(size);
            SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
            break;
        }
    }
    // Others may hold most of the space: then all of this file is given back.
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(size > leaveFree ? size - leaveFree : 0);
    filled_ = full && SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
    if (!filled_) problem_ = full ? "cannot give back space: error " + std::to_string(GetLastError()) : "never full";
}

DiskFiller::~DiskFiller() { DeleteFileA(path_.c_str()); }

void ExpectWriteCutShortByFullDisk(const std::string& smallDisk, const std::string& extension, size_t wholeSize,
                                   const std::function<bool(const std::string& path)>& write) {
    const ScratchFolder folder(smallDisk);
    ASSERT_FALSE(folder.path().empty()) << "no folder of its own on " << smallDisk;
    bool cutShort = false;
    std::string attempts;
    for (int attempt = 0; attempt < 8 && !cutShort; ++attempt) {
        if (attempt > 0) Sleep(100);  // let the other run's write end
        DiskFiller filler(folder.path(), 8192);
        if (!filler.filled()) {
            attempts += " [" + filler.problem() + "]";
            continue;
        }
        const std::string path = folder.path() + "\\too-big-" + std::to_string(attempt) + extension;
        const bool written = write(path);
        ASSERT_TRUE(PathExists(path)) << "the file was never made";
        const size_t size = ReadWholeFile(path).size();
        if (written)
            EXPECT_EQ(size, wholeSize) << "success must mean the whole file";
        else
            cutShort = size > 0 && size < wholeSize;
        attempts += " [" + std::to_string(size) + " bytes written]";
        EXPECT_TRUE(DeleteFileA(path.c_str())) << "the file was left open";
    }
    EXPECT_TRUE(cutShort) << "no write was cut short by the full disk:" << attempts;
}
