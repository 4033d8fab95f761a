// The browser-side table handed to the plugin: the functions that do work (URL requests,
// painting, memory, identifiers, the scripting bridge) and the stubs, in NPAPI order. Nothing
// the plugin calls lets an exception out.
#include "vd_np_unit.h"
#include "vd_npscript.h"

#include <cstdlib>
#include <cstring>

#include "vd_forms.h"
#include "vd_winstr.h"

namespace vd::np {

namespace {

int hostBlocks = 0;

const char kUserAgent[] = "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.8.0.3) Gecko/20060426 Vidora/4";

NPError VD_NP_CDECL GetURL(NPP, const char*, const char*) { return NPERR_NO_ERROR; }
// The host sends nothing anywhere: a post is refused, not reported done.
NPError VD_NP_CDECL PostURL(NPP, const char*, const char*, uint32_t, const char*, NPBool) {
    return NPERR_GENERIC_ERROR;
}
NPError VD_NP_CDECL RequestRead(NPStream*, void*) { return NPERR_NO_ERROR; }
NPError VD_NP_CDECL NewStream(NPP, NPMIMEType, const char*, NPStream**) { return NPERR_NO_ERROR; }
int32_t VD_NP_CDECL Write(NPP, NPStream*, int32_t, void*) { return 0; }
NPError VD_NP_CDECL DestroyStream(NPP, NPStream*, NPReason) { return NPERR_NO_ERROR; }
void VD_NP_CDECL Status(NPP, const char*) {}
const char* VD_NP_CDECL UserAgent(NPP) { return kUserAgent; }
uint32_t VD_NP_CDECL MemFlush(uint32_t) { return 0; }
void VD_NP_CDECL ReloadPlugins(NPBool) {}
void* VD_NP_CDECL GetJavaEnv() { return nullptr; }
void* VD_NP_CDECL GetJavaPeer(NPP) { return nullptr; }

// A request this host cannot serve still ends: the plugin hears that it failed.
void RequestFailed(TvdFlashDriverNS& driver, const char* url, void* notifyData) {
    if (!Plugin().urlnotify || !driver.Instance) return;
    const TvdFlashDriver::TCallGuard guard(driver, TvdFlashDriver::TCallKind::Player);
    Plugin().urlnotify(driver.Instance, url ? url : "", NPRES_NETWORK_ERR, notifyData);
}

NPError VD_NP_CDECL GetURLNotify(NPP npp, const char* url, const char* target, void* notifyData) {
    try {
        const WideString text = AnsiToWide(url ? url : "");
        if (IsScriptUrl(text)) return NPERR_INVALID_URL;
        TvdFlashDriverNS* driver = DriverOf(npp);
        if (!driver || driver->Detached()) return NPERR_NO_ERROR;
        const TvdFlashDriver::TCallGuard guard(*driver, TvdFlashDriver::TCallKind::FromPlayer);
        // There is no page to show a target in.
        if (target) RequestFailed(*driver, url, notifyData);
        else driver->CreateStream(text, notifyData);
    } catch (...) {
        ReportBoundaryException();
    }
    return NPERR_NO_ERROR;
}

NPError VD_NP_CDECL PostURLNotify(NPP npp, const char* url, const char*, uint32_t, const char*, NPBool,
                                  void* notifyData) {
    try {
        // Nothing is posted anywhere; the plugin is told so instead of waiting for ever.
        TvdFlashDriverNS* driver = DriverOf(npp);
        if (!driver || driver->Detached()) return NPERR_NO_ERROR;
        const TvdFlashDriver::TCallGuard guard(*driver, TvdFlashDriver::TCallKind::FromPlayer);
        RequestFailed(*driver, url, notifyData);
    } catch (...) {
        ReportBoundaryException();
    }
    return NPERR_NO_ERROR;
}

// A variable the host does not answer is an error, and its output stays as it was.
NPError VD_NP_CDECL GetValue(NPP, NPNVariable variable, void* value) {
    if (!value) return NPERR_GENERIC_ERROR;
    switch (variable) {
        case NPNVnetscapeWindow:
            *static_cast<HWND*>(value) = nullptr;  // the host offers no window of its own
            break;
        case NPNVjavascriptEnabledBool:
        case NPNVSupportsWindowless:
            *static_cast<NPBool*>(value) = 1;
            break;
        case NPNVWindowNPObject:
            return HostGetWindowObject(value);
        default:
            return NPERR_GENERIC_ERROR;
    }
    return NPERR_NO_ERROR;
}

// What the host does with a plugin's wishes: a windowless instance is what it runs (a wish for
// a window cannot be met), and it composes transparent and opaque drawing alike. Anything else
// does nothing and is answered so.
NPError VD_NP_CDECL SetValue(NPP, NPPVariable variable, void* value) {
    switch (variable) {
        case NPPVpluginWindowBool:
            return value == nullptr ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
        case NPPVpluginTransparentBool:
            return NPERR_NO_ERROR;
        default:
            return NPERR_GENERIC_ERROR;
    }
}

void VD_NP_CDECL InvalidateRect(NPP npp, NPRect* rect) {
    try {
        TvdFlashDriverNS* driver = DriverOf(npp);
        if (!driver || driver->Detached() || !rect || npp != driver->Instance) return;
        const TvdFlashDriver::TCallGuard guard(*driver, TvdFlashDriver::TCallKind::FromPlayer);
        NPRect area = *rect;  // clamped in our copy: the plugin's record stays as it gave it
        driver->PaintRect(area);
    } catch (...) {
        ReportBoundaryException();
    }
}

void VD_NP_CDECL InvalidateRegion(NPP, void*) {}
void VD_NP_CDECL ForceRedraw(NPP) {}

NPIdentifier VD_NP_CDECL GetStringIdentifier(const char* name) {
    try {
        return name ? const_cast<char*>(InternIdentifier(name)) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void VD_NP_CDECL GetStringIdentifiers(const char** names, int32_t count, NPIdentifier* identifiers) {
    if (!names || !identifiers) return;
    for (int32_t i = 0; i < count; ++i) identifiers[i] = GetStringIdentifier(names[i]);
}

NPIdentifier VD_NP_CDECL GetIntIdentifier(int32_t value) {
    try {
        return const_cast<void*>(InternIntIdentifier(value));
    } catch (...) {
        return nullptr;
    }
}

bool VD_NP_CDECL IdentifierIsString(NPIdentifier identifier) {
    int32_t value = 0;
    return identifier && !IntIdentifierValue(identifier, value);
}

// An integer identifier has no text (NPAPI answers null for it).
char* VD_NP_CDECL UTF8FromIdentifier(NPIdentifier identifier) {
    if (!IdentifierIsString(identifier)) return nullptr;
    const char* name = static_cast<const char*>(identifier);
    const size_t n = std::strlen(name) + 1;
    auto* copy = static_cast<char*>(HostMemAlloc(static_cast<uint32_t>(n)));
    if (copy) std::memcpy(copy, name, n);
    return copy;
}

int32_t VD_NP_CDECL IntFromIdentifier(NPIdentifier identifier) {
    int32_t value = 0;
    return IntIdentifierValue(identifier, value) ? value : 0;
}

void VD_NP_CDECL SetException(NPObject*, const char*) {}
void VD_NP_CDECL PushPopupsEnabledState(NPP, NPBool) {}
void VD_NP_CDECL PopPopupsEnabledState(NPP) {}

}  // namespace

void* VD_NP_CDECL HostMemAlloc(uint32_t size) {
    void* block = std::calloc(1, size ? size : 1);
    if (block) ++hostBlocks;
    return block;
}

void VD_NP_CDECL HostMemFree(void* block) {
    if (!block) return;
    --hostBlocks;
    std::free(block);
}

void VD_NP_CDECL HostReleaseVariantValue(NPVariant* variant) {
    if (!variant) return;
    if (variant->type == NPVariantType_String)
        HostMemFree(const_cast<char*>(variant->value.stringValue.UTF8Characters));
    else if (variant->type == NPVariantType_Object) HostReleaseObject(variant->value.objectValue);
    variant->type = NPVariantType_Void;
    variant->value.objectValue = nullptr;
}

NPNetscapeFuncs MakeBrowserFuncs() {
    NPNetscapeFuncs t{};
    t.size = NPNetscapeFuncsSize;
    t.version = NPNetscapeFuncsVersion;
    t.geturl = GetURL;
    t.posturl = PostURL;
    t.requestread = RequestRead;
    t.newstream = NewStream;
    t.write = Write;
    t.destroystream = DestroyStream;
    t.status = Status;
    t.uagent = UserAgent;
    t.memalloc = HostMemAlloc;
    t.memfree = HostMemFree;
    t.memflush = MemFlush;
    t.reloadplugins = ReloadPlugins;
    t.getJavaEnv = GetJavaEnv;
    t.getJavaPeer = GetJavaPeer;
    t.geturlnotify = GetURLNotify;
    t.posturlnotify = PostURLNotify;
    t.getvalue = GetValue;
    t.setvalue = SetValue;
    t.invalidaterect = InvalidateRect;
    t.invalidateregion = InvalidateRegion;
    t.forceredraw = ForceRedraw;
    t.getstringidentifier = GetStringIdentifier;
    t.getstringidentifiers = GetStringIdentifiers;
    t.getintidentifier = GetIntIdentifier;
    t.identifierisstring = IdentifierIsString;
    t.utf8fromidentifier = UTF8FromIdentifier;
    t.intfromidentifier = IntFromIdentifier;
    t.createobject = HostCreateObject;
    t.retainobject = HostRetainObject;
    t.releaseobject = HostReleaseObject;
    t.invoke = HostInvoke;
    t.invokeDefault = HostInvokeDefault;
    t.evaluate = HostEvaluate;
    t.getproperty = HostGetProperty;
    t.setproperty = HostSetProperty;
    t.removeproperty = HostRemoveProperty;
    t.hasproperty = HostHasProperty;
    t.hasmethod = HostHasMethod;
    t.releasevariantvalue = HostReleaseVariantValue;
    t.setexception = SetException;
    t.pushpopupsenabledstate = PushPopupsEnabledState;
    t.poppopupsenabledstate = PopPopupsEnabledState;
    return t;
}

void ReportBoundaryException() {
    try {
        Application().HandleException(nullptr);
    } catch (...) {}
}

}  // namespace vd::np

int vd::NetscapeHostBlocks() { return vd::np::hostBlocks; }
