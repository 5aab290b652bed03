#pragma once
// The window properties of one window, with what can be read from the
// owning process at the address each property's data gives.
#include "common/handles.h"

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

// Names a field of a PropItem in the accessors of TWndProps.
enum PropField : int32_t {
    pfNameIsAtom = 0,
    pfDataRead = 1,
    pfTextRead = 2,
    pfName = 3,
    pfDataText = 4,
    pfData = 5,
    pfDataValue = 6,
    pfAtom = 7,
    pfExtra = 8,
};

constexpr size_t kPropTextSize = 260;  // bytes of each text buffer, terminator included

struct PropItem {
    bool NameIsAtom;
    bool DataRead;
    bool TextRead;
    char* Name;      // owned by the list; null when its allocation failed
    char* DataText;  // owned by the list; null when its allocation failed
    uintptr_t Data;  // the property's handle: an address in the owner's memory
    uint32_t DataValue;
    uint32_t Atom;
    uint32_t Extra;
};

class TWndProps {
public:
    TWndProps() noexcept;
    ~TWndProps();
    TWndProps(const TWndProps&) = delete;
    TWndProps& operator=(const TWndProps&) = delete;

    void ReadProps(HWND window) noexcept;
    void Clear() noexcept;
    bool IsValidIndex(int32_t index) const noexcept;
    // The new item's index, or -1 when the list cannot grow.
    int32_t AddItem() noexcept;
    void ResetItem(int32_t index) noexcept;
    bool GetFlag(int32_t index, PropField field) const noexcept;
    void SetFlag(int32_t index, PropField field, bool value) noexcept;
    void SetText(int32_t index, PropField field, const char* text) noexcept;
    void SetValue(int32_t index, PropField field, uintptr_t value) noexcept;

    HWND Window = nullptr;
    std::vector<PropItem> Items;  // the text buffers belong to this object

private:
    friend BOOL CALLBACK PropEnumProc(HWND window, LPSTR name, HANDLE data, ULONG_PTR list);
    UniqueHandle owner_;  // Window's process, opened once while ReadProps enumerates
};

BOOL CALLBACK PropEnumProc(HWND window, LPSTR name, HANDLE data, ULONG_PTR list);

// A zero-filled block from the general allocator, released with std::free.
bool AllocZeroed(size_t size, void*& block) noexcept;
