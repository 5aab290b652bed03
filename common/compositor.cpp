#include "common/compositor.h"

#include "common/run_time_binding.h"

namespace {

using GetWindowAttributeFn = HRESULT(WINAPI*)(HWND window, DWORD attribute, void* value, DWORD size);
using FlushFn = HRESULT(WINAPI*)();

constexpr DWORD kExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS

// Not gated on DwmIsCompositionEnabled: that answers FALSE to programs
// without a Windows 8 manifest, which every host is, while the frame query
// answers them all the same.
struct CompositorFunctions {
    GetWindowAttributeFn getWindowAttribute = nullptr;
    FlushFn flush = nullptr;
};

// Bound once, on first use (never inside the loader's notifications). The
// library keeps its reference until the process ends: freeing it from a
// static object's destructor would run under the loader lock.
const CompositorFunctions& Compositor() {
    static const CompositorFunctions functions = [] {
        CompositorFunctions bound;
        BindNames(LoadTrustedLibrary("dwmapi.dll", kBesideHost | kSystemFolder),
                  {{"DwmGetWindowAttribute", bound.getWindowAttribute}, {"DwmFlush", bound.flush}});
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
