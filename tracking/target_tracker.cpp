#include "tracking/target_tracker.h"

#include "common/compositor.h"
#include "common/dpi_awareness.h"
#include "common/handles.h"
#include "tracking/window_info.h"

#include <tlhelp32.h>

#include <algorithm>
#include <climits>
#include <new>

TMiscData* MiscData = nullptr;

namespace {

// Draws a black rectangle outline of the given pen width with an inverting
// mix over the part of the window that shows, title bar and borders
// included. Drawing it twice restores every pixel, so nothing is saved.
void InvertOutline(HWND window, bool wholeWindow) {
    // Physical pixels, also for an unaware host: the window's rectangle and
    // its DC then agree on every scaling.
    PerMonitorDpiScope physical;
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    const RECT frame = VisibleFrame(window, rect);
    const int left = frame.left - rect.left, top = frame.top - rect.top;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    WindowDc dc(window, WindowDc::Area::Whole);
    if (!dc) return;
    // The wide pen of a whole-window inversion would reach into the
    // invisible borders around a visible frame.
    const bool clipToFrame = wholeWindow && !EqualRect(&frame, &rect);
    const int saved = clipToFrame ? SaveDC(dc.get()) : 0;
    ScopeExit restoreClip([&] {
        if (saved) RestoreDC(dc.get(), saved);
    });
    if (saved) IntersectClipRect(dc.get(), left, top, left + width, top + height);
    // A window of a class with its own DC keeps this DC's state: put the mix back.
    const int previousMix = SetROP2(dc.get(), R2_NOTXORPEN);
    ScopeExit restoreMix([&] {
        if (previousMix) SetROP2(dc.get(), previousMix);
    });
    Selection brush(dc.get(), GetStockObject(NULL_BRUSH));
    UniquePen pen(CreatePen(PS_SOLID, wholeWindow ? std::max(width, height) : 3, RGB(0, 0, 0)));
    if (!pen) return;
    Selection penSelection(dc.get(), pen.get());
    Rectangle(dc.get(), left + 1, top + 1, left + width - 1, top + height - 1);
}

uint32_t WindowLong(HWND window, int index) { return static_cast<uint32_t>(GetWindowLongA(window, index)); }

template <typename Handle>
Handle WindowLongHandle(HWND window, int index) {
    return reinterpret_cast<Handle>(GetWindowLongPtrA(window, index));
}

HICON IconOf(TargetQueries& queries, WPARAM which) {
    LRESULT icon = 0;
    queries.Send(WM_GETICON, which, 0, false, icon);
    return reinterpret_cast<HICON>(icon);
}

// Fills the attribute fields in their fixed order; a read that fails
// leaves its field zero.
void ReadAttributes(TargetSnapshot& snapshot, HWND window, TargetQueries& queries) {
    snapshot.ParentWnd = WindowLongHandle<HWND>(window, GWLP_HWNDPARENT);
    snapshot.CtrlID = GetDlgCtrlID(window);
    snapshot.WndProcAddr = static_cast<uintptr_t>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    snapshot.MenuHandle = GetMenu(window);
    snapshot.Style = WindowLong(window, GWL_STYLE);
    snapshot.ExStyle = WindowLong(window, GWL_EXSTYLE);
    snapshot.ClassStyle = static_cast<uint32_t>(GetClassLongA(window, GCL_STYLE));
    snapshot.InstanceHandle = WindowLongHandle<HINSTANCE>(window, GWLP_HINSTANCE);
    snapshot.BigIcon = IconOf(queries, ICON_BIG);
    snapshot.SmallIcon = IconOf(queries, ICON_SMALL);
    snapshot.IsEnabled = IsWindowEnabled(window) != FALSE;
    snapshot.IsUnicode = IsWindowUnicode(window) != FALSE;
    snapshot.IsVisible = IsWindowVisible(window) != FALSE;
    DWORD process = 0;
    snapshot.ThreadID = GetWindowThreadProcessId(window, &process);
    snapshot.ProcessID = process;
    RECT rect;
    if (GetWindowRect(window, &rect)) snapshot.WindowRect = rect;
    if (GetClientRect(window, &rect)) snapshot.ClientRect = rect;
}

}  // namespace

