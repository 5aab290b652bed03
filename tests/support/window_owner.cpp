// A second process that owns a window, for tests about foreign targets.
// Usage: window_owner <title>. Creates a visible window with that title and
// runs until the window is closed. The window carries two properties whose
// data are addresses in this process: "Pixmerle.Title" points at a copy of
// the title, "Pixmerle.Unreadable" into the first page, which is never mapped.
// "Pixmerle.Instance" gives the window's instance as this process knows it.
#include <windows.h>

#include <cstring>
#include <initializer_list>

namespace {

char TitleCopy[260];

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        RemovePropA(hwnd, "Pixmerle.Title");
        for (const char* name : {"Pixmerle.Unreadable", "Pixmerle.Instance"}) RemovePropA(hwnd, name);
        PostQuitMessage(0);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    const char* title = argc > 1 ? argv[1] : "pixmerle-owner";
    WNDCLASSA wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "PixmerleOwner";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "PixmerleOwner", title, WS_POPUP | WS_VISIBLE, 600, 500, 120,
                                  90, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    std::strncpy(TitleCopy, title, sizeof TitleCopy - 1);
    SetPropA(window, "Pixmerle.Title", TitleCopy);
    SetPropA(window, "Pixmerle.Unreadable", reinterpret_cast<HANDLE>(0x10));
    SetPropA(window, "Pixmerle.Instance", wc.hInstance);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
