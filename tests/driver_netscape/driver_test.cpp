// TvdFlashDriverNS against the reference player found beside the EXE: the instance's life,
// painting into real buffers, input, the sources of movie data and the scripting bridge, each
// checked in the player's own journal of the calls it received.
#include "journal_support.h"
#include "np_test_support.h"
#include "swf_builder.h"
#include "vd_np_unit.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "vd_flashstore.h"
#include "vd_forms.h"
#include "vd_movieres.h"
#include "vd_winstr.h"

using namespace vd;

namespace {

const auto* const units = ::testing::AddGlobalTestEnvironment(new vdtest::NetscapeUnits());

constexpr uint32_t kOpaque = 0xFF008080;  // teal background: opaque mode
constexpr uint32_t kAlpha = 0x00000000;   // alpha mode

std::vector<uint8_t> MovieBytes(int frames, uint32_t background = 0x3366CC) {
    return vdtest::SwfBuilder(100, 100, 12, frames).Background(background).ProgressFrames(background).Fws();
}

// A movie file in the run folder (the current directory and the EXE's folder).
void WriteMovie(const WideString& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(std::filesystem::path(std::wstring(WinStr(ApplicationDirectory() + name))), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// The plugin's journal line for a drawable handed over: all of it, all of it visible.
std::string WindowLine(HDC dc, int w, int h) {
    const std::string ws = std::to_string(w), hs = std::to_string(h);
    return "NPP_SetWindow window=" + vdtest::Hex(reinterpret_cast<uintptr_t>(dc)) + " x=0 y=0 width=" + ws +
           " height=" + hs + " type=2 clip=0,0," + ws + "," + hs;
}
// ... and for a paint event: the DC in wParam, the dirty rectangle it points to in lParam.
std::string PaintLine(HDC dc, const TRect& r) {
    return "NPP_HandleEvent event=0xF dc=" + vdtest::Hex(reinterpret_cast<uintptr_t>(dc)) +
           " rect=" + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom);
}

using vdtest::Has;
using vdtest::Hex;
using vdtest::Only;

class NetscapeDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TvdFlashDriverNS::PluginExists());
        ASSERT_TRUE(hooks.loaded);
        hooks.clearJournal();
    }
    std::unique_ptr<TvdFlashDriverNS> Make(int w, int h, uint32_t background) {
        return std::unique_ptr<TvdFlashDriverNS>(TvdFlashDriver::NewDriver<TvdFlashDriverNS>(w, h, background));
    }
    // The driver's buffer, read after GDI is done with it.
    static uint32_t Pixel(TvdFlashDriver& d, int x, int y) {
        GdiFlush();
        return d.Bits[y * d.Width + x];
    }
    vdtest::PluginHooks hooks;
};

// ---- Instance lifecycle ---------------------------------------------------------------------

TEST_F(NetscapeDriver, InstanceIsCreatedWindowlessWithFourArgumentsAndDestroyedOnce) {
    auto d = Make(40, 30, kOpaque);
    EXPECT_NE(d->Instance->pdata, nullptr);
    EXPECT_NE(d->ScriptObject, nullptr);
    // The drawable right after NPP_New: the buffer, all of it visible.
    EXPECT_EQ(hooks.Journal(),
              (std::vector<std::string>{"NPP_New mime=\"application/x-shockwave-flash\" mode=1 argc=4 "
                                        "wmode=\"transparent\" bgcolor=\"#0\" width=\"40\" height=\"30\" saved=null",
                                        WindowLine(d->BufferDC, 40, 30), "NPP_GetValue variable=15"}));
    // NPP_Destroy gets room for saved data; what the plugin leaves there is freed.
    const int blocks = NetscapeHostBlocks();
    hooks.clearJournal();
    d.reset();
    EXPECT_EQ(hooks.Journal(), std::vector<std::string>{"NPP_Destroy save=given"});
    EXPECT_EQ(NetscapeHostBlocks(), blocks);
}

TEST_F(NetscapeDriver, LoadMovieStartsAFreshInstanceAtTheCurrentSize) {
    WriteMovie(u"fresh.swf", MovieBytes(4));
    auto d = Make(40, 30, kOpaque);
    d->Resize(64, 48);
    hooks.clearJournal();
    d->LoadMovie(u"fresh.swf");
    const auto j = hooks.Journal();
    ASSERT_GE(j.size(), 5u);
    EXPECT_EQ(j[0], "NPP_Destroy save=given");
    EXPECT_EQ(j[1],
              "NPP_New mime=\"application/x-shockwave-flash\" mode=1 argc=4 wmode=\"transparent\" "
              "bgcolor=\"#0\" width=\"64\" height=\"48\" saved=null");
    EXPECT_EQ(j[2], WindowLine(d->BufferDC, 64, 48));
    EXPECT_EQ(j[3], "NPP_GetValue variable=15");
    EXPECT_EQ(j[4], "invoke LoadMovie(0, \"fresh.swf\")");
    EXPECT_EQ(d->GetTotalFrames(), 4);
    EXPECT_FALSE(d->IsFLV);
}

// ---- Painting -------------------------------------------------------------------------------

TEST_F(NetscapeDriver, OpaqueResizeAnnouncesTheBufferThenPaintsItOnce) {
    auto d = Make(40, 30, kOpaque);
    std::vector<TRect> painted;
    d->OnPaint = [&](TObject* sender, const TRect& r) {
        EXPECT_EQ(sender, d.get());
        painted.push_back(r);
    };
    hooks.clearJournal();
    d->Resize(60, 40);
    EXPECT_EQ(hooks.Journal(),
              (std::vector<std::string>{WindowLine(d->BufferDC, 60, 40), PaintLine(d->BufferDC, Rect(0, 0, 60, 40))}));
    ASSERT_EQ(painted.size(), 1u);
    EXPECT_EQ(painted[0], Rect(0, 0, 60, 40));
}

