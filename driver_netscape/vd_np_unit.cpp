// The unit's start-up and shut-down: finding and loading the plugin library, the process-wide
// tables, and the driver's instance lifecycle.
#include "vd_np_unit.h"

#include <string>

#include "vd_flashplayer.h"
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

namespace {

// Lets go of a library that cannot be used: nothing of it is called again.
void DropPlugin(TUnit& u, TNetscapePluginState state) {
    u.State = state;
    u.PluginFuncs = TPluginFuncsArea{};
    u.GetEntryPoints = nullptr;
    u.Initialize = nullptr;
    u.Shutdown = nullptr;
    u.DisableLocalSecurity = nullptr;
    u.PluginLibrary.Reset();
}

}  // namespace

void InitializeDriverNetscapeUnit() {
    TUnit& u = Unit();
    if (u.InitCount++ != 0) return;
    RegisterFlashClassStartups();
    // urlmon first: the downloads of "http:" movies bind through it.
    u.Urlmon = std::make_unique<win32::TUrlmon>();
    if (u.Urlmon->Module) SetDownloadUrlmon(&u.Urlmon->Entries);
    FlashDriverNSClass = &TvdFlashDriverNS::Class();
    u.State = TNetscapePluginState::NoLibrary;
    u.PluginPath = ChoosePluginPath();
    if (u.PluginPath.empty()) return;
    u.PluginLibrary.Reset(LoadLibraryW(WinStr(u.PluginPath)));
    if (!u.PluginLibrary) return;
    const HMODULE m = u.PluginLibrary.Get();
    u.GetEntryPoints = Export<NP_GetEntryPointsFunc>(m, "NP_GetEntryPoints");
    u.Initialize = Export<NP_InitializeFunc>(m, "NP_Initialize");
    u.Shutdown = Export<NP_ShutdownFunc>(m, "NP_Shutdown");
    u.DisableLocalSecurity = Export<Flash_DisableLocalSecurityFunc>(m, "Flash_DisableLocalSecurity");
    if (!u.GetEntryPoints) {
        u.State = TNetscapePluginState::NoEntryPoints;
        return;
    }
    u.Browser = TBrowserFuncsArea{};
    u.Browser.Funcs = MakeBrowserFuncs();
    // As browsers do: the size is the room handed over, the version the one the host speaks.
    u.PluginFuncs = TPluginFuncsArea{};
    u.PluginFuncs.Funcs.size = static_cast<uint16_t>(sizeof(TPluginFuncsArea));
    u.PluginFuncs.Funcs.version = NPNetscapeFuncsVersion;
    if (u.GetEntryPoints(&u.PluginFuncs.Funcs) != NPERR_NO_ERROR)
        return DropPlugin(u, TNetscapePluginState::EntryPointsFailed);
    if (u.Initialize && u.Initialize(&u.Browser.Funcs) != NPERR_NO_ERROR)
        return DropPlugin(u, TNetscapePluginState::InitializeFailed);
    if (u.DisableLocalSecurity) u.DisableLocalSecurity();
    u.State = u.PluginFuncs.Funcs.newp ? TNetscapePluginState::Ready : TNetscapePluginState::NoNewInstance;
}

void FinalizeDriverNetscapeUnit() {
    TUnit& u = Unit();
    if (u.InitCount == 0 || --u.InitCount != 0) return;
    // Instances whose teardown waits for the message loop go before the library does.
    TvdFlashDriver::RunDeferred();
    if (u.PluginLibrary && u.Shutdown) u.Shutdown();
    DropPlugin(u, TNetscapePluginState::NotStarted);
    u.PluginPath.clear();
    if (FlashDriverNSClass == &TvdFlashDriverNS::Class()) FlashDriverNSClass = nullptr;
    // The plugin is gone; then its downloads: none reaches a driver again, and urlmon lets
    // each object go as its transfer is aborted. Only then urlmon itself, unless a transfer
    // ran through it: urlmon then still has work of its own queued on this thread (or a
    // download it has not let go of yet), and freeing it would pull its code from under that
    // work. It then stays loaded for the process.
    const size_t started = StartedDownloadCount();
    SetDownloadUrlmon(nullptr);
    const size_t alive = AbortDownloads();
    if ((alive != 0 || started != 0) && u.Urlmon) (void)u.Urlmon->Module.Detach();
    u.Urlmon.reset();
}

