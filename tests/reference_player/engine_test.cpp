// The reference player's engine: movie reading, the external-interface texts and the player
// model the two front ends share.
#include "rp_engine.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <string>
#include <vector>

namespace {

using vd::rp::ExtRequest;
using vd::rp::ExtValue;
using vd::rp::MediaKind;
using vd::rp::Player;
using vdtest::SwfBuilder;

SwfBuilder FourFrames() {
    SwfBuilder b(400, 300, 24, 4);
    b.Background(0x336699).Label("intro").FSCommand("started", "now").ShowFrame();
    b.ShowFrame();
    b.Label("middle").FSCommand("halfway", "").ShowFrame();
    b.ShowFrame();
    return b;
}

TEST(MovieReading, UncompressedAndCompressedGiveTheSameMovie) {
    for (const auto& bytes : {FourFrames().Fws(), FourFrames().Cws()}) {
        const auto m = vd::rp::ReadMovie(bytes.data(), bytes.size());
        ASSERT_EQ(m.kind, MediaKind::Swf) << m.error;
        EXPECT_EQ(m.width, 400);
        EXPECT_EQ(m.height, 300);
        EXPECT_DOUBLE_EQ(m.frameRate, 24.0);
        EXPECT_EQ(m.frameCount, 4);
        EXPECT_TRUE(m.hasBackground);
        EXPECT_EQ(m.background, 0x336699u);
        EXPECT_EQ(m.FrameOfLabel("intro"), 0);
        EXPECT_EQ(m.FrameOfLabel("middle"), 2);
        EXPECT_EQ(m.FrameOfLabel("absent"), -1);
        ASSERT_EQ(m.fsCommands.size(), 2u);
        EXPECT_EQ(m.fsCommands[0].command, "started");
        EXPECT_EQ(m.fsCommands[0].args, "now");
        EXPECT_EQ(m.fsCommands[1].frame, 2);
    }
    EXPECT_TRUE(vd::rp::ReadMovie(FourFrames().Cws().data(), FourFrames().Cws().size()).compressed);
}

TEST(MovieReading, FlvAndOtherDataAndDamagedMovies) {
    const auto flv = vdtest::FlvBytes();
    EXPECT_EQ(vd::rp::ReadMovie(flv.data(), flv.size()).kind, MediaKind::Flv);
    const std::string xml = "<config/>";
    EXPECT_EQ(vd::rp::ReadMovie(reinterpret_cast<const uint8_t*>(xml.data()), xml.size()).kind, MediaKind::Other);
    // Every truncation of a compressed and of an uncompressed movie is read without harm.
    for (const auto& whole : {FourFrames().Cws(), FourFrames().Fws()}) {
        for (size_t n = 0; n < whole.size(); ++n) {
            const auto m = vd::rp::ReadMovie(whole.data(), n);
            if (m.kind == MediaKind::Swf) {
                EXPECT_LE(m.fsCommands.size(), 2u);
            }
        }
    }
    // A compressed body that is not zlib data, and a header claiming a huge file.
    std::vector<uint8_t> bad{'C', 'W', 'S', 8, 100, 0, 0, 0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(vd::rp::ReadMovie(bad.data(), bad.size()).kind, MediaKind::Other);
    std::vector<uint8_t> huge{'C', 'W', 'S', 8, 0xFF, 0xFF, 0xFF, 0x7F, 0x78, 0x9C};
    EXPECT_EQ(vd::rp::ReadMovie(huge.data(), huge.size()).kind, MediaKind::Other);
}

TEST(ExternalInterfaceText, RequestsRoundTripWithEscapedText) {
    ExtRequest r{"send<Data>",
                 "xml",
                 {ExtValue::Str("a&b \"q\""), ExtValue::Num("12.5"), ExtValue::Bool(true), ExtValue::Bool(false),
                  ExtValue{ExtValue::Type::Null, false, {}}, ExtValue{}}};
    const std::string xml = vd::rp::WriteRequest(r);
    EXPECT_EQ(xml.substr(0, 47), "<invoke name=\"send&lt;Data&gt;\" returntype=\"xml");
    const auto back = vd::rp::ReadRequest(xml);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, r.name);
    EXPECT_EQ(back->returnType, "xml");
    EXPECT_EQ(back->args, r.args);
}

TEST(ExternalInterfaceText, AcceptsTheHostFormsAndRefusesBrokenText) {
    // The pause requests of a host: no arguments element at all.
    auto r = vd::rp::ReadRequest("<invoke name=\"stopflv\" returntype=\"xml\"></invoke>");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->name, "stopflv");
    EXPECT_TRUE(r->args.empty());
    r = vd::rp::ReadRequest("<invoke name=\"f\" returntype=\"XML\"><arguments></arguments></invoke>");
    ASSERT_TRUE(r);
    r = vd::rp::ReadRequest("<invoke name=\"f\"><arguments><string>&#65;&#x263A;</string></arguments></invoke>");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->args.at(0).text, "A\xE2\x98\xBA");
    for (const char* bad :
         {"", "<invoke>", "<invoke name=\"f\"", "<invoke name=\"f\"><arguments><string>x</arguments></invoke>",
          "<invoke name=\"f\"></invoke>trailing", "<invoke name=\"&bogus;\"></invoke>",
          "<invoke name=\"f\"><arguments><object/></arguments></invoke>"}) {
        EXPECT_FALSE(vd::rp::ReadRequest(bad)) << bad;
    }
    EXPECT_EQ(vd::rp::ReadValue(" <string>x</string> ")->text, "x");
    EXPECT_FALSE(vd::rp::ReadValue("<string>x</string><true/>"));
}

