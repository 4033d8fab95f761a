// The reference player's NPAPI form (npswf32.dll): a windowless plugin library that obeys the
// Flash Player plugin's contract towards its host. Every call it receives is journaled; the
// calls it makes back go through the browser-side table the host handed to NP_Initialize.
#include "rp_timer.h"
#include "rp_win.h"
#include "vd_npapi.h"
#include "vd_win32_owners.h"

#include <algorithm>
#include <cstring>
#include <list>
#include <memory>
#include <vector>

using namespace vd::np;
using namespace vd::rp;

namespace {

NPNetscapeFuncs g_browser{};  // our copy of the host's table, zero beyond what it gave
Settings g_settings;
bool g_initialized = false;

struct Instance;
std::list<Instance*> g_instances;  // newest last: the "current" instance for test hooks

struct ScriptObject : NPObject {
    Instance* owner = nullptr;  // null once the instance is destroyed
};
// Scriptable objects allocated and not yet deallocated: one a host still holds a reference to
// (or never released) stays counted after its instance is gone.
int g_liveObjects = 0;

std::string Str(const NPVariant& v) {
    if (v.type != NPVariantType_String || !v.value.stringValue.UTF8Characters) return {};
    return std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
}

int Int(const NPVariant& v) {
    if (v.type == NPVariantType_Int32) return v.value.intValue;
    if (v.type == NPVariantType_Double) return static_cast<int>(v.value.doubleValue);
    return 0;
}

std::string VariantText(const NPVariant& v) {
    switch (v.type) {
        case NPVariantType_Void:
            return "void";
        case NPVariantType_Null:
            return "null";
        case NPVariantType_Bool:
            return v.value.boolValue ? "true" : "false";
        case NPVariantType_Int32:
            return std::to_string(v.value.intValue);
        case NPVariantType_Double:
            return std::to_string(v.value.doubleValue);
        case NPVariantType_String:
            return JournalQuote(Str(v));
        case NPVariantType_Object:
            return "object";
    }
    return "?";
}

// A string result handed to the host: its text comes from the host's allocator, as NPAPI
// requires of plugin-made strings.
void SetString(NPVariant* result, const std::string& text) {
    char* buf = nullptr;
    if (g_browser.memalloc) buf = static_cast<char*>(g_browser.memalloc(static_cast<uint32_t>(text.size() + 1)));
    if (!buf) {
        result->type = NPVariantType_Void;
        return;
    }
    std::memcpy(buf, text.c_str(), text.size() + 1);
    result->type = NPVariantType_String;
    result->value.stringValue = NPString{buf, static_cast<uint32_t>(text.size())};
}

std::string IdentifierName(NPIdentifier id) {
    if (!id) return {};
    if (g_browser.utf8fromidentifier) {
        char* s = g_browser.utf8fromidentifier(id);
        if (!s) return {};
        std::string name(s);
        if (g_browser.memfree) g_browser.memfree(s);
        return name;
    }
    return static_cast<const char*>(id);
}

struct Request {
    std::string url;
};

struct StreamData {
    std::string url;  // the URL the player asked for
    std::vector<uint8_t> bytes;
};

struct Instance final : PlayerHost {
    NPP npp;
    Player player;
    NPWindow window{};
    bool hasWindow = false;
    ScriptObject* script = nullptr;
    FrameTimer timer;
    std::vector<std::unique_ptr<Request>> requests;  // notify data handed to the host
    // Calls into the host can come back as NPP_Destroy (a handler loading another movie
    // re-creates the instance); the object then outlives the call that is still running.
    int busy = 0;
    bool destroyed = false;
    // Paints running (more than one: the host painted inside a paint) and how many more times
    // a paint may invalidate from inside (invalidate_in_paint).
    int painting = 0;
    int paintInvalidations = 2;

    Instance(NPP n, int major) : npp(n), player(*this, major) {}

    void Log(const std::string& line) { vd::rp::Log(line); }

