// swfgen: writes the five built-in movies (the video player movie and its four skins) from
// source, so that no binary asset lives in the repository. The build runs it and compiles its
// output into the library module as RCDATA resources.
//
//   swfgen OUTDIR                             the five movies into OUTDIR
//   swfgen --wrapper OUT SKIN VIDEO VOLUME    a test movie that loads flvplayback.swf into a
//                                             clip and sets its flv variables from inside
//                                             (the asset check uses it where no SetVariable exists)
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "swf_writer.h"

using namespace swf;

namespace {

constexpr int kStageW = 320, kVideoH = 240, kBarH = 40;

Point Px(double x, double y) {
    return {static_cast<int32_t>(std::lround(x * 20)), static_cast<int32_t>(std::lround(y * 20))};
}

std::vector<Point> Box(double x0, double y0, double x1, double y1) {
    return {Px(x0, y0), Px(x1, y0), Px(x1, y1), Px(x0, y1)};
}

std::vector<Point> Ring(double cx, double cy, double r, int corners, double turn = 0) {
    std::vector<Point> pts;
    for (int i = 0; i < corners; ++i) {
        const double a = turn + 2 * M_PI * i / corners;
        pts.push_back(Px(cx + r * std::cos(a), cy + r * std::sin(a)));
    }
    return pts;
}

std::vector<Point> Poly(std::initializer_list<std::pair<double, double>> xy) {
    std::vector<Point> pts;
    for (auto [x, y] : xy) pts.push_back(Px(x, y));
    return pts;
}

// ---------------------------------------------------------------------------------------
// The video player movie.
//
// Main timeline, one frame labelled "flvplayback":
//   flv        a clip holding the video object "video"; the host sets flv.contentPath,
//              flv.skin and flv.volume from outside, so the movie checks them every frame
//   audio      an empty clip the stream's sound is attached to, driven by a Sound object
//   controls   created when a skin is named; the skin movie is loaded into it by name
// Everything goes through `this`, the movie's own timeline, so the movie works the same at
// the top of a player and loaded into another movie's clip.

Expr This() { return Var("this"); }
Expr Flv(const std::string& member) { return Member(Var("flv"), member); }
Expr TypeOf(Expr e) {
    return [e](Asm& a) {
        e(a);
        a.Op(aTypeOf);
    };
}
Expr ToNumber(Expr e) {
    return [e](Asm& a) {
        e(a);
        a.Op(aToNumber);
    };
}
Expr Differs(Expr a, Expr b) { return Not(Binary(aEquals2, a, b)); }
void Stream(Asm& a, const std::string& method, std::vector<Expr> args) { Eval(a, Method(Var("ns"), method, args)); }

std::string PlayerProgram() {
    Asm a;
    SetVar(a, "nc", New("NetConnection", {}));
    Eval(a, Method(Var("nc"), "connect", {Null()}));
    SetVar(a, "ns", New("NetStream", {Var("nc")}));
    Eval(a, Method(Flv("video"), "attachVideo", {Var("ns")}));
    Eval(a, Method(This(), "createEmptyMovieClip", {Str("audio"), Int(10)}));
    Eval(a, Method(Var("audio"), "attachAudio", {Var("ns")}));
    SetVar(a, "sound", New("Sound", {Var("audio")}));
    SetVar(a, "muted", Bool(false));
    // The skin parameter's default, unless the host was quicker.
    If(a, Binary(aEquals2, TypeOf(Flv("skin")), Str("undefined")),
       [](Asm& b) { SetMember(b, Var("flv"), "skin", Str("ClearOverAll.swf")); });

    // What the skin's buttons and the host's callbacks call.
    DefineFunction(a, "vdplay", {}, [](Asm& b) { Stream(b, "pause", {Bool(false)}); });
    DefineFunction(a, "vdpause", {}, [](Asm& b) { Stream(b, "pause", {Bool(true)}); });
    DefineFunction(a, "vdtoggle", {}, [](Asm& b) { Stream(b, "pause", {}); });
    DefineFunction(a, "vdstop", {}, [](Asm& b) {
        Stream(b, "pause", {Bool(true)});
        Stream(b, "seek", {Int(0)});
    });
    DefineFunction(a, "vdsetvol", {"v"}, [](Asm& b) { SetMember(b, Var("flv"), "volume", Var("v")); });
    DefineFunction(a, "vdmute", {}, [](Asm& b) {
        SetVar(b, "muted", Not(Var("muted")));
        If(b, Var("muted"), [](Asm& c) { Eval(c, Method(Var("sound"), "setVolume", {Int(0)})); });
        If(b, Not(Var("muted")), [](Asm& c) { Eval(c, Method(Var("sound"), "setVolume", {ToNumber(Flv("volume"))})); });
    });

    const Expr ei = Member(Member(Var("flash"), "external"), "ExternalInterface");
    Eval(a, Method(ei, "addCallback", {Str("playflv"), This(), Var("vdplay")}));
    Eval(a, Method(ei, "addCallback", {Str("stopflv"), This(), Var("vdpause")}));

    // Every frame: apply whatever the host changed since the last one.
    Asm tick;
    If(tick, Differs(Flv("skin"), Var("skinNow")), [](Asm& b) {
        SetVar(b, "skinNow", Flv("skin"));
        Eval(b, Method(This(), "createEmptyMovieClip", {Str("controls"), Int(20)}));
        SetMember(b, Var("controls"), "_y", Int(kVideoH));
        Eval(b, Method(Var("controls"), "loadMovie", {Var("skinNow")}));
    });
    If(tick, Differs(Flv("volume"), Var("volumeNow")), [](Asm& b) {
        SetVar(b, "volumeNow", Flv("volume"));
        If(b, Not(Var("muted")),
           [](Asm& c) { Eval(c, Method(Var("sound"), "setVolume", {ToNumber(Var("volumeNow"))})); });
    });
    If(tick, Differs(Flv("contentPath"), Var("pathNow")), [](Asm& b) {
        SetVar(b, "pathNow", Flv("contentPath"));
        Stream(b, "play", {Var("pathNow")});
    });
    SetMember(a, This(), "onEnterFrame", Fn({}, tick));
    return a.DoAction();
}

std::string PlayerMovie() {
    enum : uint16_t { kVideo = 1, kFlvClip = 2 };
    std::string tags;
    std::string attrs;
    PutU32(attrs, 0x01);  // may use the network: the video and skin come by URL
    tags += Tag(kFileAttributes, attrs);
    tags += Tag(kSetBackgroundColor, std::string("\0\0\0", 3));

    std::string video;
    PutU16(video, kVideo);
    PutU16(video, 0);  // frames: none embedded, a NetStream feeds it
    PutU16(video, kStageW);
    PutU16(video, kVideoH);
    PutU8(video, 0x01);  // smoothing on, no deblocking
    PutU8(video, 2);     // codec: Sorenson H.263, the FLV default
    tags += Tag(kDefineVideoStream, video);

    std::string sprite;
    PutU16(sprite, kFlvClip);
    PutU16(sprite, 1);
    sprite += PlaceTag(1, kVideo, 0, 0, "video") + Tag(kShowFrame, "") + Tag(kEnd, "");
    tags += Tag(kDefineSprite, sprite);

    tags += PlaceTag(1, kFlvClip, 0, 0, "flv");
    std::string label;
    PutCString(label, "flvplayback");
    tags += Tag(kFrameLabel, label);
    tags += Tag(kDoAction, PlayerProgram());
    tags += Tag(kShowFrame, "") + Tag(kEnd, "");
    return CompressedMovie(kStageW, kVideoH + kBarH, 1, tags);
}

// ---------------------------------------------------------------------------------------
// The skins: one bar of controls, 320 x 40, loaded into the player movie's "controls" clip.
// Buttons call the player movie's functions on _parent (the player's timeline); run on its
// own a skin still draws, and its buttons find nothing to call.

enum class Corners { Square, Beveled, Round };

struct Look {
    const char* File;
    Rgba Panel, Face, Icon, Bar, Handle;
    Corners Shape;
    int Outline;  // twips
};

const Look kLooks[] = {
    {"ClearOverAll.swf",
     {0, 0, 0, 96},
     {255, 255, 255, 96},
     {255, 255, 255, 235},
     {255, 255, 255, 128},
     {255, 255, 255, 255},
     Corners::Beveled,
     0},
    {"SteelOverAll.swf",
     {58, 62, 68},
     {118, 124, 132},
     {232, 234, 238},
     {36, 38, 42},
     {196, 200, 208},
     Corners::Square,
     20},
    {"MojaveOverAll.swf",
     {196, 160, 108},
     {150, 104, 58},
     {250, 236, 200},
     {118, 78, 40},
     {238, 208, 148},
     Corners::Beveled,
     0},
    {"ArcticOverAll.swf",
     {226, 240, 250},
     {118, 178, 226},
     {255, 255, 255},
     {160, 200, 230},
     {36, 108, 178},
     Corners::Round,
     0},
};

std::vector<Point> ButtonFace(const Look& look, double cx, double cy) {
    switch (look.Shape) {
        case Corners::Round:
            return Ring(cx, cy, 15, 24);
        case Corners::Beveled:
            return Ring(cx, cy, 16, 8, M_PI / 8);
        case Corners::Square:
            break;
    }
    return Box(cx - 15, cy - 15, cx + 15, cy + 15);
}

struct Control {
    const char* Name;
    double X;                              // centre
    std::vector<std::vector<Point>> Icon;  // relative to the centre
    std::string Call;                      // the player function it calls
};

// A button that only answers the mouse: `hit` is its hit area and it has no looks of its own.
// What it shows is drawn by shapes placed beneath it on the timeline, so a player that draws
// shapes and runs no buttons shows the same controls.
std::string ButtonTag(uint16_t id, uint16_t hit, const Asm& onRelease) {
    std::string b;
    PutU16(b, id);
    PutU8(b, 0);  // a push button, not a menu
    std::string records;
    PutU8(records, 0x08);  // the hit state only
    PutU16(records, hit);
    PutU16(records, 1);
    records += Translate(0, 0);
    PutU8(records, 0);                                     // colour transform: none
    PutU8(records, 0);                                     // end of records
    PutU16(b, static_cast<uint16_t>(2 + records.size()));  // from this field to the actions
    b += records;
    PutU16(b, 0);    // the only condition record
    PutU8(b, 0x08);  // released over the button
    PutU8(b, 0x00);
    b += onRelease.DoAction();
    return Tag(kDefineButton2, b);
}

std::string SkinMovie(const Look& look) {
    const double cy = kBarH / 2.0;
    const double barX = 196, barW = 80;
    std::string tags;
    std::string attrs;
    PutU32(attrs, 0);
    tags += Tag(kFileAttributes, attrs);
    uint16_t next = 1, depth = 1;

    const uint16_t panel = next++;
    tags += ShapeTag(panel, {{Box(0, 0, kStageW, kBarH), look.Panel, look.Outline, look.Bar}});
    tags += PlaceTag(depth++, panel, 0, 0);

    const std::vector<Control> controls = {
        {"play", 20, {Poly({{-6, -8}, {8, 0}, {-6, 8}})}, "vdplay"},
        {"playpause", 56, {Poly({{-9, -7}, {1, 0}, {-9, 7}}), Box(3, -7, 5, 7), Box(7, -7, 9, 7)}, "vdtoggle"},
        {"stop", 92, {Box(-7, -7, 7, 7)}, "vdstop"},
        {"mute", 300, {Box(-9, -4, -4, 4), Poly({{-4, -4}, {3, -9}, {3, 9}, {-4, 4}}), Box(5, -5, 7, 5)}, "vdmute"},
    };
    for (const Control& c : controls) {
        const uint16_t face = next++, icon = next++, button = next++;
        tags += ShapeTag(face, {{ButtonFace(look, 0, 0), look.Face, look.Outline, look.Bar}});
        std::vector<Polygon> parts;
        for (const auto& p : c.Icon) parts.push_back({p, look.Icon});
        tags += ShapeTag(icon, parts);
        Asm release;
        Eval(release, Method(Var("_parent"), c.Call, {}));
        tags += ButtonTag(button, face, release);
        const int32_t x = static_cast<int32_t>(c.X * 20), y = static_cast<int32_t>(cy * 20);
        tags += PlaceTag(depth++, face, x, y);
        tags += PlaceTag(depth++, icon, x, y);
        tags += PlaceTag(depth++, button, x, y, c.Name);
    }

    // Volume: a bar to click on and a handle that shows the level.
    const uint16_t bar = next++, barHit = next++, volume = next++;
    tags += ShapeTag(bar, {{Box(0, -3, barW, 3), look.Bar, look.Outline, look.Face}});
    tags += ShapeTag(barHit, {{Box(0, -10, barW, 10), {0, 0, 0, 0}}});
    Asm setVolume;
    const Expr mouseX = Member(Var("this"), "_xmouse");
    SetVar(setVolume, "level",
           Binary(aDivide, Binary(aMultiply, Binary(aSubtract, mouseX, Int(static_cast<int32_t>(barX))), Int(100)),
                  Int(static_cast<int32_t>(barW))));
    SetMember(setVolume, Var("handle"), "_x", mouseX);
    Eval(setVolume, Method(Var("_parent"), "vdsetvol", {Var("level")}));
    tags += ButtonTag(volume, barHit, setVolume);
    tags += PlaceTag(depth++, bar, static_cast<int32_t>(barX * 20), static_cast<int32_t>(cy * 20));
    tags += PlaceTag(depth++, volume, static_cast<int32_t>(barX * 20), static_cast<int32_t>(cy * 20), "volumebar");

    const uint16_t knob = next++, handle = next++;
    tags += ShapeTag(knob, {{look.Shape == Corners::Round ? Ring(0, 0, 6, 16) : Box(-3, -8, 3, 8), look.Handle,
                             look.Outline, look.Bar}});
    std::string sprite;
    PutU16(sprite, handle);
    PutU16(sprite, 1);
    sprite += PlaceTag(1, knob, 0, 0) + Tag(kShowFrame, "") + Tag(kEnd, "");
    tags += Tag(kDefineSprite, sprite);
    tags += PlaceTag(depth++, handle, static_cast<int32_t>((barX + barW / 2) * 20), static_cast<int32_t>(cy * 20),
                     "handle");

    tags += Tag(kShowFrame, "") + Tag(kEnd, "");
    return CompressedMovie(kStageW, kBarH, 1, tags);
}

// ---------------------------------------------------------------------------------------

std::string WrapperMovie(const std::string& skin, const std::string& video, const std::string& volume) {
    Asm a;
    Eval(a, Method(This(), "createEmptyMovieClip", {Str("p"), Int(1)}));
    Eval(a, Method(Var("p"), "loadMovie", {Str("flvplayback.swf")}));
    Asm tick;
    If(tick, Binary(aEquals2, TypeOf(Member(Var("p"), "flv")), Str("movieclip")), [&](Asm& b) {
        const Expr flv = Member(Var("p"), "flv");
        SetMember(b, flv, "skin", Str(skin));
        SetMember(b, flv, "volume", Str(volume));
        SetMember(b, flv, "contentPath", Str(video));
        SetMember(b, This(), "onEnterFrame", Null());
    });
    SetMember(a, This(), "onEnterFrame", Fn({}, tick));
    std::string tags;
    std::string attrs;
    PutU32(attrs, 0x01);
    tags += Tag(kFileAttributes, attrs);
    tags += Tag(kDoAction, a.DoAction()) + Tag(kShowFrame, "") + Tag(kEnd, "");
    return CompressedMovie(kStageW, kVideoH + kBarH, 1, tags);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::cerr << "swfgen: cannot write " << path << '\n';
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 5 && args[0] == "--wrapper")
        return WriteFile(args[1], WrapperMovie(args[2], args[3], args[4])) ? 0 : 2;
    if (args.size() != 1) {
        std::cerr << "usage: swfgen OUTDIR | swfgen --wrapper OUT SKIN VIDEO VOLUME\n";
        return 1;
    }
    bool ok = WriteFile(args[0] + "/flvplayback.swf", PlayerMovie());
    for (const Look& look : kLooks) ok = WriteFile(args[0] + "/" + look.File, SkinMovie(look)) && ok;
    return ok ? 0 : 2;
}
