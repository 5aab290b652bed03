#include "host/quick_capture.h"

#include "dialog/quick_capture.h"
#include "host/host_call.h"

#include <atomic>

namespace {

// Raised by every cancel; a timer started before it does nothing.
std::atomic<unsigned> cancellations{0};

// Touched on the host's UI thread only, where the timer runs.
UINT_PTR pendingTimer = 0;
unsigned pendingAfter = 0;
HWND pendingHost = nullptr;

// A thread timer: it comes only while the host's thread reads its
// messages, and it needs no window of the plug-in's own.
void CALLBACK DelayOver(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (timer != pendingTimer) return;
    pendingTimer = 0;
    if (pendingAfter != cancellations) return;
    RunHostAction(0, [] {
        CaptureUnderCursor(pendingHost);
        return 0;
    });
}

}  // namespace

void RunCaptureAgain(HWND host) { CaptureLastTarget(host); }

void StartDelayedCapture(HWND host) {
    if (pendingTimer) KillTimer(nullptr, pendingTimer);
    pendingTimer = 0;
    pendingHost = host;
    pendingAfter = cancellations;
    pendingTimer = SetTimer(nullptr, 0, UINT(SavedDelaySeconds()) * 1000u, DelayOver);
}

void CancelDelayedCapture() noexcept { ++cancellations; }