    // ---- Calls into the host ----
    void RequestUrl(const std::string& url) override {
        if (destroyed) return;
        requests.push_back(std::make_unique<Request>(Request{url}));
        void* notify = requests.back().get();
        NPError rc = NPERR_GENERIC_ERROR;
        if (g_browser.geturlnotify) rc = g_browser.geturlnotify(npp, url.c_str(), nullptr, notify);
        Log("-> NPN_GetURLNotify url=" + JournalQuote(url) + " target=null rc=" + std::to_string(rc));
    }

    void Invalidate(const Rect& r) override {
        if (destroyed || !g_browser.invalidaterect) return;
        const int ox = hasWindow ? window.x : 0, oy = hasWindow ? window.y : 0;
        NPRect rect{static_cast<uint16_t>(std::max(0, oy + r.top)), static_cast<uint16_t>(std::max(0, ox + r.left)),
                    static_cast<uint16_t>(std::max(0, oy + r.bottom)),
                    static_cast<uint16_t>(std::max(0, ox + r.right))};
        Log("-> NPN_InvalidateRect " + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
            std::to_string(rect.right) + "," + std::to_string(rect.bottom));
        g_browser.invalidaterect(npp, &rect);
    }

    NPObject* WindowObject() {
        NPObject* win = nullptr;
        if (g_browser.getvalue) g_browser.getvalue(npp, NPNVWindowNPObject, &win);
        return win;
    }

    void FSCommand(const std::string& command, const std::string& args) override {
        if (destroyed || !g_browser.invoke || !g_browser.getstringidentifier) return;
        NPObject* win = WindowObject();
        NPVariant argv[2];
        argv[0].type = NPVariantType_String;
        argv[0].value.stringValue = NPString{command.c_str(), static_cast<uint32_t>(command.size())};
        argv[1].type = NPVariantType_String;
        argv[1].value.stringValue = NPString{args.c_str(), static_cast<uint32_t>(args.size())};
        NPVariant result{};
        result.type = NPVariantType_Void;
        Log("-> NPN_Invoke _DoFSCommand " + JournalQuote(command) + " " + JournalQuote(args));
        const bool ok = g_browser.invoke(npp, win, g_browser.getstringidentifier("_DoFSCommand"), argv, 2, &result);
        (void)ok;
        if (g_browser.releasevariantvalue) g_browser.releasevariantvalue(&result);
        if (win && g_browser.releaseobject) g_browser.releaseobject(win);
    }

    std::string ExternalCall(const std::string& name, const std::vector<ExtValue>& args) override {
        if (destroyed || !g_browser.evaluate) return {};
        NPObject* win = WindowObject();
        const std::string script = WrapExternalCall(name, args);
        NPString s{script.c_str(), static_cast<uint32_t>(script.size())};
        NPVariant result{};
        result.type = NPVariantType_Void;
        Log("-> NPN_Evaluate " + JournalQuote(script));
        std::string answer;
        if (g_browser.evaluate(npp, win, &s, &result)) answer = Str(result);
        if (g_browser.releasevariantvalue) g_browser.releasevariantvalue(&result);
        if (win && g_browser.releaseobject) g_browser.releaseobject(win);
        return answer;
    }

    // What a hostile movie does inside the host's call of `kind` (fscommand_in, flashcall_in).
    // The caller holds the instance (Busy).
    void Hostile(const char* kind) {
        if (destroyed) return;
        if (g_settings.faults.fsCommandIn == kind) FSCommand("hostile", kind);
        else if (g_settings.faults.flashCallIn == kind) ExternalCall("hostile", {ExtValue::Str(kind)});
    }