TEST(ExternalInterfaceText, ScriptWrapperQuotesStringsForTheHostsScanner) {
    EXPECT_EQ(vd::rp::WrapExternalCall("sendData", {ExtValue::Str("abc"), ExtValue::Num("12")}),
              "try { __flash__toXML(sendData(\"abc\",12)) ; } catch (e) { \"<undefined/>\"; }");
    EXPECT_EQ(vd::rp::WrapExternalCall("f", {}), "try { __flash__toXML(f()) ; } catch (e) { \"<undefined/>\"; }");
    EXPECT_EQ(vd::rp::WrapExternalCall("g", {ExtValue::Str("a\"b\\c"), ExtValue::Bool(true)}),
              "try { __flash__toXML(g(\"a\\\"b\\\\c\",true)) ; } catch (e) { \"<undefined/>\"; }");
}

// A host that records what the engine asks of it.
struct RecordingHost : vd::rp::PlayerHost {
    std::vector<std::string> requests, commands;
    std::vector<vd::rp::Rect> invalid;
    std::vector<std::string> calls;
    std::string answer = "<string>ok</string>";
    void RequestUrl(const std::string& url) override { requests.push_back(url); }
    void Invalidate(const vd::rp::Rect& r) override { invalid.push_back(r); }
    void FSCommand(const std::string& c, const std::string& a) override { commands.push_back(c + "|" + a); }
    std::string ExternalCall(const std::string& name, const std::vector<ExtValue>& args) override {
        calls.push_back(name + "/" + std::to_string(args.size()));
        return answer;
    }
};

TEST(Player, LoadsWhatItAskedForAndFiresFrameCommandsAsFramesPlay) {
    RecordingHost host;
    Player p(host);
    p.SetExtent(200, 100);
    p.LoadMovie(0, "file:///C:/m/a b.swf");
    ASSERT_EQ(host.requests, std::vector<std::string>{"file:///C:/m/a b.swf"});
    EXPECT_FALSE(p.HasMovie());
    p.DataArrived("other.xml", {'<', 'x', '/', '>'});  // not the movie: kept
    EXPECT_FALSE(p.HasMovie());
    EXPECT_EQ(p.Media().count("other.xml"), 1u);
    p.DataArrived("file:///C:/m/a b.swf", FourFrames().Cws());
    ASSERT_TRUE(p.HasMovie());
    EXPECT_EQ(p.TotalFrames(), 4);
    EXPECT_EQ(p.CurrentFrame(), 0);
    EXPECT_TRUE(p.IsPlaying());
    EXPECT_EQ(p.FrameInterval(), 42);
    EXPECT_EQ(host.commands, std::vector<std::string>{"started|now"});
    ASSERT_FALSE(host.invalid.empty());
    EXPECT_EQ(host.invalid.back(), (vd::rp::Rect{0, 0, 200, 100}));

    host.invalid.clear();
    EXPECT_TRUE(p.Step());
    EXPECT_TRUE(p.Step());
    EXPECT_EQ(p.CurrentFrame(), 2);
    EXPECT_EQ(host.commands.back(), "halfway|");
    // Each frame change repaints the whole extent: the engine draws the new frame.
    ASSERT_EQ(host.invalid.size(), 2u);
    EXPECT_EQ(host.invalid[0], (vd::rp::Rect{0, 0, 200, 100}));
    EXPECT_TRUE(p.Step());
    EXPECT_TRUE(p.Step());  // loops by default
    EXPECT_EQ(p.CurrentFrame(), 0);
    p.SetLoop(false);
    p.GotoFrame(3);
    EXPECT_FALSE(p.Step());
    EXPECT_FALSE(p.IsPlaying());
    EXPECT_EQ(p.CurrentFrame(), 3);
}

