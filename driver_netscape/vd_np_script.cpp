// The scripting bridge: the host's page objects and variants, the movie's FSCommands and
// external calls (NPN_Invoke, NPN_Evaluate), and the driver's calls into the movie.
#include "vd_np_unit.h"
#include "vd_npscript.h"

#include <cstring>
#include <unordered_set>

namespace vd::np {

namespace {

// The host's page: a window with "location" and "top", and top's "location". Their class
// answers nothing itself: the plugin reaches them through the browser-side functions.
bool VD_NP_CDECL NoMethod(NPObject*, NPIdentifier) { return false; }
bool VD_NP_CDECL NoInvoke(NPObject*, NPIdentifier, const NPVariant*, uint32_t, NPVariant*) { return false; }
bool VD_NP_CDECL NoInvokeDefault(NPObject*, const NPVariant*, uint32_t, NPVariant*) { return false; }
bool VD_NP_CDECL NoGet(NPObject*, NPIdentifier, NPVariant*) { return false; }
bool VD_NP_CDECL NoSet(NPObject*, NPIdentifier, const NPVariant*) { return false; }

NPClass hostClass = {1,        nullptr, nullptr, nullptr, NoMethod, NoInvoke, NoInvokeDefault,
                     NoMethod, NoGet,   NoSet,   NoMethod};
NPObject windowObject{}, windowLocation{}, topObject{}, topLocation{};

bool IsStatic(const NPObject* o) {
    return o == &windowObject || o == &windowLocation || o == &topObject || o == &topLocation;
}

NPObject* HandOut(NPObject& o) {
    o._class = &hostClass;
    o.referenceCount = 1;
    return &o;
}

// The text of a name identifier; an integer identifier names none of the page's members.
std::string Name(NPIdentifier id) {
    int32_t value = 0;
    if (!id || IntIdentifierValue(id, value)) return {};
    return static_cast<const char*>(id);
}

// An object of the plugin's (or any not the host's own page): it answers through its class.
const NPClass* ForeignClass(const NPObject* o) { return o && !IsStatic(o) ? o->_class : nullptr; }

// Plain objects made by NPN_CreateObject for a class without allocate: the host's blocks.
std::unordered_set<NPObject*>& PlainObjects() {
    static auto* const set = new std::unordered_set<NPObject*>();
    return *set;
}

void SetObject(NPVariant* result, NPObject* o) {
    result->type = NPVariantType_Object;
    result->value.objectValue = o;
}

}  // namespace

NPVariant StringVariant(std::string_view utf8) {
    NPVariant v{};
    auto* text = static_cast<char*>(HostMemAlloc(static_cast<uint32_t>(utf8.size() + 1)));
    if (!text) {
        v.type = NPVariantType_Void;
        return v;
    }
    if (!utf8.empty()) std::memcpy(text, utf8.data(), utf8.size());
    v.type = NPVariantType_String;
    v.value.stringValue = NPString{text, static_cast<uint32_t>(utf8.size())};
    return v;
}

NPVariant BorrowedString(const std::string& utf8) {
    NPVariant v{};
    v.type = NPVariantType_String;
    v.value.stringValue = NPString{utf8.c_str(), static_cast<uint32_t>(utf8.size())};
    return v;
}

NPVariant IntVariant(int32_t value) {
    NPVariant v{};
    v.type = NPVariantType_Int32;
    v.value.intValue = value;
    return v;
}

NPVariant BoolVariant(bool value) {
    NPVariant v{};
    v.type = NPVariantType_Bool;
    v.value.boolValue = value;
    return v;
}

std::string VariantString(const NPVariant& v) {
    if (v.type != NPVariantType_String || !v.value.stringValue.UTF8Characters) return {};
    return std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
}

NPError HostGetWindowObject(void* value) {
    *static_cast<NPObject**>(value) = HandOut(windowObject);
    return NPERR_NO_ERROR;
}

NPObject* VD_NP_CDECL HostRetainObject(NPObject* object) {
    if (object) ++object->referenceCount;
    return object;
}

void VD_NP_CDECL HostReleaseObject(NPObject* object) {
    if (!object || object->referenceCount == 0) return;
    if (--object->referenceCount != 0 || IsStatic(object)) return;
    if (object->_class && object->_class->deallocate) {
        object->_class->deallocate(object);
    } else if (PlainObjects().erase(object)) {
        HostMemFree(object);
    } else if (object->_class && object->_class->invalidate) {
        object->_class->invalidate(object);
    }
}

NPObject* VD_NP_CDECL HostCreateObject(NPP npp, NPClass* cls) {
    if (!cls) return nullptr;
    NPObject* object = nullptr;
    try {
        if (cls->allocate) {
            object = cls->allocate(npp, cls);
        } else if ((object = static_cast<NPObject*>(HostMemAlloc(sizeof(NPObject))))) {
            PlainObjects().insert(object);
        }
    } catch (...) {
        HostMemFree(object);
        return nullptr;
    }
    if (!object) return nullptr;
    object->_class = cls;
    object->referenceCount = 1;
    return object;
}

bool VD_NP_CDECL HostInvoke(NPP npp, NPObject* obj, NPIdentifier method, const NPVariant* args, uint32_t argCount,
                            NPVariant* result) {
    if (!obj) return false;
    if (!IsStatic(obj)) {
        const NPClass* cls = ForeignClass(obj);
        return cls && cls->invoke && cls->invoke(obj, method, args, argCount, result);
    }
    try {
        if (Name(method) == "_DoFSCommand") {
            // The call has no value; the result says so before the handler runs.
            if (result) {
                result->type = NPVariantType_Void;
                result->value.objectValue = nullptr;
            }
            const std::string command = argCount > 0 && args ? VariantString(args[0]) : std::string();
            const std::string arguments = argCount > 1 && args ? VariantString(args[1]) : std::string();
            TvdFlashDriverNS* driver = DriverOf(npp);
            if (driver && !driver->Detached()) {
                const TvdFlashDriver::TCallGuard guard(*driver, TvdFlashDriver::TCallKind::FromPlayer);
                driver->DoFSCommand(Utf8ToWide(command), Utf8ToWide(arguments));
            }
        } else if (result) {
            // The page's own methods (location.toString and the like) answer an empty text.
            *result = StringVariant({});
        }
    } catch (...) {
        ReportBoundaryException();
    }
    return true;
}

bool VD_NP_CDECL HostEvaluate(NPP npp, NPObject*, NPString* script, NPVariant* result) {
    try {
        if (result) *result = StringVariant({});
        if (!script || !script->UTF8Characters) return true;
        const auto call = ParseExternalCall(std::string_view(script->UTF8Characters, script->UTF8Length));
        TvdFlashDriverNS* driver = DriverOf(npp);
        if (!call || !driver || driver->Detached()) return true;
        // The guard keeps the driver alive to read the answer, even when the handler freed it.
        const TvdFlashDriver::TCallGuard guard(*driver, TvdFlashDriver::TCallKind::FromPlayer);
        driver->ReturnValue.clear();
        driver->DoFlashCall(Utf8ToWide(ExternalCallRequest(*call)));
        if (result) {
            HostReleaseVariantValue(result);
            *result = StringVariant(WideToUtf8(driver->ReturnValue));
        }
    } catch (...) {
        ReportBoundaryException();
    }
    return true;
}

bool VD_NP_CDECL HostGetProperty(NPP, NPObject* obj, NPIdentifier property, NPVariant* result) {
    if (!obj) return false;
    if (!IsStatic(obj)) {
        const NPClass* cls = ForeignClass(obj);
        return cls && cls->getProperty && cls->getProperty(obj, property, result);
    }
    const std::string name = Name(property);
    if (obj == &windowObject || obj == &topObject) {
        NPObject* answer = nullptr;
        if (name == "location") answer = obj == &windowObject ? &windowLocation : &topLocation;
        else if (name == "top" && obj == &windowObject) answer = &topObject;
        if (!answer) return false;
        if (result) SetObject(result, HandOut(*answer));
        return true;
    }
    if (result) result->type = NPVariantType_Void;
    return false;
}

bool VD_NP_CDECL HostInvokeDefault(NPP, NPObject* obj, const NPVariant* args, uint32_t argCount, NPVariant* result) {
    const NPClass* cls = ForeignClass(obj);
    return cls && cls->invokeDefault && cls->invokeDefault(obj, args, argCount, result);
}

bool VD_NP_CDECL HostSetProperty(NPP, NPObject* obj, NPIdentifier property, const NPVariant* value) {
    const NPClass* cls = ForeignClass(obj);
    return cls && cls->setProperty && cls->setProperty(obj, property, value);
}

bool VD_NP_CDECL HostRemoveProperty(NPP, NPObject* obj, NPIdentifier property) {
    const NPClass* cls = ForeignClass(obj);
    return cls && cls->removeProperty && cls->removeProperty(obj, property);
}

bool VD_NP_CDECL HostHasProperty(NPP, NPObject* obj, NPIdentifier property) {
    const NPClass* cls = ForeignClass(obj);
    return cls && cls->hasProperty && cls->hasProperty(obj, property);
}

bool VD_NP_CDECL HostHasMethod(NPP, NPObject* obj, NPIdentifier method) {
    const NPClass* cls = ForeignClass(obj);
    return cls && cls->hasMethod && cls->hasMethod(obj, method);
}

}  // namespace vd::np