    // ---- Frames ----
    void UpdateTimer();
    void Tick() {
        if (player.Step()) UpdateTimer();
    }
};

// Holds an instance alive across a call that may reach the host.
class Busy {
public:
    explicit Busy(Instance* i) : inst_(i) {
        if (inst_) ++inst_->busy;
    }
    ~Busy() {
        if (inst_ && --inst_->busy == 0 && inst_->destroyed) delete inst_;
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    Instance* inst_;
};

void Instance::UpdateTimer() {
    const bool want = !destroyed && g_settings.timers && player.HasMovie() && player.IsPlaying();
    timer.Follow(want, player.FrameInterval(), [this] {
        Busy hold(this);
        Tick();
    });
}

Instance* Of(NPP npp) { return npp ? static_cast<Instance*>(npp->pdata) : nullptr; }

Instance* Current() { return g_instances.empty() ? nullptr : g_instances.back(); }

// ---- The scriptable object ------------------------------------------------------------------

NPObject* SoAllocate(NPP, NPClass*) {
    ++g_liveObjects;
    return new ScriptObject();
}
void SoDeallocate(NPObject* o) {
    --g_liveObjects;
    delete static_cast<ScriptObject*>(o);
}
void SoInvalidate(NPObject* o) { static_cast<ScriptObject*>(o)->owner = nullptr; }

const char* const kMethods[] = {"LoadMovie",   "CallFunction", "GetVariable",   "SetVariable",
                                "Play",        "StopPlay",     "Rewind",        "Forward",
                                "Back",        "GetLoop",      "IsPlaying",     "CurrentFrame",
                                "TotalFrames", "GotoFrame",    "PercentLoaded", "FlashVersion"};

bool SoHasMethod(NPObject*, NPIdentifier id) {
    const std::string name = IdentifierName(id);
    Log("hasMethod " + name);
    return std::any_of(std::begin(kMethods), std::end(kMethods), [&](const char* m) { return name == m; });
}

bool SoInvoke(NPObject* obj, NPIdentifier id, const NPVariant* args, uint32_t argc, NPVariant* result) {
    auto* so = static_cast<ScriptObject*>(obj);
    const std::string name = IdentifierName(id);
    std::string line = "invoke " + name + "(";
    for (uint32_t i = 0; i < argc; ++i) line += (i ? ", " : "") + VariantText(args[i]);
    Log(line + ")");
    if (result) result->type = NPVariantType_Void;
    Instance* inst = so->owner;
    if (!inst || g_settings.faults.scriptFails) return false;
    if (g_settings.faults.handlerRaises) {
        if (g_settings.faults.raisesOnce) g_settings.faults.handlerRaises = false;
        throw std::runtime_error("reference player: " + name + " raised");
    }
    Busy hold(inst);
    Player& p = inst->player;
    auto arg = [&](uint32_t i) -> const NPVariant& {
        static const NPVariant none{NPVariantType_Void, {}};
        return i < argc ? args[i] : none;
    };
    if (name == "LoadMovie") {
        p.LoadMovie(Int(arg(0)), Str(arg(1)));
        inst->UpdateTimer();
    } else if (name == "CallFunction") {
        if (result) SetString(result, p.CallFunction(Str(arg(0))));
    } else if (name == "GetVariable") {
        if (result) SetString(result, p.GetVariable(Str(arg(0))));
    } else if (name == "SetVariable") {
        p.SetVariable(Str(arg(0)), Str(arg(1)));
    } else if (name == "Play") {
        p.Play();
        inst->UpdateTimer();
    } else if (name == "StopPlay") {
        p.StopPlay();
        inst->UpdateTimer();
    } else if (name == "Rewind") {
        p.Rewind();
    } else if (name == "Forward") {
        p.Forward();
    } else if (name == "Back") {
        p.Back();
    } else if (name == "GotoFrame") {
        p.GotoFrame(Int(arg(0)));
    } else if (name == "GetLoop" || name == "IsPlaying") {
        if (result) {
            const bool value = name == "GetLoop" ? p.Loop() : p.IsPlaying();
            if (g_settings.faults.otherTypes) {
                result->type = NPVariantType_Int32;
                result->value.intValue = value ? 1 : 0;
            } else {
                result->type = NPVariantType_Bool;
                result->value.boolValue = value;
            }
        }
    } else if (name == "CurrentFrame" || name == "TotalFrames" || name == "PercentLoaded" || name == "FlashVersion") {
        if (result) {
            const int value = name == "CurrentFrame"   ? p.CurrentFrame()
                              : name == "TotalFrames"  ? p.TotalFrames()
                              : name == "FlashVersion" ? p.FlashVersion()
                                                       : (p.HasMovie() ? 100 : 0);
            // Script engines keep numbers as doubles, and many plugins answer them so.
            if (g_settings.faults.otherTypes) {
                result->type = NPVariantType_Double;
                result->value.doubleValue = value;
            } else {
                result->type = NPVariantType_Int32;
                result->value.intValue = value;
            }
        }
    } else {
        return false;
    }
    inst->Hostile("invoke");
    return true;
}

bool SoInvokeDefault(NPObject*, const NPVariant*, uint32_t argc, NPVariant*) {
    Log("invokeDefault argc=" + std::to_string(argc));
    return false;
}
bool SoHasProperty(NPObject*, NPIdentifier id) {
    const std::string name = IdentifierName(id);
    Log("hasProperty " + name);
    return name == "Loop";
}
bool SoGetProperty(NPObject* obj, NPIdentifier id, NPVariant* result) {
    auto* so = static_cast<ScriptObject*>(obj);
    const std::string name = IdentifierName(id);
    Log("getProperty " + name);
    if (!so->owner || name != "Loop" || !result) return false;
    result->type = NPVariantType_Bool;
    result->value.boolValue = so->owner->player.Loop();
    return true;
}
bool SoSetProperty(NPObject* obj, NPIdentifier id, const NPVariant* value) {
    auto* so = static_cast<ScriptObject*>(obj);
    const std::string name = IdentifierName(id);
    Log("setProperty " + name + " = " + (value ? VariantText(*value) : "null"));
    if (!so->owner || g_settings.faults.scriptFails || name != "Loop" || !value) return false;
    if (value->type == NPVariantType_Bool) so->owner->player.SetLoop(value->value.boolValue);
    else so->owner->player.SetLoop(Int(*value) != 0);
    return true;
}
bool SoRemoveProperty(NPObject*, NPIdentifier id) {
    Log("removeProperty " + IdentifierName(id));
    return false;
}

NPClass g_scriptClass = {3,
                         SoAllocate,
                         SoDeallocate,
                         SoInvalidate,
                         SoHasMethod,
                         SoInvoke,
                         SoInvokeDefault,
                         SoHasProperty,
                         SoGetProperty,
                         SoSetProperty,
                         SoRemoveProperty};

// ---- Plugin-side table ----------------------------------------------------------------------

NPError NppNew(NPMIMEType mime, NPP instance, uint16_t mode, int16_t argc, char* argn[], char* argv[],
               NPSavedData* saved) {
    std::string line = "NPP_New mime=" + JournalQuote(mime ? mime : "") + " mode=" + std::to_string(mode) +
                       " argc=" + std::to_string(argc);
    int width = 0, height = 0;
    std::string quality, scale, wmode;
    for (int i = 0; i < argc; ++i) {
        const std::string n = argn && argn[i] ? argn[i] : "", v = argv && argv[i] ? argv[i] : "";
        line += " " + n + "=" + JournalQuote(v);
        if (lstrcmpiA(n.c_str(), "width") == 0) width = std::atoi(v.c_str());
        if (lstrcmpiA(n.c_str(), "height") == 0) height = std::atoi(v.c_str());
        if (lstrcmpiA(n.c_str(), "quality") == 0) quality = v;
        if (lstrcmpiA(n.c_str(), "scale") == 0) scale = v;
        if (lstrcmpiA(n.c_str(), "wmode") == 0) wmode = v;
    }
    line += saved ? " saved=given" : " saved=null";
    Log(line);
    if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
    if (g_settings.faults.newFails) return NPERR_GENERIC_ERROR;
    // Windowless and transparent, asked of the host as plugins do; a host that cannot run a
    // windowless instance says so here.
    if (g_browser.setvalue) {
        const NPError windowless = g_browser.setvalue(instance, NPPVpluginWindowBool, nullptr);
        const NPError transparent =
            g_browser.setvalue(instance, NPPVpluginTransparentBool, reinterpret_cast<void*>(uintptr_t{1}));
        if (windowless != NPERR_NO_ERROR || transparent != NPERR_NO_ERROR)
            Log("-> NPN_SetValue refused windowless=" + std::to_string(windowless) +
                " transparent=" + std::to_string(transparent));
    }
    auto* inst = new Instance(instance, g_settings.faults.version7 ? 7 : 10);
    inst->player.SetExtent(width, height);
    // The embedding's parameters say how the movie is drawn.
    inst->player.SetQuality(QualityOf(quality));
    inst->player.SetScaleMode(ScaleModeOf(scale));
    inst->player.SetTransparent(lstrcmpiA(wmode.c_str(), "transparent") == 0);
    instance->pdata = inst;
    g_instances.push_back(inst);
    return NPERR_NO_ERROR;
}

NPError NppDestroy(NPP instance, NPSavedData** save) {
    Log(std::string("NPP_Destroy save=") + (save ? "given" : "null"));
    Instance* inst = Of(instance);
    if (!inst) return NPERR_INVALID_INSTANCE_ERROR;
    // Survived (the instance outlives the call), but a host should never do it.
    if (inst->busy > 0) Log("NPP_Destroy inside a call of the instance's own");
    // The state a later instance of the same movie could start from, in the host's memory as
    // NPAPI has it; the host keeps or frees it.
    if (save && g_browser.memalloc) {
        auto* data = static_cast<NPSavedData*>(g_browser.memalloc(sizeof(NPSavedData)));
        if (data) {
            data->len = 4;
            data->buf = g_browser.memalloc(4);
            if (data->buf) std::memcpy(data->buf, "rp10", 4);
            *save = data;
        }
    }
    inst->timer.Stop();
    if (inst->script) {
        inst->script->owner = nullptr;
        if (g_browser.releaseobject) g_browser.releaseobject(inst->script);
    }
    g_instances.remove(inst);
    instance->pdata = nullptr;
    inst->script = nullptr;
    inst->destroyed = true;
    if (inst->busy == 0) delete inst;
    return NPERR_NO_ERROR;
}

NPError NppSetWindow(NPP instance, NPWindow* window) {
    if (!window) {
        Log("NPP_SetWindow null");
        return NPERR_NO_ERROR;
    }
    const NPRect& clip = window->clipRect;
    Log("NPP_SetWindow window=" + Hex(reinterpret_cast<uintptr_t>(window->window)) + " x=" + std::to_string(window->x) +
        " y=" + std::to_string(window->y) + " width=" + std::to_string(window->width) +
        " height=" + std::to_string(window->height) + " type=" + std::to_string(window->type) +
        " clip=" + std::to_string(clip.left) + "," + std::to_string(clip.top) + "," + std::to_string(clip.right) + "," +
        std::to_string(clip.bottom));
    Instance* inst = Of(instance);
    if (!inst) return NPERR_INVALID_INSTANCE_ERROR;
    // A host that paints in passes hands the drawable over between its paints, never in one.
    if (inst->painting > 0) Log("NPP_SetWindow inside a paint");
    // A record of no type was never filled in: nothing in it can be trusted.
    if (window->type != NPWindowTypeDrawable && window->type != NPWindowTypeWindow) {
        Log("NPP_SetWindow refused: unfilled record");
        return NPERR_GENERIC_ERROR;
    }
    // A null drawable takes the last one back.
    if (!window->window) {
        inst->hasWindow = false;
        return NPERR_NO_ERROR;
    }
    inst->window = *window;
    inst->hasWindow = true;
    inst->player.SetExtent(static_cast<int>(window->width), static_cast<int>(window->height));
    Busy hold(inst);
    inst->Hostile("setwindow");
    return NPERR_NO_ERROR;
}

NPError NppNewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable, uint16_t* stype) {
    Log("NPP_NewStream type=" + JournalQuote(type ? type : "") + " url=" +
        JournalQuote(stream && stream->url ? stream->url : "") + " end=" + std::to_string(stream ? stream->end : 0) +
        " seekable=" + std::to_string(seekable) + " stype=" + (stype ? std::to_string(*stype) : "null"));
    Instance* inst = Of(instance);
    if (!inst || !stream) return NPERR_INVALID_INSTANCE_ERROR;
    if (g_settings.faults.newStreamRefuses) return NPERR_GENERIC_ERROR;
    auto* data = new StreamData();
    // Which of our requests this answers: the notify data we gave, else the stream's URL.
    data->url = stream->url ? stream->url : "";
    for (const auto& r : inst->requests)
        if (r.get() == stream->notifyData) data->url = r->url;
    stream->pdata = data;
    if (stype) *stype = NP_NORMAL;
    Busy hold(inst);
    inst->Hostile("newstream");
    return NPERR_NO_ERROR;
}

int32_t NppWriteReady(NPP instance, NPStream*) {
    if (Instance* inst = Of(instance)) {
        Busy hold(inst);
        inst->Hostile("writeready");
    }
    return g_settings.faults.writeReady >= 0 ? g_settings.faults.writeReady : 0x0FFFFFFF;
}

int32_t NppWrite(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer) {
    Log("NPP_Write offset=" + std::to_string(offset) + " len=" + std::to_string(len));
    Instance* inst = Of(instance);
    if (!inst || !stream || !stream->pdata || offset < 0 || len < 0 || (len && !buffer)) return -1;
    if (g_settings.faults.writeRefuses) return -1;
    // More than NPP_WriteReady allowed is a host's fault; the excess is not taken.
    if (g_settings.faults.writeReady >= 0 && len > g_settings.faults.writeReady) {
        Log("NPP_Write beyond NPP_WriteReady");
        len = g_settings.faults.writeReady;
    }
    auto* data = static_cast<StreamData*>(stream->pdata);
    const size_t end = static_cast<size_t>(offset) + static_cast<size_t>(len);
    if (end > 256u * 1024 * 1024) return -1;
    if (data->bytes.size() < end) data->bytes.resize(end);
    if (len) std::memcpy(data->bytes.data() + offset, buffer, static_cast<size_t>(len));
    Busy hold(inst);
    inst->Hostile("write");
    return len;
}

NPError NppDestroyStream(NPP instance, NPStream* stream, NPReason reason) {
    Log("NPP_DestroyStream reason=" + std::to_string(reason));
    Instance* inst = Of(instance);
    if (!inst || !stream) return NPERR_INVALID_INSTANCE_ERROR;
    std::unique_ptr<StreamData> data(static_cast<StreamData*>(stream->pdata));
    stream->pdata = nullptr;
    Busy hold(inst);
    if (data && reason == NPRES_DONE) {
        inst->player.DataArrived(data->url, data->bytes);
        inst->UpdateTimer();
    }
    inst->Hostile("destroystream");
    return NPERR_NO_ERROR;
}

void NppStreamAsFile(NPP, NPStream*, const char*) { Log("NPP_StreamAsFile"); }
void NppPrint(NPP, void*) { Log("NPP_Print"); }

int16_t NppHandleEvent(NPP instance, void* event) {
    auto* ev = static_cast<NPEvent*>(event);
    if (!ev) return 0;
    if (ev->event == WM_PAINT) {
        // A windowless paint on Windows: the DC to draw into in wParam, the dirty RECT in lParam.
        const auto* dirty = reinterpret_cast<const RECT*>(ev->lParam);
        Log("NPP_HandleEvent event=0xF dc=" + Hex(ev->wParam) + " rect=" +
            (dirty ? std::to_string(dirty->left) + "," + std::to_string(dirty->top) + "," +
                         std::to_string(dirty->right) + "," + std::to_string(dirty->bottom)
                   : std::string("null")));
    } else {
        Log("NPP_HandleEvent event=" + Hex(ev->event) + " wParam=" + Hex(ev->wParam) + " lParam=" + Hex(ev->lParam));
    }
    Instance* inst = Of(instance);
    if (!inst) return 0;
    Busy hold(inst);
    if (ev->event == WM_PAINT) {
        const auto dc = reinterpret_cast<HDC>(ev->wParam);
        const auto* dirty = reinterpret_cast<const RECT*>(ev->lParam);
        if (!inst->hasWindow || inst->window.type != NPWindowTypeDrawable || !dc || !dirty) return 0;
        // An empty clip rectangle means nothing of the plugin is visible.
        const NPRect& clip = inst->window.clipRect;
        if (clip.right <= clip.left || clip.bottom <= clip.top) return 0;
        if (inst->painting > 0) Log("NPP_HandleEvent paint inside a paint");
        ++inst->painting;
        {
            const vd::win32::TSavedDC saved(dc);
            IntersectClipRect(dc, dirty->left, dirty->top, dirty->right, dirty->bottom);
            DrawFrame(dc, inst->window.x, inst->window.y, static_cast<int>(inst->window.width),
                      static_cast<int>(inst->window.height), inst->player);
        }
        // A movie whose drawing changes something asks for another paint while it paints.
        if (g_settings.faults.invalidateInPaint && inst->paintInvalidations > 0 && !inst->destroyed) {
            --inst->paintInvalidations;
            inst->Invalidate(Rect{0, 0, static_cast<int>(inst->window.width), static_cast<int>(inst->window.height)});
        }
        inst->Hostile("paint");
        --inst->painting;
        return 1;
    }
    const bool input = (ev->event >= WM_MOUSEFIRST && ev->event <= WM_MOUSELAST) ||
                       (ev->event >= WM_KEYFIRST && ev->event <= WM_KEYLAST);
    if (input) inst->Hostile("input");
    return input ? 1 : 0;
}

void NppUrlNotify(NPP instance, const char* url, NPReason reason, void* notifyData) {
    Log("NPP_URLNotify url=" + JournalQuote(url ? url : "") + " reason=" + std::to_string(reason) +
        " notify=" + (notifyData ? "ours" : "null"));
    if (Instance* inst = Of(instance)) {
        Busy hold(inst);
        inst->Hostile("urlnotify");
    }
}

NPError NppGetValue(NPP instance, NPPVariable variable, void* value) {
    Log("NPP_GetValue variable=" + std::to_string(variable));
    if (!value) return NPERR_GENERIC_ERROR;
    if (variable == NPPVpluginNameString) {
        *static_cast<const char**>(value) = "Reference Player";
        return NPERR_NO_ERROR;
    }
    if (variable == NPPVpluginDescriptionString) {
        *static_cast<const char**>(value) = "Reference Player 10.0";
        return NPERR_NO_ERROR;
    }
    if (variable != NPPVpluginScriptableNPObject) return NPERR_GENERIC_ERROR;
    Instance* inst = Of(instance);
    if (!inst || g_settings.faults.noScriptable) return NPERR_GENERIC_ERROR;
    if (!inst->script) {
        NPObject* o = g_browser.createobject ? g_browser.createobject(instance, &g_scriptClass) : nullptr;
        if (!o) {
            // A host without object creation: make it ourselves, counted once.
            o = SoAllocate(instance, &g_scriptClass);
            o->_class = &g_scriptClass;
            o->referenceCount = 1;
        }
        inst->script = static_cast<ScriptObject*>(o);
        inst->script->owner = inst;
    }
    // The caller owns a reference, as NPAPI has it.
    if (g_browser.retainobject) g_browser.retainobject(inst->script);
    *static_cast<NPObject**>(value) = inst->script;
    return NPERR_NO_ERROR;
}

NPError NppSetValue(NPP, NPNVariable variable, void*) {
    Log("NPP_SetValue variable=" + std::to_string(variable));
    return NPERR_NO_ERROR;
}

// The entries a plugin built for the newest table fills after setvalue (focus, redirects, site
// data, compositing). Never called by a host of this table's version.
void NppLaterEntry() { Log("later entry called"); }
constexpr int kLaterEntries = 6;

void InstallHooks() {
    Hooks().step = [](int frames) {
        Instance* inst = Current();
        if (!inst) return -1;
        Busy hold(inst);
        for (int i = 0; i < frames && !inst->destroyed; ++i) inst->Tick();
        return inst->player.CurrentFrame();
    };
    Hooks().fsCommand = [](const std::string& c, const std::string& a) {
        Instance* inst = Current();
        if (!inst) return false;
        Busy hold(inst);
        inst->player.FireFSCommand(c, a);
        return true;
    };
    Hooks().callHost = [](const std::string& name, const std::vector<ExtValue>& args, std::string& answer) {
        Instance* inst = Current();
        if (!inst) return false;
        Busy hold(inst);
        answer = inst->player.CallHost(name, args);
        return true;
    };
    Hooks().setTimers = [](bool on) {
        g_settings.timers = on;
        for (Instance* i : g_instances) i->UpdateTimer();
    };
    Hooks().setFaults = [](const std::string& list) {
        g_settings.faults = Faults::Parse(list);
        for (Instance* i : g_instances) i->paintInvalidations = 2;
    };
}

}  // namespace

