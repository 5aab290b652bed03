#include "common/dpi_awareness.h"

#include "common/run_time_binding.h"

namespace {

using SetThreadContextFn = HANDLE(WINAPI*)(HANDLE context);

HANDLE Context(INT_PTR value) { return reinterpret_cast<HANDLE>(value); }

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, then the first version, which
// systems before Windows 10 version 1703 (and Wine) know alone.
const INT_PTR kPerMonitorContexts[] = {-4, -3};

// A scope inside another on the same thread (the drag's outline inside the
// drag) finds the thread switched already and leaves it alone.
thread_local bool threadSwitched = false;

SetThreadContextFn BoundSetThreadContext() {
    static const SetThreadContextFn function = [] {
        SetThreadContextFn bound = nullptr;
        BindNames(GetModuleHandleA("user32.dll"), {{"SetThreadDpiAwarenessContext", bound}});
        return bound;
    }();
    return function;
}

}  // namespace

PerMonitorDpiScope::PerMonitorDpiScope() noexcept {
    const SetThreadContextFn setContext = BoundSetThreadContext();
    if (!setContext || threadSwitched) return;
    for (INT_PTR context : kPerMonitorContexts) {
        previous_ = setContext(Context(context));
        if (previous_) {
            threadSwitched = true;
            return;
        }
    }
}

PerMonitorDpiScope::~PerMonitorDpiScope() {
    if (!previous_) return;
    BoundSetThreadContext()(previous_);
    threadSwitched = false;
}
