// Times SelectTarget on a window with 0, 10 and 50 properties whose data
// are not readable addresses, against the 262 failed reads per property that
// shrinking the read one byte at a time would make. Prints one Markdown
// table row per property count; the shrinking reads are timed over 5 runs.
#include "bench/bench_util.h"
#include "common/handles.h"
#include "tracking/target_tracker.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Addresses in the first page, which is never mapped.
HANDLE UnreadableData(int i) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x10 + 4 * i)); }

double ShrinkingReadsMs(int properties) {
    UniqueHandle process(OpenProcess(PROCESS_VM_READ, FALSE, GetCurrentProcessId()));
    char buffer[261];
    SIZE_T read;
    const double start = NowMs();
    for (int i = 0; i < properties; ++i) {
        ReadProcessMemory(process.get(), UnreadableData(i), buffer, 4, &read);
        for (SIZE_T size = sizeof buffer; size > 0; --size)
            ReadProcessMemory(process.get(), UnreadableData(i), buffer, size, &read);
    }
    return NowMs() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 51;
    // A child window: the window manager puts properties of its own on top-level ones.
    HWND top = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "bench", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    HWND target = CreateWindowExA(0, "STATIC", "target", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top, nullptr, nullptr,
                                  nullptr);
    TMiscData data;
    std::printf("| Properties | SelectTarget (ms) | 262 failed reads per property (ms) | Over 16 ms |\n");
    std::printf("|---|---|---|---|\n");
    int set = 0;
    for (int properties : {0, 10, 50}) {
        for (; set < properties; ++set)
            SetPropA(target, ("Pixmerle.Bench" + std::to_string(set)).c_str(), UnreadableData(set));
        std::vector<double> select, shrinking;
        for (int i = 0; i < runs; ++i) {
            const double t0 = NowMs();
            data.SelectTarget(target);
            select.push_back(NowMs() - t0);
            if (i < 5) shrinking.push_back(ShrinkingReadsMs(properties));
        }
        const double median = Median(select);
        std::printf("| %d | %.3f | %.3f | %s |\n", properties, median, Median(shrinking), median > 16.0 ? "yes" : "no");
        std::fflush(stdout);
    }
    for (int i = 0; i < set; ++i) RemovePropA(target, ("Pixmerle.Bench" + std::to_string(i)).c_str());
    DestroyWindow(top);
    return 0;
}