TEST_F(NetscapeDriver, ASizeTheBufferCannotHaveTakesTheDrawableBackAndPaintsNothing) {
    for (uint32_t background : {kOpaque, kAlpha}) {
        for (const auto& [w, h] : {std::pair{0, 0}, std::pair{-5, 10}, std::pair{60000, 60000}}) {
            auto d = Make(40, 30, background);
            int reports = 0;
            d->OnPaint = [&](TObject*, const TRect&) { ++reports; };
            d->OnEraseBackground = [&](TObject*, const TRect&) { ++reports; };
            hooks.clearJournal();
            d->Resize(w, h);
            EXPECT_EQ(d->Width, 0);
            EXPECT_EQ(d->Bits, nullptr);
            // The plugin lets go of the freed DC: a null drawable, nothing of it visible.
            EXPECT_EQ(hooks.Journal(), std::vector<std::string>{"NPP_SetWindow window=0x0 x=0 y=0 width=0 height=0 "
                                                                "type=2 clip=0,0,0,0"})
                << w << "x" << h;
            hooks.clearJournal();
            d->ForceUpdate();
            np::NPRect area{0, 0, 10, 10};
            np::Unit().Browser.Funcs.invalidaterect(d->Instance, &area);
            EXPECT_TRUE(hooks.Journal().empty());
            EXPECT_EQ(reports, 0);
            // A size it can have: the new drawable, then the paint.
            d->Resize(20, 10);
            EXPECT_TRUE(Has(hooks.Journal(), WindowLine(d->BufferDC, 20, 10)));
            EXPECT_GT(reports, 0);
        }
    }
}

TEST_F(NetscapeDriver, AlphaModePaintsOverBlackThenOverWhite) {
    auto d = Make(40, 30, kAlpha);
    hooks.clearJournal();
    d->Resize(60, 40);
    ASSERT_NE(d->WhiteDC, nullptr);
    const TRect all = Rect(0, 0, 60, 40);
    EXPECT_EQ(hooks.Journal(), (std::vector<std::string>{WindowLine(d->BufferDC, 60, 40),
                                                         WindowLine(d->BufferDC, 60, 40), PaintLine(d->BufferDC, all),
                                                         WindowLine(d->WhiteDC, 60, 40), PaintLine(d->WhiteDC, all)}));
}

TEST_F(NetscapeDriver, OpaquePixelsShowTheMovieOverTheOwnersBackground) {
    WriteMovie(u"pixels.swf", MovieBytes(4, 0x3366CC));
    auto d = Make(80, 80, kOpaque);
    d->OnEraseBackground = [&](TObject*, const TRect& r) {
        GdiFlush();
        FillLongwordRect(d->Bits, d->Width, d->Height, r.Left, r.Top, r.Right, r.Bottom, kOpaque);
    };
    d->LoadMovie(u"pixels.swf");
    d->ForceUpdate();
    // Opaque mode keeps colours only: what GDI leaves in the fourth byte is not read.
    EXPECT_EQ(Pixel(*d, 1, 1), kOpaque);                               // outside the movie's panel
    EXPECT_EQ(Pixel(*d, 80 - 80 / 4 - 2, 40) & 0xFFFFFFu, 0x202020u);  // the bar's opaque track
    const uint32_t panel = Pixel(*d, 12, 12);                          // the panel at half coverage over teal
    EXPECT_NEAR(static_cast<int>((panel >> 16) & 0xFF), (0x33 + 0x00) / 2, 2);
    EXPECT_NEAR(static_cast<int>(panel & 0xFF), (0xCC + 0x80) / 2, 2);
}

TEST_F(NetscapeDriver, AlphaPixelsCarryTheMoviesCoverage) {
    WriteMovie(u"alpha.swf", MovieBytes(4, 0x3366CC));
    auto d = Make(80, 80, kAlpha);
    d->LoadMovie(u"alpha.swf");
    d->ForceUpdate();
    EXPECT_EQ(Pixel(*d, 1, 1), 0u);                          // untouched: transparent
    EXPECT_EQ(Pixel(*d, 80 - 80 / 4 - 2, 40), 0xFF202020u);  // opaque track
    const uint32_t panel = Pixel(*d, 12, 12);                // half covered, premultiplied
    EXPECT_NEAR(static_cast<int>(panel >> 24), 128, 3);
    EXPECT_NEAR(static_cast<int>((panel >> 16) & 0xFF), 0x33 / 2, 2);
    EXPECT_NEAR(static_cast<int>(panel & 0xFF), 0xCC / 2, 2);
}

TEST_F(NetscapeDriver, LeavingAlphaModeRepaintsTheMovieIntoTheRebuiltBuffer) {
    WriteMovie(u"modes.swf", MovieBytes(4, 0x3366CC));
    auto d = Make(80, 80, kAlpha);
    d->LoadMovie(u"modes.swf");
    d->ForceUpdate();
    ASSERT_EQ(Pixel(*d, 80 - 80 / 4 - 2, 40), 0xFF202020u);
    d->OnEraseBackground = [&](TObject*, const TRect& r) {
        GdiFlush();
        FillLongwordRect(d->Bits, d->Width, d->Height, r.Left, r.Top, r.Right, r.Bottom, kOpaque);
    };
    // What the players do when a transparent player becomes opaque: new buffers, then a repaint.
    d->SetBackground(kOpaque);
    ASSERT_EQ(d->WhiteDC, nullptr);
    hooks.clearJournal();
    d->ForceUpdate();
    EXPECT_TRUE(Has(hooks.Journal(), WindowLine(d->BufferDC, 80, 80)));
    EXPECT_EQ(Pixel(*d, 1, 1), kOpaque);
    EXPECT_EQ(Pixel(*d, 80 - 80 / 4 - 2, 40) & 0xFFFFFFu, 0x202020u);  // the movie, not only the background
    // Painting again in the same mode hands the plugin nothing new.
    hooks.clearJournal();
    d->ForceUpdate();
    EXPECT_EQ(Only(hooks.Journal(), {"NPP_SetWindow"}), std::vector<std::string>{});
}

