// npswf32.dll as a browser hosts it: loaded from beside the EXE, driven through the declared
// NPAPI tables, with a small browser side of our own that serves data and records calls.
#include "rp_engine.h"
#include "rp_test_util.h"
#include "swf_builder.h"
#include "vd_npapi.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace vd::np;

namespace {

// ---- The browser side ----------------------------------------------------------------------

struct Browser {
    std::map<std::string, std::vector<uint8_t>> files;  // what URL requests are served from
    std::vector<std::string> requests;                  // url|target
    std::vector<NPRect> invalid;
    std::vector<std::string> fsCommands;  // command|args
    std::vector<std::string> scripts;
    std::string answer = "<string>host answer</string>";
    NPPluginFuncs* plugin = nullptr;
    bool destroyOnFSCommand = false;  // a handler that ends the instance (a host re-creating it)
    NPObject windowObject{};
    NPClass hostClass{};
    int objectsCreated = 0;
};
Browser* g_host = nullptr;

std::string Text(const NPVariant& v) {
    return v.type == NPVariantType_String
               ? std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length)
               : std::string();
}

void* MemAlloc(uint32_t n) { return calloc(1, n ? n : 1); }
void MemFree(void* p) { free(p); }

NPError GetUrlNotify(NPP npp, const char* url, const char* target, void* notify) {
    g_host->requests.push_back(std::string(url) + "|" + (target ? target : "null"));
    const auto it = g_host->files.find(url);
    if (target || it == g_host->files.end()) return NPERR_NO_ERROR;
    // Delivered at once, inside the request, as one stream.
    NPStream s{};
    s.url = url;
    s.end = static_cast<uint32_t>(it->second.size());
    s.notifyData = notify;
    uint16_t stype = NP_NORMAL;
    char mime[] = "application/x-shockwave-flash";
    if (g_host->plugin->newstream(npp, mime, &s, 1, &stype) != NPERR_NO_ERROR) return NPERR_NO_ERROR;
    std::vector<uint8_t> copy = it->second;
    g_host->plugin->write(npp, &s, 0, static_cast<int32_t>(copy.size()), copy.data());
    g_host->plugin->urlnotify(npp, url, NPRES_DONE, notify);
    g_host->plugin->destroystream(npp, &s, NPRES_DONE);
    return NPERR_NO_ERROR;
}

NPError GetValue(NPP, NPNVariable var, void* out) {
    if (var == NPNVWindowNPObject) {
        g_host->windowObject._class = &g_host->hostClass;
        g_host->windowObject.referenceCount = 1;
        *static_cast<NPObject**>(out) = &g_host->windowObject;
    }
    return NPERR_NO_ERROR;
}

void InvalidateRect(NPP, NPRect* r) { g_host->invalid.push_back(*r); }
NPIdentifier GetStringIdentifier(const char* name) { return const_cast<char*>(name); }
char* Utf8FromIdentifier(NPIdentifier id) {
    const char* s = static_cast<const char*>(id);
    char* copy = static_cast<char*>(MemAlloc(static_cast<uint32_t>(strlen(s) + 1)));
    strcpy(copy, s);
    return copy;
}
NPObject* CreateObject(NPP npp, NPClass* cls) {
    NPObject* o = cls->allocate ? cls->allocate(npp, cls) : nullptr;
    if (o) {
        o->_class = cls;
        o->referenceCount = 1;
        ++g_host->objectsCreated;
    }
    return o;
}
NPObject* RetainObject(NPObject* o) {
    if (o) ++o->referenceCount;
    return o;
}
void ReleaseObject(NPObject* o) {
    if (!o || o == &g_host->windowObject) return;
    if (--o->referenceCount == 0 && o->_class->deallocate) o->_class->deallocate(o);
}
bool Invoke(NPP npp, NPObject*, NPIdentifier method, const NPVariant* args, uint32_t argc, NPVariant* result) {
    const std::string name = static_cast<const char*>(method);
    if (name == "_DoFSCommand") {
        g_host->fsCommands.push_back((argc > 0 ? Text(args[0]) : "") + "|" + (argc > 1 ? Text(args[1]) : ""));
        if (g_host->destroyOnFSCommand) {
            g_host->destroyOnFSCommand = false;
            g_host->plugin->destroy(npp, nullptr);
        }
        return true;
    }
    result->type = NPVariantType_String;
    result->value.stringValue = NPString{"", 0};
    return true;
}
bool Evaluate(NPP, NPObject*, NPString* script, NPVariant* result) {
    g_host->scripts.emplace_back(script->UTF8Characters, script->UTF8Length);
    result->type = NPVariantType_String;
    result->value.stringValue = NPString{g_host->answer.c_str(), static_cast<uint32_t>(g_host->answer.size())};
    return true;
}
void ReleaseVariantValue(NPVariant*) {}

