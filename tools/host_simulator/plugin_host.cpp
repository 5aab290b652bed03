#include "tools/host_simulator/plugin_host.h"

#include "host/ollydbg2_menu.h"
#include "tools/host_simulator/x32dbg_stand_in.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

// OllyDbg 2.01 exports its main window to plug-ins as this data symbol.
extern "C" {
__declspec(dllexport) HWND hwollymain = nullptr;
}

namespace {

using NameQuery = const char*(__cdecl*)();
using OllyData = int(__cdecl*)(char* name);
using OllyInit = int(__cdecl*)(int version, HWND mainWindow, ULONG* features);
using OllyMenu = int(__cdecl*)(int origin, char* data, void* item);
using OllyAction = void(__cdecl*)(int origin, int action, void* item);
using PeidJob = int(__cdecl*)(HWND mainWindow, char* fileName, DWORD reserved, void* extra);
using QuickUnpackStart = INT_PTR(__stdcall*)(DWORD value);
using FourthHostStart = int(__stdcall*)(HWND window);

// x64dbg's plug-in entry points.
using X32dbgPluginInit = bool(__cdecl*)(X64dbgInit*);
using X32dbgPluginSetup = void(__cdecl*)(X64dbgSetup*);
using X32dbgPluginStop = bool(__cdecl*)();
constexpr int kX32dbgPluginHandle = 7;
// x64dbg's 32-bit debugger is x32dbg; the simulator built for 64-bit plays x64dbg.
#ifdef _WIN64
constexpr char kX64dbgFamilyName[] = "x64dbg";
constexpr char kX64dbgFamilyPlugin[] = "plugins\\Pixmerle.dp64";
#else
constexpr char kX64dbgFamilyName[] = "x32dbg";
constexpr char kX64dbgFamilyPlugin[] = "plugins\\Pixmerle.dp32";
#endif

// OllyDbg 2.01's plug-in interface.
using Olly2Query = int(__cdecl*)(int version, ULONG* features, wchar_t* name, wchar_t* pluginVersion);
using Olly2Init = int(__cdecl*)();
using Olly2MenuQuery = Olly2MenuItem*(__cdecl*)(wchar_t* type);
using Olly2Notify = void(__cdecl*)();
using Olly2Close = int(__cdecl*)();
constexpr int kOlly2Version = 201;
constexpr int kOlly2InterfaceVersion = 0x02010001;

constexpr char kWindowClass[] = "PixmerleHostSimulator";
constexpr int kOllyInterfaceVersion = 110;
constexpr int kOriginMain = 0;
constexpr int kOriginDisassembler = 31;
// Menu command ids: the origin's base plus the action code.
constexpr int kCommandMain = 1000;
constexpr int kCommandDisassembler = 2000;
constexpr int kCommandStart = 3000;
constexpr int kCommandX32dbg = 4000;
constexpr int kCommandOlly2 = 5000;
constexpr UINT_PTR kUnloadTimer = 1;
constexpr char kCaptureDialogTitle[] = "  Pixmerle 1.1.7";

template <typename F>
F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const char* QueryName(HMODULE module, const char* entry) {
    const auto query = Bind<NameQuery>(module, entry);
    return query ? query() : nullptr;
}

// "0 &Pixmerle 1.1.7|1 &Homepage|2 &About..." into (action, text) pairs.
std::vector<std::pair<int, std::string>> ParseOllyMenu(const char* text) {
    std::vector<std::pair<int, std::string>> items;
    const char* item = text;
    while (*item) {
        const char* end = std::strchr(item, '|');
        const std::string entry = end ? std::string(item, end) : std::string(item);
        char* afterNumber = nullptr;
        const long action = std::strtol(entry.c_str(), &afterNumber, 10);
        if (afterNumber != entry.c_str()) {
            while (*afterNumber == ' ') ++afterNumber;
            items.emplace_back(static_cast<int>(action), afterNumber);
        }
        if (!end) break;
        item = end + 1;
    }
    return items;
}

// "Ctrl+Shift+F12" and the like, as x64dbg writes its keys: modifiers, then
// a function key or one letter or digit.
bool ParseHotkey(const std::string& text, int command, ACCEL& key) {
    key = ACCEL{FVIRTKEY, 0, WORD(command)};
    size_t start = 0;
    for (;;) {
        const size_t plus = text.find('+', start);
        const std::string part = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (plus == std::string::npos) {
            if (part.size() >= 2 && (part[0] == 'F' || part[0] == 'f')) {
                const int number = std::atoi(part.c_str() + 1);
                if (number < 1 || number > 24) return false;
                key.key = WORD(VK_F1 + number - 1);
            } else if (part.size() == 1 && std::isalnum(static_cast<unsigned char>(part[0]))) {
                key.key = WORD(std::toupper(static_cast<unsigned char>(part[0])));
            } else {
                return false;
            }
            return true;
        }
        if (!lstrcmpiA(part.c_str(), "Ctrl")) key.fVirt |= FCONTROL;
        else if (!lstrcmpiA(part.c_str(), "Shift")) key.fVirt |= FSHIFT;
        else if (!lstrcmpiA(part.c_str(), "Alt")) key.fVirt |= FALT;
        else return false;
        start = plus + 1;
    }
}

}  // namespace

