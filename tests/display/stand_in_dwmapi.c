/* A dwmapi.dll for the display tests, loaded in place of Wine's (whose
   frame query answers E_NOTIMPL) through a DLL override. Like the desktop
   compositor of Windows 10 it answers in physical pixels whatever the
   caller's DPI awareness, and reports for a top-level window a visible frame
   inside the window rectangle, without resize borders of 7 pixels left,
   right and bottom; for a child window the query fails. StandInDwmAnswer
   picks other answers; StandInDwmFlushes counts the calls of DwmFlush. */
#include <windows.h>

enum { ANSWER_FRAME, ANSWER_FAIL, ANSWER_EMPTY, ANSWER_INVERTED, ANSWER_LARGER };
enum { BORDER = 7, EXTENDED_FRAME_BOUNDS = 9 };

static volatile LONG answer = ANSWER_FRAME;
static volatile LONG flushes;

typedef HANDLE(WINAPI* set_context_fn)(HANDLE);

__declspec(dllexport) void WINAPI StandInDwmAnswer(LONG which) { InterlockedExchange(&answer, which); }
__declspec(dllexport) LONG WINAPI StandInDwmFlushes(void) { return flushes; }

static BOOL PhysicalWindowRect(HWND window, RECT* rect) {
    set_context_fn set_context = (set_context_fn)(void*)GetProcAddress(GetModuleHandleA("user32.dll"),
                                                                       "SetThreadDpiAwarenessContext");
    HANDLE previous = set_context ? set_context((HANDLE)(INT_PTR)-3) : NULL;
    BOOL read = GetWindowRect(window, rect);
    if (previous) set_context(previous);
    return read;
}

__declspec(dllexport) HRESULT WINAPI DwmGetWindowAttribute(HWND window, DWORD attribute, void* value, DWORD size) {
    RECT rect, *frame = (RECT*)value;
    if (attribute != EXTENDED_FRAME_BOUNDS || size != sizeof(RECT) || !frame) return E_INVALIDARG;
    if (answer == ANSWER_FAIL || (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)) return E_FAIL;
    if (!PhysicalWindowRect(window, &rect)) return E_HANDLE;
    switch (answer) {
    case ANSWER_EMPTY: SetRect(frame, rect.left + 10, rect.top + 10, rect.left + 10, rect.bottom); break;
    case ANSWER_INVERTED:
        SetRect(frame, rect.right - BORDER, rect.bottom - BORDER, rect.left + BORDER, rect.top);
        break;
    case ANSWER_LARGER: SetRect(frame, rect.left - BORDER, rect.top, rect.right + BORDER, rect.bottom + BORDER); break;
    default: SetRect(frame, rect.left + BORDER, rect.top, rect.right - BORDER, rect.bottom - BORDER); break;
    }
    return S_OK;
}

/* A compositor's flush returns once the screen shows the windows as they
   are. Wine puts drawing on the screen, and repaints what a window just
   hidden uncovered, while a thread of the process waits for messages; so
   this waits for messages, without taking any, for about 150 ms. */
__declspec(dllexport) HRESULT WINAPI DwmFlush(void) {
    DWORD start = GetTickCount();
    InterlockedIncrement(&flushes);
    while (GetTickCount() - start < 150) MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    return S_OK;
}