namespace vd {

using namespace np;

bool TvdFlashDriverNS::Invoke(const char* method, const NPVariant* args, uint32_t count, NPVariant& result) {
    result = NPVariant{};
    result.type = NPVariantType_Void;
    NPObject* object = ScriptObject;
    if (!PluginExists() || Detached() || !object || !object->_class || !object->_class->invoke) return false;
    // Held across the call: a handler running inside it may re-create the instance or free us.
    const TCallGuard guard(*this, TCallKind::Player);
    HostRetainObject(object);
    struct Hold {
        NPObject* o;
        ~Hold() { HostReleaseObject(o); }
    } hold{object};
    return object->_class->invoke(object, const_cast<char*>(InternIdentifier(method)), args, count, &result);
}

void TvdFlashDriverNS::Command(const char* method) {
    NPVariant result;
    Invoke(method, nullptr, 0, result);
    HostReleaseVariantValue(&result);
}

bool TvdFlashDriverNS::BoolQuery(const char* method) {
    NPVariant result;
    const bool ok = Invoke(method, nullptr, 0, result);
    // A plugin may answer with another type (a number): read as the Boolean it stands for.
    const bool value = ok && VariantToBool(result);
    HostReleaseVariantValue(&result);
    return value;
}

int TvdFlashDriverNS::IntQuery(const char* method) {
    NPVariant result;
    const bool ok = Invoke(method, nullptr, 0, result);
    // Plugins answer numbers as Double as often as Int32: read as the integer either way.
    const int value = ok ? VariantToInt(result) : 0;
    HostReleaseVariantValue(&result);
    return value;
}

WideString TvdFlashDriverNS::StringCall(const char* method, const WideString& argument) {
    const std::string text = WideToUtf8(argument);
    const NPVariant arg = BorrowedString(text);
    NPVariant result;
    const bool ok = Invoke(method, &arg, 1, result);
    const std::string answer = ok ? VariantString(result) : std::string();
    HostReleaseVariantValue(&result);
    return Utf8ToWide(answer);
}

WideString TvdFlashDriverNS::CallFunction(const WideString& Request) { return StringCall("CallFunction", Request); }
WideString TvdFlashDriverNS::GetVariable(const WideString& Name) { return StringCall("GetVariable", Name); }

void TvdFlashDriverNS::SetVariable(const WideString& Name, const WideString& Value) {
    const std::string name = WideToUtf8(Name), value = WideToUtf8(Value);
    const NPVariant args[2] = {BorrowedString(name), BorrowedString(value)};
    NPVariant result;
    const TCallGuard guard(*this);  // the retry below must find the driver still there
    try {
        Invoke("SetVariable", args, 2, result);
    } catch (...) {
        // One more try; a second failure is the caller's.
        Invoke("SetVariable", args, 2, result);
    }
    HostReleaseVariantValue(&result);
}

void TvdFlashDriverNS::Play() { Command("Play"); }
void TvdFlashDriverNS::StopPlay() { Command("StopPlay"); }
void TvdFlashDriverNS::Rewind() { Command("Rewind"); }
void TvdFlashDriverNS::Forward() { Command("Forward"); }
void TvdFlashDriverNS::Back() { Command("Back"); }
bool TvdFlashDriverNS::GetLoop() { return BoolQuery("GetLoop"); }
bool TvdFlashDriverNS::GetIsPlaying() { return BoolQuery("IsPlaying"); }
int TvdFlashDriverNS::GetCurrentFrame() { return IntQuery("CurrentFrame"); }
int TvdFlashDriverNS::GetTotalFrames() { return IntQuery("TotalFrames"); }

void TvdFlashDriverNS::SetLoop(bool Value) {
    NPObject* object = ScriptObject;
    if (!PluginExists() || Detached() || !object || !object->_class || !object->_class->setProperty) return;
    const NPVariant value = BoolVariant(Value);
    const TCallGuard guard(*this, TCallKind::Player);
    HostRetainObject(object);
    object->_class->setProperty(object, const_cast<char*>(InternIdentifier("Loop")), &value);
    HostReleaseObject(object);
}

void TvdFlashDriverNS::SetCurrentFrame(int Frame) {
    const NPVariant arg = IntVariant(Frame);
    NPVariant result;
    Invoke("GotoFrame", &arg, 1, result);
    HostReleaseVariantValue(&result);
}

void TvdFlashDriverNS::InvokeLoadMovie(const WideString& url) {
    const std::string text = WideToUtf8(url);
    const NPVariant args[2] = {IntVariant(0), BorrowedString(text)};
    NPVariant result;
    Invoke("LoadMovie", args, 2, result);
    HostReleaseVariantValue(&result);
}

}  // namespace vd
