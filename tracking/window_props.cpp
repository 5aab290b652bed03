#include "tracking/window_props.h"

#include "common/handles.h"
#include "common/run_time_binding.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kReadSize = kPropTextSize + 1;  // the longest stretch read at a property's address

struct FreeBlock {
    void operator()(void* block) const noexcept { std::free(block); }
};
using UniqueBlock = std::unique_ptr<char, FreeBlock>;

UniqueBlock TakeZeroed(size_t size) noexcept {
    void* block = nullptr;
    AllocZeroed(size, block);
    return UniqueBlock(static_cast<char*>(block));
}

const void* AddressOf(uintptr_t data) { return reinterpret_cast<const void*>(data); }

bool ReadExactly(HANDLE process, uintptr_t address, void* buffer, size_t size) noexcept {
    SIZE_T read = 0;
    return ReadProcessMemory(process, AddressOf(address), buffer, size, &read) && read == size;
}

// Reads the longest stretch of up to kReadSize bytes that starts at the
// address into buffer and returns its length, 0 when not a byte can be read.
// Every part of a readable stretch is readable too, so an address that cannot
// be read costs one attempt, a readable stretch two, and the end of one that
// runs into unreadable memory is found by halving.
size_t ReadLongestStretch(HANDLE process, uintptr_t address, char* buffer) noexcept {
    if (!ReadExactly(process, address, buffer, 1)) return 0;
    if (ReadExactly(process, address, buffer, kReadSize)) return kReadSize;
    size_t readable = 1, unreadable = kReadSize;
    while (unreadable - readable > 1) {
        const size_t middle = readable + (unreadable - readable) / 2;
        (ReadExactly(process, address, buffer, middle) ? readable : unreadable) = middle;
    }
    // A failed read may leave part of its bytes behind: read the answer again.
    std::memset(buffer, 0, kReadSize);
    return ReadExactly(process, address, buffer, readable) ? readable : 0;
}

// Whether the process has this one's word size. Property data of a process
// of the other size are addresses of that size: a 32-bit build would read
// a 64-bit process at addresses cut to 32 bits.
bool SameWordSize(HANDLE process) noexcept {
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    static const IsWow64Fn isWow64 = [] {
        IsWow64Fn bound = nullptr;
        BindNames(GetModuleHandleA("kernel32.dll"), {{"IsWow64Process", bound}});
        return bound;
    }();
    if (!isWow64) return true;  // a system without 64-bit processes
    BOOL own = FALSE, other = FALSE;
    return isWow64(GetCurrentProcess(), &own) && isWow64(process, &other) && own == other;
}

// The window's process, open for reading, or null when it cannot be read
// (not opened, or of the other word size).
UniqueHandle OpenOwnerProcess(HWND window) noexcept {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!processId) return UniqueHandle();
    constexpr DWORD kQueryLimitedInformation = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, Vista and later
    UniqueHandle process(OpenProcess(PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (!process) process.reset(OpenProcess(PROCESS_VM_READ | kQueryLimitedInformation, FALSE, processId));
    if (process && !SameWordSize(process.get())) process.reset();
    return process;
}

// The four bytes and the text at the address that the property's data gives.
void ReadPropData(TWndProps& list, int32_t index, HANDLE process, uintptr_t data) noexcept {
    UniqueBlock buffer = TakeZeroed(kReadSize);
    const size_t length = buffer ? ReadLongestStretch(process, data, buffer.get()) : 0;
    uint32_t value = 0;
    const bool valueRead = buffer ? length >= sizeof value : ReadExactly(process, data, &value, sizeof value);
    if (buffer && valueRead) std::memcpy(&value, buffer.get(), sizeof value);
    list.SetFlag(index, pfDataRead, valueRead);
    list.SetValue(index, pfDataValue, valueRead ? value : 0);
    if (length == 0) return;
    list.SetFlag(index, pfTextRead, true);
    // The text ends at its first zero byte or where the readable bytes end.
    std::memset(buffer.get() + length, 0, kReadSize - length);
    buffer.get()[kReadSize - 1] = 0;
    list.SetText(index, pfDataText, buffer.get());
}

}  // namespace

bool AllocZeroed(size_t size, void*& block) noexcept {
    block = std::calloc(1, size);
    return block != nullptr;
}

TWndProps::TWndProps() noexcept { Clear(); }

TWndProps::~TWndProps() { Clear(); }