TEST_F(NetscapeDriver, InvalidatedAreaIsPaintedInsideThePluginsCall) {
    WriteMovie(u"steps.swf", MovieBytes(4));
    auto d = Make(80, 80, kOpaque);
    d->LoadMovie(u"steps.swf");
    std::vector<TRect> painted;
    d->OnPaint = [&](TObject*, const TRect& r) { painted.push_back(r); };
    hooks.clearJournal();
    hooks.step(1);
    const auto j = Only(hooks.Journal(), {"-> NPN_InvalidateRect", "NPP_HandleEvent"});
    ASSERT_FALSE(painted.empty());
    // The plugin's request, then at once the paint event for that area, and the owner told.
    ASSERT_EQ(j.size(), 2u);
    ASSERT_EQ(painted.size(), 1u);
    const TRect r = painted.back();
    EXPECT_EQ(j[1], PaintLine(d->BufferDC, r));
    EXPECT_EQ(j[0], "-> NPN_InvalidateRect " + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," +
                        std::to_string(r.Right) + "," + std::to_string(r.Bottom));
}

// ---- Input ----------------------------------------------------------------------------------

TEST_F(NetscapeDriver, MouseEventsCarryKeyFlagsAndPackedPositions) {
    auto d = Make(100, 100, kOpaque);
    hooks.clearJournal();
    bool handled = false;
    d->MouseDown(mbLeft, TShiftState{ssShift, ssCtrl, ssAlt}, 5, 7);
    d->MouseMove(TShiftState{ssLeft}, 300, 2);
    d->MouseUp(mbLeft, TShiftState{ssRight, ssMiddle, ssDouble}, 9, 11);
    d->MouseWheel(TShiftState{ssCtrl}, 3, 4, -120, handled);
    EXPECT_FALSE(handled);
    EXPECT_EQ(hooks.Journal(),
              (std::vector<std::string>{"NPP_HandleEvent event=0x201 wParam=0xC lParam=0x70005",
                                        "NPP_HandleEvent event=0x200 wParam=0x1 lParam=0x2012C",
                                        "NPP_HandleEvent event=0x202 wParam=0x2 lParam=0xB0009",
                                        "NPP_HandleEvent event=0x20A wParam=0xFF880008 lParam=0x40003"}));
}

TEST_F(NetscapeDriver, RightPressIsHeldBackWhileTheFlashMenuIsDisabled) {
    auto d = Make(100, 100, kOpaque);
    ASSERT_TRUE(d->DisableFlashMenu);
    hooks.clearJournal();
    d->MouseDown(mbRight, {}, 5, 6);
    d->MouseUp(mbRight, {}, 5, 6);
    EXPECT_EQ(hooks.Journal(), std::vector<std::string>{"NPP_HandleEvent event=0x205 wParam=0x0 lParam=0x60005"});
    d->DisableFlashMenu = false;
    hooks.clearJournal();
    d->MouseDown(mbRight, TShiftState{ssRight}, 5, 6);  // no window: screen origin 0,0
    EXPECT_EQ(hooks.Journal(), std::vector<std::string>{"NPP_HandleEvent event=0x204 wParam=0x2 lParam=0x60005"});
}

TEST_F(NetscapeDriver, KeysGoAsWindowMessagesWithFlagsAndCodePageBytes) {
    auto d = Make(100, 100, kOpaque);
    hooks.clearJournal();
    WORD key = VK_F1;
    d->KeyDown(key, TShiftState{ssShift});
    d->KeyUp(key, TShiftState{ssCtrl});
    EXPECT_EQ(key, VK_F1);
    char16_t ch = u'a';
    d->KeyPress(ch, {});
    EXPECT_EQ(ch, u'a');
    EXPECT_EQ(hooks.Journal(), (std::vector<std::string>{"NPP_HandleEvent event=0x100 wParam=0x70 lParam=0x4",
                                                         "NPP_HandleEvent event=0x101 wParam=0x70 lParam=0x8",
                                                         "NPP_HandleEvent event=0x102 wParam=0x61 lParam=0x0"}));
    // A character outside ASCII: one event per byte the code page gives it, in order.
    for (char16_t c : {u'\u00E9', u'\u20AC', u'\u4E2D'}) {
        hooks.clearJournal();
        const wchar_t w = static_cast<wchar_t>(c);
        char bytes[10];
        const int n = WideCharToMultiByte(CP_ACP, 0, &w, 1, bytes, sizeof bytes, nullptr, nullptr);
        std::vector<std::string> expected;
        for (int i = 0; i < n; ++i)
            expected.push_back("NPP_HandleEvent event=0x102 wParam=" + Hex(static_cast<unsigned char>(bytes[i])) +
                               " lParam=0x0");
        d->KeyPress(c, {});
        EXPECT_EQ(hooks.Journal(), expected) << static_cast<int>(c);
    }
}

// ---- Sources of movie data ------------------------------------------------------------------

TEST_F(NetscapeDriver, LocalMovieIsDeliveredWholeInsideTheRequestThenItsQuerySet) {
    const auto bytes = MovieBytes(5);
    WriteMovie(u"query.swf", bytes);
    auto d = Make(50, 50, kOpaque);
    hooks.clearJournal();
    d->LoadMovie(u"query.swf?a=1&b=two");
    const auto j = Only(hooks.Journal(), {"NPP_NewStream", "NPP_Write", "NPP_URLNotify", "NPP_DestroyStream",
                                          "invoke SetVariable", "-> NPN_GetURLNotify", "NPP_SetWindow"});
    const std::string n = std::to_string(bytes.size());
    EXPECT_EQ(j, (std::vector<std::string>{
                     WindowLine(d->BufferDC, 50, 50),  // the fresh instance's drawable
                     "NPP_NewStream type=\"application/x-shockwave-flash\" url=\"query.swf\" end=" + n +
                         " seekable=1 stype=1",
                     "NPP_Write offset=0 len=" + n, "NPP_DestroyStream reason=0",
                     "NPP_URLNotify url=\"query.swf\" reason=0 notify=ours", "invoke SetVariable(\"a\", \"1\")",
                     "invoke SetVariable(\"b\", \"two\")", WindowLine(d->BufferDC, 50, 50),
                     "-> NPN_GetURLNotify url=\"query.swf?a=1&b=two\" target=null rc=0"}));
    EXPECT_EQ(d->GetTotalFrames(), 5);
    EXPECT_EQ(d->GetVariable(u"b"), u"two");
}

