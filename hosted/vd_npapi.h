// The NPAPI surface between the Netscape driver (browser role) and a Flash Player plugin
// library: our own declarations of the public NPAPI records, function types and constants.
// Platform-free (no <windows.h>): the reference player's engine tests include it natively.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vd::np {

#if defined(_WIN32) && !defined(_WIN64)
#define VD_NP_WINAPI __stdcall
#define VD_NP_CDECL __cdecl
#else
#define VD_NP_WINAPI
#define VD_NP_CDECL
#endif

using NPError = int16_t;
using NPBool = uint8_t;
using NPReason = int16_t;
using NPMIMEType = char*;
using NPIdentifier = void*;

// Results and modes used by the host and the plugin.
constexpr NPError NPERR_NO_ERROR = 0;
constexpr NPError NPERR_GENERIC_ERROR = 1;
constexpr NPError NPERR_INVALID_INSTANCE_ERROR = 2;
constexpr NPError NPERR_INVALID_FUNCTABLE_ERROR = 3;
constexpr NPError NPERR_INCOMPATIBLE_VERSION_ERROR = 8;
constexpr NPError NPERR_INVALID_URL = 10;
constexpr uint16_t NP_EMBED = 1;
constexpr uint16_t NP_FULL = 2;
constexpr uint16_t NP_NORMAL = 1;
constexpr NPReason NPRES_DONE = 0;
constexpr NPReason NPRES_NETWORK_ERR = 1;
constexpr NPReason NPRES_USER_BREAK = 2;

// Plugin variables (NPP_GetValue) and browser variables (NPN_GetValue).
enum NPPVariable : int32_t {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString = 2,
    NPPVpluginWindowBool = 3,
    NPPVpluginTransparentBool = 4,
    NPPVpluginScriptableNPObject = 15,
};
enum NPNVariable : int32_t {
    NPNVxDisplay = 1,
    NPNVxtAppContext = 2,
    NPNVnetscapeWindow = 3,
    NPNVjavascriptEnabledBool = 4,
    NPNVasdEnabledBool = 5,
    NPNVisOfflineBool = 6,
    NPNVWindowNPObject = 15,
    NPNVPluginElementNPObject = 16,
    NPNVSupportsWindowless = 17,
};

struct NPP_t {
    void* pdata;  // the plugin's; non-null while the instance exists
    void* ndata;  // the host's: the driver that owns the instance
};
using NPP = NPP_t*;

struct NPStream {
    void* pdata;
    void* ndata;
    const char* url;
    uint32_t end;
    uint32_t lastmodified;
    void* notifyData;
    const char* headers;
};

struct NPSavedData {
    int32_t len;
    void* buf;
};

struct NPRect {
    uint16_t top;
    uint16_t left;
    uint16_t bottom;
    uint16_t right;
};

enum NPWindowType : int32_t {
    NPWindowTypeWindow = 1,
    NPWindowTypeDrawable = 2,
};

struct NPWindow {
    void* window;  // HWND for NPWindowTypeWindow, HDC for NPWindowTypeDrawable
    int32_t x;
    int32_t y;
    uint32_t width;
    uint32_t height;
    NPRect clipRect;
    NPWindowType type;
};

// The Windows event record handed to NPP_HandleEvent: a window message.
struct NPEvent {
    uint16_t event;
    uintptr_t wParam;
    uintptr_t lParam;
};

// ---- NPRuntime ------------------------------------------------------------------------------

struct NPString {
    const char* UTF8Characters;  // not zero-terminated
    uint32_t UTF8Length;         // bytes
};

struct NPObject;

enum NPVariantType : int32_t {
    NPVariantType_Void = 0,
    NPVariantType_Null = 1,
    NPVariantType_Bool = 2,
    NPVariantType_Int32 = 3,
    NPVariantType_Double = 4,
    NPVariantType_String = 5,
    NPVariantType_Object = 6,
};

struct NPVariant {
    NPVariantType type;
    union {
        bool boolValue;
        int32_t intValue;
        double doubleValue;
        NPString stringValue;
        NPObject* objectValue;
    } value;
};

using NPAllocateFunctionPtr = NPObject*(VD_NP_CDECL*)(NPP npp, struct NPClass* aClass);
using NPDeallocateFunctionPtr = void(VD_NP_CDECL*)(NPObject* npobj);
using NPInvalidateFunctionPtr = void(VD_NP_CDECL*)(NPObject* npobj);
using NPHasMethodFunctionPtr = bool(VD_NP_CDECL*)(NPObject* npobj, NPIdentifier name);
using NPInvokeFunctionPtr = bool(VD_NP_CDECL*)(NPObject* npobj, NPIdentifier name, const NPVariant* args,
                                               uint32_t argCount, NPVariant* result);
