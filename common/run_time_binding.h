#pragma once
// Functions bound at run time, and the libraries they come from. The
// plug-in runs inside debuggers that are pointed at hostile samples, often
// started from a sample's folder: a library is therefore taken by full path
// only, never through the current directory or PATH, where a file of that
// name may have been planted. Nothing here may run inside DllMain.
#include <windows.h>

#include <initializer_list>

// One line of a binding table: a function's (or exported datum's) name and
// the typed pointer that receives its address.
class BoundName {
public:
    template <typename Pointer>
    BoundName(const char* name, Pointer& slot) noexcept : name_(name), slot_(&slot), store_(&Store<Pointer>) {}

    const char* name() const noexcept { return name_; }
    void Set(FARPROC address) const noexcept { store_(slot_, address); }

private:
    template <typename Pointer>
    static void Store(void* slot, FARPROC address) noexcept {
        *static_cast<Pointer*>(slot) = reinterpret_cast<Pointer>(reinterpret_cast<void*>(address));
    }

    const char* name_;
    void* slot_;
    void (*store_)(void*, FARPROC);
};

// Fills every pointer of the table from the module, null where the module
// lacks the name (all of them for a null module); true when none is missing.
bool BindNames(HMODULE module, std::initializer_list<BoundName> table) noexcept;

// Where a library may be taken from, tried in this order.
enum LibraryPlace : unsigned {
    kBesideHost = 1,       // the folder of the host's executable
    kBesideOwnModule = 2,  // the folder of the plug-in
    kSystemFolder = 4,     // Windows' system folder
};

// The library of that file name with a reference of the caller's own
// (FreeLibrary gives it back): the module of that name already in the
// process, else the first file found in the places asked for. A full path
// ("C:\..." or "\\server\...") is taken as it is. Null when none is found;
// a name with any other path is refused.
HMODULE LoadTrustedLibrary(const char* name, unsigned places) noexcept;
