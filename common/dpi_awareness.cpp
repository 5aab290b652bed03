#include "common/dpi_awareness.h"

namespace {

using SetThreadContextFn = HANDLE(WINAPI*)(HANDLE context);

HANDLE Context(INT_PTR value) { return reinterpret_cast<HANDLE>(value); }

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, then the first version, which
// systems before Windows 10 version 1703 (and Wine) know alone.
const INT_PTR kPerMonitorContexts[] = {-4, -3};

SetThreadContextFn BoundSetThreadContext() {
    static const SetThreadContextFn function = [] {
        const HMODULE user32 = GetModuleHandleA("user32.dll");
        return user32 ? reinterpret_cast<SetThreadContextFn>(
                            reinterpret_cast<void*>(GetProcAddress(user32, "SetThreadDpiAwarenessContext")))
                      : nullptr;
    }();
    return function;
}

}  // namespace

PerMonitorDpiScope::PerMonitorDpiScope() noexcept {
    const SetThreadContextFn setContext = BoundSetThreadContext();
    if (!setContext) return;
    for (INT_PTR context : kPerMonitorContexts) {
        previous_ = setContext(Context(context));
        if (previous_) return;
    }
}

PerMonitorDpiScope::~PerMonitorDpiScope() {
    if (previous_) BoundSetThreadContext()(previous_);
}