using NPInvokeDefaultFunctionPtr = bool(VD_NP_CDECL*)(NPObject* npobj, const NPVariant* args, uint32_t argCount,
                                                      NPVariant* result);
using NPHasPropertyFunctionPtr = bool(VD_NP_CDECL*)(NPObject* npobj, NPIdentifier name);
using NPGetPropertyFunctionPtr = bool(VD_NP_CDECL*)(NPObject* npobj, NPIdentifier name, NPVariant* result);
using NPSetPropertyFunctionPtr = bool(VD_NP_CDECL*)(NPObject* npobj, NPIdentifier name, const NPVariant* value);
using NPRemovePropertyFunctionPtr = bool(VD_NP_CDECL*)(NPObject* npobj, NPIdentifier name);

struct NPClass {
    uint32_t structVersion;
    NPAllocateFunctionPtr allocate;
    NPDeallocateFunctionPtr deallocate;
    NPInvalidateFunctionPtr invalidate;
    NPHasMethodFunctionPtr hasMethod;
    NPInvokeFunctionPtr invoke;
    NPInvokeDefaultFunctionPtr invokeDefault;
    NPHasPropertyFunctionPtr hasProperty;
    NPGetPropertyFunctionPtr getProperty;
    NPSetPropertyFunctionPtr setProperty;
    NPRemovePropertyFunctionPtr removeProperty;
};

struct NPObject {
    NPClass* _class;
    uint32_t referenceCount;
};

// ---- Plugin side: the table NP_GetEntryPoints fills ---------------------------------------

using NPP_NewProcPtr = NPError(VD_NP_CDECL*)(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc,
                                             char* argn[], char* argv[], NPSavedData* saved);
using NPP_DestroyProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPSavedData** save);
using NPP_SetWindowProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPWindow* window);
using NPP_NewStreamProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                                                   uint16_t* stype);
using NPP_DestroyStreamProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPStream* stream, NPReason reason);
using NPP_StreamAsFileProcPtr = void(VD_NP_CDECL*)(NPP instance, NPStream* stream, const char* fname);
using NPP_WriteReadyProcPtr = int32_t(VD_NP_CDECL*)(NPP instance, NPStream* stream);
using NPP_WriteProcPtr = int32_t(VD_NP_CDECL*)(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                                               void* buffer);
using NPP_PrintProcPtr = void(VD_NP_CDECL*)(NPP instance, void* platformPrint);
using NPP_HandleEventProcPtr = int16_t(VD_NP_CDECL*)(NPP instance, void* event);
using NPP_URLNotifyProcPtr = void(VD_NP_CDECL*)(NPP instance, const char* url, NPReason reason, void* notifyData);
using NPP_GetValueProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPPVariable variable, void* value);
using NPP_SetValueProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPNVariable variable, void* value);

struct NPPluginFuncs {
    uint16_t size;
    uint16_t version;
    NPP_NewProcPtr newp;
    NPP_DestroyProcPtr destroy;
    NPP_SetWindowProcPtr setwindow;
    NPP_NewStreamProcPtr newstream;
    NPP_DestroyStreamProcPtr destroystream;
    NPP_StreamAsFileProcPtr asfile;
    NPP_WriteReadyProcPtr writeready;
    NPP_WriteProcPtr write;
    NPP_PrintProcPtr print;
    NPP_HandleEventProcPtr event;
    NPP_URLNotifyProcPtr urlnotify;
    void* javaClass;
    NPP_GetValueProcPtr getvalue;
    NPP_SetValueProcPtr setvalue;
};

// ---- Browser side: the table handed to NP_Initialize, in NPAPI order -----------------------

using NPN_GetURLProcPtr = NPError(VD_NP_CDECL*)(NPP instance, const char* url, const char* window);
using NPN_PostURLProcPtr = NPError(VD_NP_CDECL*)(NPP instance, const char* url, const char* window, uint32_t len,
                                                 const char* buf, NPBool file);
using NPN_RequestReadProcPtr = NPError(VD_NP_CDECL*)(NPStream* stream, void* rangeList);
using NPN_NewStreamProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPMIMEType type, const char* window,
                                                   NPStream** stream);