TEST(Player, PlaybackCommandsMoveWithinTheMovie) {
    RecordingHost host;
    Player p(host);
    p.LoadMovie(0, "m.swf");
    p.DataArrived("m.swf", FourFrames().Fws());
    p.Forward();
    EXPECT_EQ(p.CurrentFrame(), 1);
    EXPECT_FALSE(p.IsPlaying());
    p.Back();
    p.Back();
    EXPECT_EQ(p.CurrentFrame(), 0);
    p.GotoFrame(99);
    EXPECT_EQ(p.CurrentFrame(), 3);
    p.Rewind();
    EXPECT_EQ(p.CurrentFrame(), 0);
    p.Play();
    EXPECT_TRUE(p.IsPlaying());
    p.StopPlay();
    EXPECT_FALSE(p.Step());
    // Loading again replaces the movie: nothing to play until the data comes.
    p.LoadMovie(0, "n.swf");
    EXPECT_FALSE(p.HasMovie());
    EXPECT_EQ(p.TotalFrames(), 0);
    EXPECT_FALSE(p.Step());
}

// A host whose FSCommand handler loads another movie, as applications do.
struct ReloadingHost : RecordingHost {
    Player* player = nullptr;
    void FSCommand(const std::string& c, const std::string& a) override {
        RecordingHost::FSCommand(c, a);
        if (c == "next") player->LoadMovie(0, "next.swf");
    }
};

TEST(Player, AFrameStopsSendingCommandsOnceAHandlerReplacesTheMovie) {
    ReloadingHost host;
    Player p(host);
    host.player = &p;
    p.LoadMovie(0, "m.swf");
    SwfBuilder b(100, 100, 12, 1);
    b.FSCommand("next", "").FSCommand("stale", "").ShowFrame();
    p.DataArrived("m.swf", b.Fws());
    EXPECT_EQ(host.commands, std::vector<std::string>{"next|"});
    EXPECT_EQ(host.requests.back(), "next.swf");
    EXPECT_FALSE(p.HasMovie());
}

TEST(Player, VariablesCallbacksAndHostCalls) {
    RecordingHost host;
    Player p(host);
    p.LoadMovie(0, "m.swf");
    SwfBuilder b(100, 100, 12, 1);
    b.Callback("echo").ShowFrame();
    p.DataArrived("m.swf", b.Fws());
    p.SetVariable("a.b.c", "x y");
    EXPECT_EQ(p.GetVariable("a.b.c"), "x y");
    EXPECT_EQ(p.GetVariable("missing"), "");
    EXPECT_EQ(p.GetVariable("$version"), "WIN 10,0,0,0");
    EXPECT_EQ(p.FlashVersion() >> 16, 10);
    EXPECT_EQ(
        p.CallFunction(
            "<invoke name=\"echo\" returntype=\"xml\"><arguments><string>hi &amp; bye</string></arguments></invoke>"),
        "<string>hi &amp; bye</string>");
    EXPECT_EQ(p.CallFunction("<invoke name=\"echo\" returntype=\"xml\"></invoke>"), "<undefined/>");
    EXPECT_EQ(p.CallFunction("<invoke name=\"nobody\" returntype=\"xml\"></invoke>"), "");
    EXPECT_EQ(p.CallFunction("garbage"), "");
    EXPECT_EQ(p.CallHost("hostFn", {ExtValue::Str("1")}), "<string>ok</string>");
    EXPECT_EQ(host.calls, std::vector<std::string>{"hostFn/1"});
    // Not a video player: flv variables are only variables.
    p.SetVariable("flv.skin", "Steel.swf");
    EXPECT_EQ(host.requests.size(), 1u);
}

