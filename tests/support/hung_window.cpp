#include "tests/support/hung_window.h"

#include "tests/support/screen.h"

namespace {

constexpr UINT kHangNow = WM_APP + 0x47;

}  // namespace

HungWindow::HungWindow(int x, int y, int width, int height, uint32_t rgb, const std::string& title)
    : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      stuck_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      rgb_(rgb),
      thread_([this, x, y, width, height, title] { Run(x, y, width, height, title); }) {
    WaitForSingleObject(ready_.get(), kStepMs);
    PumpMessages(150);
}

HungWindow::~HungWindow() {
    Release();
    if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    if (thread_.joinable()) thread_.join();
}

// A Unicode window: wide questions reach it as they are sent. An 8-bit one
// would be asked for its text by Wine itself to convert a wide text length.
void HungWindow::Run(int x, int y, int width, int height, const std::string& title) {
    static const ATOM registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = L"PixmerleFaultHung";
        return RegisterClassW(&wc);
    }();
    (void)registered;
    const std::wstring wideTitle(title.begin(), title.end());  // titles of plain ASCII
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"PixmerleFaultHung", wideTitle.c_str(), WS_POPUP,
                                  x, y, width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window) {
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    hwnd_ = window;
    SetEvent(ready_.get());
    if (!window) return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Waits for the release, taking each message sent meanwhile into a wait of
// its own, so that none is answered before the release.
void HungWindow::StayStuck() {
    if (stuckDepth_++ == 0) {
        hanging_ = true;
        SetEvent(stuck_.get());
    }
    HANDLE release = release_.get();
    const DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < kLongestHangMs; waited = GetTickCount() - start) {
        if (MsgWaitForMultipleObjects(1, &release, FALSE, kLongestHangMs - waited, QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (--stuckDepth_ == 0) hanging_ = false;
}

LRESULT CALLBACK HungWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HungWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && (message == WM_GETTEXTLENGTH || message == WM_GETTEXT || message == WM_GETICON)) ++self->queries_;
    if (self && self->stuckDepth_ > 0) self->StayStuck();  // sent while stuck: answered after the release
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        if (self) {
            const uint32_t rgb = self->rgb_;
            const UniqueBrush brush(CreateSolidBrush(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF)));
            RECT client;
            GetClientRect(hwnd, &client);
            FillRect(dc, &client, brush.get());
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case kHangNow:
        if (self) self->StayStuck();
        return 0;
    case WM_GETTEXT:
        if (self && self->hangOnGetText_.exchange(false)) self->StayStuck();
        break;
    case WM_DESTROY: PostQuitMessage(0); break;
    default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool HungWindow::Start(Hang how) {
    if (!hwnd_) return false;
    ResetEvent(release_.get());
    ResetEvent(stuck_.get());
    if (how == Hang::OnGetText) {
        hangOnGetText_ = true;
        return true;
    }
    PostMessageA(hwnd_, kHangNow, 0, 0);
    return WaitForSingleObject(stuck_.get(), kStepMs) == WAIT_OBJECT_0;
}

bool HungWindow::Release() {
    hangOnGetText_ = false;
    SetEvent(release_.get());
    if (!hwnd_) return true;
    // Sent messages are taken in order: the answer to this one comes after
    // every message that was sent while the thread was stuck.
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL, kStepMs, &ignored) != 0;
}