using NPN_WriteProcPtr = int32_t(VD_NP_CDECL*)(NPP instance, NPStream* stream, int32_t len, void* buffer);
using NPN_DestroyStreamProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPStream* stream, NPReason reason);
using NPN_StatusProcPtr = void(VD_NP_CDECL*)(NPP instance, const char* message);
using NPN_UserAgentProcPtr = const char*(VD_NP_CDECL*)(NPP instance);
using NPN_MemAllocProcPtr = void*(VD_NP_CDECL*)(uint32_t size);
using NPN_MemFreeProcPtr = void(VD_NP_CDECL*)(void* ptr);
using NPN_MemFlushProcPtr = uint32_t(VD_NP_CDECL*)(uint32_t size);
using NPN_ReloadPluginsProcPtr = void(VD_NP_CDECL*)(NPBool reloadPages);
using NPN_GetJavaEnvProcPtr = void*(VD_NP_CDECL*)();
using NPN_GetJavaPeerProcPtr = void*(VD_NP_CDECL*)(NPP instance);
using NPN_GetURLNotifyProcPtr = NPError(VD_NP_CDECL*)(NPP instance, const char* url, const char* target,
                                                      void* notifyData);
using NPN_PostURLNotifyProcPtr = NPError(VD_NP_CDECL*)(NPP instance, const char* url, const char* target, uint32_t len,
                                                       const char* buf, NPBool file, void* notifyData);
using NPN_GetValueProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPNVariable variable, void* value);
using NPN_SetValueProcPtr = NPError(VD_NP_CDECL*)(NPP instance, NPPVariable variable, void* value);
using NPN_InvalidateRectProcPtr = void(VD_NP_CDECL*)(NPP instance, NPRect* rect);
using NPN_InvalidateRegionProcPtr = void(VD_NP_CDECL*)(NPP instance, void* region);
using NPN_ForceRedrawProcPtr = void(VD_NP_CDECL*)(NPP instance);
using NPN_GetStringIdentifierProcPtr = NPIdentifier(VD_NP_CDECL*)(const char* name);
using NPN_GetStringIdentifiersProcPtr = void(VD_NP_CDECL*)(const char** names, int32_t nameCount,
                                                           NPIdentifier* identifiers);
using NPN_GetIntIdentifierProcPtr = NPIdentifier(VD_NP_CDECL*)(int32_t intid);
using NPN_IdentifierIsStringProcPtr = bool(VD_NP_CDECL*)(NPIdentifier identifier);
using NPN_UTF8FromIdentifierProcPtr = char*(VD_NP_CDECL*)(NPIdentifier identifier);
using NPN_IntFromIdentifierProcPtr = int32_t(VD_NP_CDECL*)(NPIdentifier identifier);
using NPN_CreateObjectProcPtr = NPObject*(VD_NP_CDECL*)(NPP npp, NPClass* aClass);
using NPN_RetainObjectProcPtr = NPObject*(VD_NP_CDECL*)(NPObject* obj);
using NPN_ReleaseObjectProcPtr = void(VD_NP_CDECL*)(NPObject* obj);
using NPN_InvokeProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, NPIdentifier methodName, const NPVariant* args,
                                             uint32_t argCount, NPVariant* result);
using NPN_InvokeDefaultProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                                                    NPVariant* result);
using NPN_EvaluateProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, NPString* script, NPVariant* result);
using NPN_GetPropertyProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, NPIdentifier propertyName, NPVariant* result);
using NPN_SetPropertyProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, NPIdentifier propertyName,
                                                  const NPVariant* value);
using NPN_RemovePropertyProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, NPIdentifier propertyName);
using NPN_HasPropertyProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, NPIdentifier propertyName);
using NPN_HasMethodProcPtr = bool(VD_NP_CDECL*)(NPP npp, NPObject* obj, NPIdentifier methodName);
using NPN_ReleaseVariantValueProcPtr = void(VD_NP_CDECL*)(NPVariant* variant);
using NPN_SetExceptionProcPtr = void(VD_NP_CDECL*)(NPObject* obj, const char* message);
using NPN_PushPopupsEnabledStateProcPtr = void(VD_NP_CDECL*)(NPP npp, NPBool enabled);
using NPN_PopPopupsEnabledStateProcPtr = void(VD_NP_CDECL*)(NPP npp);

