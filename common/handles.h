#pragma once
// Owners for every kind of Windows handle the plug-in takes: each releases
// its handle exactly once, on every path out of the scope that holds it.
#include <windows.h>
#include <utility>

template <typename Traits>
class Unique {
public:
    using Handle = typename Traits::Handle;

    Unique() noexcept = default;
    explicit Unique(Handle handle) noexcept : handle_(handle) {}
    Unique(Unique&& other) noexcept : handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Empty(); }
    Handle release() noexcept { return std::exchange(handle_, Traits::Empty()); }
    void reset(Handle handle = Traits::Empty()) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Empty()) Traits::Close(old);
    }

private:
    Handle handle_ = Traits::Empty();
};

template <typename H, auto CloseFunction>
struct NullEmptyTraits {
    using Handle = H;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { CloseFunction(handle); }
};

struct FileTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

inline void DeleteGdiObject(HGDIOBJ object) noexcept { DeleteObject(object); }

using UniqueDc = Unique<NullEmptyTraits<HDC, DeleteDC>>;  // CreateDC / CreateCompatibleDC
using UniqueBitmap = Unique<NullEmptyTraits<HBITMAP, DeleteGdiObject>>;
using UniquePalette = Unique<NullEmptyTraits<HPALETTE, DeleteGdiObject>>;
using UniquePen = Unique<NullEmptyTraits<HPEN, DeleteGdiObject>>;
using UniqueBrush = Unique<NullEmptyTraits<HBRUSH, DeleteGdiObject>>;
using UniqueFont = Unique<NullEmptyTraits<HFONT, DeleteGdiObject>>;
using UniqueGlobal = Unique<NullEmptyTraits<HGLOBAL, GlobalFree>>;
using UniqueHandle = Unique<NullEmptyTraits<HANDLE, CloseHandle>>;  // processes, threads, events
using UniqueFile = Unique<FileTraits>;
using UniqueModule = Unique<NullEmptyTraits<HMODULE, FreeLibrary>>;

// A device context from GetDC / GetWindowDC, given back with ReleaseDC.
class WindowDc {
public:
    enum class Area { Client, Whole };
    explicit WindowDc(HWND window, Area area = Area::Client) noexcept
        : window_(window), dc_(area == Area::Whole ? GetWindowDC(window) : GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
// Declare it after the owner of the object it selects, so it ends first.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {
        if (previous_ == HGDI_ERROR) previous_ = nullptr;
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() {
        if (previous_) SelectObject(dc_, previous_);
    }
    explicit operator bool() const noexcept { return previous_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Selects and realises a palette in the foreground; on exit selects the
// replaced palette back in the background and realises it again.
class PaletteSelection {
public:
    PaletteSelection(HDC dc, HPALETTE palette) noexcept
        : dc_(dc), previous_(dc && palette ? SelectPalette(dc, palette, FALSE) : nullptr) {
        if (previous_) RealizePalette(dc_);
    }
    PaletteSelection(const PaletteSelection&) = delete;
    PaletteSelection& operator=(const PaletteSelection&) = delete;
    ~PaletteSelection() {
        if (previous_) {
            SelectPalette(dc_, previous_, TRUE);
            RealizePalette(dc_);
        }
    }

private:
    HDC dc_;
    HPALETTE previous_;
};

// Locks a global memory block for the life of the guard.
template <typename T = BYTE>
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block) noexcept
        : block_(block), data_(block ? static_cast<T*>(GlobalLock(block)) : nullptr) {}
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() { unlock(); }
    T* get() const noexcept { return data_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }
    void unlock() noexcept {
        if (data_) GlobalUnlock(block_);
        data_ = nullptr;
    }

private:
    HGLOBAL block_;
    T* data_;
};

// Runs a function when the scope ends, unless dismissed.
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F function) noexcept : function_(std::move(function)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (active_) function_();
    }
    void dismiss() noexcept { active_ = false; }

private:
    F function_;
    bool active_ = true;
};