NPNetscapeFuncs MakeBrowserTable() {
    NPNetscapeFuncs t{};
    t.size = NPNetscapeFuncsSize;
    t.version = NPNetscapeFuncsVersion;
    t.memalloc = MemAlloc;
    t.memfree = MemFree;
    t.geturlnotify = GetUrlNotify;
    t.getvalue = GetValue;
    t.invalidaterect = InvalidateRect;
    t.getstringidentifier = GetStringIdentifier;
    t.utf8fromidentifier = Utf8FromIdentifier;
    t.createobject = CreateObject;
    t.retainobject = RetainObject;
    t.releaseobject = ReleaseObject;
    t.invoke = Invoke;
    t.evaluate = Evaluate;
    t.releasevariantvalue = ReleaseVariantValue;
    return t;
}

// ---- The library, loaded as a host loads it -------------------------------------------------

class PluginLibrary {
public:
    explicit PluginLibrary(const char* faults = "") {
        SetEnvironmentVariableA("VDRP_FAULTS", faults);
        SetEnvironmentVariableA("VDRP_TIMER", "off");
        module_.Reset(LoadLibraryW((vdtest::ExeDir() + L"npswf32.dll").c_str()));
        if (!module_) return;
        const HMODULE m = module_.Get();
        getEntryPoints =
            reinterpret_cast<NP_GetEntryPointsFunc>(reinterpret_cast<void*>(GetProcAddress(m, "NP_GetEntryPoints")));
        initialize = reinterpret_cast<NP_InitializeFunc>(reinterpret_cast<void*>(GetProcAddress(m, "NP_Initialize")));
        shutdown = reinterpret_cast<NP_ShutdownFunc>(reinterpret_cast<void*>(GetProcAddress(m, "NP_Shutdown")));
        disableLocalSecurity = reinterpret_cast<Flash_DisableLocalSecurityFunc>(
            reinterpret_cast<void*>(GetProcAddress(m, "Flash_DisableLocalSecurity")));
        hooksLoaded = hooks.Load(m);
    }
    ~PluginLibrary() { SetEnvironmentVariableA("VDRP_FAULTS", nullptr); }
    // What a host does at start-up: entry points first (the table's size and version set, as
    // browsers set them), then its own table, in room as large as the newest one.
    void Start() {
        host.plugin = &funcs;
        g_host = &host;
        browser.funcs = MakeBrowserTable();
        funcs.size = sizeof(NPPluginFuncs);
        funcs.version = NPNetscapeFuncsVersion;
        getEntryPoints(&funcs);
        initialize(&browser.funcs);
        disableLocalSecurity();
    }
    bool Loaded() const {
        return module_ && getEntryPoints && initialize && shutdown && disableLocalSecurity && hooksLoaded;
    }

    vd::win32::TModule module_;
    NP_GetEntryPointsFunc getEntryPoints = nullptr;
    NP_InitializeFunc initialize = nullptr;
    NP_ShutdownFunc shutdown = nullptr;
    Flash_DisableLocalSecurityFunc disableLocalSecurity = nullptr;
    bool hooksLoaded = false;
    vdtest::Hooks hooks;
    NPPluginFuncs funcs{};
    struct {
        NPNetscapeFuncs funcs;
        void* later[NPNetscapeFuncsLaterEntries];
    } browser{};
    Browser host;
};

// One windowless instance with the driver's four arguments.
struct PluginInstance {
    PluginLibrary& lib;
    NPP_t npp{nullptr, this};
    NPObject* script = nullptr;
    NPError newResult = -1;

    PluginInstance(PluginLibrary& l, int w, int h) : lib(l) {
        std::string ws = std::to_string(w), hs = std::to_string(h);
        char n0[] = "wmode", n1[] = "bgcolor", n2[] = "width", n3[] = "height";
        char v0[] = "transparent", v1[] = "#0";
        char* argn[] = {n0, n1, n2, n3};
        char* argv[] = {v0, v1, ws.data(), hs.data()};
        char mime[] = "application/x-shockwave-flash";
        newResult = lib.funcs.newp(mime, &npp, NP_EMBED, 4, argn, argv, nullptr);
        lib.funcs.getvalue(&npp, NPPVpluginScriptableNPObject, &script);
    }
    ~PluginInstance() { lib.funcs.destroy(&npp, nullptr); }