void TWndProps::ReadProps(HWND window) noexcept {
    Window = window;
    Clear();
    if (!Window) return;
    owner_ = OpenOwnerProcess(Window);
    EnumPropsExA(Window, PropEnumProc, reinterpret_cast<ULONG_PTR>(this));
    owner_.reset();
}

void TWndProps::Clear() noexcept {
    for (PropItem& item : Items) {
        std::free(item.Name);
        std::free(item.DataText);
        item.Name = item.DataText = nullptr;
    }
    Items.clear();
}

bool TWndProps::IsValidIndex(int32_t index) const noexcept { return static_cast<size_t>(index) < Items.size(); }

int32_t TWndProps::AddItem() noexcept {
    UniqueBlock dataText = TakeZeroed(kPropTextSize);
    UniqueBlock name = TakeZeroed(kPropTextSize);
    try {
        Items.push_back(PropItem{});
    } catch (...) {
        return -1;
    }
    PropItem& item = Items.back();
    item.DataText = dataText.release();
    item.Name = name.release();
    return static_cast<int32_t>(Items.size() - 1);
}

void TWndProps::ResetItem(int32_t index) noexcept {
    if (!IsValidIndex(index)) return;
    PropItem& item = Items[static_cast<size_t>(index)];
    char* const name = item.Name;
    char* const dataText = item.DataText;
    item = PropItem{};
    item.Name = name;
    item.DataText = dataText;
}

bool TWndProps::GetFlag(int32_t index, PropField field) const noexcept {
    if (!IsValidIndex(index)) return false;
    const PropItem& item = Items[static_cast<size_t>(index)];
    switch (field) {
        case pfNameIsAtom: return item.NameIsAtom;
        case pfDataRead: return item.DataRead;
        case pfTextRead: return item.TextRead;
        default: return false;
    }
}

void TWndProps::SetFlag(int32_t index, PropField field, bool value) noexcept {
    if (!IsValidIndex(index)) return;
    PropItem& item = Items[static_cast<size_t>(index)];
    switch (field) {
        case pfNameIsAtom: item.NameIsAtom = value; break;
        case pfDataRead: item.DataRead = value; break;
        case pfTextRead: item.TextRead = value; break;
        default: break;
    }
}

void TWndProps::SetText(int32_t index, PropField field, const char* text) noexcept {
    if (!IsValidIndex(index) || !text) return;
    PropItem& item = Items[static_cast<size_t>(index)];
    char* const buffer = field == pfName ? item.Name : field == pfDataText ? item.DataText : nullptr;
    if (buffer) lstrcpynA(buffer, text, static_cast<int>(kPropTextSize));
}

void TWndProps::SetValue(int32_t index, PropField field, uintptr_t value) noexcept {
    if (!IsValidIndex(index)) return;
    PropItem& item = Items[static_cast<size_t>(index)];
    switch (field) {
        case pfData: item.Data = value; break;
        case pfDataValue: item.DataValue = static_cast<uint32_t>(value); break;
        case pfAtom: item.Atom = static_cast<uint32_t>(value); break;
        case pfExtra: item.Extra = static_cast<uint32_t>(value); break;
        default: break;
    }
}

BOOL CALLBACK PropEnumProc(HWND window, LPSTR name, HANDLE data, ULONG_PTR listParam) {
    auto* list = reinterpret_cast<TWndProps*>(listParam);
    if (!list) return TRUE;
    const int32_t index = list->AddItem();
    if (index < 0) return TRUE;
    list->ResetItem(index);

    const uintptr_t nameValue = reinterpret_cast<uintptr_t>(name);
    if (nameValue > 0xFFFF) {
        list->SetText(index, pfName, name);
    } else if (UniqueBlock atomName = TakeZeroed(kPropTextSize + 1)) {
        const ATOM atom = static_cast<ATOM>(nameValue);
        list->SetFlag(index, pfNameIsAtom, true);
        list->SetValue(index, pfAtom, atom);
        if (GlobalGetAtomNameA(atom, atomName.get(), static_cast<int>(kPropTextSize)) != 0)
            list->SetText(index, pfName, atomName.get());
    }

    const uintptr_t dataValue = reinterpret_cast<uintptr_t>(data);
    list->SetValue(index, pfData, dataValue);
    UniqueHandle opened;
    HANDLE process = window == list->Window ? list->owner_.get() : nullptr;
    if (!process) {
        opened = OpenOwnerProcess(window);
        process = opened.get();
    }
    if (process) ReadPropData(*list, index, process, dataValue);
    return TRUE;
}