TEST_F(NetscapeDriver, FilesComeBeforeTheStoreAndTheStoreBeforeResources) {
    WriteMovie(u"dup.swf", MovieBytes(7));
    WriteMovie(u"escaped name.swf", MovieBytes(2));
    TvdFlashList list(nullptr);
    auto add = [&](const char16_t* name, int frames) {
        const auto bytes = MovieBytes(frames);
        TMemoryStream s;
        s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        TvdFlashStream* item = list.GetFlashs()->Add();
        item->LoadData(s);
        item->SetFlashStore(name);
    };
    add(u"dup.swf", 3);
    add(u"stored.swf", 6);
    add(u"ArcticOverAll.swf", 9);
    auto d = Make(50, 50, kOpaque);
    d->LoadMovie(u"dup.swf");
    EXPECT_EQ(d->GetTotalFrames(), 7);
    d->LoadMovie(u"STORED.SWF");
    EXPECT_EQ(d->GetTotalFrames(), 6);
    d->LoadMovie(u"http://vdlocal/some/folder/stored.swf");
    EXPECT_EQ(d->GetTotalFrames(), 6);
    d->LoadMovie(u"ArcticOverAll.swf");  // the store has it before the resources
    EXPECT_EQ(d->GetTotalFrames(), 9);
    const std::string dir = WideToUtf8(SlashPath(ApplicationDirectory()));
    d->LoadMovie(Utf8ToWide("file:///" + dir + "escaped%20name.swf"));
    EXPECT_EQ(d->GetTotalFrames(), 2);
}

TEST_F(NetscapeDriver, BuiltInMoviesComeFromTheResources) {
    TMovieResource resource;
    ASSERT_TRUE(FindMovieResource(u"SteelOverAll.swf", resource));
    auto d = Make(50, 50, kOpaque);
    hooks.clearJournal();
    d->LoadMovie(u"SteelOverAll.swf");
    EXPECT_TRUE(Has(hooks.Journal(),
                    "NPP_NewStream type=\"application/x-shockwave-flash\" url=\"SteelOverAll.swf\" "
                    "end=" +
                        std::to_string(resource.Size) + " seekable=1 stype=1"));
    EXPECT_GT(d->GetTotalFrames(), 0);
}

TEST_F(NetscapeDriver, StreamMovieIsServedOnceByItsToken) {
    const auto bytes = MovieBytes(8);
    TMemoryStream source;
    source.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    source.SetPosition(0);
    auto d = Make(50, 50, kOpaque);
    d->LoadedMovie = u"previous.swf";
    hooks.clearJournal();
    d->LoadMovieFromStream(&source);
    const auto loads = hooks.Lines("invoke LoadMovie");
    ASSERT_EQ(loads.size(), 1u);
    const std::string prefix = "invoke LoadMovie(0, \"http://vdlocal/<stream>";
    ASSERT_EQ(loads[0].rfind(prefix, 0), 0u) << loads[0];
    const std::string token = loads[0].substr(prefix.size(), 8);
    EXPECT_EQ(loads[0], prefix + token + ".swf\")");
    EXPECT_EQ(hooks.Lines("NPP_NewStream").size(), 1u);
    EXPECT_TRUE(Has(hooks.Journal(), "NPP_URLNotify url=\"/<stream>" + token + ".swf\" reason=0 notify=ours"));
    EXPECT_EQ(d->GetTotalFrames(), 8);
    EXPECT_EQ(d->LoadedMovie, u"");
    // A second request for the same token finds nothing, and says so.
    auto e = Make(50, 50, kOpaque);
    hooks.clearJournal();
    e->LoadMovie(Utf8ToWide("http://vdlocal/<stream>" + token + ".swf"));
    EXPECT_TRUE(hooks.Lines("NPP_NewStream").empty());
    EXPECT_TRUE(Has(hooks.Journal(), "NPP_URLNotify url=\"/<stream>" + token + ".swf\" reason=1 notify=ours"));
}

TEST_F(NetscapeDriver, VideosGoThroughTheBuiltInPlayerMovie) {
    auto d = Make(50, 50, kOpaque);
    d->Skin = u"MojaveOverAll";
    d->Volume = 30;
    hooks.clearJournal();
    d->LoadMovie(u"clips/a.flv.swf");
    EXPECT_EQ(Only(hooks.Journal(), {"invoke"}),
              (std::vector<std::string>{"invoke LoadMovie(0, \"flvplayback.swf\")",
                                        "invoke SetVariable(\"flv.skin\", \"MojaveOverAll.swf\")",
                                        "invoke SetVariable(\"flv.volume\", \"30\")",
                                        "invoke SetVariable(\"flv.contentPath\", \"http://vdlocalclips/a.flv.swf\")"}));
    EXPECT_TRUE(d->IsFLV);
    hooks.clearJournal();
    d->LoadMovie(u"clip.FLV");
    EXPECT_EQ(Only(hooks.Journal(), {"invoke"}), std::vector<std::string>{"invoke LoadMovie(0, \"clip.FLV\")"});
    EXPECT_FALSE(d->IsFLV);
    const auto flv = vdtest::FlvBytes();
    TMemoryStream video;
    video.Write(flv.data(), static_cast<int64_t>(flv.size()));
    video.SetPosition(0);
    hooks.clearJournal();
    d->LoadMovieFromStream(&video);
    const auto calls = Only(hooks.Journal(), {"invoke"});
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], "invoke LoadMovie(0, \"flvplayback.swf\")");
    EXPECT_EQ(calls[3].rfind("invoke SetVariable(\"flv.contentPath\", \"http://vdlocal/<stream>", 0), 0u);
    EXPECT_EQ(calls[3].substr(calls[3].size() - 6), ".flv\")");
    EXPECT_TRUE(d->IsFLV);
}

TEST_F(NetscapeDriver, RequestNothingAnswersIsToldSo) {
    auto d = Make(50, 50, kOpaque);
    for (const char* url : {"missing.swf", "elsewhere/missing.swf"}) {
        hooks.clearJournal();
        d->LoadMovie(Utf8ToWide(url));
        const auto j = Only(hooks.Journal(), {"NPP_NewStream", "NPP_URLNotify", "invoke SetVariable"});
        EXPECT_EQ(j, std::vector<std::string>{"NPP_URLNotify url=" + Quote(url) + " reason=1 notify=ours"}) << url;
    }
}