    NPVariant Call(const char* method, std::vector<NPVariant> args = {}) {
        NPVariant result{};
        result.type = NPVariantType_Void;
        lastOk = script->_class->invoke(script, const_cast<char*>(method), args.data(),
                                        static_cast<uint32_t>(args.size()), &result);
        return result;
    }
    bool lastOk = false;
    void SetWindow(HDC dc, int w, int h) {
        window = NPWindow{};
        window.window = dc;
        window.width = static_cast<uint32_t>(w);
        window.height = static_cast<uint32_t>(h);
        window.clipRect = NPRect{0, 0, static_cast<uint16_t>(h), static_cast<uint16_t>(w)};
        window.type = NPWindowTypeDrawable;
        lib.funcs.setwindow(&npp, &window);
    }
    // A windowless paint as Windows hosts send it: the drawable's DC and the dirty area.
    int16_t Paint() {
        RECT dirty{0, 0, static_cast<LONG>(window.width), static_cast<LONG>(window.height)};
        NPEvent ev{WM_PAINT, reinterpret_cast<uintptr_t>(window.window), reinterpret_cast<uintptr_t>(&dirty)};
        return lib.funcs.event(&npp, &ev);
    }
    NPWindow window{};
};

NPVariant S(const std::string& s) {
    NPVariant v{};
    v.type = NPVariantType_String;
    char* copy = static_cast<char*>(MemAlloc(static_cast<uint32_t>(s.size() + 1)));
    memcpy(copy, s.data(), s.size());
    v.value.stringValue = NPString{copy, static_cast<uint32_t>(s.size())};
    return v;
}
NPVariant I(int i) {
    NPVariant v{};
    v.type = NPVariantType_Int32;
    v.value.intValue = i;
    return v;
}

// 400 x 300, four frames: a panel (50,37)-(350,263) in 0xC04020 at half alpha, a dark track
// (100,132)-(300,168) and its orange fill, a quarter longer each frame; the rest untouched.
std::vector<uint8_t> FourFrames() {
    vdtest::SwfBuilder b(400, 300, 24, 4);
    b.Background(0xC04020).ProgressFrames(0xC04020, [](vdtest::SwfBuilder& f, int frame) {
        if (frame == 0) f.FSCommand("started", "frame one").Callback("echo");
        if (frame == 2) f.FSCommand("halfway", "");
    });
    return b.Cws();
}

// The premultiplied picture the engine draws of a movie's frame in a width x height window,
// shown whole (the plugin's default scale) and without its background (transparent mode).
std::vector<uint32_t> EnginePicture(const std::vector<uint8_t>& movie, int frame, int width, int height) {
    const auto loaded = vd::swf::LoadMovie(movie.data(), movie.size());
    std::vector<uint32_t> px(static_cast<size_t>(width) * height, 0u);
    if (!loaded.movie) return px;
    vd::swf::Stage stage(loaded.movie);
    stage.GotoFrame(frame);
    const auto fit = vd::rp::FitStage(loaded.movie->StageWidth(), loaded.movie->StageHeight(), width, height,
                                      vd::rp::ScaleMode::ShowAll);
    vd::swf::RenderOptions o;
    o.scaleX = fit.scaleX;
    o.scaleY = fit.scaleY;
    o.offsetX = fit.offsetX;
    o.offsetY = fit.offsetY;
    o.fillBackground = false;
    stage.Render(px.data(), width, height, width, o);
    return px;
}

// ---- Tests ----------------------------------------------------------------------------------

TEST(NpapiLibrary, StartsUpThroughItsExportsInTheHostsOrder) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    EXPECT_NE(lib.funcs.newp, nullptr);
    EXPECT_NE(lib.funcs.destroy, nullptr);
    EXPECT_NE(lib.funcs.setwindow, nullptr);
    EXPECT_NE(lib.funcs.newstream, nullptr);
    EXPECT_NE(lib.funcs.destroystream, nullptr);
    EXPECT_NE(lib.funcs.write, nullptr);
    EXPECT_NE(lib.funcs.event, nullptr);
    EXPECT_NE(lib.funcs.urlnotify, nullptr);
    EXPECT_NE(lib.funcs.getvalue, nullptr);
    EXPECT_EQ(lib.funcs.size, sizeof(NPPluginFuncs));
    const auto j = lib.hooks.Journal();
    ASSERT_GE(j.size(), 3u);
    EXPECT_EQ(j[0], "NP_GetEntryPoints size=" + std::to_string(sizeof(NPPluginFuncs)) + " version=17");
    EXPECT_EQ(j[1], "NP_Initialize size=" + std::to_string(sizeof(NPNetscapeFuncs)) + " version=17 later=0");
    EXPECT_EQ(j[2], "Flash_DisableLocalSecurity");
    lib.hooks.clearJournal();
    EXPECT_TRUE(lib.hooks.Journal().empty());
    lib.shutdown();
    EXPECT_EQ(lib.hooks.Journal(), std::vector<std::string>{"NP_Shutdown"});
}

