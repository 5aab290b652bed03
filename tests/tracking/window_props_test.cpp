#include "common/handles.h"
#include "tracking/target_tracker.h"
#include "tracking/window_props.h"
#include "tests/support/child_process.h"
#include "tests/support/process_usage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

uintptr_t Address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

HANDLE AsData(const void* p) { return const_cast<HANDLE>(p); }

bool Readable(const void* address) {
    char byte;
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), address, &byte, 1, &read) && read == 1;
}

// A committed, writable 64 KB block followed by memory that cannot be read.
// Wine reads reserved and inaccessible pages as well, so the block is put in
// front of address space that nothing maps (which Wine reports as reserved).
char* BlockBeforeHole() {
    constexpr uintptr_t kBlock = 0x10000;
    MEMORY_BASIC_INFORMATION region;
    for (uintptr_t at = kBlock; VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region);) {
        const uintptr_t base = (reinterpret_cast<uintptr_t>(region.BaseAddress) + kBlock - 1) & ~(kBlock - 1);
        const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (end <= at) break;
        at = end;
        if (region.State == MEM_COMMIT || base + 2 * kBlock > end || Readable(reinterpret_cast<void*>(base + kBlock)))
            continue;
        void* block = VirtualAlloc(reinterpret_cast<void*>(base), kBlock, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (block == reinterpret_cast<void*>(base) && !Readable(static_cast<char*>(block) + kBlock))
            return static_cast<char*>(block);
        if (block) VirtualFree(block, 0, MEM_RELEASE);
    }
    return nullptr;
}

// A child window: top-level windows may carry properties of the window manager's own.
class PropsTarget : public ::testing::Test {
protected:
    HWND top = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, top, nullptr, nullptr, nullptr);
    TWndProps props;

    ~PropsTarget() override { DestroyWindow(top); }

    const PropItem* Find(const std::string& name) const {
        for (const PropItem& item : props.Items)
            if (item.Name && name == item.Name) return &item;
        return nullptr;
    }
    void Set(const char* name, const void* data) { SetPropA(window, name, AsData(data)); }
};

TEST_F(PropsTarget, NamesAndCountsOfProperties) {
    props.ReadProps(window);
    EXPECT_EQ(props.Window, window);
    EXPECT_TRUE(props.Items.empty());
    props.ReadProps(nullptr);
    EXPECT_TRUE(props.Items.empty());

    const ATOM atom = GlobalAddAtomA("Pixmerle.AtomProp");
    ScopeExit release([&] {
        RemovePropA(window, MAKEINTATOM(atom));
        GlobalDeleteAtom(atom);
    });
    Set("Pixmerle.First", nullptr);
    SetPropA(window, MAKEINTATOM(atom), AsData(reinterpret_cast<void*>(0x40)));
    props.ReadProps(window);
    ASSERT_EQ(props.Items.size(), 2u);
    const PropItem* first = Find("Pixmerle.First");
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->NameIsAtom);
    EXPECT_EQ(first->Atom, 0u);
    EXPECT_EQ(first->Data, 0u);  // no address: nothing read
    EXPECT_FALSE(first->DataRead || first->TextRead || first->DataValue || first->DataText[0]);
    const PropItem* byAtom = Find("Pixmerle.AtomProp");  // the window manager may hand over the name or the atom
    ASSERT_NE(byAtom, nullptr);
    EXPECT_EQ(byAtom->Data, 0x40u);
    EXPECT_EQ(byAtom->Atom, byAtom->NameIsAtom ? atom : 0u);
}

TEST_F(PropsTarget, AtomAndLongNamesGivenToTheCallback) {
    const ATOM named = GlobalAddAtomA("Pixmerle.Named");
    ScopeExit release([named] { GlobalDeleteAtom(named); });
    ATOM nameless = 0xFFF0;
    char probe[8];
    while (GlobalGetAtomNameA(nameless, probe, sizeof probe)) --nameless;
    const std::string longName(300, 'n');

    const auto call = [&](const char* name) {
        return PropEnumProc(window, const_cast<LPSTR>(name), nullptr, reinterpret_cast<ULONG_PTR>(&props));
    };
    EXPECT_TRUE(call(MAKEINTATOM(named)));
    EXPECT_TRUE(call(MAKEINTATOM(nameless)));
    EXPECT_TRUE(call(longName.c_str()));
    ASSERT_EQ(props.Items.size(), 3u);
    EXPECT_TRUE(props.Items[0].NameIsAtom);
    EXPECT_EQ(props.Items[0].Atom, named);
    EXPECT_STREQ(props.Items[0].Name, "Pixmerle.Named");
    EXPECT_TRUE(props.Items[1].NameIsAtom);
    EXPECT_EQ(props.Items[1].Atom, nameless);
    EXPECT_STREQ(props.Items[1].Name, "");
    EXPECT_FALSE(props.Items[2].NameIsAtom);
    EXPECT_EQ(std::string(props.Items[2].Name), longName.substr(0, 259));
}