struct NPNetscapeFuncs {
    uint16_t size;
    uint16_t version;
    NPN_GetURLProcPtr geturl;                                  // 1
    NPN_PostURLProcPtr posturl;                                // 2
    NPN_RequestReadProcPtr requestread;                        // 3
    NPN_NewStreamProcPtr newstream;                            // 4
    NPN_WriteProcPtr write;                                    // 5
    NPN_DestroyStreamProcPtr destroystream;                    // 6
    NPN_StatusProcPtr status;                                  // 7
    NPN_UserAgentProcPtr uagent;                               // 8
    NPN_MemAllocProcPtr memalloc;                              // 9
    NPN_MemFreeProcPtr memfree;                                // 10
    NPN_MemFlushProcPtr memflush;                              // 11
    NPN_ReloadPluginsProcPtr reloadplugins;                    // 12
    NPN_GetJavaEnvProcPtr getJavaEnv;                          // 13
    NPN_GetJavaPeerProcPtr getJavaPeer;                        // 14
    NPN_GetURLNotifyProcPtr geturlnotify;                      // 15
    NPN_PostURLNotifyProcPtr posturlnotify;                    // 16
    NPN_GetValueProcPtr getvalue;                              // 17
    NPN_SetValueProcPtr setvalue;                              // 18
    NPN_InvalidateRectProcPtr invalidaterect;                  // 19
    NPN_InvalidateRegionProcPtr invalidateregion;              // 20
    NPN_ForceRedrawProcPtr forceredraw;                        // 21
    NPN_GetStringIdentifierProcPtr getstringidentifier;        // 22
    NPN_GetStringIdentifiersProcPtr getstringidentifiers;      // 23
    NPN_GetIntIdentifierProcPtr getintidentifier;              // 24
    NPN_IdentifierIsStringProcPtr identifierisstring;          // 25
    NPN_UTF8FromIdentifierProcPtr utf8fromidentifier;          // 26
    NPN_IntFromIdentifierProcPtr intfromidentifier;            // 27
    NPN_CreateObjectProcPtr createobject;                      // 28
    NPN_RetainObjectProcPtr retainobject;                      // 29
    NPN_ReleaseObjectProcPtr releaseobject;                    // 30
    NPN_InvokeProcPtr invoke;                                  // 31
    NPN_InvokeDefaultProcPtr invokeDefault;                    // 32
    NPN_EvaluateProcPtr evaluate;                              // 33
    NPN_GetPropertyProcPtr getproperty;                        // 34
    NPN_SetPropertyProcPtr setproperty;                        // 35
    NPN_RemovePropertyProcPtr removeproperty;                  // 36
    NPN_HasPropertyProcPtr hasproperty;                        // 37
    NPN_HasMethodProcPtr hasmethod;                            // 38
    NPN_ReleaseVariantValueProcPtr releasevariantvalue;        // 39
    NPN_SetExceptionProcPtr setexception;                      // 40
    NPN_PushPopupsEnabledStateProcPtr pushpopupsenabledstate;  // 41
    NPN_PopPopupsEnabledStateProcPtr poppopupsenabledstate;    // 42
};

// The size fields: two 16-bit words, then the entries, rounded to the record's alignment.
// The host writes NPNetscapeFuncsSize, never a literal.
constexpr std::size_t NPPluginFuncsEntries = 14;
constexpr std::size_t NPNetscapeFuncsEntries = 42;
constexpr uint16_t NPNetscapeFuncsSize = static_cast<uint16_t>(sizeof(NPNetscapeFuncs));
constexpr uint16_t NPPluginFuncsSize = static_cast<uint16_t>(sizeof(NPPluginFuncs));
// The NPAPI version the host speaks, in both tables' version fields (major 0, minor 17): the
// browser table's 42 entries end with the popup state (16), and streams carry their headers
// (17); object enumeration (18) and everything later is not there.
constexpr uint16_t NPNetscapeFuncsVersion = 17;
// Entries the newest NPAPI tables hold after the ones above: a plugin built for them may read
// (browser table) or fill (plugin table) that much more.
constexpr std::size_t NPNetscapeFuncsLaterEntries = 16;
constexpr std::size_t NPPluginFuncsLaterEntries = 6;

static_assert(sizeof(NPPluginFuncs) == (sizeof(void*) == 4 ? 60 : 8 + NPPluginFuncsEntries * sizeof(void*)));
static_assert(sizeof(NPNetscapeFuncs) == (sizeof(void*) == 4 ? 172 : 8 + NPNetscapeFuncsEntries * sizeof(void*)));
static_assert(offsetof(NPNetscapeFuncs, poppopupsenabledstate) ==
              4 + (NPNetscapeFuncsEntries - 1) * sizeof(void*) + (sizeof(void*) == 8 ? 4 : 0));
static_assert(sizeof(NPRect) == 8);
static_assert(sizeof(NPString) == (sizeof(void*) == 4 ? 8 : 16));
// The value union holds a double, 8-byte aligned in 32-bit Windows records as well.
static_assert(sizeof(NPVariant) == (sizeof(void*) == 4 ? 16 : 24));

// The plugin library's exports (Windows API convention) and the optional extra one.
using NP_GetEntryPointsFunc = NPError(VD_NP_WINAPI*)(NPPluginFuncs* pFuncs);
using NP_InitializeFunc = NPError(VD_NP_WINAPI*)(NPNetscapeFuncs* bFuncs);
using NP_ShutdownFunc = NPError(VD_NP_WINAPI*)();
using Flash_DisableLocalSecurityFunc = void(VD_NP_CDECL*)();

inline NPString MakeNPString(const char* text, uint32_t length) { return NPString{text, length}; }

}  // namespace vd::np