TEST_F(NetscapeDriver, OnlyScriptUrlsAreRefused) {
    WriteMovie(u"myjavamovie.swf", MovieBytes(3));
    auto d = Make(50, 50, kOpaque);
    d->LoadMovie(u"myjavamovie.swf");
    EXPECT_EQ(d->GetTotalFrames(), 3);
    for (const char* url : {"javascript:alert(1)", "  JavaScript:go()"}) {
        hooks.clearJournal();
        d->LoadMovie(Utf8ToWide(url));
        EXPECT_TRUE(hooks.Lines("NPP_NewStream").empty());
        EXPECT_TRUE(hooks.Lines("NPP_URLNotify").empty());
        EXPECT_TRUE(Has(hooks.Journal(), "-> NPN_GetURLNotify url=" + Quote(url) + " target=null rc=10")) << url;
    }
}

// ---- Scripting ------------------------------------------------------------------------------

TEST_F(NetscapeDriver, PlaybackOperationsGoToTheScriptableObject) {
    WriteMovie(u"play.swf", MovieBytes(20));
    auto d = Make(50, 50, kOpaque);
    d->LoadMovie(u"play.swf");
    hooks.clearJournal();
    d->SetLoop(true);
    EXPECT_TRUE(d->GetLoop());
    d->SetCurrentFrame(10);
    EXPECT_EQ(d->GetCurrentFrame(), 10);
    d->Play();
    EXPECT_TRUE(d->GetIsPlaying());
    d->StopPlay();
    EXPECT_FALSE(d->GetIsPlaying());
    d->Rewind();
    d->Forward();
    d->Back();
    EXPECT_EQ(
        Only(hooks.Journal(), {"invoke", "setProperty"}),
        (std::vector<std::string>{"setProperty Loop = true", "invoke GetLoop()", "invoke GotoFrame(10)",
                                  "invoke CurrentFrame()", "invoke Play()", "invoke IsPlaying()", "invoke StopPlay()",
                                  "invoke IsPlaying()", "invoke Rewind()", "invoke Forward()", "invoke Back()"}));
    d->SetCurrentFrame(3);
    d->Forward();
    EXPECT_EQ(d->GetCurrentFrame(), 4);
    EXPECT_EQ(d->GetTotalFrames(), 20);
}

TEST_F(NetscapeDriver, FSCommandReachesTheHandlerWhichMayCallTheMovieAgain) {
    WriteMovie(u"fs.swf", MovieBytes(4));
    auto d = Make(50, 50, kOpaque);
    d->LoadMovie(u"fs.swf");
    d->SetVariable(u"greeting", u"hello");
    std::vector<std::string> seen;
    d->OnFSCommand = [&](TObject* sender, const WideString& command, const WideString& args) {
        EXPECT_EQ(sender, d.get());
        // Back into the movie while its own call is still running.
        auto* driver = static_cast<TvdFlashDriverNS*>(sender);
        seen.push_back(WideToUtf8(command) + "|" + WideToUtf8(args) + "|" +
                       WideToUtf8(driver->GetVariable(u"greeting")));
        driver->SetVariable(u"answered", command);
    };
    ASSERT_TRUE(hooks.fireFSCommand("quit", "now \xC3\xA9"));
    EXPECT_EQ(seen, std::vector<std::string>{"quit|now \xC3\xA9|hello"});
    EXPECT_EQ(d->GetVariable(u"answered"), u"quit");
}

TEST_F(NetscapeDriver, ExternalCallBecomesARequestAndTheHandlersLastValueIsTheAnswer) {
    WriteMovie(u"ext.swf", MovieBytes(4));
    auto d = Make(50, 50, kOpaque);
    d->LoadMovie(u"ext.swf");
    std::vector<std::string> requests;
    d->OnFlashCall = [&](TObject* sender, const WideString& request) {
        requests.push_back(WideToUtf8(request));
        auto* driver = static_cast<TvdFlashDriverNS*>(sender);
        driver->SetReturnValue(u"<string>first</string>");
        driver->SetReturnValue(u"<string>" + driver->GetVariable(u"v") + u"</string>");
    };
    d->SetVariable(u"v", u"from the movie");
    EXPECT_EQ(hooks.CallHost("sendData", "<string>abc</string><number>12</number><true/>"),
              "<string>from the movie</string>");
    EXPECT_EQ(hooks.CallHost("noArgs", ""), "<string>from the movie</string>");
    EXPECT_EQ(requests, (std::vector<std::string>{
                            "<invoke name=\"sendData\" returntype=\"XML\"><arguments><string>abc</string>"
                            "<string>12</string><string>true</string></arguments></invoke>",
                            "<invoke name=\"noArgs\" returntype=\"XML\"><arguments></arguments></invoke>"}));
    // Without an answer the movie gets the empty text.
    d->OnFlashCall = [](TObject*, const WideString&) {};
    EXPECT_EQ(hooks.CallHost("silent", "<string>x</string>"), "");
}

TEST_F(NetscapeDriver, HandlerExceptionsGoToTheApplicationNotIntoThePlugin) {
    WriteMovie(u"raise.swf", MovieBytes(4));
    auto d = Make(50, 50, kOpaque);
    d->LoadMovie(u"raise.swf");
    std::vector<std::string> reported;
    Application().SetOnException([&](TObject*, const Exception& e) { reported.push_back(e.what()); });
    d->OnFSCommand = [](TObject*, const WideString&, const WideString&) { throw Exception("fs handler failed"); };
    d->OnFlashCall = [](TObject* sender, const WideString&) {
        static_cast<TvdFlashDriverNS*>(sender)->SetReturnValue(u"<string>partial</string>");
        throw Exception("call handler failed");
    };
    hooks.clearJournal();
    EXPECT_TRUE(hooks.fireFSCommand("go", ""));
    const std::string answer = hooks.CallHost("f", "");
    Application().SetOnException({});
    EXPECT_EQ(reported, (std::vector<std::string>{"fs handler failed", "call handler failed"}));
    // The plugin's calls came back to it normally, the external call with the empty answer.
    EXPECT_EQ(hooks.Lines("-> NPN_Invoke _DoFSCommand").size(), 1u);
    EXPECT_EQ(hooks.Lines("-> NPN_Evaluate").size(), 1u);
    EXPECT_EQ(answer, "");
    EXPECT_EQ(d->GetTotalFrames(), 4);
}

