// The ActiveX driver's moniker name resolution, bind-target forms and load plans, with the
// store, resources, files and application directory of each case handed in. Platform-free;
// runs natively (sanitizers) and under Wine.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "vd_ax_names.h"
#include "vd_flashstore.h"

using namespace vd;
using namespace vd::ax;

namespace {

std::string U8(std::u16string_view w) { return WideToUtf8(w); }

WideString Base(std::u16string_view rest) { return WideString(kDummyBaseUrl) + WideString(rest); }

// A world of stored movies, resources (by upper-case resource name) and files (as
// LocalFilePath spells them: lower case, backslashes), with the application in c:\app\.
struct TWorld {
    std::set<WideString> stored;  // compared without regard to case, as the index does
    std::set<WideString> resources{u"FLVPLAYBACK", u"CLEAROVERALL", u"STEELOVERALL"};
    std::set<WideString> files;

    TMonikerLookups Lookups() const {
        TMonikerLookups l;
        l.StoreHolds = [this](const WideString& n) {
            for (const WideString& s : stored)
                if (SameWideText(s, n)) return true;
            return false;
        };
        l.ResourceExists = [this](const WideString& n) {
            WideString upper;
            for (char16_t c : StripExtension(n)) upper += (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
            return resources.count(upper) > 0;
        };
        l.FileExists = [this](const WideString& n) { return files.count(LocalFilePath(n)) > 0; };
        l.ApplicationDirectory = u"C:\\app\\";
        return l;
    }
};

struct TCase {
    const char* what;
    WideString name;
    WideString pending;
    bool refused;
    WideString target;
};

TEST(CreateMonikerNames, EveryNameForm) {
    TWorld world;
    world.stored = {u"Intro.swf"};
    world.files = {u"c:\\app\\clearoverall.swf", u"c:\\media\\clip.flv", u"c:\\app\\sub\\beside.swf",
                   u"c:\\app\\rel.swf",          u"c:\\there.swf",       u"c:\\app\\http:\\\\vdlocal\\x.xml"};
    const TCase cases[] = {
        {"leading ./ removed", u"./movie.swf", u"", false, u"movie.swf"},
        {"other host, no media", u"http://example.com/page", u"", false, u"http://example.com/page"},
        {"other host kept as is", u"http://example.com/a\\b.swf", u"", false, u"http://example.com/a\\b.swf"},
        {"https without media refused", u"https://example.com/page", u"", true, u""},
        {"https with media reaches urlmon", u"https://example.com/a.swf", u"", false, u"https://example.com/a.swf"},
        {"upper-case extension refused", Base(u"MOVIE.SWF"), u"", true, u""},
        {"refusal keeps the pending target", u"notes.doc", u"pending.swf", true, u"pending.swf"},
        {"stored movie by base URL", Base(u"intro.swf"), u"", false, u"<list>intro.swf"},
        {"stored movie by file URL", u"file:///C:/x/Intro.swf", u"", false, u"<list>intro.swf"},
        {"stored movie with query", Base(u"media/Intro.swf?x=1"), u"", false, u"<list>intro.swf"},
        {"stored name, upper-case extension refused", u"file:///C:/x/Intro.SWF", u"", true, u""},
        {"resource before the directory", u"ClearOverAll.swf", u"", false, u"<res>ClearOverAll.swf"},
        {"resource names are looked up whole", Base(u"flvplayback.swf"), u"", false, u"flvplayback.swf"},
        {"beside the executable, base URL", Base(u"sub\\beside.swf"), u"", false, u"C:/app/sub/beside.swf"},
        {"beside the executable, plain name", u"rel.swf", u"", false, u"C:/app/rel.swf"},
        {"beside the executable, whole base URL", Base(u"x.xml"), u"", false, u"C:/app/" + Base(u"x.xml")},
        {"existing drive path", Base(u"C:\\media\\clip.flv"), u"", false, u"C:/media/clip.flv"},
        {"missing drive path leaves the target", Base(u"D:/missing/clip.flv"), u"", false, u""},
        {"missing drive path, pending slashed", Base(u"D:/missing/clip.flv"), u"a\\b.swf", false, u"a/b.swf"},
        {"stream address", Base(u"<stream>0012AB34.swf"), u"", false, u"<stream>0012AB34.swf"},
        {"base URL then ./", Base(u"./other.swf"), u"", false, u"other.swf"},
        {"relative name", Base(u"a.png"), u"", false, u"a.png"},
        {"relative path with folder", Base(u"media/other.mp3"), u"", false, u"media/other.mp3"},
        {"plain drive path, not checked", u"C:\\dir\\a.swf", u"", false, u"C:/dir/a.swf"},
        {"existing file URL", u"file:///C:/there.swf", u"", false, u"file:///C:/there.swf"},
        {"missing file URL leaves the target", u"file:///C:/gone.swf", u"old.swf", false, u"old.swf"},
        {"file:// alone", u"file://", u"kept\\as.swf", false, u"kept\\as.swf"},
        {"./file:// alone", u"./file://", u"", false, u""},
        {"youtube without extension", u"www.youtube.com/watch?v=1", u"", false, u"www.youtube.com/watch?v=1"},
        {"escaped query in a stored name", Base(u"intro.swf%3fq%3d1"), u"", false, u"<list>intro.swf"},
        {"empty name refused", u"", u"", true, u""},
    };
    const TMonikerLookups lookups = world.Lookups();
    for (const TCase& c : cases) {
        const TMonikerResolution r = ResolveMonikerName(c.name, c.pending, lookups);
        EXPECT_EQ(r.Refused, c.refused) << c.what << ": " << U8(c.name);
        EXPECT_EQ(U8(r.Target), U8(c.target)) << c.what << ": " << U8(c.name);
    }
}

TEST(CreateMonikerNames, StoredPlayerMovieReplacesTheBuiltInOne) {
    TWorld world;
    const TMonikerLookups lookups = world.Lookups();
    EXPECT_EQ(ResolveMonikerName(u"flvplayback.swf", u"", lookups).Target, u"<res>flvplayback.swf");
    world.stored = {u"FlvPlayback.swf"};
    EXPECT_EQ(ResolveMonikerName(u"flvplayback.swf", u"", lookups).Target, u"<list>flvplayback.swf");
}

TEST(CreateMonikerNames, NothingToAskMeansNothingFound) {
    const TMonikerLookups none;
    EXPECT_EQ(ResolveMonikerName(u"ClearOverAll.swf", u"", none).Target, u"ClearOverAll.swf");
    EXPECT_EQ(ResolveMonikerName(Base(u"C:\\x\\clip.flv"), u"", none).Target, u"");
}

TEST(CreateMonikerNames, DefaultLookupsUseTheStoreIndexAndTheFileHook) {
    SetFileExistsHook([](const WideString& f) { return f == u"c:\\real\\clip.flv"; });
    const TMonikerLookups lookups = DefaultMonikerLookups();
    EXPECT_EQ(ResolveMonikerName(Base(u"C:/real/clip.flv"), u"", lookups).Target, u"C:/real/clip.flv");
    EXPECT_EQ(ResolveMonikerName(Base(u"C:/fake/clip.flv"), u"", lookups).Target, u"");
    SetFileExistsHook({});

    EXPECT_EQ(ResolveMonikerName(Base(u"stored.swf"), u"", lookups).Target, u"stored.swf");
    {
        TvdFlashList list(nullptr);
        TvdFlashStream* item = list.GetFlashs()->Add();
        item->SetFlashStore(u"Stored.SWF");
        EXPECT_EQ(ResolveMonikerName(Base(u"stored.swf"), u"", lookups).Target, u"<list>stored.swf");
    }
    // The index goes with the last stored movie.
    EXPECT_EQ(ResolveMonikerName(Base(u"stored.swf"), u"", lookups).Target, u"stored.swf");
}

TEST(BindTargets, MarkersAndTheRest) {
    EXPECT_EQ(ClassifyBindTarget(u"<res>ClearOverAll.swf").Kind, TBindSourceKind::Resource);
    EXPECT_EQ(ClassifyBindTarget(u"<res>ClearOverAll.swf").Name, u"ClearOverAll.swf");
    EXPECT_EQ(ClassifyBindTarget(u"<list>intro.swf").Kind, TBindSourceKind::Stored);
    EXPECT_EQ(ClassifyBindTarget(u"<list>intro.swf").Name, u"intro.swf");
    EXPECT_EQ(ClassifyBindTarget(u"<stream>0012AB34.flv").Kind, TBindSourceKind::Stream);
    EXPECT_EQ(ClassifyBindTarget(u"<stream>0012AB34.flv").Name, u"0012AB34.flv");
    for (const char16_t* other : {u"", u"C:/media/clip.flv", u"http://example.com/a.swf", u" <res>x", u"<RES>x"}) {
        EXPECT_EQ(ClassifyBindTarget(other).Kind, TBindSourceKind::Network) << U8(other);
        EXPECT_EQ(ClassifyBindTarget(other).Name, other);
    }
}

TEST(LoadPlans, NamedMovieAndNamedVideo) {
    const TMovieLoad movie = PlanNamedLoad(u"CLIP.FLV", u"ClearOverAll", 50);
    EXPECT_EQ(movie.Url, Base(u"CLIP.FLV"));
    EXPECT_TRUE(movie.Variables.empty());
    EXPECT_EQ(movie.LoadedMovie, u"CLIP.FLV");
    EXPECT_FALSE(movie.IsFLV);

    const TMovieLoad video = PlanNamedLoad(u"C:\\media\\clip.flv", u"SteelOverAll", 73);
    EXPECT_EQ(video.Url, u"flvplayback.swf");
    ASSERT_EQ(video.Variables.size(), 3u);
    EXPECT_EQ(video.Variables[0].Name, u"flv.skin");
    EXPECT_EQ(video.Variables[0].Value, u"SteelOverAll.swf");
    EXPECT_EQ(video.Variables[1].Name, u"flv.volume");
    EXPECT_EQ(video.Variables[1].Value, u"73");
    EXPECT_EQ(video.Variables[2].Name, u"flv.contentPath");
    EXPECT_EQ(video.Variables[2].Value, Base(u"C:/media/clip.flv"));
    EXPECT_EQ(video.LoadedMovie, u"C:/media/clip.flv");
    EXPECT_TRUE(video.IsFLV);
}

TEST(LoadPlans, StreamsSetTheAddressBeforeSkinAndVolume) {
    const TMovieLoad movie = PlanStreamLoad(u"0012AB34", false, u"ClearOverAll", 50);
    EXPECT_EQ(movie.Url, Base(u"<stream>0012AB34.swf"));
    EXPECT_TRUE(movie.Variables.empty());
    EXPECT_FALSE(movie.IsFLV);
    EXPECT_TRUE(movie.LoadedMovie.empty());

    const TMovieLoad video = PlanStreamLoad(u"0012AB34", true, u"ArcticOverAll", -5);
    EXPECT_EQ(video.Url, u"flvplayback.swf");
    ASSERT_EQ(video.Variables.size(), 3u);
    EXPECT_EQ(video.Variables[0].Name, u"flv.contentPath");
    EXPECT_EQ(video.Variables[0].Value, Base(u"<stream>0012AB34.flv"));
    EXPECT_EQ(video.Variables[1].Value, u"ArcticOverAll.swf");
    EXPECT_EQ(video.Variables[2].Value, u"-5");
    EXPECT_TRUE(video.IsFLV);
    EXPECT_TRUE(video.LoadedMovie.empty());
}

}  // namespace
