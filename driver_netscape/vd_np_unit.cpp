// The unit's start-up and shut-down: finding and loading the plugin library, the process-wide
// tables, and the driver's instance lifecycle.
#include "vd_np_unit.h"

#include <string>

#include "vd_movieres.h"
#include "vd_winstr.h"

namespace vd {

namespace np {

TUnit& Unit() {
    static TUnit unit;
    return unit;
}

namespace {

template <class F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool FileExists(const WideString& path) {
    const DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The default, replaced by the registry key when it exists (even without "Path"), replaced by a
// copy beside the executable when there is one.
WideString ChoosePluginPath() {
    WideString path = FromWinStr(kNetscapePluginDefaultPath);
    win32::TRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kNetscapePluginKey, 0, KEY_QUERY_VALUE, key.Out()) == ERROR_SUCCESS) {
        path.clear();
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key.Get(), L"Path", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(wchar_t)) {
            std::wstring value(size / sizeof(wchar_t), L'\0');
            if (RegQueryValueExW(key.Get(), L"Path", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) ==
                ERROR_SUCCESS) {
                value.resize(wcsnlen(value.c_str(), size / sizeof(wchar_t)));
                path = FromWinStr(value.c_str());
            }
        }
    }
    const WideString beside = ApplicationDirectory() + FromWinStr(kNetscapePluginFileName);
    if (FileExists(beside)) path = beside;
    return path;
}

}  // namespace
}  // namespace np

using namespace np;

void InitializeDriverNetscapeUnit() {
    TUnit& u = Unit();
    if (u.InitCount++ != 0) return;
    FlashDriverNSClass = &TvdFlashDriverNS::Class();
    u.PluginPath = ChoosePluginPath();
    if (u.PluginPath.empty()) return;
    u.PluginLibrary.Reset(LoadLibraryW(WinStr(u.PluginPath)));
    if (!u.PluginLibrary) return;
    const HMODULE m = u.PluginLibrary.Get();
    u.GetEntryPoints = Export<NP_GetEntryPointsFunc>(m, "NP_GetEntryPoints");
    u.Initialize = Export<NP_InitializeFunc>(m, "NP_Initialize");
    u.Shutdown = Export<NP_ShutdownFunc>(m, "NP_Shutdown");
    u.DisableLocalSecurity = Export<Flash_DisableLocalSecurityFunc>(m, "Flash_DisableLocalSecurity");
    if (!u.GetEntryPoints) return;
    u.BrowserFuncs = MakeBrowserFuncs();
    // Size and version stay 0: the plugin fills what it has.
    u.PluginFuncs = TPluginFuncsArea{};
    u.GetEntryPoints(&u.PluginFuncs.Funcs);
    if (u.Initialize) u.Initialize(&u.BrowserFuncs);
    if (u.DisableLocalSecurity) u.DisableLocalSecurity();
}

void FinalizeDriverNetscapeUnit() {
    TUnit& u = Unit();
    if (u.InitCount == 0 || --u.InitCount != 0) return;
    // Instances whose teardown waits for the message loop go before the library does.
    TvdFlashDriver::RunDeferred();
    if (u.PluginLibrary && u.Shutdown) u.Shutdown();
    u.PluginFuncs = TPluginFuncsArea{};
    u.GetEntryPoints = nullptr;
    u.Initialize = nullptr;
    u.Shutdown = nullptr;
    u.DisableLocalSecurity = nullptr;
    u.PluginLibrary.Reset();
    u.PluginPath.clear();
    if (FlashDriverNSClass == &TvdFlashDriverNS::Class()) FlashDriverNSClass = nullptr;
}

WideString NetscapePluginPath() { return Unit().PluginPath; }

// ---------------------------------------------------------------------------------------------

VD_DEFINE_CLASS(TvdFlashDriverNS)

TvdFlashDriverNS::TvdFlashDriverNS(int width, int height, uint32_t background)
    : TvdFlashDriver(width, height, background) {}

TvdFlashDriverNS::~TvdFlashDriverNS() {
    // Nothing reaches the application while the instance goes.
    BeginTeardown();
    DestroyPlugin();
}

