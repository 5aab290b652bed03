#pragma once
// OllyDbg 2.01's menu item (t_menu) and menu-function modes, laid out as
// its plug-in SDK declares them: the plug-in hands out tables of these, and
// the programs that play the debugger read them.
#include <windows.h>

using Olly2MenuFunction = int(__cdecl*)(void* table, wchar_t* name, ULONG index, int mode);

#pragma pack(push, 1)
struct Olly2MenuItem {
    wchar_t* name;
    wchar_t* help;
    int shortcutId;
    Olly2MenuFunction function;
    Olly2MenuItem* submenu;
    union {
        ULONG index;
        HMENU subMenuHandle;
    };
};
#pragma pack(pop)
// OllyDbg 2 is a 32-bit program: six fields of four bytes.
static_assert(sizeof(void*) != 4 || sizeof(Olly2MenuItem) == 24, "OllyDbg 2's t_menu");

constexpr int kOlly2MenuVerify = 0;
constexpr int kOlly2MenuExecute = 1;
constexpr int kOlly2MenuAbsent = 0;
constexpr int kOlly2MenuNormal = 1;
constexpr int kOlly2MenuNoRedraw = 0;