TEST_F(NetscapeDriver, CallFunctionPassesTheRequestAndAnswerUnchanged) {
    // A movie that registers an external function, which answers with its first argument.
    const auto bytes = vdtest::SwfBuilder(100, 100, 12, 2).GetUrl("ExternalInterface:echo", "").Fws();
    WriteMovie(u"echo.swf", bytes);
    auto d = Make(50, 50, kOpaque);
    d->LoadMovie(u"echo.swf");
    EXPECT_EQ(d->CallFunction(u"<invoke name=\"echo\" returntype=\"xml\"><arguments><string>ping</string>"
                              u"</arguments></invoke>"),
              u"<string>ping</string>");
}

TEST_F(NetscapeDriver, AScriptedExchangeLeavesNothingOutstanding) {
    const int blocksBefore = NetscapeHostBlocks();
    {
        WriteMovie(u"own.swf", MovieBytes(4));
        auto d = Make(50, 50, kOpaque);
        d->LoadMovie(u"own.swf");
        d->OnFSCommand = [&](TObject*, const WideString&, const WideString&) { d->GetVariable(u"x"); };
        d->OnFlashCall = [&](TObject*, const WideString&) { d->SetReturnValue(u"<string>ok</string>"); };
        d->SetVariable(u"x", u"1");
        EXPECT_EQ(d->GetVariable(u"x"), u"1");
        d->CallFunction(u"<invoke name=\"nothing\" returntype=\"xml\"></invoke>");
        hooks.fireFSCommand("a", "b");
        EXPECT_EQ(hooks.CallHost("f", "<string>x</string>"), "<string>ok</string>");
        d->GetIsPlaying();
        d->LoadMovie(u"own.swf");  // a second instance, and its object
        EXPECT_EQ(hooks.liveObjects(), 1);
    }
    EXPECT_EQ(hooks.liveObjects(), 0);
    EXPECT_EQ(NetscapeHostBlocks(), blocksBefore);
}

// ---- The player control -----------------------------------------------------------------------

TEST_F(NetscapeDriver, PlayerWithTheNetscapePluginPlaysAMovie) {
    WriteMovie(u"control.swf", MovieBytes(6));
    TForm form(nullptr);
    form.SetBounds(100, 50, 200, 200);
    auto* player = new TvdFlashPlayer(&form);
    player->SetParent(&form);
    player->SetBounds(10, 10, 80, 60);
    player->SetPlugin(vdNetscape);
    player->SetMovie(u"control.swf");
    EXPECT_EQ(player->GetTotalFrames(), 6);
    ASSERT_NE(player->Driver(), nullptr);
    EXPECT_EQ(player->Driver()->ClassName(), "TvdFlashDriverNS");
    // A right press, once the menu is allowed, reaches the plugin where it is on the screen: the
    // parent's client area on the screen (not its frame) plus the player's place in it.
    form.HandleNeeded();
    player->SetDisableFlashMenu(false);
    POINT client{0, 0};
    ClientToScreen(form.Handle(), &client);
    RECT frame{};
    GetWindowRect(form.Handle(), &frame);
    ASSERT_NE(client.y, frame.top);  // the caption lies between them
    hooks.clearJournal();
    player->Driver()->MouseDown(mbRight, {}, 5, 6);
    EXPECT_EQ(hooks.Journal(), std::vector<std::string>{"NPP_HandleEvent event=0x204 wParam=0x0 lParam=" +
                                                        Hex(((client.y + 10 + 6) << 16) | (client.x + 10 + 5))});
}

}  // namespace

// ---- The browser-side table as the plugin sees it ---------------------------------------------

class BrowserTable : public NetscapeDriver {
protected:
    const np::NPNetscapeFuncs& t = np::Unit().Browser.Funcs;
};

