#pragma once
// Choosing a folder in the shell's folder browser, and the path helpers the
// dialog and the settings file share.
#include <windows.h>
#include <string>

// The folder part of a path with its trailing separator; empty for a bare name.
std::string ExtractDirectory(const std::string& path);
bool FileExists(const char* name);
// Asks for a folder, starting at `folder`; true with the chosen one in it.
bool BrowseForFolder(HWND owner, const char* title, std::string& folder);
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM value, LPARAM data);
