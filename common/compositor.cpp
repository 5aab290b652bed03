#include "common/compositor.h"

#include "common/handles.h"

namespace {

using GetWindowAttributeFn = HRESULT(WINAPI*)(HWND window, DWORD attribute, void* value, DWORD size);
using FlushFn = HRESULT(WINAPI*)();

constexpr DWORD kExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS

// Not gated on DwmIsCompositionEnabled: that answers FALSE to programs
// without a Windows 8 manifest, which every host is, while the frame query
// answers them all the same.
struct CompositorFunctions {
    UniqueModule module;
    GetWindowAttributeFn getWindowAttribute = nullptr;
    FlushFn flush = nullptr;
};

template <typename F>
F Bound(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Bound once, on first use (never inside the loader's notifications), and
// kept for the life of the library.
const CompositorFunctions& Compositor() {
    static const CompositorFunctions functions = [] {
        CompositorFunctions bound;
        bound.module.reset(LoadLibraryA("dwmapi.dll"));
        if (bound.module) {
            bound.getWindowAttribute = Bound<GetWindowAttributeFn>(bound.module.get(), "DwmGetWindowAttribute");
            bound.flush = Bound<FlushFn>(bound.module.get(), "DwmFlush");
        }
        return bound;
    }();
    return functions;
}

bool Within(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

}  // namespace

RECT VisibleFrame(HWND window, const RECT& windowRect) {
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) return windowRect;
    const GetWindowAttributeFn getAttribute = Compositor().getWindowAttribute;
    RECT frame{};
    if (!getAttribute || FAILED(getAttribute(window, kExtendedFrameBounds, &frame, sizeof frame))) return windowRect;
    const bool sensible = frame.left < frame.right && frame.top < frame.bottom && Within(frame, windowRect);
    return sensible ? frame : windowRect;
}

bool VisibleWindowRect(HWND window, RECT& rect) {
    RECT windowRect;
    if (!GetWindowRect(window, &windowRect)) return false;
    rect = VisibleFrame(window, windowRect);
    return true;
}

void WaitForComposition() {
    if (const FlushFn flush = Compositor().flush) flush();
}