// ---- Exports --------------------------------------------------------------------------------

extern "C" __declspec(dllexport) NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (!g_initialized) {
        g_settings = ReadSettings();
        InstallHooks();
        g_initialized = true;
    }
    Log(std::string("NP_GetEntryPoints size=") + (funcs ? std::to_string(funcs->size) : "null") +
        " version=" + (funcs ? std::to_string(funcs->version) : "null"));
    if (!funcs) return NPERR_GENERIC_ERROR;
    if (g_settings.faults.entryPointsFail) return NPERR_GENERIC_ERROR;
    // The size field says how much room the host gave: too little for our entries is refused,
    // as plugins do.
    if (funcs->size < sizeof(NPPluginFuncs)) return NPERR_INVALID_FUNCTABLE_ERROR;
    funcs->size = NPPluginFuncsSize;
    funcs->version = NPNetscapeFuncsVersion;
    funcs->newp = g_settings.faults.noNewp ? nullptr : NppNew;
    funcs->destroy = NppDestroy;
    funcs->setwindow = NppSetWindow;
    funcs->newstream = NppNewStream;
    funcs->destroystream = NppDestroyStream;
    funcs->asfile = NppStreamAsFile;
    funcs->writeready = NppWriteReady;
    funcs->write = NppWrite;
    funcs->print = NppPrint;
    funcs->event = NppHandleEvent;
    funcs->urlnotify = NppUrlNotify;
    funcs->javaClass = nullptr;
    funcs->getvalue = NppGetValue;
    funcs->setvalue = NppSetValue;
    if (g_settings.faults.fullTable) {
        // What a plugin of the newest NPAPI does: it fills its whole table, whatever the host left
        // in the size field.
        auto** later = reinterpret_cast<void**>(&funcs->setvalue + 1);
        for (int i = 0; i < kLaterEntries; ++i) later[i] = reinterpret_cast<void*>(NppLaterEntry);
    }
    return NPERR_NO_ERROR;
}

