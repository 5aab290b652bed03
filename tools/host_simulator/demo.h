#pragma once
// The whole job, unattended: a sample window, the finder dragged onto it
// with real mouse input, a capture into a folder.
#include "tools/host_simulator/plugin_host.h"

#include <string>

// Returns the path of the file the capture wrote, or empty on failure.
// With `targetIsDialog` the capture dialog takes a picture of itself.
std::string RunDemo(PluginHost& host, const std::string& folder, bool targetIsDialog);

// The simulated user's side of the demo, run as a process of its own:
// 0 when a capture landed in the folder.
int DriveDemo(const std::string& folder, bool targetIsDialog);
