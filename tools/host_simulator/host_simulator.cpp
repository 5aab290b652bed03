// Loads the plug-in the way each of its hosts does and gives the user
// the host's way to start it: a main window whose "Plugins" menu holds what
// the plug-in offers to that host.
//
//   host_simulator [--host ollydbg|peid|quickunpack|pt|x32dbg|ollydbg2|immunity] [--plugin PATH]
//                  [--start] [--demo FOLDER [--target sample|dialog|bench] [--runs N --timings FILE]]
//                  [--load-only]
//                  [--unload-in-dialog]
//
// --start opens the capture dialog at once; --demo FOLDER does the whole job
// unattended on a sample window (or on the dialog itself) and prints the
// path of the file it wrote (with --runs and --timings, N captures, each
// timed from the click to the complete file into FILE); --load-only loads and frees the plug-in;
// --unload-in-dialog starts the plug-in, unloads it from inside its dialog
// and ends, with 0 when it got there.
#include "tools/host_simulator/demo.h"
#include "tools/host_simulator/plugin_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Options {
#ifdef _WIN64
    HostKind host = HostKind::X32dbg;  // x64dbg, the one 64-bit host
#else
    HostKind host = HostKind::OllyDbg;
#endif
    std::string plugin;
    bool start = false;
    bool loadOnly = false;
    bool unloadInDialog = false;
    std::string demoFolder;
    std::string driveDemoFolder;
    DemoPlan plan;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--host" && hasValue) {
            if (!ParseHostKind(argv[++i], options.host)) return false;
        } else if (arg == "--plugin" && hasValue) {
            options.plugin = argv[++i];
        } else if (arg == "--demo" && hasValue) {
            options.demoFolder = argv[++i];
        } else if (arg == "--drive-demo" && hasValue) {
            options.driveDemoFolder = argv[++i];
        } else if (arg == "--target" && hasValue) {
            const std::string target = argv[++i];
            if (target != "dialog" && target != "sample" && target != "bench") return false;
            options.plan.target = target == "dialog"  ? DemoTarget::Dialog
                                  : target == "bench" ? DemoTarget::Bench
                                                      : DemoTarget::Sample;
        } else if (arg == "--runs" && hasValue) {
            options.plan.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--timings" && hasValue) {
            options.plan.timings = argv[++i];
        } else if (arg == "--start") {
            options.start = true;
        } else if (arg == "--load-only") {
            options.loadOnly = true;
        } else if (arg == "--unload-in-dialog") {
            options.unloadInDialog = true;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
#ifdef _WIN64
                     "usage: host_simulator [--host x64dbg]\n"
#else
                     "usage: host_simulator [--host ollydbg|peid|quickunpack|pt|x32dbg|ollydbg2|immunity]\n"
#endif
                     "                      [--plugin PATH] [--start]\n"
                     "                      [--demo FOLDER [--target sample|dialog|bench] [--runs N --timings FILE]]\n"
                     "                      [--load-only]\n"
                     "                      [--unload-in-dialog]\n");
        return 2;
    }
    if (!options.driveDemoFolder.empty()) return DriveDemo(options.driveDemoFolder, options.plan);
    if (options.plugin.empty()) options.plugin = DefaultPluginPath(options.host);
    PluginHost host(options.host);
    if (!host.Load(options.plugin)) {
        std::fprintf(stderr, "cannot load the plug-in %s (error %lu)\n", options.plugin.c_str(), GetLastError());
        return 1;
    }
    if (options.loadOnly) return host.Unload() ? 0 : 1;
    // The plug-in binds libpng at its first dialog, never while it is loaded.
    std::printf("%s host: plug-in \"%s\" loaded%s\n", HostKindName(options.host), host.PluginName().c_str(),
                GetModuleHandleA("libpng.dll") ? ", libpng.dll with it" : "");
    if (!host.CreateMainWindow()) return 1;
    if (options.unloadInDialog) {
        const bool unloaded = host.StartAndUnloadFromTheDialog();
        std::printf(unloaded ? "unloaded from inside the dialog, which then ended\n" : "no dialog to unload from\n");
        return unloaded ? 0 : 1;
    }
    if (!options.demoFolder.empty()) {
        const std::string written = RunDemo(host, options.demoFolder, options.plan);
        if (written.empty()) {
            std::fprintf(stderr, "the demo capture wrote no file\n");
            return 1;
        }
        std::printf("%s\n", written.c_str());
        return 0;
    }
    std::fflush(stdout);
    return host.Run(options.start);
}
