#pragma once
// A fresh folder under the temporary directory, removed with its contents.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Every file in a folder, by name, sorted.
std::vector<std::string> FilesIn(const std::string& folder);
// The files of a folder that are not in `before`, a listing FilesIn gave.
std::vector<std::string> FilesAddedTo(const std::string& folder, const std::vector<std::string>& before);
// Removes a folder with everything in it, read-only files included.
void RemoveFolder(const std::string& path);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }  // no trailing separator
    std::string file(const std::string& name) const { return path_ + "\\" + name; }
    std::vector<std::string> Files() const { return FilesIn(path_); }

private:
    std::string path_;
};

bool PathExists(const std::string& path);

// The process's current directory, as GetCurrentDirectoryA gives it.
std::string CurrentDirectory();

// A fresh folder made the process's current directory, as a host's own
// folder; the previous one is current again afterwards.
class CurrentFolder {
public:
    CurrentFolder();
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
    const std::string& path() const { return dir_.path(); }
    bool StillCurrent() const;

private:
    std::string previous_;
    TempDir dir_;
};

// A folder on a file system of 256 KB that scripts/test mounts, as a Windows
// path, or empty when there is none (the tests that need it then skip).
std::string SmallDiskFolder();

// A folder of its own under `base`, removed with its files. Programs in
// other Wine prefixes may share `base` and even this process's id.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& base);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }  // empty when none could be made

private:
    std::string path_;
};

// Fills a small file system with one file, then gives back `leaveFree`
// bytes of it: what is written there next runs out of space.
class DiskFiller {
public:
    // The file goes into `folder`, which should be the caller's own.
    DiskFiller(const std::string& folder, uint64_t leaveFree);
    ~DiskFiller();
    DiskFiller(const DiskFiller&) = delete;
    DiskFiller& operator=(const DiskFiller&) = delete;
    bool filled() const { return filled_; }
    const std::string& problem() const { return problem_; }

private:
    std::string path_;
    bool filled_ = false;
    std::string problem_;
};

// Writes onto the small file system, nearly full each time, into a folder of
// its own, until a write is cut short: the file was made and holds a part of
// the `wholeSize` bytes a good write gives. `write` writes the file at the
// path and says whether it succeeded; success must mean the whole file. The
// runs at the other depths share the disk and may free or take space at the
// wrong moment: a few attempts, with a pause between.
void ExpectWriteCutShortByFullDisk(const std::string& smallDisk, const std::string& extension, size_t wholeSize,
                                   const std::function<bool(const std::string& path)>& write);
