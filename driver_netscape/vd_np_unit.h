// What the Netscape driver's files share inside the library: the process-wide state of the
// unit (the library, its tables) and the browser-side functions the driver calls itself.
#pragma once

#include "vd_driver_netscape.h"
#include "vd_np_download.h"
#include "vd_win32_owners.h"

#include <memory>

namespace vd::np {

// The newest NPAPI plugin table holds six entries after setvalue (focus, redirects, site
// data, compositing); a plugin built for it may fill them all, so it gets that much room, and
// the size field says so, as browsers set it.
struct TPluginFuncsArea {
    NPPluginFuncs Funcs;
    void* Later[NPPluginFuncsLaterEntries];
};
static_assert(sizeof(TPluginFuncsArea) ==
              4 + (NPPluginFuncsEntries + NPPluginFuncsLaterEntries) * sizeof(void*) + (sizeof(void*) == 8 ? 4 : 0));
// The browser table handed to the plugin lies in room as large as the newest NPAPI browser
// table: a plugin built for that one may read all of it and finds null beyond what is there.
// The size and version fields promise only the entries implemented.
struct TBrowserFuncsArea {
    NPNetscapeFuncs Funcs;
    void* Later[NPNetscapeFuncsLaterEntries];
};

struct TUnit {
    int InitCount = 0;
    // urlmon for the downloads of "http:" movies: loaded by the first start-up, freed by the
    // last shut-down once no download object is left.
    std::unique_ptr<win32::TUrlmon> Urlmon;
    WideString PluginPath;
    win32::TModule PluginLibrary;
    NP_GetEntryPointsFunc GetEntryPoints = nullptr;
    NP_InitializeFunc Initialize = nullptr;
    NP_ShutdownFunc Shutdown = nullptr;
    Flash_DisableLocalSecurityFunc DisableLocalSecurity = nullptr;
    TPluginFuncsArea PluginFuncs{};
    TBrowserFuncsArea Browser{};
    TNetscapePluginState State = TNetscapePluginState::NotStarted;
};
TUnit& Unit();
inline const NPPluginFuncs& Plugin() { return Unit().PluginFuncs.Funcs; }

// The browser-side table (vd_np_browser.cpp).
NPNetscapeFuncs MakeBrowserFuncs();

// The host allocator: every block handed between host and plugin.
void* VD_NP_CDECL HostMemAlloc(uint32_t size);
void VD_NP_CDECL HostMemFree(void* block);
void VD_NP_CDECL HostReleaseVariantValue(NPVariant* variant);
NPObject* VD_NP_CDECL HostRetainObject(NPObject* object);
void VD_NP_CDECL HostReleaseObject(NPObject* object);

// Variants the host makes: texts are copies from the host allocator (the receiver releases them).
NPVariant StringVariant(std::string_view utf8);
NPVariant BorrowedString(const std::string& utf8);  // text stays the caller's (arguments)
NPVariant IntVariant(int32_t value);
NPVariant BoolVariant(bool value);
std::string VariantString(const NPVariant& v);  // "" unless a String

// Scripting bridge entries of the table (vd_np_script.cpp).
NPError HostGetWindowObject(void* value);
bool VD_NP_CDECL HostInvoke(NPP npp, NPObject* obj, NPIdentifier method, const NPVariant* args, uint32_t argCount,
                            NPVariant* result);
bool VD_NP_CDECL HostEvaluate(NPP npp, NPObject* obj, NPString* script, NPVariant* result);
bool VD_NP_CDECL HostGetProperty(NPP npp, NPObject* obj, NPIdentifier property, NPVariant* result);
// On the host's page objects these answer false; any other object answers through its own class.
bool VD_NP_CDECL HostInvokeDefault(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount, NPVariant* result);
bool VD_NP_CDECL HostSetProperty(NPP npp, NPObject* obj, NPIdentifier property, const NPVariant* value);
bool VD_NP_CDECL HostRemoveProperty(NPP npp, NPObject* obj, NPIdentifier property);
bool VD_NP_CDECL HostHasProperty(NPP npp, NPObject* obj, NPIdentifier property);
bool VD_NP_CDECL HostHasMethod(NPP npp, NPObject* obj, NPIdentifier method);
// An object of the class, made by its allocate, or a plain object from the host allocator
// when the class has none (freed when its last reference goes).
NPObject* VD_NP_CDECL HostCreateObject(NPP npp, NPClass* cls);

// The driver an instance belongs to.
inline TvdFlashDriverNS* DriverOf(NPP npp) { return npp ? static_cast<TvdFlashDriverNS*>(npp->ndata) : nullptr; }

// How handing data to a stream went (WriteStream).
enum class TWriteOutcome {
    Written,  // all of it taken
    Refused,  // the plugin answered a negative count: the stream is to end (NPRES_USER_BREAK)
    Stalled,  // the plugin kept answering that it can take nothing: likewise
    Gone,     // the driver was freed or the instance let go meanwhile: the teardown ends it
};
// Hands `size` bytes at `offset` to the plugin's stream, as much at a time as NPP_WriteReady
// says it can take.
TWriteOutcome WriteStream(TvdFlashDriverNS& driver, NPP npp, NPStream& stream, const uint8_t* data, size_t size,
                          size_t offset);

// One "http:" request of the plugin (vd_np_streams.cpp): the stream the plugin sees, at a fixed
// address while the download lives, written as the download brings the data and ended once.
class TPluginDownload final : public IvdDownloadSink {
public:
    TPluginDownload(TvdFlashDriverNS& driver, NPP npp, std::string url, void* notifyData);
    // Opens the plugin's stream, then the download; false when the download cannot start.
    bool Start(const WideString& address);
    // Nothing of the download reaches the plugin after this but the end of its stream.
    void Detach();
    // The plugin hears of the end once: the end of its stream, then the notification.
    void End(NPReason reason);

    void DownloadData(const uint8_t* data, size_t size, size_t offset) override;
    void DownloadDone(bool ok) override;

private:
    TvdFlashDriverNS& driver_;
    NPP npp_;  // the instance that asked: the stream is its own, whatever becomes current
    std::string url_;
    NPStream stream_{};
    bool opened_ = false;
    bool ended_ = false;
    bool cut_ = false;
    win32::ComPtr<TvdDownload> handle_;
};

// Hands an exception caught at the plugin boundary to the application.
void ReportBoundaryException();

}  // namespace vd::np
