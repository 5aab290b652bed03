#include "tracking/window_info.h"


#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kClassNameCapacity = 32767;

template <typename Char>
size_t LengthWithin(const Char* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0) ++length;
    return length;
}

// A target may report any length, up to LRESULT's range, on every hover:
// the text read is cut there, in both word sizes.
constexpr size_t kLongestText = 64 * 1024;

template <typename Char>
std::basic_string<Char> ReadText(TargetQueries& queries, bool wide) noexcept {
    try {
        LRESULT length = 0;
        if (!queries.Send(WM_GETTEXTLENGTH, 0, 0, wide, length) || length <= 0) return {};
        const size_t count = std::min(static_cast<size_t>(length), kLongestText);
        std::unique_ptr<Char[]> buffer(new Char[count + 2]());
        LRESULT copied = 0;
        if (!queries.Send(WM_GETTEXT, static_cast<WPARAM>(count + 1), reinterpret_cast<LPARAM>(buffer.get()), wide,
                          copied)) {
            // The window's thread may still write the text into the buffer
            // once it wakes up: the buffer is left to it.
            if (queries.MayAnswerLate()) static_cast<void>(buffer.release());
            return {};
        }
        return std::basic_string<Char>(buffer.get(), LengthWithin(buffer.get(), count + 1));
    } catch (...) {
        return {};
    }
}

template <typename Char, typename GetName>
std::basic_string<Char> ReadClass(HWND window, GetName getName) noexcept {
    try {
        std::vector<Char> buffer(kClassNameCapacity);
        if (!IsWindow(window) || getName(window, buffer.data(), kClassNameCapacity) <= 0) return {};
        return std::basic_string<Char>(buffer.data(), LengthWithin(buffer.data(), buffer.size()));
    } catch (...) {
        return {};
    }
}

std::string WideToThreadAnsi(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string narrow(static_cast<size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), length, &narrow[0], needed, nullptr,
                                            nullptr);
    narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return narrow;
}

}  // namespace

TargetQueries::TargetQueries(HWND window) noexcept
    : window_(window), answering_(IsWindow(window) != FALSE), sharesMemory_(false) {
    DWORD process = 0;
    const DWORD thread = answering_ ? GetWindowThreadProcessId(window, &process) : 0;
    sharesMemory_ = thread != 0 && thread != GetCurrentThreadId() && process == GetCurrentProcessId();
}

bool TargetQueries::Send(UINT message, WPARAM wParam, LPARAM lParam, bool wide, LRESULT& result) noexcept {
    result = 0;
    if (!answering_) return false;
    DWORD_PTR answer = 0;
    const LRESULT sent =
        wide ? SendMessageTimeoutW(window_, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer)
             : SendMessageTimeoutA(window_, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer);
    if (!sent) {
        answering_ = false;
        return false;
    }
    result = static_cast<LRESULT>(answer);
    return true;
}

std::wstring ReadWindowTextW(TargetQueries& queries) noexcept { return ReadText<wchar_t>(queries, true); }

std::string ReadWindowTextA(TargetQueries& queries) noexcept { return ReadText<char>(queries, false); }

std::wstring ReadWindowTextW(HWND window) noexcept {
    TargetQueries queries(window);
    return ReadWindowTextW(queries);
}

std::string ReadWindowTextA(HWND window) noexcept {
    TargetQueries queries(window);
    return ReadWindowTextA(queries);
}

std::wstring ReadClassNameW(HWND window) noexcept { return ReadClass<wchar_t>(window, GetClassNameW); }

std::string ReadClassNameA(HWND window) noexcept { return ReadClass<char>(window, GetClassNameA); }

void ReadClassNames(HWND window, std::wstring& wide, std::string& narrow) noexcept {
    wide.clear();
    narrow.clear();
    try {
        wide = ReadClassNameW(window);
        narrow = WideToThreadAnsi(wide);
    } catch (...) {
        // Out of memory: what could not be converted stays empty.
    }
}
