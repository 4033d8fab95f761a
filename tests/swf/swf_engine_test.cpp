// The SWF engine where the picture corpus cannot reach: damaged and hostile movies, the
// timeline operations, masks, the edge model's corner cases and the output format.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "swf_builder.h"
#include "vd_swf.h"

using namespace swftest;
using vd::swf::LoadMovie;
using vd::swf::Quality;
using vd::swf::RenderOptions;
using vd::swf::Stage;

namespace {

constexpr uint32_t kWhite = 0xffffffff, kRed = 0xffff0000, kBlue = 0xff0000ff, kGreen = 0xff00ff00;

std::shared_ptr<const vd::swf::Movie> Load(const std::vector<uint8_t>& swf) {
    auto r = LoadMovie(swf.data(), swf.size());
    EXPECT_TRUE(r.movie) << r.error;
    return r.movie;
}

struct Picture {
    int w, h;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

Picture Draw(const Stage& stage, int w, int h, Quality q = Quality::Low, bool background = true, uint32_t fill = 0) {
    Picture p{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, fill)};
    RenderOptions o;
    o.quality = q;
    o.fillBackground = background;
    stage.Render(p.px.data(), w, h, w, o);
    return p;
}

// A 10x10 stage; shape 1 is a red square over pixels 2..5, shape 2 a blue one over 4..7.
std::vector<std::vector<uint8_t>> TwoSquares() {
    return {DefineShape(1, {0xff0000}, RectRecords(40, 40, 120, 120)),
            DefineShape(2, {0x0000ff}, RectRecords(80, 80, 160, 160))};
}

// Lists of tags, or two tags' bytes, one after the other.
template <class T> std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(SwfLoad, DamagedOrForeignDataIsRefusedWithAReason) {
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        const char* reason;
    };
    std::vector<uint8_t> zws{'Z', 'W', 'S', 13, 40, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<uint8_t> badZlib{'C', 'W', 'S', 10, 100, 0, 0, 0, 0xde, 0xad, 0xbe, 0xef};
    std::vector<uint8_t> shortBody{'F', 'W', 'S', 10, 9, 0, 0, 0, 0xff};
    const Case cases[] = {
        {"empty", {}, "8-byte header"},
        {"short", {'F', 'W', 'S'}, "8-byte header"},
        {"not swf", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, "signature"},
        {"lzma", zws, "LZMA"},
        {"bad zlib", badZlib, "inflate"},
        {"body ends in its header", shortBody, "header"},
    };
    for (const Case& c : cases) {
        auto r = LoadMovie(c.data.data(), c.data.size());
        EXPECT_FALSE(r.movie) << c.what;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.what << ": " << r.error;
    }
}

TEST(SwfLoad, EveryTruncationOfAMovieLoadsOrFailsCleanlyAndDraws) {
    auto swf = Movie(
        10, 10,
        TwoSquares() + std::vector<std::vector<uint8_t>>{PlaceObject2({1, 1}), PlaceObject2({2, 2}), ShowFrame()});
    for (size_t n = 0; n <= swf.size(); ++n) {
        auto r = LoadMovie(swf.data(), n);
        if (!r.movie) {
            EXPECT_FALSE(r.error.empty());
            continue;
        }
        Stage stage(r.movie);
        Picture p = Draw(stage, 10, 10);
        stage.NextFrame();
        EXPECT_EQ(p.At(0, 0), kWhite) << n;  // background, nothing outside the shapes
    }
}

TEST(SwfLoad, CompressedBodyHeaderFieldsAndSkippedTags) {
    auto plain =
        Movie(550, 400,
              {Tag(9, {0x12, 0x34, 0x56}), Tag(9, {1, 2, 3}), Tag(12, {0}), Tag(43, {'S', 't', 'a', 'r', 't', 0}),
               ShowFrame(), Tag(12, {0}), Tag(43, {'e', 'n', 'd', 0}), ShowFrame()},
              8, 12.5);
    // The same body zlib-compressed behind a CWS header.
    std::vector<uint8_t> body(plain.begin() + 8, plain.end());
    uLongf len = compressBound(body.size());
    std::vector<uint8_t> z(len);
    ASSERT_EQ(compress(z.data(), &len, body.data(), body.size()), Z_OK);
    std::vector<uint8_t> cws(plain.begin(), plain.begin() + 8);
    cws[0] = 'C';
    cws.insert(cws.end(), z.begin(), z.begin() + len);
    for (const auto* swf : {&plain, &cws}) {
        auto movie = Load(*swf);
        ASSERT_TRUE(movie);
        EXPECT_EQ(movie->Version(), 8);
        EXPECT_EQ(movie->StageWidth(), 550);
        EXPECT_EQ(movie->StageHeight(), 400);
        EXPECT_DOUBLE_EQ(movie->FrameRate(), 12.5);
        EXPECT_EQ(movie->FrameCount(), 2);
        EXPECT_TRUE(movie->HasBackground());
        EXPECT_EQ(movie->Background(), 0x123456u);  // the first SetBackgroundColor
        EXPECT_EQ(movie->FrameOfLabel("start"), 0);
        EXPECT_EQ(movie->FrameOfLabel("END"), 1);
        EXPECT_EQ(movie->FrameOfLabel("middle"), -1);
        Stage stage(movie);
        EXPECT_EQ(stage.SkippedTags().at(12), 2);  // DoAction: met twice, not run
        Picture p = Draw(stage, 4, 4);
        EXPECT_EQ(p.At(1, 1), 0xff123456u);
    }
}

TEST(SwfTimeline, PlaceMoveRemoveAndGotoBothWays) {
    // Frame 0: red at depth 1. Frame 1: blue at depth 2. Frame 2: red moved 4 px right.
    // Frame 3: red removed.
    Place moveRed{1};
    moveRed.move = true;
    moveRed.hasMatrix = true;
    moveRed.tx = 80;
    auto movie = Load(Movie(10, 10,
                            TwoSquares() + std::vector<std::vector<uint8_t>>{
                                               PlaceObject2({1, 1}), ShowFrame(), PlaceObject2({2, 2}), ShowFrame(),
                                               PlaceObject2(moveRed), ShowFrame(), RemoveObject2(1), ShowFrame()}));
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->FrameCount(), 4);
    // What each frame shows at three pixels: inside red's first place, inside both, red moved.
    struct Expect {
        uint32_t a, b, c;
    };
    const Expect frames[] = {
        {kRed, kRed, kWhite}, {kRed, kBlue, kWhite}, {kWhite, kBlue, kRed}, {kWhite, kBlue, kWhite}};
    auto check = [&](const Stage& s, int f) {
        Picture p = Draw(s, 10, 10);
        EXPECT_EQ(s.CurrentFrame(), f);
        EXPECT_EQ(p.At(2, 2), frames[f].a) << "frame " << f;
        EXPECT_EQ(p.At(5, 5), frames[f].b) << "frame " << f;
        EXPECT_EQ(p.At(8, 3), frames[f].c) << "frame " << f;
    };
    Stage stage(movie);
    for (int f = 0; f < 4; ++f) {
        check(stage, f);
        stage.NextFrame();
    }
    check(stage, 0);  // wrapped to the first frame
    for (int f : {3, 1, 2, 0, 2, 3, 1}) {
        stage.GotoFrame(f);
        check(stage, f);
    }
    stage.GotoFrame(99);  // clamped to the last frame
    check(stage, 3);
}