TNetscapePluginState NetscapePluginState() { return Unit().State; }

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
    PluginWindow = NPWindow{};
    InstanceLive = false;
    record_ = std::make_unique<NPP_t>(NPP_t{nullptr, this});
    const NPP npp = Instance = record_.get();
    TCallGuard guard(*this, TCallKind::Player);
    const bool created = Plugin().newp(mime, npp, NP_EMBED, 4, argn, argv, nullptr) == NPERR_NO_ERROR;
    if (!StillFor(npp)) return;
    // A failed instance hears nothing more but its NPP_Destroy.
    InstanceLive = created;
    if (!InstanceLive) return;
    // Its drawable at once: a plugin may draw, or size itself, before anything is delivered.
    SetPluginWindow();
    if (!StillFor(npp)) return;
    // The object comes back retained for us; DestroyPlugin gives that reference back.
    NPObject* object = nullptr;
    if (Plugin().getvalue && Plugin().getvalue(npp, NPPVpluginScriptableNPObject, &object) == NPERR_NO_ERROR) {
        if (StillFor(npp)) ScriptObject = object;
        else HostReleaseObject(object);
    }
}

void TvdFlashDriverNS::DestroyPlugin() {
    if (NPObject* object = ScriptObject) {
        ScriptObject = nullptr;
        HostReleaseObject(object);
    }
    InstanceLive = false;
    if (record_) {
        // The instance hears nothing of the driver from now on; its calls find no driver.
        record_->ndata = nullptr;
        for (const auto& download : downloads_) download->Detach();
        retired_.push_back(TRetired{std::move(record_), std::move(downloads_)});
        downloads_.clear();
    }
    Instance = nullptr;
    PluginWindow = NPWindow{};
    if (InsidePlayerCall()) WantAfterCalls();
    else DestroyRetired();
}

void TvdFlashDriverNS::DestroyRetired() {
    while (!retired_.empty()) {
        TRetired gone = std::move(retired_.front());
        retired_.erase(retired_.begin());
        // Streams still open end as broken off by the user, then the instance goes (a record is
        // made only for NPP_New, so NPP_Destroy is owed even when NPP_New failed).
        for (const auto& download : gone.downloads) download->End(NPRES_USER_BREAK);
        gone.downloads.clear();
        if (PluginExists() && Plugin().destroy) {
            TCallGuard guard(*this, TCallKind::Player);
            // The plugin may leave saved data for a later instance; none is kept, so it goes here.
            NPSavedData* saved = nullptr;
            Plugin().destroy(gone.record.get(), &saved);
            if (saved) {
                HostMemFree(saved->buf);
                HostMemFree(saved);
            }
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

void TvdFlashDriverNS::FillPluginWindow(HDC dc) {
    PluginWindow = NPWindow{};
    PluginWindow.type = NPWindowTypeDrawable;
    PluginWindow.window = dc;
    if (!dc) return;
    PluginWindow.width = static_cast<uint32_t>(Width);
    PluginWindow.height = static_cast<uint32_t>(Height);
    // All of the buffer is visible (plugins read an empty clip as hidden).
    PluginWindow.clipRect = NPRect{0, 0, static_cast<uint16_t>(Height), static_cast<uint16_t>(Width)};
}

void TvdFlashDriverNS::SetPluginWindow() {
    if (!Instance || !InstanceLive || Detached()) return;
    const bool hadDrawable = PluginWindow.window != nullptr;
    FillPluginWindow(BufferDC);
    if (!BufferDC && !hadDrawable) return;  // nothing to hand over, nothing to take back
    TCallGuard guard(*this, TCallKind::Player);
    if (Plugin().setwindow) Plugin().setwindow(Instance, &PluginWindow);
}

void TvdFlashDriverNS::ResizeBuffer() {
    TvdFlashDriver::ResizeBuffer();
    if (!PluginExists() || !Instance || !InstanceLive) return;
    const NPP npp = Instance;
    TCallGuard guard(*this);
    SetPluginWindow();
    if (StillFor(npp)) ForceUpdate();
}

}  // namespace vd