bool ParseHostKind(const char* text, HostKind& kind) {
    if (!lstrcmpiA(text, "ollydbg")) kind = HostKind::OllyDbg;
    else if (!lstrcmpiA(text, "peid")) kind = HostKind::PEiD;
    else if (!lstrcmpiA(text, "quickunpack")) kind = HostKind::QuickUnpack;
    else if (!lstrcmpiA(text, "pt")) kind = HostKind::FourthHost;
    else if (!lstrcmpiA(text, kX64dbgFamilyName)) kind = HostKind::X32dbg;
    else if (!lstrcmpiA(text, "ollydbg2")) kind = HostKind::OllyDbg2;
    else if (!lstrcmpiA(text, "immunity")) kind = HostKind::Immunity;
    else return false;
    return true;
}

const char* HostKindName(HostKind kind) {
    switch (kind) {
    case HostKind::OllyDbg: return "OllyDbg";
    case HostKind::PEiD: return "PEiD";
    case HostKind::QuickUnpack: return "Quick Unpack";
    case HostKind::FourthHost: return "GetPTPluginName/StartPTPlugin";
    case HostKind::X32dbg: return kX64dbgFamilyName;
    case HostKind::OllyDbg2: return "OllyDbg 2.01";
    case HostKind::Immunity: return "Immunity Debugger";
    }
    return "";
}

const char* DefaultPluginPath(HostKind kind) {
    return kind == HostKind::X32dbg ? kX64dbgFamilyPlugin : "Pixmerle_1_1_7.dll";
}

PluginHost::~PluginHost() {
    if (mainWindow_) DestroyWindow(mainWindow_);
    Unload();
}

bool PluginHost::Load(const std::string& path) {
    Unload();
    // x32dbg.exe has its debugger DLL loaded before any plug-in.
    if (kind_ == HostKind::X32dbg && !debuggerDll_) {
        debuggerDll_.reset(LoadLibraryA(kDebuggerDllName));
        if (!debuggerDll_) return false;
    }
    module_.reset(LoadLibraryA(path.c_str()));
    if (!module_) return false;
    const char* name = nullptr;
    switch (kind_) {
    case HostKind::X32dbg: return LoadX32dbgPlugin();
    case HostKind::OllyDbg2: return LoadOlly2Plugin();
    case HostKind::OllyDbg:
    case HostKind::Immunity: {
        const auto data = Bind<OllyData>(module_.get(), OllyEntry("Plugindata").c_str());
        char buffer[32] = {};
        if (!data || data(buffer) != kOllyInterfaceVersion) return false;
        name_ = buffer;
        return true;
    }
    case HostKind::PEiD: name = QueryName(module_.get(), "LoadDll"); break;
    case HostKind::QuickUnpack: name = QueryName(module_.get(), "GetPluginName"); break;
    case HostKind::FourthHost: name = QueryName(module_.get(), "GetPTPluginName"); break;
    }
    if (!name) return false;
    name_ = name;
    return true;
}