TEST(Player, TheVideoPlayerMovieRequestsSkinAndContentAsGiven) {
    RecordingHost host;
    Player p(host);
    p.LoadMovie(0, "flvplayback.swf");
    SwfBuilder b(320, 240, 30, 2);
    b.Label("flvplayback").ShowFrame().ShowFrame();
    p.DataArrived("flvplayback.swf", b.Cws());
    ASSERT_TRUE(p.IsVideoPlayer());
    EXPECT_TRUE(p.HasFunction("playflv"));
    EXPECT_TRUE(p.HasFunction("stopflv"));
    p.SetVariable("flv.skin", "ClearOverAll.swf");
    p.SetVariable("flv.volume", "35");
    p.SetVariable("flv.contentPath", "http://vdhost/C:/media/clip.flv");
    EXPECT_EQ(host.requests,
              (std::vector<std::string>{"flvplayback.swf", "ClearOverAll.swf", "http://vdhost/C:/media/clip.flv"}));
    EXPECT_EQ(p.Volume(), 35);
    EXPECT_TRUE(p.VideoPlaying());
    EXPECT_EQ(p.CallFunction("<invoke name=\"stopflv\" returntype=\"xml\"></invoke>"), "<undefined/>");
    EXPECT_FALSE(p.VideoPlaying());
    p.CallFunction("<invoke name=\"playflv\" returntype=\"xml\"></invoke>");
    EXPECT_TRUE(p.VideoPlaying());
    // Data arriving for the skin is kept, not taken as the movie.
    p.DataArrived("ClearOverAll.swf", SwfBuilder(10, 10, 12, 1).Cws());
    EXPECT_TRUE(p.IsVideoPlayer());
    EXPECT_EQ(p.Media().count("ClearOverAll.swf"), 1u);
}

TEST(Player, VideoSettingsMadeBeforeThePlayerMovieArrivesApplyWhenItDoes) {
    RecordingHost host;
    Player p(host);
    p.LoadMovie(0, "flvplayback.swf");
    p.SetVariable("flv.skin", "SteelOverAll.swf");
    p.SetVariable("flv.volume", "20");
    p.SetVariable("flv.contentPath", "clip.flv");
    EXPECT_EQ(host.requests.size(), 1u);  // nothing asked for yet: no player movie
    SwfBuilder b(320, 240, 30, 1);
    b.Label("flvplayback").ShowFrame();
    p.DataArrived("flvplayback.swf", b.Fws());
    EXPECT_EQ(host.requests, (std::vector<std::string>{"flvplayback.swf", "SteelOverAll.swf", "clip.flv"}));
    EXPECT_EQ(p.Volume(), 20);
}

// ---- Drawing through the engine ----

