#include "tests/support/loop_probe.h"

#include "tests/support/screen.h"
#include "tests/support/window_class.h"

#include <climits>

namespace {

constexpr UINT kGrabCapture = WM_APP + 0x51;

}  // namespace

LoopProbe::LoopProbe() : moveX_(LONG_MIN), moveY_(LONG_MIN) {
    static const ATOM registered = RegisterWindowClass("PixmerleLoopProbe", Proc);
    (void)registered;
    painted_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    // One pixel in the screen's corner, clear of every window under test.
    hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "PixmerleLoopProbe", "probe", WS_POPUP,
                            ScreenWidth() - 1, ScreenHeight() - 1, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr),
                            nullptr);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    PumpMessages(30);
}

LoopProbe::~LoopProbe() { DestroyWindow(hwnd_); }

bool LoopProbe::Ping(DWORD timeoutMs) {
    ResetEvent(painted_.get());
    InvalidateRect(hwnd_, nullptr, FALSE);
    return WaitForSingleObject(painted_.get(), timeoutMs) == WAIT_OBJECT_0;
}

void LoopProbe::GrabCapture() { PostMessageA(hwnd_, kGrabCapture, 0, 0); }

bool LoopProbe::WaitForMoveAt(POINT point) {
    return WaitUntil([&] { return moveX_ == point.x && moveY_ == point.y; });
}

LRESULT CALLBACK LoopProbe::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LoopProbe*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self) {
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            // A wait for messages, however short, is when Wine puts the
            // drawing of the process's windows on the screen.
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
            SetEvent(self->painted_.get());
            return 0;
        }
        case kGrabCapture: SetCapture(hwnd); return 0;
        case WM_MOUSEMOVE: {
            POINT point{short(LOWORD(lParam)), short(HIWORD(lParam))};
            ClientToScreen(hwnd, &point);
            self->moveX_ = point.x;
            self->moveY_ = point.y;
            return 0;
        }
        case WM_LBUTTONUP:
            if (GetCapture() == hwnd) ReleaseCapture();
            return 0;
        default: break;
        }
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