// x64dbg loads the plug-in with its own DLL in the process, presets the name
// to the file name, calls pluginit and then registers the exported CB*
// callbacks.
bool PluginHost::LoadX32dbgPlugin() {
    const auto init = Bind<X32dbgPluginInit>(module_.get(), "pluginit");
    if (!init) return false;
    X64dbgInit data{};
    data.pluginHandle = kX32dbgPluginHandle;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module_.get(), path, MAX_PATH);
    const char* file = std::strrchr(path, '\\');
    lstrcpynA(data.pluginName, file ? file + 1 : path, sizeof data.pluginName);
    if (!init(&data) || data.sdkVersion < 1) {
        module_.reset();
        return false;
    }
    const auto registerCallback = Bind<RegisterCallbackFn>(debuggerDll_.get(), "_plugin_registercallback");
    const auto callback = Bind<PluginCallback>(module_.get(), "CBMENUENTRY");
    if (registerCallback && callback) registerCallback(kX32dbgPluginHandle, kX64dbgMenuEntryCallback, callback);
    name_ = data.pluginName;
    return true;
}

bool PluginHost::LoadOlly2Plugin() {
    const auto query = Bind<Olly2Query>(module_.get(), "ODBG2_Pluginquery");
    wchar_t name[32] = {}, version[32] = {};
    ULONG features = 0;
    if (!query || query(kOlly2Version, &features, name, version) != kOlly2InterfaceVersion) return false;
    char narrow[64] = {};
    WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof narrow, nullptr, nullptr);
    name_ = narrow;
    return true;
}

bool PluginHost::Unload() {
    if (!module_) return true;
    if (kind_ == HostKind::X32dbg) {
        bool mayFree = true;
        if (const auto stop = Bind<X32dbgPluginStop>(module_.get(), "plugstop")) {
            std::thread([&] { mayFree = stop(); }).join();
        }
        if (!mayFree) {
            std::printf("plugstop said no: the plug-in stays loaded\n");
            std::fflush(stdout);
            module_.release();
            return false;
        }
    } else if (kind_ == HostKind::OllyDbg2) {
        if (const auto close = Bind<Olly2Close>(module_.get(), "ODBG2_Pluginclose")) close();
        if (const auto destroy = Bind<Olly2Notify>(module_.get(), "ODBG2_Plugindestroy")) destroy();
    }
    return FreeLibrary(module_.release()) != FALSE;
}

std::string PluginHost::OllyEntry(const char* suffix) const {
    return std::string(kind_ == HostKind::Immunity ? "IMMDBG_" : "_ODBG_") + suffix;
}

bool PluginHost::AddOllyMenu(HMENU bar, int origin, const char* title) {
    const auto menu = Bind<OllyMenu>(module_.get(), OllyEntry("Pluginmenu").c_str());
    std::vector<char> text(4096);
    if (!menu || menu(origin, text.data(), nullptr) != 1) return false;
    HMENU popup = CreatePopupMenu();
    const int base = origin == kOriginMain ? kCommandMain : kCommandDisassembler;
    for (const auto& item : ParseOllyMenu(text.data()))
        AppendMenuA(popup, MF_STRING, UINT_PTR(base + item.first), item.second.c_str());
    return AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title) != FALSE;
}

// Items the plug-in's function verifies as normal, in the order given.
bool PluginHost::AddOlly2Menu(HMENU bar, const wchar_t* type, const char* title) {
    const auto query = Bind<Olly2MenuQuery>(module_.get(), "ODBG2_Pluginmenu");
    Olly2MenuItem* items = query ? query(const_cast<wchar_t*>(type)) : nullptr;
    if (!items) return false;
    HMENU popup = CreatePopupMenu();
    for (const Olly2MenuItem* item = items; item->name; ++item) {
        if (!item->function || item->function(nullptr, item->name, item->index, kOlly2MenuVerify) != kOlly2MenuNormal) continue;
        AppendMenuW(popup, MF_STRING, UINT_PTR(kCommandOlly2 + olly2Items_.size()), item->name);
        olly2Items_.push_back(Olly2Item{reinterpret_cast<void*>(item->function), item->name, item->index});
    }
    return AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title) != FALSE;
}

