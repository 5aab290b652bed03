#pragma once
// The module that holds this code (the plug-in DLL, or a test program that
// links the same code and resources), and its string table.
#include <windows.h>
#include <string>

HMODULE OwnModule();
// Keeps the own module in the process until the process ends, whatever
// FreeLibrary calls follow: code of it that is still running, or still to
// return, stays mapped.
void KeepOwnModuleLoaded() noexcept;
// The text of a string-table entry of the own module; empty when missing.
std::string OwnString(UINT id);
