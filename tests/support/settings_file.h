#pragma once
// The plug-in's settings file, as the tests write, read and remove it.
#include "tests/support/child_process.h"

#include <string>

// Pixmerle_Option.ini in a folder given with its trailing separator: by
// default the test program's, the host here.
std::string SettingsPath(const std::string& folder = ProgramFolder());
// The file as written from scratch with these values.
std::string SettingsText(const std::string& folder, int toFolder, int hide, int clipboard = 0);
bool WriteSettings(const std::string& text, const std::string& path = SettingsPath());
// The file's bytes; empty when there is none.
std::string ReadSettings(const std::string& path = SettingsPath());
// Removes the file, read-only or not.
void RemoveSettings(const std::string& path = SettingsPath());