uint32_t At(const std::vector<uint32_t>& px, int w, int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
int Alpha(uint32_t p) { return static_cast<int>(p >> 24); }

// 400 x 300: panel (50,37)-(350,263) in 0x336699 at half alpha, track (100,132)-(300,168),
// its fill a quarter longer each frame.
std::vector<uint8_t> ProgressMovie() {
    return SwfBuilder(400, 300, 24, 4).Background(0x336699).ProgressFrames(0x336699).Fws();
}

TEST(PlayerDrawing, TheMoviesShapesFrameByFrameWithTheirAlpha) {
    RecordingHost host;
    Player p(host);
    p.SetExtent(400, 300);
    p.SetTransparent(true);
    p.LoadMovie(0, "m.swf");
    p.DataArrived("m.swf", ProgressMovie());
    ASSERT_TRUE(p.DrawsMovie()) << p.EngineError();
    auto px = p.Render(400, 300);
    ASSERT_EQ(px.size(), 400u * 300u);
    EXPECT_EQ(At(px, 400, 2, 2), 0u);  // outside the panel: untouched
    const uint32_t panel = At(px, 400, 60, 60);
    EXPECT_EQ(Alpha(panel), 128);  // half-transparent, premultiplied
    EXPECT_NEAR(static_cast<int>((panel >> 16) & 0xFF), 0x33 * 128 / 255, 1);
    EXPECT_NEAR(static_cast<int>(panel & 0xFF), 0x99 * 128 / 255, 1);
    EXPECT_EQ(At(px, 400, 298, 150), SwfBuilder::kTrack);
    // The fill ends a quarter along the track, then half, then all of it; back at the start
    // after a rewind.
    struct Step {
        const char* what;
        std::function<void()> act;
        int frame, fillEnd;
    };
    const std::vector<Step> steps = {
        {"start", [] {}, 0, 150},
        {"timer", [&] { p.Step(); }, 1, 200},
        {"goto", [&] { p.GotoFrame(3); }, 3, 300},
        {"back", [&] { p.Back(); }, 2, 250},
        {"rewind", [&] { p.Rewind(); }, 0, 150},
    };
    for (const auto& s : steps) {
        host.invalid.clear();
        s.act();
        EXPECT_EQ(p.CurrentFrame(), s.frame) << s.what;
        if (s.frame != 0 || std::string(s.what) != "start") {
            ASSERT_EQ(host.invalid.size(), 1u) << s.what;
            EXPECT_EQ(host.invalid[0], (vd::rp::Rect{0, 0, 400, 300})) << s.what;
        }
        px = p.Render(400, 300);
        EXPECT_EQ(At(px, 400, s.fillEnd - 1, 150), SwfBuilder::kFill) << s.what;
        if (s.fillEnd < 300) {
            EXPECT_EQ(At(px, 400, s.fillEnd, 150), SwfBuilder::kTrack) << s.what;
        }
    }

    // Opaque mode paints the movie's background where the shapes leave it.
    p.SetTransparent(false);
    px = p.Render(400, 300);
    EXPECT_EQ(At(px, 400, 2, 2), 0xFF336699u);
    EXPECT_EQ(At(px, 400, 298, 150), SwfBuilder::kTrack);
}

TEST(PlayerDrawing, ScaleModesFitTheStageIntoTheArea) {
    using vd::rp::ScaleMode;
    struct Case {
        ScaleMode mode;
        double sx, sy, ox, oy;
    };
    // A 200 x 100 stage in a 400 x 400 area.
    for (const Case& c : {Case{ScaleMode::ShowAll, 2, 2, 0, 100}, Case{ScaleMode::NoBorder, 4, 4, -200, 0},
                          Case{ScaleMode::ExactFit, 2, 4, 0, 0}, Case{ScaleMode::NoScale, 1, 1, 100, 150}}) {
        const auto f = vd::rp::FitStage(200, 100, 400, 400, c.mode);
        EXPECT_DOUBLE_EQ(f.scaleX, c.sx) << static_cast<int>(c.mode);
        EXPECT_DOUBLE_EQ(f.scaleY, c.sy) << static_cast<int>(c.mode);
        EXPECT_DOUBLE_EQ(f.offsetX, c.ox) << static_cast<int>(c.mode);
        EXPECT_DOUBLE_EQ(f.offsetY, c.oy) << static_cast<int>(c.mode);
    }
    EXPECT_EQ(vd::rp::ScaleModeOf("noBorder"), ScaleMode::NoBorder);
    EXPECT_EQ(vd::rp::ScaleModeOf("Exact Fit"), ScaleMode::ExactFit);
    EXPECT_EQ(vd::rp::ScaleModeOf("bogus"), ScaleMode::ShowAll);
    EXPECT_EQ(vd::rp::QualityOf("AutoLow"), vd::swf::Quality::Low);
    EXPECT_EQ(vd::rp::QualityOf("medium"), vd::swf::Quality::Medium);
    EXPECT_EQ(vd::rp::QualityOf(""), vd::swf::Quality::High);

    // Drawn: the 400 x 300 movie shown whole in 200 x 300 is letterboxed top and bottom.
    RecordingHost host;
    Player p(host);
    p.SetTransparent(true);
    p.LoadMovie(0, "m.swf");
    p.DataArrived("m.swf", ProgressMovie());
    auto px = p.Render(200, 300);
    EXPECT_EQ(At(px, 200, 100, 150), SwfBuilder::kTrack);  // the track's middle, halved
    EXPECT_EQ(At(px, 200, 30, 75), 0u);                    // above the stage
    p.SetScaleMode(ScaleMode::ExactFit);
    px = p.Render(200, 300);
    EXPECT_EQ(Alpha(At(px, 200, 30, 75)), 128);  // stretched: the panel reaches it
}

TEST(PlayerDrawing, LowQualityDrawsWithoutAntiAliasing) {
    RecordingHost host;
    Player p(host);
    p.SetTransparent(true);
    p.LoadMovie(0, "m.swf");
    p.DataArrived("m.swf", ProgressMovie());
    // Scaled by 0.777..., the shapes' edges fall inside pixels.
    auto alphas = [&](vd::swf::Quality q) {
        p.SetQuality(q);
        std::set<int> seen;
        for (uint32_t v : p.Render(311, 233)) seen.insert(Alpha(v));
        return seen;
    };
    EXPECT_EQ(alphas(vd::swf::Quality::Low), (std::set<int>{0, 128, 255}));
    EXPECT_GT(alphas(vd::swf::Quality::High).size(), 3u);
}

TEST(PlayerDrawing, TheVideoPlayerShowsItsSkinAlongTheFootOfItsStage) {
    RecordingHost host;
    Player p(host);
    p.SetTransparent(true);
    p.LoadMovie(0, "flvplayback.swf");
    p.SetVariable("flv.skin", "Skin.swf");
    SwfBuilder player(320, 280, 30, 1);
    player.Label("flvplayback").ShowFrame();
    p.DataArrived("flvplayback.swf", player.Fws());
    ASSERT_TRUE(p.IsVideoPlayer());
    EXPECT_EQ(p.SkinStage(), nullptr);
    SwfBuilder skin(320, 40, 30, 1);
    skin.Rectangle(1, 0, 0, 320, 40, 0xFF3A3E44).Place(1, 1).ShowFrame();
    host.invalid.clear();
    p.DataArrived("Skin.swf", skin.Fws());
    ASSERT_NE(p.SkinStage(), nullptr);
    auto px = p.Render(320, 280);
    EXPECT_EQ(At(px, 320, 160, 100), 0u);           // the video's area: no video drawn
    EXPECT_EQ(At(px, 320, 160, 260), 0xFF3A3E44u);  // the skin's bar
    // Other media that arrive are kept, not drawn.
    p.DataArrived("clip.flv", vdtest::FlvBytes());
    EXPECT_EQ(p.Media().count("clip.flv"), 1u);
}

TEST(PlayerDrawing, MediaTheEngineDoesNotDrawKeepTheStandInPicture) {
    RecordingHost host;
    Player p(host);
    EXPECT_TRUE(p.Layout(400, 300).panel.Empty());  // no movie: nothing drawn
    p.LoadMovie(0, "clip.flv");
    p.DataArrived("clip.flv", vdtest::FlvBytes());
    ASSERT_TRUE(p.HasMovie());
    EXPECT_FALSE(p.DrawsMovie());
    EXPECT_TRUE(p.Render(400, 300).empty());
    const auto pic = p.Layout(400, 300);
    EXPECT_EQ(pic.panel, (vd::rp::Rect{50, 37, 350, 263}));
    EXPECT_EQ(pic.fill, pic.track);  // its one frame is all of it
}

TEST(Faults, NamesSwitchTheirFailuresOn) {
    auto f = vd::rp::Faults::Parse("no_newp, version7;loadmovie_hr=0x80004005,bogus");
    EXPECT_TRUE(f.noNewp);
    EXPECT_TRUE(f.version7);
    EXPECT_FALSE(f.newFails);
    EXPECT_EQ(f.loadMovieHr, 0x80004005u);
    EXPECT_EQ(f.unknown, std::vector<std::string>{"bogus"});
    // A "failure" that is a success code is refused rather than reported as a failure.
    f = vd::rp::Faults::Parse("raises_once");
    EXPECT_TRUE(f.handlerRaises && f.raisesOnce);
    f = vd::rp::Faults::Parse("loadmovie_hr=1");
    EXPECT_EQ(f.loadMovieHr, 0u);
    EXPECT_EQ(f.unknown.size(), 1u);
    // The hostile switches name the call they act inside; a count that is not one is refused.
    f = vd::rp::Faults::Parse("fscommand_in=paint,invalidate_in_paint,write_ready=100,write_refuses,write_ready=x");
    EXPECT_TRUE(f.HostileIn("paint"));
    EXPECT_FALSE(f.HostileIn("write"));
    EXPECT_TRUE(f.invalidateInPaint && f.writeRefuses);
    EXPECT_EQ(f.writeReady, 100);
    EXPECT_EQ(f.unknown, std::vector<std::string>{"write_ready=x"});
    EXPECT_EQ(vd::rp::Faults::Parse("fscommand_in=").unknown.size(), 1u);
}

}  // namespace