TMiscData::TMiscData() {
    Clear();
    // Without memory the tracker still picks and outlines; it lists no properties.
    Props.reset(new (std::nothrow) TWndProps());
}

TMiscData::~TMiscData() {
    Clear();
    Props.reset();
}

void TMiscData::Clear() noexcept {
    if (Props) Props->Clear();
    TextW.clear();
    TextA.clear();
    ClassNameW.clear();
    ClassNameA.clear();
    ExeName.clear();
    CaptureRect = RECT{};
    Snapshot = TargetSnapshot{};
    HasTarget = false;
}

void TMiscData::SelectTarget(HWND window) noexcept {
    Clear();
    TargetQueries queries(window);
    ReadClassNames(window, ClassNameW, ClassNameA);
    TextW = ReadWindowTextW(queries);
    TextA = ReadWindowTextA(queries);
    Snapshot.TargetWnd = window;
    Snapshot.FramedWnd = window;
    ReadAttributes(Snapshot, window, queries);
    if (window) {
        CaptureRect = VisibleFrame(window, Snapshot.WindowRect);
        // The process list is walked once per process, not on every hover
        // of a drag across one program's windows.
        if (Snapshot.ProcessID != ExeNameProcessId) {
            ExeNameOfProcess = ProcessFileName(Snapshot.ProcessID);
            ExeNameProcessId = Snapshot.ProcessID;
        }
        try {
            ExeName = ExeNameOfProcess;
        } catch (...) {
            // Out of memory: the pick line goes without the name.
        }
    }
    if (Props) Props->ReadProps(window);
    HasTarget = true;
}

void TMiscData::FlashTarget() {
    InvertWindow(Snapshot.TargetWnd);
    Sleep(200);
    InvertWindow(Snapshot.TargetWnd);
    RepaintWindow(Snapshot.TargetWnd);
}

bool TMiscData::CheckTargetProcess() {
    DWORD process = 0;
    if (Snapshot.TargetWnd) GetWindowThreadProcessId(Snapshot.TargetWnd, &process);
    ForeignProcess = process != GetCurrentProcessId();
    return !ForeignProcess;
}

HWND WindowAtPoint(POINT point) {
    HWND window = WindowFromPoint(point);
    if (!window) return nullptr;
    // A child destroyed meanwhile has no parent; searching the children of
    // null would search every top-level window.
    if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) window = GetParent(window);
    if (!window) return nullptr;
    PointSearch search{INT32_MAX, window, point.x, point.y};
    EnumChildWindows(window, ChildSearchProc, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

BOOL CALLBACK ChildSearchProc(HWND window, LPARAM searchParam) {
    auto* search = reinterpret_cast<PointSearch*>(searchParam);
    // A hidden window (a tab or wizard page not shown) cannot be outlined or
    // captured: only what the screen shows takes part.
    if (!IsWindowVisible(window)) return TRUE;
    RECT rect;
    if (!GetWindowRect(window, &rect)) return TRUE;
    if (search->X < rect.left || search->X >= rect.right || search->Y < rect.top || search->Y >= rect.bottom)
        return TRUE;
    const int32_t size = (rect.right - rect.left) + (rect.bottom - rect.top);
    if (size < search->BestSize) {
        search->Found = window;
        search->BestSize = size;
    }
    return TRUE;
}

void InvertFrame(HWND window) { InvertOutline(window, false); }

void InvertWindow(HWND window) { InvertOutline(window, true); }

void RepaintWindow(HWND window) {
    // Invalidated, frame and children too, so the window's own thread paints
    // it afresh: a target that drew between two inversions keeps no streaks.
    if (window) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

std::string ProcessFileName(DWORD processId) noexcept {
    // The process list needs no access to the process itself, which another
    // user's or a protected process refuses.
    if (!processId) return std::string();
    const UniqueFile processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes) return std::string();
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(processes.get(), &entry); more; more = Process32Next(processes.get(), &entry)) {
        if (entry.th32ProcessID != processId) continue;
        try {
            const std::string path = entry.szExeFile;
            const size_t separator = path.find_last_of("\\/");
            return separator == std::string::npos ? path : path.substr(separator + 1);
        } catch (...) {
            return std::string();
        }
    }
    return std::string();
}