TEST(NpapiInstance, ReceivesTheHostsArgumentsAndOffersAScriptableObject) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    lib.hooks.clearJournal();
    {
        PluginInstance inst(lib, 400, 300);
        EXPECT_EQ(inst.newResult, NPERR_NO_ERROR);
        EXPECT_NE(inst.npp.pdata, nullptr);
        ASSERT_NE(inst.script, nullptr);
        EXPECT_NE(inst.script->_class->invoke, nullptr);
        EXPECT_NE(inst.script->_class->setProperty, nullptr);
        EXPECT_EQ(lib.host.objectsCreated, 1);
        const auto j = lib.hooks.Journal();
        ASSERT_GE(j.size(), 2u);
        EXPECT_EQ(j[0],
                  "NPP_New mime=\"application/x-shockwave-flash\" mode=1 argc=4 wmode=\"transparent\" "
                  "bgcolor=\"#0\" width=\"400\" height=\"300\" saved=null");
        EXPECT_EQ(j[1], "NPP_GetValue variable=15");
        // Nothing loaded yet: the queries answer empty values.
        EXPECT_EQ(inst.Call("TotalFrames").value.intValue, 0);
        EXPECT_EQ(lib.hooks.step(1), 0);  // no movie: the frame stays 0
    }
    EXPECT_EQ(lib.hooks.Lines("NPP_Destroy"), std::vector<std::string>{"NPP_Destroy save=null"});
    EXPECT_EQ(lib.hooks.step(1), -1);  // no instance any more
}

TEST(NpapiInstance, LoadMovieRequestsTheUrlAsGivenAndPlaysWhatArrives) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 400, 300);
    lib.host.files["C:\\movies\\a b.swf"] = FourFrames();
    inst.Call("LoadMovie", {I(0), S("C:\\movies\\a b.swf")});
    EXPECT_TRUE(inst.lastOk);
    EXPECT_EQ(lib.host.requests, std::vector<std::string>{"C:\\movies\\a b.swf|null"});
    // The stream calls in the host's order, and the first frame's FSCommand.
    const auto streamCalls = lib.hooks.Lines("NPP_");
    ASSERT_GE(streamCalls.size(), 4u);
    EXPECT_EQ(streamCalls[streamCalls.size() - 4].rfind(
                  "NPP_NewStream type=\"application/x-shockwave-flash\" url=\"C:\\\\movies\\\\a b.swf\"", 0),
              0u);
    EXPECT_EQ(streamCalls[streamCalls.size() - 3].rfind("NPP_Write offset=0 len=", 0), 0u);
    EXPECT_EQ(streamCalls[streamCalls.size() - 2],
              "NPP_URLNotify url=\"C:\\\\movies\\\\a b.swf\" reason=0 notify=ours");
    EXPECT_EQ(streamCalls.back(), "NPP_DestroyStream reason=0");
    EXPECT_EQ(lib.host.fsCommands, std::vector<std::string>{"started|frame one"});

    EXPECT_EQ(inst.Call("TotalFrames").value.intValue, 4);
    EXPECT_EQ(inst.Call("CurrentFrame").type, NPVariantType_Int32);
    EXPECT_EQ(inst.Call("IsPlaying").value.boolValue, true);
    EXPECT_EQ(lib.hooks.step(2), 2);
    EXPECT_EQ(inst.Call("CurrentFrame").value.intValue, 2);
    EXPECT_EQ(lib.host.fsCommands.back(), "halfway|");
    inst.Call("GotoFrame", {I(1)});
    EXPECT_EQ(inst.Call("CurrentFrame").value.intValue, 1);
    inst.Call("Rewind");
    EXPECT_EQ(inst.Call("CurrentFrame").value.intValue, 0);
    EXPECT_FALSE(inst.Call("IsPlaying").value.boolValue);
    inst.Call("Play");
    EXPECT_TRUE(inst.Call("IsPlaying").value.boolValue);

    NPVariant f{};
    f.type = NPVariantType_Bool;
    f.value.boolValue = false;
    EXPECT_TRUE(inst.script->_class->setProperty(inst.script, const_cast<char*>("Loop"), &f));
    EXPECT_FALSE(inst.Call("GetLoop").value.boolValue);
    lib.hooks.step(3);
    EXPECT_EQ(inst.Call("CurrentFrame").value.intValue, 3);
    EXPECT_FALSE(inst.Call("IsPlaying").value.boolValue);  // stopped on the last frame

    inst.Call("SetVariable", {S("stage.title"), S("Hello")});
    EXPECT_EQ(Text(inst.Call("GetVariable", {S("stage.title")})), "Hello");
    EXPECT_EQ(Text(inst.Call(
                  "CallFunction",
                  {S("<invoke name=\"echo\" returntype=\"xml\"><arguments><number>7</number></arguments></invoke>")})),
              "<number>7</number>");
    EXPECT_EQ(Text(inst.Call("CallFunction", {S("<invoke name=\"none\" returntype=\"xml\"></invoke>")})), "");
    EXPECT_EQ(inst.Call("FlashVersion").value.intValue >> 16, 10);
}

