// The five built-in movies as the build made them: natively the files swfgen wrote, under
// Wine the RCDATA resources of the test's own module (which links the library's resources).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "swf_reader.h"
#include "vd_movienames.h"
#include "vd_swf.h"

#ifdef _WIN32
#include "vd_movieres.h"
#endif

using namespace swftest;

namespace {

std::string MovieBytes(std::u16string_view requestedAs) {
#ifdef _WIN32
    vd::TMovieResource r;
    if (!vd::FindMovieResource(requestedAs, r)) return {};
    return std::string(reinterpret_cast<const char*>(r.Data), r.Size);
#else
    std::ifstream in(std::string(VD_MOVIES_DIR) + "/" + vd::WideToUtf8(std::u16string(requestedAs)), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
#endif
}

bool Has(const std::string& haystack, const std::string& needle) { return haystack.find(needle) != std::string::npos; }

std::string AllActionBytes(const Movie& m) {
    std::string all;
    for (const Tag& t : m.Tags) {
        if (t.Code == 12) all += t.Body;
        if (t.Code == 34) all += t.Body;  // buttons carry their actions inside
    }
    return all;
}

std::map<std::string, Placement> Named(const Movie& m, int sprite) {
    std::map<std::string, Placement> named;
    for (const Tag& t : m.Tags)
        if (t.Code == 26 && t.SpriteId == sprite) {
            Placement p = ReadPlaceObject2(t.Body);
            if (!p.Name.empty()) named[p.Name] = p;
        }
    return named;
}

uint16_t DefinedId(const Tag& t) {
    return static_cast<uint16_t>(static_cast<uint8_t>(t.Body[0]) | static_cast<uint8_t>(t.Body[1]) << 8);
}

TEST(BuiltInMovies, EachIsACompressedVersion8MovieWithSoundStructure) {
    for (const vd::TBuiltInMovie& b : vd::kBuiltInMovies) {
        const std::string name = vd::WideToUtf8(std::u16string(b.RequestedAs));
        SCOPED_TRACE(name);
        const std::string bytes = MovieBytes(b.RequestedAs);
        ASSERT_FALSE(bytes.empty()) << "not built";
        Movie m;
        ASSERT_NO_THROW(m = ReadMovie(bytes));
        EXPECT_EQ(m.Signature, "CWS");
        EXPECT_EQ(m.Version, 8);
        EXPECT_EQ(m.DeclaredLength, m.InflatedLength);
        EXPECT_GT(m.XMax, m.XMin);
        EXPECT_GT(m.YMax, m.YMin);
        EXPECT_GT(m.FrameRate, 0);
        EXPECT_GE(m.FrameCount, 1);
        ASSERT_FALSE(m.Tags.empty());
        EXPECT_EQ(m.Tags.front().Code, 69) << "version 8 movies start with their file attributes";
        EXPECT_EQ(m.Tags.back().Code, 0);
        EXPECT_EQ(m.Tags.back().SpriteId, 0);
        int frames = 0;
        for (const Tag& t : m.Tags) {
            if (t.Code == 1 && t.SpriteId == 0) ++frames;
            if (t.Code == 12) {
                EXPECT_NO_THROW(ReadActions(t.Body));
            }
        }
        EXPECT_EQ(frames, m.FrameCount);
    }
}

TEST(BuiltInMovies, PlayerMovieMeetsTheHostContract) {
    const Movie m = ReadMovie(MovieBytes(u"flvplayback.swf"));
    // "flv" on the main timeline, a clip holding a video object.
    const auto named = Named(m, 0);
    ASSERT_TRUE(named.count("flv"));
    const int flvClip = named.at("flv").Character;
    bool flvIsSprite = false, holdsVideo = false;
    std::set<int> videos;
    for (const Tag& t : m.Tags)
        if (t.Code == 60) videos.insert(DefinedId(t));
    for (const Tag& t : m.Tags) {
        if (t.Code == 39 && DefinedId(t) == flvClip) flvIsSprite = true;
        if (t.Code == 26 && t.SpriteId == flvClip && videos.count(ReadPlaceObject2(t.Body).Character))
            holdsVideo = true;
    }
    EXPECT_TRUE(flvIsSprite);
    EXPECT_TRUE(holdsVideo);
    // The frame label the reference player recognises it by, in frame 1.
    bool labelled = false;
    for (const Tag& t : m.Tags) {
        if (t.Code == 1 && t.SpriteId == 0) break;
        if (t.Code == 43) labelled = labelled || t.Body == std::string("flvplayback\0", 12);
    }
    EXPECT_TRUE(labelled);
    // The callbacks and the variables, by name, in the action bytes.
    const std::string actions = AllActionBytes(m);
    for (const char* s :
         {"playflv", "stopflv", "addCallback", "ExternalInterface", "contentPath", "skin", "volume", "NetConnection",
          "NetStream", "attachVideo", "Sound", "setVolume", "loadMovie", "onEnterFrame", "ClearOverAll.swf"})
        EXPECT_TRUE(Has(actions, std::string(s) + '\0')) << s;
}

TEST(BuiltInMovies, SkinsHaveTheControlsAndFourDistinctLooks) {
    std::set<std::string> looks;
    for (const char16_t* skin :
         {u"ClearOverAll.swf", u"SteelOverAll.swf", u"MojaveOverAll.swf", u"ArcticOverAll.swf"}) {
        SCOPED_TRACE(vd::WideToUtf8(skin));
        const Movie m = ReadMovie(MovieBytes(skin));
        const auto named = Named(m, 0);
        for (const char* control : {"play", "playpause", "stop", "volumebar", "handle", "mute"})
            EXPECT_TRUE(named.count(control)) << control;
        int buttons = 0, shapes = 0;
        std::string shapeBytes;
        for (const Tag& t : m.Tags) {
            if (t.Code == 34) {
                ++buttons;
                // Each button calls the player movie on _parent when released.
                EXPECT_TRUE(Has(t.Body, std::string("_parent") + '\0'));
            }
            if (t.Code == 32) {
                ++shapes;
                shapeBytes += t.Body;
            }
        }
        EXPECT_EQ(buttons, 5);
        EXPECT_GE(shapes, 10);
        const std::string calls = AllActionBytes(m);
        for (const char* f : {"vdplay", "vdtoggle", "vdstop", "vdsetvol", "vdmute"})
            EXPECT_TRUE(Has(calls, std::string(f) + '\0')) << f;
        looks.insert(shapeBytes);
    }
    EXPECT_EQ(looks.size(), 4u);
}

// What a player that draws shapes and runs no buttons (the package's own) shows of each skin:
// the bar's panel, each button's face and icon, the volume bar.
TEST(BuiltInMovies, SkinsShowTheirControlsAsShapes) {
    for (const char16_t* skin :
         {u"ClearOverAll.swf", u"SteelOverAll.swf", u"MojaveOverAll.swf", u"ArcticOverAll.swf"}) {
        SCOPED_TRACE(vd::WideToUtf8(skin));
        const std::string bytes = MovieBytes(skin);
        const auto loaded = vd::swf::LoadMovie(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ASSERT_TRUE(loaded.movie) << loaded.error;
        ASSERT_EQ(loaded.movie->StageWidth(), 320);
        ASSERT_EQ(loaded.movie->StageHeight(), 40);
        vd::swf::Stage stage(loaded.movie);
        std::vector<uint32_t> px(320 * 40, 0u);
        vd::swf::RenderOptions o;
        o.fillBackground = false;
        stage.Render(px.data(), 320, 40, 320, o);
        auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * 320 + x]; };
        const uint32_t panel = at(140, 20);  // between the stop button and the volume bar
        EXPECT_NE(panel >> 24, 0u);
        for (int x : {20, 56, 92, 300}) {
            const uint32_t icon = at(x, 20), face = at(x + 12, 20);
            EXPECT_NE(icon, panel) << x;
            EXPECT_NE(face, panel) << x;
            EXPECT_NE(face, icon) << x;
        }
        EXPECT_NE(at(210, 20), panel);  // the volume bar
    }
}

TEST(SwfReader, RefusesDamagedMovies) {
    const std::string good = MovieBytes(u"flvplayback.swf");
    ASSERT_NO_THROW(ReadMovie(good));
    std::string wrongLength = good;
    wrongLength[4] = static_cast<char>(wrongLength[4] + 1);
    EXPECT_THROW(ReadMovie(wrongLength), BadMovie);
    EXPECT_THROW(ReadMovie(good.substr(0, good.size() - 6)), BadMovie);
    std::string badSignature = good;
    badSignature[0] = 'X';
    EXPECT_THROW(ReadMovie(badSignature), BadMovie);
    EXPECT_THROW(ReadMovie(good.substr(0, 5)), BadMovie);
}

}  // namespace