// The loader's submenus titled with the plug-in's name in the debugger's
// menus, handed to plugsetup, then shown with what the plug-in put there.
bool PluginHost::SetUpX32dbgMenus(HMENU bar) {
    X64dbgSetup setup{};
    setup.hwndDlg = mainWindow_;
    const auto addMenu = Bind<AddPluginMenuFn>(debuggerDll_.get(), "simulator_add_plugin_menu");
    const auto entryCount = Bind<CountFn>(debuggerDll_.get(), "simulator_entry_count");
    const auto entryAt = Bind<EntryAtFn>(debuggerDll_.get(), "simulator_entry");
    if (!addMenu || !entryCount || !entryAt) return false;
    for (int X64dbgSetup::*menu : {&X64dbgSetup::hMenu, &X64dbgSetup::hMenuDisasm, &X64dbgSetup::hMenuDump,
                                   &X64dbgSetup::hMenuStack, &X64dbgSetup::hMenuGraph, &X64dbgSetup::hMenuMemmap,
                                   &X64dbgSetup::hMenuSymmod})
        setup.*menu = addMenu(kX32dbgPluginHandle, name_.c_str());
    if (const auto plugSetup = Bind<X32dbgPluginSetup>(module_.get(), "plugsetup")) plugSetup(&setup);
    const std::pair<int, const char*> shown[] = {{setup.hMenu, "&Plugins"}, {setup.hMenuDisasm, "&CPU pane"}};
    for (const auto& [handle, title] : shown) {
        HMENU pluginMenu = CreatePopupMenu();
        for (int i = 0; i < entryCount(); ++i) {
            RecordedEntry entry{};
            if (!entryAt(i, &entry) || entry.menu != handle) continue;
            if (entry.entry < 0) {
                AppendMenuA(pluginMenu, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            const int command = kCommandX32dbg + entry.entry;
            std::string text = entry.title;
            ACCEL key{};
            if (entry.hotkey && *entry.hotkey && ParseHotkey(entry.hotkey, command, key)) {
                text += std::string("\t") + entry.hotkey;
                accelerators_.push_back(key);
            }
            AppendMenuA(pluginMenu, MF_STRING, UINT_PTR(command), text.c_str());
        }
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(pluginMenu), name_.c_str());
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title);
    }
    return true;
}

bool PluginHost::CreateMainWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    const std::string title = std::string(HostKindName(kind_)) + " host simulator";
    mainWindow_ = CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 420,
                                  160, nullptr, nullptr, windowClass.hInstance, this);
    if (!mainWindow_) return false;
    if (kind_ == HostKind::OllyDbg2) {
        hwollymain = mainWindow_;
        const auto init = Bind<Olly2Init>(module_.get(), "ODBG2_Plugininit");
        if (!init || init() != 0) {
            std::fprintf(stderr, "the plug-in refused the host\n");
            return false;
        }
    }
    const bool olly1 = kind_ == HostKind::OllyDbg || kind_ == HostKind::Immunity;
    if (olly1) {
        const auto init = Bind<OllyInit>(module_.get(), OllyEntry("Plugininit").c_str());
        ULONG features = 0;
        if (!init || init(kOllyInterfaceVersion, mainWindow_, &features) != 0) {
            std::fprintf(stderr, "the plug-in refused the host\n");
            return false;
        }
    }
    HMENU bar = CreateMenu();
    if (olly1) {
        AddOllyMenu(bar, kOriginMain, "&Plugins");
        AddOllyMenu(bar, kOriginDisassembler, "&CPU pane");
    } else if (kind_ == HostKind::OllyDbg2) {
        AddOlly2Menu(bar, L"MAIN", "&Plugins");
        AddOlly2Menu(bar, L"DISASM", "&CPU pane");
    } else if (kind_ == HostKind::X32dbg) {
        SetUpX32dbgMenus(bar);
    } else {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, kCommandStart, name_.c_str());
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&Plugins");
    }
    SetMenu(mainWindow_, bar);
    return true;
}

int PluginHost::StartCommand() const {
    switch (kind_) {
    case HostKind::OllyDbg:
    case HostKind::Immunity: return kCommandMain;
    case HostKind::X32dbg: return kCommandX32dbg;
    case HostKind::OllyDbg2: return kCommandOlly2;
    default: return kCommandStart;
    }
}

void PluginHost::StartPlugin() { OnCommand(StartCommand()); }