TEST(NpapiInstance, DrawsOnlyIntoTheDrawableAndItsClipAndTheSameEveryTime) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 400, 300);
    lib.host.files["m.swf"] = FourFrames();
    inst.Call("LoadMovie", {I(0), S("m.swf")});

    vdtest::Canvas black(400, 300), white(400, 300);
    black.Fill(0xFF000000);
    white.Fill(0xFFFFFFFF);
    inst.SetWindow(black.dc(), 400, 300);
    EXPECT_EQ(inst.Paint(), 1);
    inst.SetWindow(white.dc(), 400, 300);
    inst.Paint();

    // Over black and over white, every pixel gives back the engine's premultiplied picture:
    // untouched corners, the half-transparent panel, the opaque bar.
    std::string why;
    EXPECT_EQ(vdtest::DisagreeWithPremultiplied(black.Pixels(), white.Pixels(),
                                                EnginePicture(FourFrames(), 0, 400, 300), 400, &why),
              0)
        << why;
    EXPECT_EQ(black.At(0, 0), 0xFF000000u);
    EXPECT_EQ(white.At(399, 299), 0xFFFFFFFFu);
    const uint32_t pb = black.At(60, 60), pw = white.At(60, 60);
    EXPECT_EQ(vdtest::RecoveredAlpha(pb, pw), 128);
    EXPECT_NEAR(vdtest::Red(pb), 0xC0 * 128 / 255, 1);
    // The bar is opaque: the same over both, in the fill colour (frame 1 of 4 = first quarter).
    EXPECT_EQ(black.At(101, 150) & 0xFFFFFF, 0xF0A030u);
    EXPECT_EQ(white.At(101, 150) & 0xFFFFFF, 0xF0A030u);
    EXPECT_EQ(black.At(298, 150) & 0xFFFFFF, 0x202020u);

    // Same frame, same pixels.
    const auto first = black.Pixels();
    black.Fill(0xFF000000);
    inst.SetWindow(black.dc(), 400, 300);
    inst.Paint();
    EXPECT_EQ(black.Pixels(), first);

    // A clip region of the host's limits the drawing.
    black.Fill(0xFF000000);
    {
        const vd::win32::TSavedDC saved(black.dc());
        IntersectClipRect(black.dc(), 0, 0, 200, 300);
        inst.Paint();
    }
    EXPECT_EQ(black.At(250, 150), 0xFF000000u);
    EXPECT_EQ(black.At(101, 150) & 0xFFFFFF, 0xF0A030u);

    // The next frame: the fill grows; the whole window is reported as changed.
    lib.host.invalid.clear();
    lib.hooks.step(1);
    ASSERT_EQ(lib.host.invalid.size(), 1u);
    EXPECT_EQ(lib.host.invalid[0].left, 0);
    EXPECT_EQ(lib.host.invalid[0].top, 0);
    EXPECT_EQ(lib.host.invalid[0].right, 400);
    EXPECT_EQ(lib.host.invalid[0].bottom, 300);
    inst.Paint();
    EXPECT_EQ(black.At(160, 150) & 0xFFFFFF, 0xF0A030u);
}