void TvdFlashDriverNS::AfterConstruction() {
    TvdFlashDriver::AfterConstruction();
    CreatePlugin();
}

const TvdFlashDriverClass& TvdFlashDriverNS::Class() {
    static const TvdFlashDriverClass cls = MakeFlashDriverClass<TvdFlashDriverNS>("TvdFlashDriverNS");
    return cls;
}

bool TvdFlashDriverNS::PluginExists() { return Plugin().newp != nullptr; }

void TvdFlashDriverNS::CreatePlugin() {
    if (!PluginExists() || Detached()) return;
    std::string width = std::to_string(Width), height = std::to_string(Height);
    char n0[] = "wmode", n1[] = "bgcolor", n2[] = "width", n3[] = "height";
    char v0[] = "transparent", v1[] = "#0";
    char* argn[] = {n0, n1, n2, n3};
    char* argv[] = {v0, v1, width.data(), height.data()};
    char mime[] = "application/x-shockwave-flash";
    ScriptObject = nullptr;
    record_ = std::make_unique<NPP_t>(NPP_t{nullptr, this});
    const NPP npp = Instance = record_.get();
    TCallGuard guard(*this, TCallKind::Player);
    Plugin().newp(mime, npp, NP_EMBED, 4, argn, argv, nullptr);
    if (!StillFor(npp)) return;
    // The object comes back retained for us; DestroyPlugin gives that reference back.
    NPObject* object = nullptr;
    if (npp->pdata && Plugin().getvalue &&
        Plugin().getvalue(npp, NPPVpluginScriptableNPObject, &object) == NPERR_NO_ERROR) {
        if (StillFor(npp)) ScriptObject = object;
        else HostReleaseObject(object);
    }
}

void TvdFlashDriverNS::DestroyPlugin() {
    if (NPObject* object = ScriptObject) {
        ScriptObject = nullptr;
        HostReleaseObject(object);
    }
    if (record_) {
        // The instance hears nothing of the driver from now on; its calls find no driver.
        record_->ndata = nullptr;
        for (const auto& download : downloads_) download->Detach();
        retired_.push_back(TRetired{std::move(record_), std::move(downloads_)});
        downloads_.clear();
    }
    Instance = nullptr;
    if (InsidePlayerCall()) WantAfterCalls();
    else DestroyRetired();
}

void TvdFlashDriverNS::DestroyRetired() {
    while (!retired_.empty()) {
        TRetired gone = std::move(retired_.front());
        retired_.erase(retired_.begin());
        // Streams still open end as broken off by the user, then the instance goes.
        for (const auto& download : gone.downloads) download->End(NPRES_USER_BREAK);
        gone.downloads.clear();
        if (gone.record->pdata && PluginExists() && Plugin().destroy) {
            TCallGuard guard(*this, TCallKind::Player);
            Plugin().destroy(gone.record.get(), nullptr);
        }
    }
}

void TvdFlashDriverNS::Detach() {
    TvdFlashDriver::Detach();
    // The downloads stop feeding the plugin; the teardown ends their streams.
    for (const auto& download : downloads_) download->Detach();
}

void TvdFlashDriverNS::AfterCalls() {
    TvdFlashDriver::AfterCalls();
    DestroyRetired();
}

void TvdFlashDriverNS::SetPluginWindow() {
    if (!Instance || Detached()) return;
    PluginWindow = NPWindow{};
    PluginWindow.type = NPWindowTypeDrawable;
    PluginWindow.width = static_cast<uint32_t>(Width);
    PluginWindow.height = static_cast<uint32_t>(Height);
    PluginWindow.window = BufferDC;
    TCallGuard guard(*this, TCallKind::Player);
    if (Plugin().setwindow) Plugin().setwindow(Instance, &PluginWindow);
}

void TvdFlashDriverNS::ResizeBuffer() {
    TvdFlashDriver::ResizeBuffer();
    if (!PluginExists() || !Instance || !Instance->pdata) return;
    const NPP npp = Instance;
    TCallGuard guard(*this);
    SetPluginWindow();
    if (StillFor(npp)) ForceUpdate();
}

}  // namespace vd