extern "C" __declspec(dllexport) NPError WINAPI NP_Initialize(NPNetscapeFuncs* browser) {
    if (!g_initialized) {
        g_settings = ReadSettings();
        InstallHooks();
        g_initialized = true;
    }
    if (!browser) {
        Log("NP_Initialize size=null version=null");
        return NPERR_GENERIC_ERROR;
    }
    // Built for the newest browser table, we read all of it, whatever its size field says: a
    // host must hand over room that large, null beyond what it has.
    struct NewestBrowserTable {
        NPNetscapeFuncs known;
        void* later[NPNetscapeFuncsLaterEntries];
    };
    const auto* newest = reinterpret_cast<const NewestBrowserTable*>(browser);
    const auto later =
        std::count_if(std::begin(newest->later), std::end(newest->later), [](void* entry) { return entry != nullptr; });
    Log("NP_Initialize size=" + std::to_string(browser->size) + " version=" + std::to_string(browser->version) +
        " later=" + std::to_string(later));
    // Object enumeration (version 18) is the first entry past the popup state: a version that
    // promises it must have it.
    if (browser->version >= 18 && !newest->later[0]) Log("NP_Initialize: version promises NPN_Enumerate, missing");
    if ((browser->version >> 8) != 0) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    if (browser->size < sizeof(NPNetscapeFuncs)) return NPERR_INVALID_FUNCTABLE_ERROR;
    if (g_settings.faults.initializeFails) return NPERR_GENERIC_ERROR;
    // Take only what the host's record holds; later entries stay null.
    g_browser = NPNetscapeFuncs{};
    std::memcpy(&g_browser, browser, std::min<size_t>(browser->size, sizeof g_browser));
    return NPERR_NO_ERROR;
}

extern "C" __declspec(dllexport) NPError WINAPI NP_Shutdown() {
    Log("NP_Shutdown");
    g_browser = NPNetscapeFuncs{};
    return NPERR_NO_ERROR;
}

// Scriptable objects still alive: 0 once every instance is destroyed and its host gave back
// the references it was handed.
extern "C" __declspec(dllexport) int vdrp_LiveObjects() { return g_liveObjects; }

extern "C" __declspec(dllexport) void Flash_DisableLocalSecurity() { Log("Flash_DisableLocalSecurity"); }
