#include "tools/host_simulator/plugin_host.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using NameQuery = const char*(__cdecl*)();
using OllyData = int(__cdecl*)(char* name);
using OllyInit = int(__cdecl*)(int version, HWND mainWindow, ULONG* features);
using OllyMenu = int(__cdecl*)(int origin, char* data, void* item);
using OllyAction = void(__cdecl*)(int origin, int action, void* item);
using PeidJob = int(__cdecl*)(HWND mainWindow, char* fileName, DWORD reserved, void* extra);
using QuickUnpackStart = INT_PTR(__stdcall*)(DWORD value);
using FourthHostStart = int(__stdcall*)(HWND window);

constexpr char kWindowClass[] = "PixmerleHostSimulator";
constexpr int kOllyInterfaceVersion = 110;
constexpr int kOriginMain = 0;
constexpr int kOriginDisassembler = 31;
// Menu command ids: the origin's base plus the action code.
constexpr int kCommandMain = 1000;
constexpr int kCommandDisassembler = 2000;
constexpr int kCommandStart = 3000;

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

}  // namespace

bool ParseHostKind(const char* text, HostKind& kind) {
    if (!lstrcmpiA(text, "ollydbg")) kind = HostKind::OllyDbg;
    else if (!lstrcmpiA(text, "peid")) kind = HostKind::PEiD;
    else if (!lstrcmpiA(text, "quickunpack")) kind = HostKind::QuickUnpack;
    else if (!lstrcmpiA(text, "pt")) kind = HostKind::FourthHost;
    else return false;
    return true;
}

const char* HostKindName(HostKind kind) {
    switch (kind) {
    case HostKind::OllyDbg: return "OllyDbg";
    case HostKind::PEiD: return "PEiD";
    case HostKind::QuickUnpack: return "Quick Unpack";
    case HostKind::FourthHost: return "GetPTPluginName/StartPTPlugin";
    }
    return "";
}

PluginHost::~PluginHost() {
    if (mainWindow_) DestroyWindow(mainWindow_);
    Unload();
}

bool PluginHost::Load(const std::string& path) {
    Unload();
    module_.reset(LoadLibraryA(path.c_str()));
    if (!module_) return false;
    const char* name = nullptr;
    switch (kind_) {
    case HostKind::OllyDbg: {
        const auto data = Bind<OllyData>(module_.get(), "_ODBG_Plugindata");
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

bool PluginHost::Unload() {
    return !module_ || FreeLibrary(module_.release()) != FALSE;
}

bool PluginHost::AddOllyMenu(HMENU bar, int origin, const char* title) {
    const auto menu = Bind<OllyMenu>(module_.get(), "_ODBG_Pluginmenu");
    std::vector<char> text(4096);
    if (!menu || menu(origin, text.data(), nullptr) != 1) return false;
    HMENU popup = CreatePopupMenu();
    const int base = origin == kOriginMain ? kCommandMain : kCommandDisassembler;
    for (const auto& item : ParseOllyMenu(text.data()))
        AppendMenuA(popup, MF_STRING, UINT_PTR(base + item.first), item.second.c_str());
    return AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title) != FALSE;
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
    if (kind_ == HostKind::OllyDbg) {
        const auto init = Bind<OllyInit>(module_.get(), "_ODBG_Plugininit");
        ULONG features = 0;
        if (!init || init(kOllyInterfaceVersion, mainWindow_, &features) != 0) {
            std::fprintf(stderr, "the plug-in refused the host\n");
            return false;
        }
    }
    HMENU bar = CreateMenu();
    if (kind_ == HostKind::OllyDbg) {
        AddOllyMenu(bar, kOriginMain, "&Plugins");
        AddOllyMenu(bar, kOriginDisassembler, "&CPU pane");
    } else {
        HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, kCommandStart, name_.c_str());
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&Plugins");
    }
    SetMenu(mainWindow_, bar);
    return true;
}

int PluginHost::StartCommand() const { return kind_ == HostKind::OllyDbg ? kCommandMain : kCommandStart; }

void PluginHost::StartPlugin() { OnCommand(StartCommand()); }

void PluginHost::OnCommand(int command) {
    if (kind_ == HostKind::OllyDbg) {
        const auto action = Bind<OllyAction>(module_.get(), "_ODBG_Pluginaction");
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
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
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
    case WM_DESTROY:
        if (host) host->mainWindow_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