void PluginHost::OnCommand(int command) {
    if (kind_ == HostKind::X32dbg) {
        // Menu clicks reach the plug-in on the GUI thread, which waits for it.
        X64dbgMenuEntry entry{command - kCommandX32dbg};
        const auto callbackOf = Bind<CallbackFn>(debuggerDll_.get(), "simulator_callback");
        if (const auto callback = callbackOf ? callbackOf(kX32dbgPluginHandle, kX64dbgMenuEntryCallback) : nullptr)
            callback(kX64dbgMenuEntryCallback, &entry);
        return;
    }
    if (kind_ == HostKind::OllyDbg2) {
        const size_t item = size_t(command - kCommandOlly2);
        if (command < kCommandOlly2 || item >= olly2Items_.size()) return;
        const Olly2Item& chosen = olly2Items_[item];
        const auto function = reinterpret_cast<Olly2MenuFunction>(chosen.function);
        std::wstring name = chosen.name;
        if (function(nullptr, name.data(), chosen.index, kOlly2MenuVerify) == kOlly2MenuNormal)
            function(nullptr, name.data(), chosen.index, kOlly2MenuExecute);
        return;
    }
    if (kind_ == HostKind::OllyDbg || kind_ == HostKind::Immunity) {
        const auto action = Bind<OllyAction>(module_.get(), OllyEntry("Pluginaction").c_str());
        if (!action) return;
        if (command >= kCommandDisassembler && command < kCommandStart)
            action(kOriginDisassembler, command - kCommandDisassembler, nullptr);
        else if (command >= kCommandMain && command < kCommandDisassembler)
            action(kOriginMain, command - kCommandMain, nullptr);
        return;
    }
    if (command != kCommandStart) return;
    switch (kind_) {
    case HostKind::PEiD:
        if (const auto job = Bind<PeidJob>(module_.get(), "DoMyJob")) job(mainWindow_, nullptr, 0, nullptr);
        break;
    case HostKind::QuickUnpack:
        if (const auto start = Bind<QuickUnpackStart>(module_.get(), "StartPlugin")) {
            const INT_PTR result = start(0);
            std::printf("StartPlugin returned %ld\n", static_cast<long>(result));
        }
        break;
    case HostKind::FourthHost:
        if (const auto start = Bind<FourthHostStart>(module_.get(), "StartPTPlugin")) {
            start(mainWindow_);
            // The plug-in leaves the window it was given hidden; this host
            // brings itself back so the user can go on.
            ShowWindow(mainWindow_, SW_SHOW);
        }
        break;
    default: break;
    }
    std::fflush(stdout);
}

int PluginHost::Run(bool startNow) {
    if (startNow) PostMessageA(mainWindow_, WM_COMMAND, StartCommand(), 0);
    // The keys the plug-in gave its entries, as the debugger binds them.
    HACCEL keys = accelerators_.empty() ? nullptr : CreateAcceleratorTableA(accelerators_.data(), int(accelerators_.size()));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (keys && TranslateAcceleratorA(mainWindow_, keys, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (keys) DestroyAcceleratorTable(keys);
    return 0;
}

bool PluginHost::StartAndUnloadFromTheDialog() {
    unloadFromDialog_ = true;
    unloadedFromDialog_ = false;
    // Timer messages come only from a message loop: the dialog's, once it runs.
    SetTimer(mainWindow_, kUnloadTimer, 200, nullptr);
    StartPlugin();
    KillTimer(mainWindow_, kUnloadTimer);
    unloadFromDialog_ = false;
    return unloadedFromDialog_;
}

LRESULT CALLBACK PluginHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    }
    auto* host = reinterpret_cast<PluginHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        if (host) host->OnCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER: {
        if (!host || wParam != kUnloadTimer || !host->unloadFromDialog_) return 0;
        const HWND dialog = FindWindowA("#32770", kCaptureDialogTitle);
        DWORD process = 0;
        if (dialog) GetWindowThreadProcessId(dialog, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(dialog)) return 0;
        KillTimer(window, kUnloadTimer);
        host->unloadFromDialog_ = false;
        host->unloadedFromDialog_ = host->Unload();
        return 0;
    }
    case WM_DESTROY:
        if (host) host->mainWindow_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