TEST(NpapiInstance, ScaledQualitiesAgreeWithTheEnginesPictureOverBlackAndWhite) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    // A window of another shape than the stage: the movie is shown whole, centred, its edges
    // falling inside pixels, so anti-aliased coverage is blended too.
    PluginInstance inst(lib, 310, 290);
    lib.host.files["m.swf"] = FourFrames();
    inst.Call("LoadMovie", {I(0), S("m.swf")});
    lib.hooks.step(1);
    vdtest::Canvas black(310, 290), white(310, 290);
    black.Fill(0xFF000000);
    white.Fill(0xFFFFFFFF);
    inst.SetWindow(black.dc(), 310, 290);
    inst.Paint();
    inst.SetWindow(white.dc(), 310, 290);
    inst.Paint();
    const auto expected = EnginePicture(FourFrames(), 1, 310, 290);
    int partial = 0;
    for (uint32_t p : expected) partial += (p >> 24) != 0 && (p >> 24) != 255 && (p >> 24) != 128;
    EXPECT_GT(partial, 0);  // the picture has anti-aliased edges to check
    std::string why;
    EXPECT_EQ(vdtest::DisagreeWithPremultiplied(black.Pixels(), white.Pixels(), expected, 310, &why), 0) << why;
}

TEST(NpapiInstance, JournalsInputEventsItIsHanded) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 100, 100);
    lib.hooks.clearJournal();
    NPEvent down{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(16, 20)};
    EXPECT_EQ(lib.funcs.event(&inst.npp, &down), 1);
    NPEvent key{WM_CHAR, 'a', MK_SHIFT};
    EXPECT_EQ(lib.funcs.event(&inst.npp, &key), 1);
    NPEvent other{WM_USER, 0, 0};
    EXPECT_EQ(lib.funcs.event(&inst.npp, &other), 0);
    EXPECT_EQ(lib.hooks.Journal(), (std::vector<std::string>{"NPP_HandleEvent event=0x201 wParam=0x1 lParam=0x140010",
                                                             "NPP_HandleEvent event=0x102 wParam=0x61 lParam=0x4",
                                                             "NPP_HandleEvent event=0x400 wParam=0x0 lParam=0x0"}));
}

TEST(NpapiInstance, CallsTheHostForFSCommandsAndExternalCalls) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 100, 100);
    ASSERT_EQ(lib.hooks.fireFSCommand("quit", "now please"), 1);
    EXPECT_EQ(lib.host.fsCommands, std::vector<std::string>{"quit|now please"});

    EXPECT_EQ(lib.hooks.CallHost("sendData", "<string>abc</string><number>12</number>"),
              "<string>host answer</string>");
    ASSERT_EQ(lib.host.scripts.size(), 1u);
    EXPECT_EQ(lib.host.scripts[0], "try { __flash__toXML(sendData(\"abc\",12)) ; } catch (e) { \"<undefined/>\"; }");
    lib.hooks.CallHost("q", "<string>say \"hi\" \\ bye</string>");
    EXPECT_EQ(lib.host.scripts[1],
              "try { __flash__toXML(q(\"say \\\"hi\\\" \\\\ bye\")) ; } catch (e) { \"<undefined/>\"; }");
}

TEST(NpapiInstance, SurvivesAHostThatEndsTheInstanceInsideAnFSCommand) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    NPP_t npp{nullptr, nullptr};
    char mime[] = "application/x-shockwave-flash";
    ASSERT_EQ(lib.funcs.newp(mime, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    NPObject* so = nullptr;
    lib.funcs.getvalue(&npp, NPPVpluginScriptableNPObject, &so);
    ASSERT_NE(so, nullptr);
    vdtest::SwfBuilder b(100, 100, 12, 2);
    b.ShowFrame().FSCommand("first", "").FSCommand("second", "").ShowFrame();
    lib.host.files["m.swf"] = b.Fws();
    NPVariant args[2] = {I(0), S("m.swf")};
    NPVariant result{};
    ASSERT_TRUE(so->_class->invoke(so, const_cast<char*>("LoadMovie"), args, 2, &result));
    lib.host.destroyOnFSCommand = true;
    // The frame's first command ends the instance; the rest of the frame is not played.
    lib.hooks.step(1);
    EXPECT_EQ(lib.host.fsCommands, std::vector<std::string>{"first|"});
    EXPECT_EQ(npp.pdata, nullptr);
    EXPECT_EQ(lib.hooks.step(1), -1);
    // The scriptable object outlived its instance only as far as the host's reference goes:
    // calls on it fail instead of reaching a freed player.
    EXPECT_FALSE(so->_class->invoke(so, const_cast<char*>("Play"), nullptr, 0, &result));
}

TEST(NpapiInstance, TheVideoPlayerMovieAsksForSkinAndVideoAsNamed) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 320, 240);
    vdtest::SwfBuilder b(320, 240, 30, 2);
    b.Label("flvplayback").ShowFrame().ShowFrame();
    lib.host.files["flvplayback.swf"] = b.Cws();
    inst.Call("LoadMovie", {I(0), S("flvplayback.swf")});
    inst.Call("SetVariable", {S("flv.skin"), S("ClearOverAll.swf")});
    inst.Call("SetVariable", {S("flv.volume"), S("50")});
    inst.Call("SetVariable", {S("flv.contentPath"), S("http://vdhost/clip.flv")});
    EXPECT_EQ(lib.host.requests, (std::vector<std::string>{"flvplayback.swf|null", "ClearOverAll.swf|null",
                                                           "http://vdhost/clip.flv|null"}));
    EXPECT_EQ(Text(inst.Call("CallFunction", {S("<invoke name=\"stopflv\" returntype=\"xml\"></invoke>")})),
              "<undefined/>");
}