TEST_F(BrowserTable, HeaderAndStubsAnswerAsAPluginExpects) {
    EXPECT_EQ(t.size, np::NPNetscapeFuncsSize);
    // The version promises what is there: the 42 entries and nothing of version 18 on.
    EXPECT_EQ(t.version, 17);
    const auto* entries = reinterpret_cast<void* const*>(&t.geturl);
    for (size_t i = 0; i < np::NPNetscapeFuncsEntries; ++i) EXPECT_NE(entries[i], nullptr) << "entry " << i + 1;
    // Room as large as the newest table right behind it, null beyond the entries there.
    for (void* later : np::Unit().Browser.Later) EXPECT_EQ(later, nullptr);
    EXPECT_EQ(reinterpret_cast<const char*>(&np::Unit().Browser.Later[0]) - reinterpret_cast<const char*>(&t),
              static_cast<ptrdiff_t>(sizeof(np::NPNetscapeFuncs)));
    auto d = Make(20, 20, kOpaque);
    np::NPP npp = d->Instance;
    EXPECT_EQ(t.geturl(npp, "a.swf", nullptr), 0);
    // Nothing is posted anywhere: the plugin hears so.
    EXPECT_EQ(t.posturl(npp, "a.swf", nullptr, 0, "", 0), np::NPERR_GENERIC_ERROR);
    np::NPStream* none = nullptr;
    EXPECT_EQ(t.newstream(npp, nullptr, nullptr, &none), 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(t.write(npp, nullptr, 10, nullptr), 0);
    EXPECT_EQ(t.memflush(100), 0u);
    EXPECT_EQ(t.getJavaEnv(), nullptr);
    EXPECT_EQ(t.getJavaPeer(npp), nullptr);
    EXPECT_EQ(t.intfromidentifier(t.getstringidentifier("x")), 0);
    EXPECT_TRUE(t.identifierisstring(t.getstringidentifier("x")));
    EXPECT_FALSE(t.invokeDefault(npp, nullptr, nullptr, 0, nullptr));
    EXPECT_FALSE(t.hasmethod(npp, nullptr, t.getstringidentifier("x")));
    EXPECT_FALSE(t.hasproperty(npp, nullptr, t.getstringidentifier("x")));
    // The same user agent every time, naming this host last.
    const char* agent = t.uagent(npp);
    EXPECT_EQ(t.uagent(nullptr), agent);
    EXPECT_EQ(std::string(agent).substr(std::string(agent).size() - 9), " Vidora/4");
    // A request with a target, and a post, are served nowhere: the plugin is told they
    // failed instead of waiting for ever.
    hooks.clearJournal();
    int token = 0;
    EXPECT_EQ(t.geturlnotify(npp, "a.swf", "_blank", &token), 0);
    EXPECT_EQ(t.posturlnotify(npp, "b.cgi", nullptr, 3, "x=1", 0, nullptr), 0);
    EXPECT_EQ(hooks.Journal(), (std::vector<std::string>{"NPP_URLNotify url=\"a.swf\" reason=1 notify=ours",
                                                         "NPP_URLNotify url=\"b.cgi\" reason=1 notify=null"}));
}

TEST_F(BrowserTable, BrowserVariablesAndMemory) {
    np::NPBool flag = 0;
    EXPECT_EQ(t.getvalue(nullptr, np::NPNVjavascriptEnabledBool, &flag), 0);
    EXPECT_EQ(flag, 1);
    flag = 0;
    EXPECT_EQ(t.getvalue(nullptr, np::NPNVSupportsWindowless, &flag), 0);
    EXPECT_EQ(flag, 1);
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(t.getvalue(nullptr, np::NPNVnetscapeWindow, &window), 0);
    EXPECT_EQ(window, nullptr);
    // A variable the host does not answer is an error, and the output stays as it was.
    for (np::NPNVariable unanswered : {np::NPNVisOfflineBool, np::NPNVPluginElementNPObject, np::NPNVxDisplay}) {
        void* untouched = &flag;
        EXPECT_EQ(t.getvalue(nullptr, unanswered, &untouched), np::NPERR_GENERIC_ERROR) << unanswered;
        EXPECT_EQ(untouched, &flag);
    }
    const int before = NetscapeHostBlocks();
    auto* block = static_cast<unsigned char*>(t.memalloc(64));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::all_of(block, block + 64, [](unsigned char b) { return b == 0; }));
    t.memfree(block);
    char* name =
        t.utf8fromidentifier(t.getstringidentifier("Lo\xC3\xA4"
                                                   "d"));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name,
                 "Lo\xC3\xA4"
                 "d");
    t.memfree(name);
    EXPECT_EQ(NetscapeHostBlocks(), before);
}

TEST_F(BrowserTable, IdentifiersAreInternedOneByOneAndInBulk) {
    std::string a = "SetVariable", b = "SetVariable";
    EXPECT_EQ(t.getstringidentifier(a.c_str()), t.getstringidentifier(b.c_str()));
    EXPECT_NE(t.getstringidentifier("Play"), t.getstringidentifier("play"));
    const char* names[] = {"Play", "GotoFrame", "Play"};
    np::NPIdentifier ids[3] = {};
    t.getstringidentifiers(names, 3, ids);
    EXPECT_EQ(ids[0], t.getstringidentifier("Play"));
    EXPECT_EQ(ids[1], t.getstringidentifier("GotoFrame"));
    EXPECT_EQ(ids[2], ids[0]);
}

TEST_F(BrowserTable, PageObjectsAnswerLocationAndTopAndSurviveAnyRelease) {
    np::NPObject* window = nullptr;
    ASSERT_EQ(t.getvalue(nullptr, np::NPNVWindowNPObject, &window), 0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->referenceCount, 1u);
    np::NPVariant v{};
    ASSERT_TRUE(t.getproperty(nullptr, window, t.getstringidentifier("location"), &v));
    ASSERT_EQ(v.type, np::NPVariantType_Object);
    np::NPObject* location = v.value.objectValue;
    t.releasevariantvalue(&v);
    EXPECT_EQ(v.type, np::NPVariantType_Void);
    v.type = np::NPVariantType_Int32;
    EXPECT_FALSE(t.getproperty(nullptr, window, t.getstringidentifier("Location"), &v));
    EXPECT_EQ(v.type, np::NPVariantType_Int32);  // untouched
    ASSERT_TRUE(t.getproperty(nullptr, window, t.getstringidentifier("top"), &v));
    np::NPObject* top = v.value.objectValue;
    ASSERT_TRUE(t.getproperty(nullptr, top, t.getstringidentifier("location"), &v));
    EXPECT_NE(v.value.objectValue, location);
    EXPECT_FALSE(t.getproperty(nullptr, top, t.getstringidentifier("top"), &v));
    EXPECT_FALSE(t.getproperty(nullptr, location, t.getstringidentifier("href"), &v));
    EXPECT_EQ(v.type, np::NPVariantType_Void);
    // Location methods answer an empty text, owned by the caller.
    const int before = NetscapeHostBlocks();
    np::NPVariant result{};
    EXPECT_TRUE(t.invoke(nullptr, location, t.getstringidentifier("toString"), nullptr, 0, &result));
    EXPECT_EQ(result.type, np::NPVariantType_String);
    EXPECT_EQ(result.value.stringValue.UTF8Length, 0u);
    t.releasevariantvalue(&result);
    EXPECT_EQ(NetscapeHostBlocks(), before);
    for (int i = 0; i < 5; ++i) t.releaseobject(window);
    np::NPObject* again = nullptr;
    t.getvalue(nullptr, np::NPNVWindowNPObject, &again);
    EXPECT_EQ(again, window);
    EXPECT_EQ(again->referenceCount, 1u);
}

