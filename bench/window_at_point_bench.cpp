// Times WindowAtPoint on window trees of 100, 1,000 and 5,000 descendants
// against its floor: the window manager's own WindowFromPoint and a bare
// EnumChildWindows over the same tree with an empty callback.
// Prints one Markdown table row per tree.
#include "bench/bench_util.h"
#include "tracking/target_tracker.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

BOOL CALLBACK Nothing(HWND, LPARAM) { return TRUE; }

// A top-level window holding rows of containers, each holding small children:
// two levels, as dialogs with group boxes and panels have.
HWND BuildTree(int descendants) {
    HWND top = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "tree", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 700, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    const int perContainer = 49;
    int made = 0, container = 0;
    while (made < descendants) {
        const int cx = (container % 20) * 50, cy = (container / 20) * 50 % 700;
        HWND box = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, cx, cy, 50, 50, top, nullptr, nullptr,
                                   nullptr);
        ++made;
        for (int i = 0; i < perContainer && made < descendants; ++i, ++made)
            // Children go with their parent.
            static_cast<void>(CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, (i % 7) * 7, (i / 7) * 7, 6, 6,
                                              box, nullptr, nullptr, nullptr));
        ++container;
    }
    return top;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 51;
    std::printf("| Descendants | WindowAtPoint (ms) | Floor: WindowFromPoint + bare EnumChildWindows (ms) | Ratio |\n");
    std::printf("|---|---|---|---|\n");
    for (int descendants : {100, 1000, 5000}) {
        HWND top = BuildTree(descendants);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        std::vector<double> search, floor;
        for (int i = 0; i < runs; ++i) {
            const POINT point{20 + (i * 37) % 900, 20 + (i * 53) % 600};
            double t0 = NowMs();
            WindowAtPoint(point);
            double t1 = NowMs();
            WindowFromPoint(point);
            EnumChildWindows(top, Nothing, 0);
            double t2 = NowMs();
            search.push_back(t1 - t0);
            floor.push_back(t2 - t1);
        }
        const double s = Median(search), f = Median(floor);
        std::printf("| %d | %.3f | %.3f | %.2f |\n", descendants, s, f, s / f);
        std::fflush(stdout);
        DestroyWindow(top);
    }
    return 0;
}
