#pragma once
// The whole job, unattended: a sample window, the finder dragged onto it
// with real mouse input, a capture into a folder.
#include "tools/host_simulator/plugin_host.h"

#include <string>

enum class DemoTarget { Sample, Dialog, Bench };

// How the demo goes: its target, and for timing how many captures and the
// file that gets their times.
struct DemoPlan {
    DemoTarget target = DemoTarget::Sample;
    int runs = 1;
    std::string timings;
};

// Returns the path of the file the capture wrote, or empty on failure.
// With the dialog as target the capture dialog takes a picture of itself;
// with the bench as target, of the window another program shows under the
// title "Pixmerle PNG bench".
std::string RunDemo(PluginHost& host, const std::string& folder, const DemoPlan& plan);

// The simulated user's side of the demo, run as a process of its own:
// 0 when a capture landed in the folder. With timings, each of the captures
// is timed from the click on "Take Screen Capture" to the complete file, in
// ms, one line each.
int DriveDemo(const std::string& folder, const DemoPlan& plan);