TEST_F(BrowserTable, CallsOnThePluginsObjectsGoToTheirOwnClass) {
    auto d = Make(20, 20, kOpaque);
    np::NPP npp = d->Instance;
    np::NPObject* object = d->ScriptObject;
    ASSERT_NE(object, nullptr);
    d->SetVariable(u"greeting", u"hi");
    auto id = [&](const char* name) { return t.getstringidentifier(name); };
    const std::string name = "greeting";
    const np::NPVariant arg = np::BorrowedString(name);
    const np::NPVariant yes = np::BoolVariant(true);
    np::NPVariant result{};
    struct Case {
        const char* what;
        std::function<bool()> call;
        bool answer;
        std::string seen;  // what the plugin's class received
    };
    const Case cases[] = {
        {"invoke", [&] { return t.invoke(npp, object, id("GetVariable"), &arg, 1, &result); }, true,
         "invoke GetVariable(\"greeting\")"},
        {"invokeDefault", [&] { return t.invokeDefault(npp, object, nullptr, 0, &result); }, false,
         "invokeDefault argc=0"},
        {"getproperty", [&] { return t.getproperty(npp, object, id("Loop"), &result); }, true, "getProperty Loop"},
        {"setproperty", [&] { return t.setproperty(npp, object, id("Loop"), &yes); }, true, "setProperty Loop = true"},
        {"hasmethod", [&] { return t.hasmethod(npp, object, id("Play")); }, true, "hasMethod Play"},
        {"hasproperty", [&] { return t.hasproperty(npp, object, id("Loop")); }, true, "hasProperty Loop"},
        {"removeproperty", [&] { return t.removeproperty(npp, object, id("Loop")); }, false, "removeProperty Loop"},
    };
    for (const Case& c : cases) {
        hooks.clearJournal();
        result = np::NPVariant{};
        EXPECT_EQ(c.call(), c.answer) << c.what;
        EXPECT_EQ(hooks.Journal(), std::vector<std::string>{c.seen}) << c.what;
        if (std::string(c.what) == "invoke") {
            EXPECT_EQ(np::VariantString(result), "hi");
        }
        if (std::string(c.what) == "setproperty") {
            EXPECT_TRUE(d->GetLoop());
        }
        t.releasevariantvalue(&result);
    }
    // The page's own objects still answer for themselves, and a null object answers nothing.
    np::NPObject* window = nullptr;
    ASSERT_EQ(t.getvalue(npp, np::NPNVWindowNPObject, &window), 0);
    hooks.clearJournal();
    EXPECT_FALSE(t.hasmethod(npp, window, id("Play")));
    EXPECT_FALSE(t.setproperty(npp, window, id("Loop"), &yes));
    EXPECT_FALSE(t.invoke(npp, nullptr, id("Play"), nullptr, 0, &result));
    EXPECT_FALSE(t.getproperty(npp, nullptr, id("Loop"), &result));
    EXPECT_TRUE(hooks.Journal().empty());
}

TEST_F(BrowserTable, ObjectsOfAClassWithoutAllocateAreMadeAndFreedByTheHost) {
    static np::NPClass plain{1,       nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr};
    const int before = NetscapeHostBlocks();
    np::NPObject* o = t.createobject(nullptr, &plain);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->_class, &plain);
    EXPECT_EQ(o->referenceCount, 1u);
    EXPECT_EQ(NetscapeHostBlocks(), before + 1);
    t.retainobject(o);
    t.releaseobject(o);
    EXPECT_EQ(NetscapeHostBlocks(), before + 1);
    t.releaseobject(o);
    EXPECT_EQ(NetscapeHostBlocks(), before);
    EXPECT_EQ(t.createobject(nullptr, nullptr), nullptr);
}

TEST_F(BrowserTable, IntegerIdentifiersAreInternedApartFromNames) {
    const np::NPIdentifier seven = t.getintidentifier(7);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(t.getintidentifier(7), seven);
    EXPECT_NE(t.getintidentifier(8), seven);
    EXPECT_NE(t.getstringidentifier("7"), seven);
    EXPECT_FALSE(t.identifierisstring(seven));
    EXPECT_EQ(t.intfromidentifier(seven), 7);
    EXPECT_EQ(t.intfromidentifier(t.getintidentifier(-3)), -3);
    EXPECT_EQ(t.utf8fromidentifier(seven), nullptr);  // an integer has no text
    // An integer names none of the page's members.
    np::NPObject* window = nullptr;
    ASSERT_EQ(t.getvalue(nullptr, np::NPNVWindowNPObject, &window), 0);
    np::NPVariant v = np::IntVariant(5);
    EXPECT_FALSE(t.getproperty(nullptr, window, seven, &v));
    EXPECT_EQ(v.type, np::NPVariantType_Int32);
}

TEST_F(BrowserTable, WishesAndCommandsAreAnsweredForWhatTheyDo) {
    auto d = Make(20, 20, kOpaque);
    // The reference player asks for a windowless, transparent instance in NPP_New, as plugins do.
    EXPECT_TRUE(hooks.Lines("-> NPN_SetValue").empty());
    np::NPP npp = d->Instance;
    struct Case {
        np::NPPVariable variable;
        void* value;
        np::NPError answer;
    };
    for (const Case& c : {Case{np::NPPVpluginWindowBool, nullptr, np::NPERR_NO_ERROR},
                          Case{np::NPPVpluginWindowBool, reinterpret_cast<void*>(1), np::NPERR_GENERIC_ERROR},
                          Case{np::NPPVpluginTransparentBool, reinterpret_cast<void*>(1), np::NPERR_NO_ERROR},
                          Case{np::NPPVpluginTransparentBool, nullptr, np::NPERR_NO_ERROR},
                          Case{np::NPPVpluginNameString, nullptr, np::NPERR_GENERIC_ERROR}})
        EXPECT_EQ(t.setvalue(npp, c.variable, c.value), c.answer) << c.variable << " " << c.value;
    // An FSCommand has no value: the result says so (void) before the call answers true.
    std::vector<std::string> commands;
    d->OnFSCommand = [&](TObject*, const WideString& command, const WideString&) {
        commands.push_back(WideToUtf8(command));
    };
    np::NPObject* window = nullptr;
    ASSERT_EQ(t.getvalue(npp, np::NPNVWindowNPObject, &window), 0);
    const std::string command = "quit", args = "";
    const np::NPVariant argv[2] = {np::BorrowedString(command), np::BorrowedString(args)};
    np::NPVariant result = np::IntVariant(77);
    EXPECT_TRUE(t.invoke(npp, window, t.getstringidentifier("_DoFSCommand"), argv, 2, &result));
    EXPECT_EQ(result.type, np::NPVariantType_Void);
    EXPECT_EQ(commands, std::vector<std::string>{"quit"});
}