TEST_F(PropsTarget, DataReadFromThisProcess) {
    static const char text[] = "Pixmerle property text";
    const std::string longText(400, 'x');
    // A window that is gone has no process to read from.
    TWndProps stale;
    const HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    PropEnumProc(gone, const_cast<char*>("text"), AsData(text), reinterpret_cast<ULONG_PTR>(&stale));
    ASSERT_EQ(stale.Items.size(), 1u);
    EXPECT_EQ(stale.Items[0].Data, Address(text));
    EXPECT_FALSE(stale.Items[0].DataRead || stale.Items[0].TextRead);

    // The reads below take the same way as another process's.
    if (!PlatformReadsMemoryOf(ForeignOwnerPrograms().front())) GTEST_SKIP() << "reads of this process's memory";
    // Strings that run up to the end of readable memory, without a terminator.
    const size_t page = 0x10000;
    char* pages = BlockBeforeHole();
    ASSERT_NE(pages, nullptr) << "no unreadable memory found";
    ScopeExit release([pages] { VirtualFree(pages, 0, MEM_RELEASE); });
    std::memset(pages, 'e', page);
    ScopeExit remove([this] {
        for (const char* name : {"text", "long", "edge6", "edge2", "beyond"}) RemovePropA(window, name);
    });
    Set("text", text);
    Set("long", longText.c_str());
    Set("edge6", pages + page - 6);
    Set("edge2", pages + page - 2);
    Set("beyond", pages + page);
    props.ReadProps(window);

    const PropItem* item = Find("text");
    ASSERT_NE(item, nullptr);
    uint32_t firstFour;
    std::memcpy(&firstFour, text, 4);
    EXPECT_TRUE(item->DataRead && item->TextRead);
    EXPECT_EQ(item->Data, Address(text));
    EXPECT_EQ(item->DataValue, firstFour);
    EXPECT_STREQ(item->DataText, text);
    EXPECT_EQ(std::string(Find("long")->DataText), longText.substr(0, 259));
    EXPECT_TRUE(Find("edge6")->DataRead);
    EXPECT_STREQ(Find("edge6")->DataText, "eeeeee");  // no terminator before the region ends
    EXPECT_FALSE(Find("edge2")->DataRead);
    EXPECT_EQ(Find("edge2")->DataValue, 0u);
    EXPECT_TRUE(Find("edge2")->TextRead);
    EXPECT_STREQ(Find("edge2")->DataText, "ee");
    EXPECT_FALSE(Find("beyond")->DataRead || Find("beyond")->TextRead);
    EXPECT_STREQ(Find("beyond")->DataText, "");

}

// A 32-bit process, seen from the 64-bit build, is of the other word size:
// its data are not read at all.
TEST(ForeignProps, ReadableAndUnreadableDataOfAnotherProcess) {
    int read = 0;
    for (const std::string& program : ForeignOwnerPrograms()) {
        const bool otherWordSize = program == "window_owner32.exe";
        SCOPED_TRACE(program);
        ForeignWindow foreign("pixmerle-props-foreign", program);
        ASSERT_NE(foreign.hwnd(), nullptr);
        TWndProps props;
        props.ReadProps(foreign.hwnd());
        const PropItem *title = nullptr, *unreadable = nullptr;
        for (const PropItem& item : props.Items) {
            if (!std::strcmp(item.Name, "Pixmerle.Title")) title = &item;
            if (!std::strcmp(item.Name, "Pixmerle.Unreadable")) unreadable = &item;
        }
        ASSERT_TRUE(title && unreadable);
        EXPECT_EQ(unreadable->Data, 0x10u);
        if (otherWordSize) {
            EXPECT_FALSE(title->DataRead || title->TextRead || title->DataValue);
            EXPECT_STREQ(title->DataText, "");
            continue;
        }
        if (!PlatformReadsMemoryOf(program)) continue;
        ++read;
        uint32_t firstFour;
        std::memcpy(&firstFour, "pixm", 4);
        EXPECT_TRUE(title->DataRead && title->TextRead);
        EXPECT_EQ(title->DataValue, firstFour);
        EXPECT_STREQ(title->DataText, "pixmerle-props-foreign");
        EXPECT_FALSE(unreadable->DataRead || unreadable->TextRead || unreadable->DataValue);
        EXPECT_STREQ(unreadable->DataText, "");
    }
    if (read == 0) GTEST_SKIP() << "no window owner's memory can be read here";
}

TEST(PropsOwner, TrackerCreatesRefillsAndClearsItsLists) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ScopeExit destroy([window] { DestroyWindow(window); });
    static const char text[] = "owned";
    for (int i = 0; i < 20; ++i) SetPropA(window, ("Pixmerle.Soak" + std::to_string(i)).c_str(), AsData(text));
    TMiscData data;
    ASSERT_TRUE(data.Props);
    data.SelectTarget(window);
    EXPECT_EQ(data.Props->Window, window);
    const size_t count = data.Props->Items.size();
    EXPECT_GE(count, 20u);
    data.Clear();
    EXPECT_TRUE(data.Props->Items.empty());

    // Every selection's buffers are given back: 300 selections of 20
    // properties would otherwise keep 3 MB.
    for (int i = 0; i < 20; ++i) data.SelectTarget(window);
    const uint64_t before = PrivateBytes();
    const int handles = OpenKernelHandles();
    for (int i = 0; i < 300; ++i) data.SelectTarget(window);
    EXPECT_LT(PrivateBytes(), before + 512 * 1024);
    EXPECT_EQ(OpenKernelHandles(), handles);
    ASSERT_EQ(data.Props->Items.size(), count);
    ScopeExit remove([window] {
        for (int i = 0; i < 20; ++i) RemovePropA(window, ("Pixmerle.Soak" + std::to_string(i)).c_str());
    });
    if (!PlatformReadsMemoryOf(ForeignOwnerPrograms().front())) GTEST_SKIP() << "the texts the properties point at";
    int owned = 0;
    for (const PropItem& item : data.Props->Items) owned += std::strcmp(item.DataText, "owned") == 0;
    EXPECT_EQ(owned, 20);
}

}  // namespace