TEST(SwfTimeline, SpritesPlayTheirOwnTimelineAndKeepItAcrossRootGotos) {
    // Sprite 3 cycles red (frame 0) and blue (frame 1) at its depth 1; the root shows it on both
    // of its frames.
    auto sprite =
        DefineSprite(3, {PlaceObject2({1, 1}), ShowFrame(), RemoveObject2(1), PlaceObject2({1, 2}), ShowFrame()});
    auto movie = Load(Movie(
        10, 10,
        TwoSquares() + std::vector<std::vector<uint8_t>>{sprite, PlaceObject2({5, 3}), ShowFrame(), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    EXPECT_EQ(Draw(stage, 10, 10).At(3, 3), kRed);  // sprite frame 0
    stage.NextFrame();
    EXPECT_EQ(Draw(stage, 10, 10).At(3, 3), kWhite);  // frame 1: blue square is elsewhere
    EXPECT_EQ(Draw(stage, 10, 10).At(6, 6), kBlue);
    stage.NextFrame();  // root wraps to 0; the sprite placed at frame 0 stays and plays on
    EXPECT_EQ(stage.CurrentFrame(), 0);
    EXPECT_EQ(Draw(stage, 10, 10).At(3, 3), kRed);
    stage.GotoFrame(1);  // a goto moves the root only
    EXPECT_EQ(Draw(stage, 10, 10).At(3, 3), kRed);
}

TEST(SwfButtons, AButtonShowsItsUpStateAndItsSpritesPlay) {
    // Button 10 placed at depth 5 over the two squares' characters (red over pixels 2..5, blue
    // over 4..7): parts for the over and down states or the hit area alone are not drawn.
    // Sprite 3 shows red, then blue.
    const auto sprite =
        DefineSprite(3, {PlaceObject2({1, 1}), ShowFrame(), RemoveObject2(1), PlaceObject2({1, 2}), ShowFrame()});
    struct Case {
        const char* what;
        std::vector<uint8_t> button;
        uint32_t at3, at6;          // pixels (3, 3) and (6, 6)
        uint32_t nextAt3, nextAt6;  // the same a frame later
        int skipped = 0;            // the one tag not drawn (0: none)
    } cases[] = {
        {"DefineButton2, up part only", DefineButton(10, {{0x01, 1, 1}, {0x06, 2, 2}, {0x08, 2, 3}}, true), kRed,
         kWhite, kRed, kWhite},
        {"DefineButton", DefineButton(10, {{0x02, 1, 1}, {0x0f, 2, 2}}, false), kWhite, kBlue, kWhite, kBlue},
        {"a part's colour transform", DefineButton(10, {{0x01, 1, 1, 255}}, true), 0xffff00ffu, kWhite, 0xffff00ffu,
         kWhite},
        {"DefineButton's colour transform", DefineButton(10, {{0x01, 1, 1}}, false) + DefineButtonCxform(10, 255),
         0xffff00ffu, kWhite, 0xffff00ffu, kWhite},
        {"DefineButtonCxform for a button defined anew",
         DefineButton(10, {{0x01, 2, 1}}, false) + DefineButton(10, {{0x01, 1, 1}}, true) + DefineButtonCxform(10, 255),
         kRed, kWhite, kRed, kWhite, 23},
        {"a sprite in the up state", DefineButton(10, {{0x0f, 3, 1}}, true), kRed, kWhite, kWhite, kBlue},
    };
    for (const Case& c : cases) {
        const auto swf = Movie(10, 10,
                               TwoSquares() + std::vector<std::vector<uint8_t>>{sprite, c.button, PlaceObject2({5, 10}),
                                                                                ShowFrame(), ShowFrame()});
        auto movie = Load(swf);
        ASSERT_TRUE(movie) << c.what;
        EXPECT_EQ(movie->SkippedTags().size(), c.skipped ? 1u : 0u) << c.what;
        if (c.skipped) EXPECT_EQ(movie->SkippedTags().count(c.skipped), 1u) << c.what;
        Stage stage(movie);
        Picture p = Draw(stage, 10, 10);
        EXPECT_EQ(p.At(3, 3), c.at3) << c.what;
        EXPECT_EQ(p.At(6, 6), c.at6) << c.what;
        stage.NextFrame();
        p = Draw(stage, 10, 10);
        EXPECT_EQ(p.At(3, 3), c.nextAt3) << c.what;
        EXPECT_EQ(p.At(6, 6), c.nextAt6) << c.what;
        // Cut anywhere, the movie loads or is refused with a reason, and draws.
        for (size_t n = 0; n < swf.size(); n += 3) {
            auto r = LoadMovie(swf.data(), n);
            if (!r.movie) {
                EXPECT_FALSE(r.error.empty());
                continue;
            }
            Stage cut(r.movie);
            EXPECT_EQ(Draw(cut, 10, 10).At(0, 0), kWhite) << c.what << ", cut at " << n;
        }
    }
}

TEST(SwfLimits, SpritesThatPlaceThemselvesStopAtTheNestingLimit) {
    // Sprite 3 places the red square and itself, so it is infinitely deep; sprite 4 places
    // sprite 3 and itself at eight depths (a fan-out that would grow without bound).
    std::vector<std::vector<uint8_t>> fan;
    for (int d = 1; d <= 8; ++d) fan.push_back(PlaceObject2({d, 4}));
    fan.push_back(PlaceObject2({9, 3}));
    fan.push_back(ShowFrame());
    auto movie =
        Load(Movie(10, 10,
                   TwoSquares() + std::vector<std::vector<uint8_t>>{
                                      DefineSprite(3, {PlaceObject2({1, 1}), PlaceObject2({2, 3}), ShowFrame()}),
                                      DefineSprite(4, fan), PlaceObject2({1, 4}), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    Picture p = Draw(stage, 10, 10);
    EXPECT_EQ(p.At(3, 3), kRed);
    stage.NextFrame();
    stage.GotoFrame(0);
    EXPECT_EQ(Draw(stage, 10, 10).At(3, 3), kRed);

    // Sprite 5 places itself 300 times over at one depth: each replaced copy dies at once, so
    // the live count never stops it, and every copy starts 300 more (300^31 placements). A
    // step's work bound stops it; the red square placed before it stays.
    std::vector<std::vector<uint8_t>> again(300, PlaceObject2({1, 5}));
    again.push_back(ShowFrame());
    auto replacing =
        Load(Movie(10, 10,
                   TwoSquares() + std::vector<std::vector<uint8_t>>{DefineSprite(5, again), PlaceObject2({1, 1}),
                                                                    PlaceObject2({2, 5}), ShowFrame(), ShowFrame()}));
    ASSERT_TRUE(replacing);
    Stage busy(replacing);
    EXPECT_EQ(Draw(busy, 10, 10).At(3, 3), kRed);
    busy.NextFrame();
    busy.GotoFrame(0);
    EXPECT_EQ(Draw(busy, 10, 10).At(3, 3), kRed);
}

TEST(SwfLimits, OversizedBitmapsAreSkippedAndCounted) {
    Bits b;
    b.U16(7);
    b.U8(5);
    b.U16(60000);  // wider than the limit
    b.U16(60000);
    b.Raw({0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    auto movie = Load(Movie(10, 10, {Tag(20, b.bytes), ShowFrame()}));
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->SkippedTags().at(20), 1);
}

TEST(SwfMasks, ClipDepthLimitsTheDepthsItCovers) {
    // Depth 1: mask = blue square (4..7) clipping to depth 2. Depth 2: red square (2..5),
    // masked. Depth 3: green full-stage square, unmasked.
    auto movie = Load(Movie(
        10, 10,
        TwoSquares() + std::vector<std::vector<uint8_t>>{DefineShape(5, {0x00ff00}, RectRecords(0, 0, 40, 200)),
                                                         [] {
                                                             Place p{1, 2};
                                                             p.clipDepth = 2;
                                                             return PlaceObject2(p);
                                                         }(),
                                                         PlaceObject2({2, 1}), PlaceObject2({3, 5}), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    Picture p = Draw(stage, 10, 10);
    EXPECT_EQ(p.At(1, 3), kGreen);  // depth 3 ignores the mask
    EXPECT_EQ(p.At(3, 3), kWhite);  // red outside the mask: not drawn
    EXPECT_EQ(p.At(4, 4), kRed);    // red inside the mask
    EXPECT_EQ(p.At(7, 7), kWhite);  // the mask itself is never drawn
}

TEST(SwfEdgeModel, SharedEdgesFillBothSidesAndNewStyleArraysDrawOver) {
    // Two fills meeting on one edge: left half (fill0 of the shared edge) red, right half blue.
    ShapeRecords r;
    r.Style(0, 0, -1, 1, -1);  // outline of the left half, fill on the right of each edge
    r.Line(100, 0);
    r.Style(100, 0, 2, 1, -1);  // shared edge: blue on its left (east), red on its right
    r.Line(0, 200);
    r.Style(100, 200, 0, 1, -1);
    r.Line(-100, 0);
    r.Line(0, -200);
    r.Style(100, 200, 2, 0, -1);  // the rest of the right half, its fill on the left this time
    r.Line(100, 0);
    r.Line(0, -200);
    r.Line(-100, 0);
    // Shape 2: a green square, then new style arrays with a red square drawn over its middle.
    ShapeRecords s;
    s.Style(0, 0, 0, 1, 0);
    s.Line(200, 0);
    s.Line(0, 200);
    s.Line(-200, 0);
    s.Line(0, -200);
    s.NewSolidStyles(255, 0, 0, 60, 60);
    s.Line(80, 0);
    s.Line(0, 80);
    s.Line(-80, 0);
    s.Line(0, -80);
    // Shape 3: a quadratic bulge: the curve's control point pulls the bottom edge down.
    ShapeRecords c;
    c.Style(0, 0, 0, 1, 0);
    c.Line(200, 0);
    c.Curve(-100, 200, -100, -200);
    auto movie = Load(Movie(10, 10,
                            {DefineShape(1, {0xff0000, 0x0000ff}, r.End()), DefineShape(2, {0x00ff00}, s.End(), 22),
                             DefineShape(3, {0x0000ff}, c.End()), PlaceObject2({1, 1}), ShowFrame(), RemoveObject2(1),
                             PlaceObject2({1, 2}), ShowFrame(), RemoveObject2(1), PlaceObject2({1, 3}), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    Picture p = Draw(stage, 10, 10);
    EXPECT_EQ(p.At(2, 5), kRed);
    EXPECT_EQ(p.At(7, 5), kBlue);
    EXPECT_EQ(p.At(5, 9), kBlue);  // just right of the shared edge
    EXPECT_EQ(p.At(4, 9), kRed);
    stage.NextFrame();
    p = Draw(stage, 10, 10);
    EXPECT_EQ(p.At(1, 1), kGreen);
    EXPECT_EQ(p.At(4, 4), kRed);
    EXPECT_EQ(p.At(8, 8), kGreen);
    stage.NextFrame();
    p = Draw(stage, 10, 10);
    EXPECT_EQ(p.At(5, 1), kBlue);   // inside the bulge, below the straight top edge
    EXPECT_EQ(p.At(5, 4), kBlue);   // the curve reaches y = 5 at its middle
    EXPECT_EQ(p.At(5, 6), kWhite);  // past it
    EXPECT_EQ(p.At(1, 4), kWhite);  // near the ends the curve is close to the top edge
}

TEST(SwfEdgeModel, RegionsOfOneShapeOverlapNestAndStayOpenAsTheirEdgesSay) {
    // All the fill styles of a shape are drawn in one pass; these are the shapes where that pass
    // cannot take the regions to be side by side.
    auto square = [](ShapeRecords& r, int x0, int y0, int x1, int y1, int style) {
        r.Style(x0, y0, 0, style, -1);
        r.Line(x1 - x0, 0);
        r.Line(0, y1 - y0);
        r.Line(x0 - x1, 0);
        r.Line(0, y0 - y1);
    };
    // Edges from top to bottom of the stage (crossing one rightwards leaves fill1, enters fill0).
    auto openRegionsMeeting = [](ShapeRecords& r, bool swapped) {
        auto down = [&](int x, int leaves, int enters) {
            r.Style(x, 0, enters, leaves, -1);
            r.Line(0, 200);
        };
        down(20, 0, 1);
        down(20, 0, 2);
        down(60, swapped ? 2 : 1, swapped ? 1 : 2);
        down(60, swapped ? 1 : 2, swapped ? 2 : 1);
    };
    struct Check {
        int x, y;
        uint32_t color;
    };
    struct Case {
        const char* what;
        std::function<void(ShapeRecords&)> edges;
        Quality quality;
        std::vector<Check> checks;
        int tag = 2;  // DefineShape; 83: DefineShape4, non-zero winding
    };
    const Case cases[] = {
        {"overlapping styles: the later one on top",
         [&](ShapeRecords& r) {
             square(r, 40, 40, 120, 120, 1);
             square(r, 80, 80, 160, 160, 2);
         },
         Quality::Low,
         {{3, 3, kRed}, {5, 5, kBlue}, {7, 7, kBlue}, {1, 1, kWhite}}},
        {"a pixel shared by overlapping styles takes them in style order",
         [&](ShapeRecords& r) {
             square(r, 40, 40, 120, 140, 1);
             square(r, 90, 80, 160, 160, 2);
         },
         Quality::High,
         // Red whole, then blue on two of the four samples: 0x80000080 over red.
         {{3, 5, kRed}, {4, 5, 0xff7f0080u}, {5, 5, kBlue}}},
        {"a contour inside another of the same style is a hole (even-odd)",
         [&](ShapeRecords& r) {
             square(r, 20, 20, 180, 180, 1);
             square(r, 60, 60, 140, 140, 1);
         },
         Quality::Low,
         {{2, 2, kRed}, {4, 4, kWhite}, {7, 7, kRed}}},
        {"a region its edges leave open does not spill past them",
         [&](ShapeRecords& r) {
             r.Style(40, 40, 0, 1, -1);
             r.Line(80, 0);
             r.Line(0, 80);
             r.Line(-80, 0);
         },
         Quality::Low,
         {{7, 3, kWhite}, {9, 3, kWhite}}},
        // Damaged: both styles start at x = 1 and are left open; at x = 3 one edge takes the
        // line from red to blue and another from blue to red. Drawn the same whichever of the
        // two is stored first.
        {"open regions meeting at one point, one order",
         [&](ShapeRecords& r) { openRegionsMeeting(r, false); },
         Quality::High,
         {{1, 5, kRed}, {2, 5, kRed}, {4, 5, kWhite}},
         83},
        {"open regions meeting at one point, the other order",
         [&](ShapeRecords& r) { openRegionsMeeting(r, true); },
         Quality::High,
         {{1, 5, kRed}, {2, 5, kRed}, {4, 5, kWhite}},
         83},
    };
    for (const Case& c : cases) {
        ShapeRecords r;
        c.edges(r);
        auto movie = Load(
            Movie(10, 10, {DefineShape(1, {0xff0000, 0x0000ff}, r.End(), c.tag), PlaceObject2({1, 1}), ShowFrame()}));
        ASSERT_TRUE(movie) << c.what;
        Stage stage(movie);
        const Picture p = Draw(stage, 10, 10, c.quality);
        for (const Check& k : c.checks) EXPECT_EQ(p.At(k.x, k.y), k.color) << c.what << " at " << k.x << "," << k.y;
    }
}

TEST(SwfEdgeModel, CurvesWithinATenthOfAPixelOfTheirChordDrawAsTheChord) {
    // A band whose bottom edge (5.45 px down) is a lopsided curve bending `bend` twips further
    // down at its control point (x = 3 px): 4 twips (the curve 0.1 px off its chord, though cut
    // in two by the flattening's count) draws straight, so the pixel centres at 5.5 stay outside
    // as in the reference pictures; 8 twips (0.2 px) follows the curve and takes them in.
    for (int bend : {4, 8}) {
        ShapeRecords r;
        r.Style(0, 0, 0, 1, 0);
        r.Line(200, 0);
        r.Line(0, 109);
        r.Curve(-140, bend, -60, -bend);
        r.Line(0, -109);
        auto movie = Load(Movie(10, 10, {DefineShape(1, {0x0000ff}, r.End()), PlaceObject2({1, 1}), ShowFrame()}));
        ASSERT_TRUE(movie);
        Stage stage(movie);
        Picture p = Draw(stage, 10, 10);
        EXPECT_EQ(p.At(3, 4), kBlue) << bend;
        EXPECT_EQ(p.At(3, 5), bend == 4 ? kWhite : kBlue) << bend;
        EXPECT_EQ(p.At(9, 5), kWhite) << bend;  // the ends stay at 5.45
        EXPECT_EQ(p.At(3, 6), kWhite) << bend;
    }
}

TEST(SwfRender, PremultipliedOutputAndAntiAliasingByQuality) {
    // Half-transparent red (DefineShape3, RGBA) drawn over a transparent target, and a diagonal
    // edge: no intermediate coverage at low quality, intermediate values above.
    Bits b;
    b.U16(1);
    b.Rect(0, 200, 0, 200);
    b.U8(1);
    b.U8(0);
    for (uint8_t v : {255, 0, 0, 128}) b.U8(v);
    b.U8(0);
    ShapeRecords tri;
    tri.Style(0, 0, 0, 1, 0);
    tri.Line(200, 0);
    tri.Line(-200, 200);
    tri.Line(0, -200);
    b.Raw(tri.End());
    auto movie = Load(Movie(10, 10, {Tag(32, b.bytes), PlaceObject2({1, 1}), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    for (Quality q : {Quality::Low, Quality::Medium, Quality::High, Quality::Best}) {
        Picture p = Draw(stage, 10, 10, q, false, 0);
        EXPECT_EQ(p.At(1, 1), 0x80800000u);  // alpha 128, red premultiplied by it
        EXPECT_EQ(p.At(9, 9), 0u);           // untouched
        bool partial = false;
        for (uint32_t c : p.px) {
            uint32_t a = c >> 24;
            EXPECT_LE((c >> 16) & 255, a);  // premultiplied: no channel above alpha
            if (a != 0 && a != 0x80) partial = true;
        }
        EXPECT_EQ(partial, q != Quality::Low) << static_cast<int>(q);
    }
    // Drawn over what the target holds when the background is not asked for.
    Picture over = Draw(stage, 10, 10, Quality::Low, false, 0xff0000ff);
    EXPECT_EQ(over.At(1, 1), 0xff80007fu);
    EXPECT_EQ(over.At(9, 9), 0xff0000ffu);

    // The sample points are a grid: 2 x 2 at medium quality, 4 x 4 at high and best. A square
    // over the first 0.3 of a pixel each way holds the pixel's first point of the grid and no
    // other (none at low quality: the centre decides).
    auto corner = Load(Movie(
        10, 10, {DefineShape(1, {0x00ff00}, RectRecords(100, 100, 106, 106)), PlaceObject2({1, 1}), ShowFrame()}));
    ASSERT_TRUE(corner);
    Stage cornerStage(corner);
    const std::pair<Quality, uint32_t> covered[] = {
        {Quality::Low, 0}, {Quality::Medium, 64}, {Quality::High, 16}, {Quality::Best, 16}};
    for (auto [q, alpha] : covered)
        EXPECT_EQ(Draw(cornerStage, 10, 10, q, false, 0).At(5, 5) >> 24, alpha) << static_cast<int>(q);
}

TEST(SwfRender, RegionsOfAShapeMeetWithoutASeam) {
    // One shape, red left of x = 5.5 px and green right of it, the edge between them carrying
    // both styles. The pixel the edge halves is all red and green: what lies beneath (blue)
    // must not show through the seam, whether the shape is drawn, drawn through a mask, or is
    // itself the mask.
    ShapeRecords split;
    split.Style(0, 0, 0, 1, 0);
    split.Line(110, 0);
    split.Style(110, 0, 2, 1, -1);  // the shared edge: red on its right going down, green on its left
    split.Line(0, 200);
    split.Style(110, 200, 0, 1, -1);
    split.Line(-110, 0);
    split.Line(0, -200);
    split.Style(110, 0, 0, 2, -1);
    split.Line(90, 0);
    split.Line(0, 200);
    split.Line(-90, 0);
    const auto splitShape = DefineShape(1, {0xff0000, 0x00ff00}, split.End());
    const auto whole = DefineShape(2, {0xff0000}, RectRecords(0, 0, 200, 200));
    Place mask(1, 1), maskWhole(1, 2), above(2, 1), under(2, 2);
    mask.clipDepth = maskWhole.clipDepth = 2;
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> places;
        uint32_t seam;
    } cases[] = {
        {"drawn", {PlaceObject2({1, 1})}, 0xff808000u},
        {"drawn through a mask", {PlaceObject2(maskWhole), PlaceObject2(above)}, 0xff808000u},
        {"the mask", {PlaceObject2(mask), PlaceObject2(under)}, 0xffff0000u},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<uint8_t>> tags = {splitShape, whole};
        tags.insert(tags.end(), c.places.begin(), c.places.end());
        tags.push_back(ShowFrame());
        auto movie = Load(Movie(10, 10, tags));
        ASSERT_TRUE(movie) << c.what;
        Stage stage(movie);
        for (Quality q : {Quality::Medium, Quality::High}) {
            const Picture p = Draw(stage, 10, 10, q, false, 0xff0000ffu);
            EXPECT_EQ(p.At(5, 5), c.seam) << c.what << ", quality " << static_cast<int>(q);
            EXPECT_EQ(p.At(4, 5), 0xffff0000u) << c.what;
        }
    }
}

TEST(SwfRender, AStageDrawingAgainAfterAChangeGivesWhatANewStageGives) {
    // A stage keeps its shapes' placed edges and paints between renders; whatever changes
    // between two renders (nothing, the target's size or quality, a move, a colour transform,
    // a scale) must still give the picture a new stage gives.
    ShapeRecords r;
    r.Style(20, 20, 0, 1, -1);
    r.Line(100, 0);
    r.Line(0, 100);
    r.Line(-100, 0);
    r.Line(0, -100);
    r.Style(70, 50, 0, 2, -1);
    r.Line(80, 0);
    r.Curve(40, 60, -80, 40);
    r.Line(-40, -100);
    Place moved{1};
    moved.move = moved.hasMatrix = true;
    moved.tx = 30;
    Place tinted{1};
    tinted.move = tinted.hasColor = true;
    tinted.addG = 100;
    Place scaled{1};
    scaled.move = scaled.hasMatrix = true;
    scaled.scale = 1.5;
    auto movie = Load(Movie(
        10, 10,
        {DefineShape(1, {0xff0000, 0x0000ff}, r.End()), PlaceObject2({1, 1}), ShowFrame(), ShowFrame(),
         PlaceObject2(moved), ShowFrame(), PlaceObject2(tinted), ShowFrame(), PlaceObject2(scaled), ShowFrame()}));
    ASSERT_TRUE(movie);
    struct Target {
        int size;
        Quality quality;
    };
    const Target targets[] = {{10, Quality::Low}, {20, Quality::High}, {10, Quality::High}, {10, Quality::Low}};
    auto draw = [](const Stage& stage, const Target& t) {
        Picture p{t.size, t.size, std::vector<uint32_t>(static_cast<size_t>(t.size) * t.size)};
        RenderOptions o;
        o.quality = t.quality;
        o.scaleX = o.scaleY = t.size / 10.0;
        stage.Render(p.px.data(), t.size, t.size, t.size, o);
        return p.px;
    };
    Stage kept(movie);
    for (int frame = 0; frame < 5; ++frame) {
        Stage fresh(movie);
        fresh.GotoFrame(frame);
        for (const Target& t : targets)
            EXPECT_EQ(draw(kept, t), draw(fresh, t)) << "frame " << frame << ", " << t.size << " px";
        kept.NextFrame();
    }
}

TEST(SwfRender, ScaleAndOffsetMapTheStageOntoTheTarget) {
    auto movie =
        Load(Movie(10, 10, TwoSquares() + std::vector<std::vector<uint8_t>>{PlaceObject2({1, 1}), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    Picture p{20, 20, std::vector<uint32_t>(400, 0)};
    RenderOptions o;
    o.quality = Quality::Low;
    o.scaleX = o.scaleY = 2;
    o.offsetX = 1;
    stage.Render(p.px.data(), 20, 20, 20, o);
    EXPECT_EQ(p.At(4, 4), kWhite);    // stage pixel 1.5
    EXPECT_EQ(p.At(5, 4), kRed);      // stage x 2 starts at target 5
    EXPECT_EQ(p.At(12, 11), kRed);    // stage 5.5
    EXPECT_EQ(p.At(13, 12), kWhite);  // stage 6
}

namespace {

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
    uLongf len = compressBound(raw.size());
    std::vector<uint8_t> z(len);
    EXPECT_EQ(compress(z.data(), &len, raw.data(), raw.size()), Z_OK);
    z.resize(len);
    return z;
}

void AppendBytes(std::vector<uint8_t>* out, const void* data, int size) {
    const auto* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + size);
}

}  // namespace

TEST(SwfBitmaps, LosslessAndJpegBitmapsFillShapes) {
    // A 2x2 lossless bitmap (32-bit with alpha, premultiplied as the format stores it): red,
    // green / blue, half-transparent white. Drawn 20 twips a bitmap pixel (1:1), clipped,
    // unsmoothed.
    Bits lossless;
    lossless.U16(7);
    lossless.U8(5);
    lossless.U16(2);
    lossless.U16(2);
    lossless.Raw(Deflate({255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 128, 128, 128, 128}));
    // A 4x4 JPEG of one colour (written by stb_image_write): as it is at x 4..7, under a fully
    // transparent alpha plane at x 8..11.
    std::vector<uint8_t> jpeg;
    std::vector<uint8_t> rgb(4 * 4 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) rgb[i] = 0, rgb[i + 1] = 0, rgb[i + 2] = 255;
    ASSERT_TRUE(stbi_write_jpg_to_func(
        [](void* ctx, void* data, int size) { AppendBytes(static_cast<std::vector<uint8_t>*>(ctx), data, size); },
        &jpeg, 4, 4, 3, rgb.data(), 100));
    Bits jpeg2;
    jpeg2.U16(8);
    jpeg2.Raw({0xff, 0xd9, 0xff, 0xd8});  // the stray EOI+SOI pair SWF writers put in front
    jpeg2.Raw(jpeg);
    Bits jpeg3;
    jpeg3.U16(9);
    jpeg3.U32(static_cast<uint32_t>(jpeg.size()));
    jpeg3.Raw(jpeg);
    jpeg3.Raw(Deflate(std::vector<uint8_t>(16, 0)));  // fully transparent
    auto movie = Load(
        Movie(12, 4,
              {Tag(36, lossless.bytes), Tag(21, jpeg2.bytes), Tag(35, jpeg3.bytes), BitmapShape(1, 7, 0x43, 20, 40, 40),
               BitmapShape(2, 8, 0x43, 20, 80, 80), BitmapShape(3, 9, 0x43, 20, 80, 80), PlaceObject2({1, 1}),
               [] {
                   Place p{2, 2};
                   p.hasMatrix = true;
                   p.tx = 80;
                   return PlaceObject2(p);
               }(),
               [] {
                   Place p{3, 3};
                   p.hasMatrix = true;
                   p.tx = 160;
                   return PlaceObject2(p);
               }(),
               ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    EXPECT_TRUE(stage.SkippedTags().empty());
    Picture p = Draw(stage, 12, 4, Quality::Low, false, 0);
    EXPECT_EQ(p.At(0, 0), 0xffff0000u);
    EXPECT_EQ(p.At(1, 0), 0xff00ff00u);
    EXPECT_EQ(p.At(0, 1), 0xff0000ffu);
    EXPECT_EQ(p.At(1, 1), 0x80808080u);
    for (int x : {4, 5, 7}) {
        uint32_t c = p.At(x, 2);  // the JPEG's blue, within its lossy error
        EXPECT_EQ(c >> 24, 255u);
        EXPECT_LT((c >> 16) & 255, 16u);
        EXPECT_GT(c & 255, 239u);
    }
    EXPECT_EQ(p.At(9, 2), 0u);  // the same JPEG under a transparent alpha plane
}

TEST(SwfMorph, MorphShapesDrawAtThePlacedRatio) {
    // A square morphing from 0..40 twips to 120..200, its colour from red to blue.
    ShapeRecords start, end;
    start.Style(0, 0, 0, 1, 0);
    end.Style(120, 0, -1, -1, -1);
    start.Line(40, 0), start.Line(0, 40), start.Line(-40, 0), start.Line(0, -40);
    end.Line(80, 0), end.Line(0, 80), end.Line(-80, 0), end.Line(0, -80);
    auto startRecords = start.End(), endRecords = end.End();
    Bits b;
    b.U16(4);
    b.Rect(0, 40, 0, 40);
    b.Rect(120, 200, 0, 80);
    Bits styles;
    styles.U8(1);
    styles.U8(0);
    for (uint8_t v : {255, 0, 0, 255, 0, 0, 255, 255}) styles.U8(v);
    styles.U8(0);
    styles.Raw(startRecords);
    b.U32(static_cast<uint32_t>(styles.bytes.size()));
    b.Raw(styles.bytes);
    b.Raw(endRecords);
    auto placeAt = [](int ratio, bool move) {
        Bits p;
        p.U8(static_cast<uint8_t>((move ? 1 : 2) | 0x10));
        p.U16(1);
        if (!move) p.U16(4);
        p.U16(static_cast<uint16_t>(ratio));
        return Tag(26, p.bytes);
    };
    auto movie = Load(Movie(12, 4,
                            {Tag(46, b.bytes), placeAt(0, false), ShowFrame(), placeAt(65535, true), ShowFrame(),
                             placeAt(32768, true), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    Picture p = Draw(stage, 12, 4);
    EXPECT_EQ(p.At(1, 1), kRed);
    EXPECT_EQ(p.At(3, 1), kWhite);
    stage.NextFrame();
    p = Draw(stage, 12, 4);
    EXPECT_EQ(p.At(1, 1), kWhite);
    EXPECT_EQ(p.At(9, 3), kBlue);
    stage.NextFrame();
    p = Draw(stage, 12, 4);  // halfway (32768 of 65535): 60..120 twips, red 127 and blue 128
    EXPECT_EQ(p.At(2, 1), kWhite);
    EXPECT_EQ(p.At(4, 2), 0xff7f0080u);
    EXPECT_EQ(p.At(6, 2), kWhite);
}

TEST(SwfText, StaticTextDrawsFontGlyphsInItsColourAtItsAdvances) {
    // DefineFont: glyph 0 a full-em square (1024 units above the baseline), glyph 1 empty.
    ShapeRecords square;
    square.Style(0, -1024, 0, 1, 0);
    square.Line(1024, 0);
    square.Line(0, 1024);
    square.Line(-1024, 0);
    square.Line(0, -1024);
    auto glyph = square.End();
    ShapeRecords none;
    auto empty = none.End();
    Bits font;
    font.U16(5);
    font.U16(4);  // offset table: two glyphs
    font.U16(static_cast<uint16_t>(4 + glyph.size()));
    font.Raw(glyph);
    font.Raw(empty);
    // DefineText: 4 px high (80 twips), baseline at y 5 px, starting at x 1 px; glyphs 0, 1, 0
    // with advances of 6, 2 and 0 px, in green.
    Bits text;
    text.U16(6);
    text.Rect(0, 240, 0, 120);
    text.Matrix(1, 1, 0, 0);
    text.U8(8);
    text.U8(16);
    text.U8(0x8f);
    text.U16(5);
    text.U8(0), text.U8(255), text.U8(0);
    text.U16(20);
    text.U16(100);
    text.U16(80);
    text.U8(3);
    for (auto [index, advance] : {std::pair{0, 120}, {1, 40}, {0, 0}}) {
        text.U(index, 8);
        text.S(advance, 16);
    }
    text.U8(0);
    auto movie = Load(Movie(16, 6, {Tag(10, font.bytes), Tag(11, text.bytes), PlaceObject2({1, 6}), ShowFrame()}));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    Picture p = Draw(stage, 16, 6);
    EXPECT_EQ(p.At(0, 3), kWhite);
    EXPECT_EQ(p.At(1, 1), kGreen);  // first square: x 1..4, y 1..4
    EXPECT_EQ(p.At(4, 4), kGreen);
    EXPECT_EQ(p.At(5, 3), kWhite);
    EXPECT_EQ(p.At(4, 0), kWhite);
    EXPECT_EQ(p.At(4, 5), kWhite);
    EXPECT_EQ(p.At(8, 3), kWhite);  // the empty glyph's place
    EXPECT_EQ(p.At(9, 3), kGreen);  // third glyph after 6 + 2 px: x 9..12
    EXPECT_EQ(p.At(12, 3), kGreen);
    EXPECT_EQ(p.At(13, 3), kWhite);
}

namespace {

// PlaceObject3 of character `id` at depth 1 (identity matrix) with a filter list's bytes.
std::vector<uint8_t> PlaceWithFilters(uint16_t id, const std::vector<uint8_t>& list) {
    Bits b;
    b.U8(0x06);  // character, matrix
    b.U8(0x01);  // filter list
    b.U16(1);
    b.U16(id);
    b.Matrix(1, 1, 0, 0);
    b.Raw(list);
    return Tag(70, b.bytes);
}

struct FilterSpec {
    uint8_t kind = 0;             // 0 drop shadow, 1 blur, 2 glow, 3 bevel, 4 gradient glow, 7 gradient bevel
    uint32_t color = 0xff0000ff;  // a bevel's shadow
    double blur = 1, angle = 0, distance = 0, strength = 1;
    bool inner = false, knockout = false, composite = true;
    int passes = 1;
    bool onTop = false;
    uint32_t highlight = 0xffffffff;
    std::vector<std::pair<uint8_t, uint32_t>> stops = {};  // gradient filters: ratio, colour
};

std::vector<uint8_t> FilterBytes(const FilterSpec& f) {
    Bits b;
    b.U8(f.kind);
    auto fixed = [&](double v) { b.U32(static_cast<uint32_t>(static_cast<int32_t>(v * 65536))); };
    auto rgba = [&](uint32_t c) {
        for (int s : {16, 8, 0, 24}) b.U8(static_cast<uint8_t>(c >> s));
    };
    uint8_t flags = (f.inner ? 0x80 : 0) | (f.knockout ? 0x40 : 0) | (f.composite ? 0x20 : 0);
    if (f.kind == 1) {
        fixed(f.blur), fixed(f.blur);
        b.U8(static_cast<uint8_t>(f.passes << 3));
        return b.bytes;
    }
    if (f.kind == 4 || f.kind == 7) {
        b.U8(static_cast<uint8_t>(f.stops.size()));
        for (const auto& stop : f.stops) rgba(stop.second);
        for (const auto& stop : f.stops) b.U8(stop.first);
    } else {
        if (f.kind == 3) rgba(f.highlight);
        rgba(f.color);
    }
    fixed(f.blur), fixed(f.blur);
    if (f.kind != 2) fixed(f.angle), fixed(f.distance);
    b.U16(static_cast<uint16_t>(f.strength * 256));
    if (f.kind >= 3) flags |= static_cast<uint8_t>((f.onTop ? 0x10 : 0) | (f.passes & 15));
    else flags |= static_cast<uint8_t>(f.passes & 31);
    b.U8(flags);
    return b.bytes;
}

// A red square over pixels 4..7 of a white 16x16 stage, drawn with one filter.
Picture DrawSquareWithFilter(const FilterSpec& f) {
    Bits list;
    list.U8(1);
    list.Raw(FilterBytes(f));
    auto movie = Load(Movie(
        16, 16,
        {DefineShape(1, {0xff0000}, RectRecords(80, 80, 160, 160)), PlaceWithFilters(1, list.bytes), ShowFrame()}, 8));
    if (!movie) return Picture{16, 16, std::vector<uint32_t>(256, 0)};
    Stage stage(movie);
    return Draw(stage, 16, 16);
}

}  // namespace

TEST(SwfFilters, ShadowGlowAndBlurDrawAsTheirSettingsSay) {
    // A red square over pixels 4..7 of a white 16x16 stage, with one filter; probes left of it,
    // inside it near each side, and right of it where a shadow moved 3 pixels right lands (and
    // a blur 4 pixels wide reaches).
    constexpr uint32_t kBlueOnly = 0xff0000ff;
    struct Row {
        const char* what;
        FilterSpec f;
        uint32_t left, inLeft, inRight, right;  // 0: partly tinted (neither white nor a pure colour)
    };
    const uint32_t kNone = 0;
    const Row rows[] = {
        {"shadow under the object", {0, kBlueOnly, 1, 0, 3}, kWhite, kRed, kRed, kBlue},
        {"knocked-out shadow", {0, kBlueOnly, 1, 0, 3, 1, false, true}, kWhite, kWhite, kWhite, kBlue},
        {"shadow without the object", {0, kBlueOnly, 1, 0, 3, 1, false, false, false}, kWhite, kWhite, kBlue, kBlue},
        {"shadow at a half turn lands left", {0, kBlueOnly, 1, 3.14159265, 3}, kBlue, kRed, kRed, kWhite},
        {"inner shadow", {0, kBlueOnly, 1, 0, 2, 1, true}, kWhite, kBlue, kRed, kWhite},
        {"glow", {2, 0xff00ff00, 4}, kNone, kRed, kRed, kNone},
        {"blur", {1, 0, 4}, kNone, kNone, kNone, kNone},
    };
    for (const Row& row : rows) {
        Picture p = DrawSquareWithFilter(row.f);
        const int probes[4] = {3, 4, 7, 9};
        const uint32_t want[4] = {row.left, row.inLeft, row.inRight, row.right};
        for (int i = 0; i < 4; ++i) {
            uint32_t got = p.At(probes[i], 5);
            if (want[i] == kNone)
                EXPECT_TRUE(got != kWhite && got != kRed && got != 0xff00ff00u) << row.what << " x=" << probes[i];
            else EXPECT_EQ(got, want[i]) << row.what << " x=" << probes[i];
        }
    }
}

TEST(SwfFilters, BevelsAndGradientFiltersColourTheSidesTheirSettingsSay) {
    // The red square (pixels 4..7) lit from the left (angle 0, 1 pixel, no blur): a bevel's
    // green highlight on its left edge, its blue shadow on the right one, inside, outside or
    // both. A gradient glow 2 pixels right takes its gradient's colour at the glow's strength:
    // green at full strength (ratio 255), blue at half (ratio 128).
    const std::vector<std::pair<uint8_t, uint32_t>> glowStops = {{0, 0}, {128, kBlue}, {255, kGreen}};
    const std::vector<std::pair<uint8_t, uint32_t>> bevelStops = {{0, kGreen}, {128, 0}, {255, kBlue}};
    FilterSpec bevel{3, kBlue, 1, 0, 1};
    bevel.highlight = kGreen;
    auto with = [](FilterSpec f, auto change) {
        change(f);
        return f;
    };
    struct Row {
        const char* what;
        FilterSpec f;
        uint32_t want[6];  // at x = 3, 4, 5, 7, 8, 9
    };
    const Row rows[] = {
        {"inner bevel",
         with(bevel, [](FilterSpec& f) { f.inner = true; }),
         {kWhite, kGreen, kRed, kBlue, kWhite, kWhite}},
        {"outer bevel", bevel, {kGreen, kRed, kRed, kRed, kBlue, kWhite}},
        {"full bevel",
         with(bevel, [](FilterSpec& f) { f.onTop = true; }),
         {kGreen, kGreen, kRed, kBlue, kBlue, kWhite}},
        {"knocked-out inner bevel",
         with(bevel, [](FilterSpec& f) { f.inner = f.knockout = true; }),
         {kWhite, kGreen, kWhite, kBlue, kWhite, kWhite}},
        {"knocked-out outer bevel",
         with(bevel, [](FilterSpec& f) { f.knockout = true; }),
         {kGreen, kWhite, kWhite, kWhite, kBlue, kWhite}},
        {"inner bevel lit from the right",
         with(bevel, [](FilterSpec& f) { f.inner = true, f.angle = 3.14159265; }),
         {kWhite, kBlue, kRed, kGreen, kWhite, kWhite}},
        {"inner gradient bevel",
         with(bevel, [&](FilterSpec& f) { f.kind = 7, f.inner = true, f.stops = bevelStops; }),
         {kWhite, kGreen, kRed, kBlue, kWhite, kWhite}},
        {"gradient glow",
         {4, 0, 1, 0, 2, 1, false, false, true, 1, false, 0, glowStops},
         {kWhite, kRed, kRed, kRed, kGreen, kGreen}},
        {"gradient glow at half strength",
         {4, 0, 1, 0, 2, 0.5, false, false, true, 1, false, 0, glowStops},
         {kWhite, kRed, kRed, kRed, kBlue, kBlue}},
    };
    for (const Row& row : rows) {
        Picture p = DrawSquareWithFilter(row.f);
        const int probes[6] = {3, 4, 5, 7, 8, 9};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(p.At(probes[i], 5), row.want[i]) << row.what << " x=" << probes[i];
    }
}

TEST(SwfLimits, HostileAndDamagedFilterListsDrawTheObject) {
    // Each list stands before a second placement of a blue square at depth 2, so a list read
    // out of step would lose it; the red square at depth 1 is drawn whatever its filters.
    FilterSpec huge{0, 0xff0000ff, 1e4, 0.5, 3e4, 255, false, false, true, 31};
    FilterSpec wide{1, 0, 255, 0, 0, 1, false, false, true, 2};
    FilterSpec gradient{7, 0, 1e4, -0.5, -3e4, 255, false, true, true, 15, true, 0, {}};
    gradient.stops.assign(255, {255, 0xff00ff00});
    Bits hostile, unknown, truncated;
    hostile.U8(3);
    hostile.Raw(FilterBytes(huge));
    hostile.Raw(FilterBytes(gradient));
    hostile.Raw(FilterBytes(wide));
    unknown.U8(2);
    unknown.U8(9);  // no such filter: the list stops there
    unknown.Raw(FilterBytes(wide));
    truncated.U8(3);
    truncated.Raw(FilterBytes(huge));
    truncated.bytes.resize(truncated.bytes.size() - 5);
    for (const auto* list : {&hostile, &unknown, &truncated}) {
        auto movie = Load(Movie(16, 16,
                                {DefineShape(1, {0xff0000}, RectRecords(80, 80, 160, 160)),
                                 DefineShape(2, {0x0000ff}, RectRecords(240, 240, 280, 280)),
                                 PlaceWithFilters(1, list->bytes), PlaceObject2({2, 2}), ShowFrame()},
                                8));
        ASSERT_TRUE(movie);
        Stage stage(movie);
        Picture p = Draw(stage, 16, 16);
        EXPECT_EQ(p.At(13, 13), kBlue);
        uint32_t centre = p.At(5, 5);
        EXPECT_EQ(centre >> 24, 255u);
        EXPECT_GT((centre >> 16) & 255, 0u);  // some red of the square stays
    }
}

TEST(SwfLimits, FiltersStopAtTheRendersWorkBudget) {
    // 255 colour matrices that each add 1 to red, on a black square over a 1600 x 1600 stage:
    // each filter's planes and passes over the object's 2.56 million pixels count against the
    // render's budget, as its layer does, so only the first few are applied.
    Bits list;
    list.U8(255);
    for (int i = 0; i < 255; ++i) {
        list.U8(6);
        for (int k = 0; k < 20; ++k) {
            const float v = k == 0 || k == 4 || k == 6 || k == 12 || k == 18 ? 1.0f : 0.0f;
            uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            list.U32(bits);
        }
    }
    auto movie = Load(Movie(1600, 1600,
                            {DefineShape(1, {0x000000}, RectRecords(0, 0, 1600 * 20, 1600 * 20)),
                             PlaceWithFilters(1, list.bytes), ShowFrame()},
                            8));
    ASSERT_TRUE(movie);
    Stage stage(movie);
    const uint32_t centre = Draw(stage, 1600, 1600).At(800, 800);
    EXPECT_EQ(centre & 0xff00ffffu, 0xff000000u);  // the square, only its red changed
    EXPECT_GT((centre >> 16) & 255, 0u);           // some applied
    EXPECT_LE((centre >> 16) & 255, 6u);           // and the rest passed over
}

namespace {

// DefineShape3 of a square over pixels x0..x1 (both axes) in one colour 0xAARRGGBB.
std::vector<uint8_t> SquareRgba(uint16_t id, uint32_t argb, int x0, int x1) {
    Bits b;
    b.U16(id);
    b.Rect(x0 * 20, x1 * 20, x0 * 20, x1 * 20);
    b.Raw({1, 0});
    for (int s : {16, 8, 0, 24}) b.U8(static_cast<uint8_t>(argb >> s));
    b.U8(0);
    b.Raw(RectRecords(x0 * 20, x0 * 20, x1 * 20, x1 * 20));
    return Tag(32, b.bytes);
}

// PlaceObject3 at a depth: character (-1: none), move, a blend mode byte, an alpha multiplier
// (1: no colour transform).
std::vector<uint8_t> PlaceBlend(int depth, int charId, bool move, uint8_t mode, double alpha = 1) {
    Bits b;
    b.U8(static_cast<uint8_t>((move ? 1 : 0) | (charId >= 0 ? 2 : 0) | (alpha != 1 ? 8 : 0)));
    b.U8(0x02);
    b.U16(static_cast<uint16_t>(depth));
    if (charId >= 0) b.U16(static_cast<uint16_t>(charId));
    if (alpha != 1) {
        b.U(0, 1);  // no add terms
        b.U(1, 1);
        b.U(10, 4);
        for (int i = 0; i < 3; ++i) b.S(256, 10);
        b.S(static_cast<int32_t>(alpha * 256), 10);
    }
    b.U8(mode);
    return Tag(70, b.bytes);
}

void ExpectNear(uint32_t got, uint32_t want, const std::string& what) {
    for (int s = 0; s < 32; s += 8)
        EXPECT_NEAR(static_cast<int>((got >> s) & 255), static_cast<int>((want >> s) & 255), 1)
            << what << ": got " << std::hex << got << " want " << want;
}

}  // namespace

TEST(SwfBlend, EachModeBlendsTheObjectOntoWhatLiesBeneath) {
    // An 8x8 stage under a square of (128, 64, 192); over its middle a second square of
    // (255, 128, 0) (a quarter opaque for alpha and erase) in the mode. Alpha and erase act on
    // a sprite in layer mode holding both squares; on the stage itself they show nothing.
    constexpr uint32_t kUnder = 0xff8040c0, kOver = 0xffff8000, kQuarter = 0x40ff8000;
    struct Row {
        uint8_t mode;
        bool inLayer;
        uint32_t over, want;
    };
    const Row rows[] = {
        {0, false, kOver, kOver},         {1, false, kOver, kOver},         {2, false, kOver, kOver},  // normal, layer
        {3, false, kOver, 0xff802000},    {4, false, kOver, 0xffffa0c0},     // multiply, screen
        {5, false, kOver, 0xffff80c0},    {6, false, kOver, 0xff804000},     // lighten, darken
        {7, false, kOver, 0xff7f40c0},    {8, false, kOver, 0xffffc0c0},     // difference, add
        {9, false, kOver, 0xff0000c0},    {10, false, kOver, 0xff7fbf3f},    // subtract, invert
        {13, false, kOver, 0xffff4081},   {14, false, kOver, 0xffff4100},    // overlay, hardlight
        {11, true, kQuarter, 0xffdfcfef}, {12, true, kQuarter, 0xffa070d0},  // alpha, erase in a layer
        {11, false, kQuarter, kUnder},    {12, false, kQuarter, kUnder},     // alpha, erase on the stage
        {15, false, kOver, kOver},        {255, false, kOver, kOver},        // numbers past the last
    };
    for (const Row& row : rows) {
        std::vector<std::vector<uint8_t>> tags = {SquareRgba(1, kUnder, 0, 8), SquareRgba(2, row.over, 2, 6)};
        if (row.inLayer) {
            tags.push_back(DefineSprite(3, {PlaceObject2({1, 1}), PlaceBlend(2, 2, false, row.mode), ShowFrame()}));
            tags.push_back(PlaceBlend(1, 3, false, 2));
        } else {
            tags.push_back(PlaceObject2({1, 1}));
            tags.push_back(PlaceBlend(2, 2, false, row.mode));
        }
        tags.push_back(ShowFrame());
        auto movie = Load(Movie(8, 8, tags));
        ASSERT_TRUE(movie);
        Stage stage(movie);
        Picture p = Draw(stage, 8, 8);
        const std::string what = "mode " + std::to_string(row.mode) + (row.inLayer ? " in a layer" : "");
        ExpectNear(p.At(4, 4), row.want, what);
        ExpectNear(p.At(0, 0), kUnder, what + " beside the object");
    }
}

TEST(SwfBlend, ALayerIsPutTogetherBeforeItsColourTransform) {
    // Red over 0..5 and blue over 3..8 in a sprite shown at half alpha on white: as a layer the
    // overlap is blue alone at half; as a plain sprite the red shows through the blue.
    for (uint8_t mode : {0, 2}) {
        auto movie = Load(Movie(8, 8,
                                {SquareRgba(1, kRed, 0, 5), SquareRgba(2, kBlue, 3, 8),
                                 DefineSprite(3, {PlaceObject2({1, 1}), PlaceObject2({2, 2}), ShowFrame()}),
                                 PlaceBlend(1, 3, false, mode, 0.5), ShowFrame()}));
        ASSERT_TRUE(movie);
        Stage stage(movie);
        Picture p = Draw(stage, 8, 8);
        ExpectNear(p.At(4, 4), mode == 2 ? 0xff7f7fff : 0xff803fbf, "mode " + std::to_string(mode));
        ExpectNear(p.At(1, 1), 0xffff7f7f, "red alone");
    }
}

TEST(SwfBlend, AModeStaysThroughMovesAndGotosUntilTheObjectIsPlacedAnew) {
    // Frame 0: the square in multiply. 1: its character replaced in place (same colours).
    // 2: moved with a new mode, screen. 3: removed and placed again, with no mode.
    constexpr uint32_t kMultiply = 0xff802000, kScreen = 0xffffa0c0, kNormal = 0xffff8000;
    Place replace{2, 4};
    replace.move = true;
    auto movie =
        Load(Movie(8, 8,
                   {SquareRgba(1, 0xff8040c0, 0, 8), SquareRgba(2, kNormal, 2, 6), SquareRgba(4, kNormal, 2, 6),
                    PlaceObject2({1, 1}), PlaceBlend(2, 2, false, 3), ShowFrame(), PlaceObject2(replace), ShowFrame(),
                    PlaceBlend(2, -1, true, 4), ShowFrame(), RemoveObject2(2), PlaceObject2({2, 2}), ShowFrame()}));
    ASSERT_TRUE(movie);
    const uint32_t want[] = {kMultiply, kMultiply, kScreen, kNormal};
    Stage stage(movie);
    for (int f = 0; f < 4; ++f) {
        ExpectNear(Draw(stage, 8, 8).At(4, 4), want[f], "playing frame " + std::to_string(f));
        stage.NextFrame();
    }
    for (int f : {1, 2, 0, 3, 2}) {
        stage.GotoFrame(f);
        ExpectNear(Draw(stage, 8, 8).At(4, 4), want[f], "gone to frame " + std::to_string(f));
    }
}

TEST(SwfStrokes, HairlinesCoverOnePixelAcrossTheirMajorAxis) {
    // Lines of a 40x40 stage at several slopes. Anti-aliased, a line a pixel wide or less adds up
    // to one pixel of coverage in each column it crosses (each row, for a steep one); a wider
    // line to its width over the cosine of its slope.
    struct Row {
        int widthTwips, dx, dy;
        double perStep;  // coverage a column (row) sums to, in pixels
    };
    const Row rows[] = {
        {1, 600, 0, 1},    {1, 600, 300, 1}, {20, 600, 600, 1},
        {20, 300, 600, 1}, {60, 600, 0, 3},  {60, 600, 600, 3 * std::sqrt(2.0)},
    };
    for (const Row& row : rows) {
        Bits b;
        b.U16(1);
        b.Rect(-100000, 100000, -100000, 100000);
        b.U8(0);  // no fills
        b.U8(1);  // one line style
        b.U16(static_cast<uint16_t>(row.widthTwips));
        b.Raw({0, 0, 0});
        ShapeRecords r;
        r.Style(100, 100, -1, -1, 1);
        r.Line(row.dx, row.dy);
        b.Raw(r.End());
        auto movie = Load(Movie(40, 40, {Tag(2, b.bytes), PlaceObject2({1, 1}), ShowFrame()}));
        ASSERT_TRUE(movie);
        Stage stage(movie);
        Picture p = Draw(stage, 40, 40, Quality::High);
        bool steep = row.dy > row.dx;
        int from = steep ? 5 + row.dy / 20 / 4 : 5 + row.dx / 20 / 4, to = from + (steep ? row.dy : row.dx) / 20 / 2;
        for (int i = from; i < to; ++i) {
            double sum = 0;
            for (int j = 0; j < 40; ++j) sum += (255 - ((steep ? p.At(j, i) : p.At(i, j)) & 255)) / 255.0;
            // A hairline is exact (each sample column meets it once); a wide line within a sample.
            EXPECT_NEAR(sum, row.perStep, row.widthTwips <= 20 ? 0.02 : 0.26)
                << row.widthTwips << " " << row.dx << "," << row.dy << " at " << i;
        }
    }
}