TEST(NpapiInstance, FramesAdvanceOnTheirOwnTimerInTheMessageLoop) {
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 100, 100);
    vdtest::SwfBuilder b(100, 100, 50, 4);
    b.ShowFrame().ShowFrame().ShowFrame().ShowFrame();
    lib.host.files["m.swf"] = b.Fws();
    inst.Call("LoadMovie", {I(0), S("m.swf")});
    lib.hooks.setTimer(1);
    lib.host.invalid.clear();
    // No timing is asserted: only that the player's own timer moves it on within a while.
    const DWORD start = GetTickCount();
    while (lib.host.invalid.size() < 2 && GetTickCount() - start < 5000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(5);
    }
    lib.hooks.setTimer(0);
    EXPECT_GE(lib.host.invalid.size(), 2u);
    EXPECT_GT(lib.hooks.Lines("-> NPN_InvalidateRect").size(), 1u);
}

TEST(NpapiFaults, EachSwitchGivesTheFailureAHostMustSurvive) {
    {
        PluginLibrary lib("no_newp");
        ASSERT_TRUE(lib.Loaded());
        lib.Start();
        EXPECT_EQ(lib.funcs.newp, nullptr);
        EXPECT_NE(lib.funcs.destroy, nullptr);
    }
    {
        PluginLibrary lib("new_fails");
        ASSERT_TRUE(lib.Loaded());
        lib.Start();
        NPP_t npp{nullptr, nullptr};
        char mime[] = "application/x-shockwave-flash";
        EXPECT_NE(lib.funcs.newp(mime, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
        EXPECT_EQ(npp.pdata, nullptr);
    }
    {
        PluginLibrary lib("no_scriptable");
        ASSERT_TRUE(lib.Loaded());
        lib.Start();
        NPP_t npp{nullptr, nullptr};
        char mime[] = "application/x-shockwave-flash";
        lib.funcs.newp(mime, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr);
        NPObject* so = nullptr;
        EXPECT_NE(lib.funcs.getvalue(&npp, NPPVpluginScriptableNPObject, &so), NPERR_NO_ERROR);
        EXPECT_EQ(so, nullptr);
        lib.funcs.destroy(&npp, nullptr);
    }
    {
        PluginLibrary lib("newstream_refuses,script_fails,version7");
        ASSERT_TRUE(lib.Loaded());
        lib.Start();
        PluginInstance inst(lib, 100, 100);
        NPStream s{};
        s.url = "x.swf";
        uint16_t stype = NP_NORMAL;
        char mime[] = "application/x-shockwave-flash";
        EXPECT_NE(lib.funcs.newstream(&inst.npp, mime, &s, 1, &stype), NPERR_NO_ERROR);
        inst.Call("Play");
        EXPECT_FALSE(inst.lastOk);
        lib.hooks.clearJournal();
    }
    {
        PluginLibrary lib("version7");
        ASSERT_TRUE(lib.Loaded());
        lib.Start();
        PluginInstance inst(lib, 100, 100);
        EXPECT_EQ(inst.Call("FlashVersion").value.intValue >> 16, 7);
    }
    {
        PluginLibrary lib("handler_raises,nonsense");
        ASSERT_TRUE(lib.Loaded());
        lib.Start();
        EXPECT_EQ(lib.hooks.Lines("unknown fault"), std::vector<std::string>{"unknown fault \"nonsense\""});
        PluginInstance inst(lib, 100, 100);
        bool raised = false;
        try {
            inst.Call("SetVariable", {S("a"), S("b")});
        } catch (...) {
            raised = true;
        }
        EXPECT_TRUE(raised);
    }
    {
        // Raising once: the same call made again goes through.
        PluginLibrary lib("raises_once");
        ASSERT_TRUE(lib.Loaded());
        lib.Start();
        PluginInstance inst(lib, 100, 100);
        bool raised = false;
        try {
            inst.Call("SetVariable", {S("a"), S("b")});
        } catch (...) {
            raised = true;
        }
        EXPECT_TRUE(raised);
        inst.Call("SetVariable", {S("a"), S("b")});
        EXPECT_TRUE(inst.lastOk);
        EXPECT_EQ(Text(inst.Call("GetVariable", {S("a")})), "b");
    }
}

// What a plugin checks of its host before it trusts it, as third-party plugins do.
TEST(NpapiFaults, HostsThatHandOverTooLittleAreRefused) {
    {
        // A plugin table whose size field says there is no room.
        PluginLibrary lib;
        ASSERT_TRUE(lib.Loaded());
        NPPluginFuncs funcs{};
        EXPECT_EQ(lib.getEntryPoints(&funcs), NPERR_INVALID_FUNCTABLE_ERROR);
        EXPECT_EQ(funcs.newp, nullptr);
        // A browser table too short for the entries the plugin calls, or of a later major version.
        NPNetscapeFuncs& browser = lib.browser.funcs;
        browser = MakeBrowserTable();
        browser.size = static_cast<uint16_t>(offsetof(NPNetscapeFuncs, evaluate));
        EXPECT_EQ(lib.initialize(&browser), NPERR_INVALID_FUNCTABLE_ERROR);
        browser.size = NPNetscapeFuncsSize;
        browser.version = 0x100;
        EXPECT_EQ(lib.initialize(&browser), NPERR_INCOMPATIBLE_VERSION_ERROR);
    }
    for (const char* fault : {"entrypoints_fail", "initialize_fails"}) {
        PluginLibrary lib(fault);
        ASSERT_TRUE(lib.Loaded());
        NPPluginFuncs funcs{};
        funcs.size = sizeof funcs;
        const bool entryFails = std::string(fault) == "entrypoints_fail";
        EXPECT_EQ(lib.getEntryPoints(&funcs) != NPERR_NO_ERROR, entryFails) << fault;
        lib.browser.funcs = MakeBrowserTable();
        EXPECT_EQ(lib.initialize(&lib.browser.funcs) != NPERR_NO_ERROR, !entryFails) << fault;
    }
    PluginLibrary lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 40, 30);
    lib.host.files["m.swf"] = FourFrames();
    inst.Call("LoadMovie", {I(0), S("m.swf")});
    vdtest::Canvas canvas(40, 30);
    canvas.Fill(0xFF000000);
    // A window record never filled in (no type) is refused and changes nothing.
    NPWindow unfilled{};
    EXPECT_NE(lib.funcs.setwindow(&inst.npp, &unfilled), NPERR_NO_ERROR);
    EXPECT_EQ(lib.hooks.Lines("NPP_SetWindow refused").size(), 1u);
    struct Case {
        const char* what;
        bool emptyClip;
        bool withDC;
        int16_t handled;
    };
    for (const Case c : {Case{"visible", false, true, 1}, Case{"zero clip: nothing visible", true, true, 0},
                         Case{"no DC in wParam", false, false, 0}}) {
        canvas.Fill(0xFF000000);
        inst.SetWindow(canvas.dc(), 40, 30);
        if (c.emptyClip) {
            inst.window.clipRect = NPRect{};
            lib.funcs.setwindow(&inst.npp, &inst.window);
        }
        RECT dirty{0, 0, 40, 30};
        NPEvent ev{WM_PAINT, c.withDC ? reinterpret_cast<uintptr_t>(canvas.dc()) : 0,
                   reinterpret_cast<uintptr_t>(&dirty)};
        EXPECT_EQ(lib.funcs.event(&inst.npp, &ev), c.handled) << c.what;
        // The bar's track is opaque wherever the plugin draws.
        EXPECT_EQ((canvas.At(20, 15) & 0xFFFFFF) != 0, c.handled == 1) << c.what;
    }
}

TEST(NpapiFaults, OtherTypesAnswersNumbersAsDoubleAndBooleansAsIntegers) {
    PluginLibrary lib("other_types");
    ASSERT_TRUE(lib.Loaded());
    lib.Start();
    PluginInstance inst(lib, 100, 100);
    const NPVariant frames = inst.Call("TotalFrames");
    EXPECT_EQ(frames.type, NPVariantType_Double);
    EXPECT_EQ(frames.value.doubleValue, 0.0);
    const NPVariant version = inst.Call("FlashVersion");
    ASSERT_EQ(version.type, NPVariantType_Double);
    EXPECT_EQ(static_cast<int>(version.value.doubleValue) >> 16, 10);
    const NPVariant playing = inst.Call("IsPlaying");
    EXPECT_EQ(playing.type, NPVariantType_Int32);
    EXPECT_EQ(playing.value.intValue, 0);
}

}  // namespace
