#pragma once
// A fresh folder under the temporary directory, removed with its contents.
#include <string>
#include <vector>

// Every file in a folder, by name, sorted.
std::vector<std::string> FilesIn(const std::string& folder);
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

// A folder on a file system of 256 KB that scripts/test mounts, as a Windows
// path, or empty when there is none (the tests that need it then skip).
std::string SmallDiskFolder();
