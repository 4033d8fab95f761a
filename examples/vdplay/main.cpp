// vdplay: the four players on a real screen. A patterned window stands for the desktop; on it
// a form holds a windowless TvdFlashPlayer (transparent: the form shows through) and a
// TvdFlashPlayerWnd (opaque, teal); a borderless form of its own holds a TvdFlashLayer, which
// makes it a per-pixel-alpha window over the desktop; a TvdFlashPlayerComp plays off-screen.
// Each plays a built-in movie through the driver its Plugin chooses: the build puts the
// reference player's plugin library beside the EXE and ./run demo registers its ActiveX control,
// so the windowless and off-screen players play through the Netscape driver and the windowed
// and layered ones through the ActiveX driver unless told otherwise. The first two load the
// built-in movies by their own names; the other two load copies kept in a movie store on the
// form (the ActiveX control asks for a movie by its full address, which names no built-in
// movie), so both ways of finding a movie are shown. Each movie is one of the built-in skins,
// drawn by the reference player's engine from the skin's own shapes (its control bar and
// buttons). Run by `./run demo` on a virtual X
// server with a compositing manager (cmake/xvfb-session.sh), it asks for captures of the
// screen, reads the players' pixels back from them and says what it saw.
//
//   vdplay [--out DIR] [--plugin PLAYER=default|netscape|activex]...
//     PLAYER: windowless, windowed, offscreen, layer (default: netscape for windowless and
//     offscreen, activex for windowed and layer)
//   Writes DIR/screen.png (the screen), DIR/screen-alpha128.png (the layer at MasterAlpha 128)
//   and DIR/offscreen-NN.png (frames of the off-screen player over a checkerboard).
//   Exit status: 0 when every check passed, 1 when one failed, 2 for a usage or setup error.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "vd_windows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "demo_pixels.h"
#include "screen_capture.h"
#include "vd_driver_activex.h"
#include "vd_driver_netscape.h"
#include "vd_flashplayer.h"
#include "vd_flashstore.h"
#include "vd_layer.h"
#include "vd_movieres.h"
#include "vd_startup.h"
#include "vd_vcl.h"

using namespace vd;
using namespace vdplay;

namespace {

TColor ToColor(uint32_t rgb) { return static_cast<TColor>(RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF)); }

// A form painted with a pattern of the form's client coordinates.
class TPatternForm : public TForm {
public:
    TPatternForm(TComponent* owner, std::function<uint32_t(int, int)> pattern, bool framed)
        : TForm(owner), framed_(framed) {
        SetOnPaint([this, pattern](TObject*) {
            TCanvas& c = *Canvas();
            c.Pen.Style = psClear;
            for (int y = 0; y < ClientHeight(); y += kCell / 2)
                for (int x = 0; x < ClientWidth(); x += kCell / 2) {
                    c.Brush.Color = ToColor(pattern(x, y));
                    c.FillRect(Rect(x, y, x + kCell / 2, y + kCell / 2));
                }
        });
    }

protected:
    void CreateParams(TCreateParams& params) override {
        TForm::CreateParams(params);
        // Without a frame the layered window's image is the whole window.
        if (!framed_) params.Style = WS_POPUP | WS_CLIPCHILDREN;
    }

private:
    bool framed_;
};

// A borderless form for the layer.
class TLayerForm : public TPatternForm {
public:
    explicit TLayerForm(TComponent* owner) : TPatternForm(owner, DesktopPattern, false) {}
};

// One player of the demo, whichever its class.
struct TDemoPlayer {
    std::string Role;  // windowless, windowed, offscreen, layer
    std::string Class;
    WideString Movie;
    TvdPlugin Plugin = vdNetscape;
    TvdDriverOwner* Owner = nullptr;
    int Paints = 0;
};

const std::map<std::string, TvdPlugin> kPlugins{
    {"default", vdDefault}, {"netscape", vdNetscape}, {"activex", vdActiveX}};

std::string DriverText(const TvdFlashDriver* d) {
    if (!d) return "no driver (its constructor failed)";
    const std::string name = d->ClassName();
    if (name == "TvdFlashDriverNS") return name + " (Netscape plugin " + WideToUtf8(NetscapePluginPath()) + ")";
    if (name == "TvdFlashDriverActiveX")
        return name + " (ActiveX control, class {D27CDB6E-AE6D-11CF-96B8-444553540000})";
    if (name == "TvdFlashDriver") return name + " (inert: no Flash Player behind it, no movie plays)";
    return name;
}

// Counts the rectangles the driver re-renders, passing each on to the player.
void CountPaints(TDemoPlayer& p) {
    TvdFlashDriver* d = p.Owner->Driver();
    if (!d) return;
    d->OnPaint = [&p, next = d->OnPaint](TObject* s, const TRect& r) {
        ++p.Paints;
        if (next) next(s, r);
    };
}

struct TChecks {
    int Failed = 0;
    void Report(const std::string& what, bool ok, const std::string& detail) {
        std::printf("  [%s] %s: %s\n", ok ? "pass" : "FAIL", what.c_str(), detail.c_str());
        if (!ok) ++Failed;
    }
};

// The built-in skins as their movies draw them (tools/swfgen): a 320 x 40 control bar, its panel
// (seen between the stop button and the volume bar), the play button's face and its icon, as
// 0xRRGGBB, and the panel's alpha.
struct TSkinLook {
    const char* Name;
    uint32_t Panel, Face, Icon;
    int PanelAlpha;
};
const TSkinLook kClear{"clear", 0x000000, 0xFFFFFF, 0xFFFFFF, 96};
const TSkinLook kSteel{"steel", 0x3A3E44, 0x767C84, 0xE8EAEE, 255};
const TSkinLook kMojave{"mojave", 0xC4A06C, 0x96683A, 0xFAECC8, 255};
const TSkinLook kArctic{"arctic", 0xE2F0FA, 0x76B2E2, 0xFFFFFF, 255};

// Where a point of a skin's stage shows in a player of w x h: the reference player shows the
// movie whole, centred.
struct TSkinFit {
    int W, H;
    double Scale() const { return std::min(W / 320.0, H / 40.0); }
    POINT At(double x, double y) const {
        const double s = Scale();
        return {static_cast<LONG>(std::floor((W - 320 * s) / 2 + 0.5) + x * s),
                static_cast<LONG>(std::floor((H - 40 * s) / 2 + 0.5) + y * s)};
    }
    POINT Panel() const { return At(140, 20); }
    POINT Face() const { return At(32, 20); }
    POINT Icon() const { return At(21, 20); }
};

// The skin's own shapes read back through `pixel` (0xRRGGBB as shown): its panel, the play
// button's face and its icon, each in its colour.
void CheckSkin(TChecks& checks, const std::string& label, const TSkinLook& look, const TSkinFit& fit,
               const std::function<uint32_t(POINT)>& pixel) {
    const uint32_t panel = pixel(fit.Panel()), face = pixel(fit.Face()), icon = pixel(fit.Icon());
    const bool ok = Near(panel, look.Panel) && Near(face, look.Face) && Near(icon, look.Icon);
    checks.Report(label + " shows the " + look.Name + " skin's bar and buttons", ok,
                  "panel " + Hex(panel) + " (skin " + Hex(look.Panel) + "), play button " + Hex(face) + " (" +
                      Hex(look.Face) + "), its icon " + Hex(icon) + " (" + Hex(look.Icon) + ")");
}

uint32_t BufferAt(const TvdFlashDriver& d, int x, int y) {
    GdiFlush();
    return d.Bits[static_cast<size_t>(y) * d.Width + x];
}

// Points of the layer's buffer sorted by the alpha the movie left there, checked on a capture:
// the screen must show the buffer blended over the desktop pattern, faded by `master`.
void CheckLayer(TChecks& checks, const TvdFlashLayer& layer, const TXwdImage& screen, POINT origin, int master,
                const std::string& label) {
    const TvdFlashDriver& d = *layer.Driver();
    int counts[3] = {0, 0, 0}, bad[3] = {0, 0, 0};
    std::string example[3];
    for (int y = 2; y < d.Height - 2; y += 7)
        for (int x = 2; x < d.Width - 2; x += 7) {
            const uint32_t p = BufferAt(d, x, y);
            const int a = Channel(p, 24), kind = a == 0 ? 0 : a == 255 ? 2 : 1;
            const int sx = origin.x + x, sy = origin.y + y;
            const uint32_t expected = Over(p, master, DesktopPattern(sx, sy)), seen = screen.At(sx, sy);
            ++counts[kind];
            if (!Near(seen, expected)) ++bad[kind];
            if (example[kind].empty() || !Near(seen, expected))
                example[kind] = "(" + std::to_string(x) + "," + std::to_string(y) + ") buffer alpha " +
                                std::to_string(a) + ": screen " + Hex(seen) + ", expected " + Hex(expected);
        }
    const char* names[3] = {"transparent areas show the desktop pattern", "half-transparent areas blend both",
                            "opaque areas show the movie"};
    for (int k = 0; k < 3; ++k)
        checks.Report(label + ": " + names[k], counts[k] > 0 && bad[k] == 0,
                      counts[k] == 0 ? "the movie left no such area"
                                     : std::to_string(counts[k] - bad[k]) + "/" + std::to_string(counts[k]) +
                                           " points, e.g. " + example[k]);
}

int Run(const std::string& outDir, const std::map<std::string, TvdPlugin>& plugins) {
    if (CaptureDir().empty()) {
        std::fprintf(stderr,
                     "vdplay: no virtual screen to capture (VD_CAPTURE_DIR is not set); run it with ./run demo, "
                     "which starts Xvfb and a compositing manager (cmake/xvfb-session.sh)\n");
        return 2;
    }
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);

    // The desktop: the whole screen patterned, behind everything else.
    TPatternForm desktop(nullptr, DesktopPattern, false);
    desktop.SetName("Desktop");
    desktop.SetBounds(0, 0, screenW, screenH);
    desktop.Show();

    // The players' form.
    TPatternForm form(nullptr, FormPattern, true);
    form.SetName("PlayersForm");
    form.SetCaption("vdplay: windowless and windowed players");
    form.SetBounds(40, 40, 600, 300);
    form.HandleNeeded();
    form.SetClientWidth(560);
    form.SetClientHeight(220);

    std::vector<TDemoPlayer> players{
        {"windowless", "TvdFlashPlayer", u"ArcticOverAll.swf", vdNetscape},
        {"windowed", "TvdFlashPlayerWnd", u"StoredSteel.swf", vdActiveX},
        {"offscreen", "TvdFlashPlayerComp", u"MojaveOverAll.swf", vdNetscape},
        {"layer", "TvdFlashLayer", u"StoredClear.swf", vdActiveX},
    };
    // The store the stored names come from, filled with the built-in movies' bytes.
    auto* store = new TvdFlashList(&form);
    store->SetName("MovieStore");
    for (auto [stored, builtIn] :
         {std::pair{u"StoredSteel.swf", u"SteelOverAll.swf"}, std::pair{u"StoredClear.swf", u"ClearOverAll.swf"}}) {
        std::unique_ptr<TMemoryStream> bytes = OpenMovieResource(builtIn);
        if (!bytes) {
            std::fprintf(stderr, "vdplay: the built-in movie %s is missing from the EXE\n",
                         WideToUtf8(builtIn).c_str());
            return 2;
        }
        TvdFlashStream* item = store->GetFlashs()->Add();
        item->SetFlashStore(stored);
        item->LoadData(*bytes);
    }
    for (auto& p : players)
        if (auto it = plugins.find(p.Role); it != plugins.end()) p.Plugin = it->second;

    auto* windowless = new TvdFlashPlayer(&form);
    windowless->SetName("WindowlessPlayer");
    windowless->SetParent(&form);
    windowless->SetBounds(20, 20, 240, 180);
    players[0].Owner = windowless;

    auto* windowed = new TvdFlashPlayerWnd(&form);
    windowed->SetName("WindowedPlayer");
    windowed->SetColor(clTeal);
    windowed->SetParent(&form);
    windowed->SetBounds(300, 20, 240, 180);
    players[1].Owner = windowed;

    TvdFlashPlayerComp offscreen(nullptr);
    offscreen.SetWidth(200);
    offscreen.SetHeight(150);
    players[2].Owner = &offscreen;
    std::vector<std::vector<uint32_t>> frames;
    offscreen.SetOnPaint([&](TObject*, const TRect&) {
        if (frames.size() >= 6 || !offscreen.GetBuffer()) return;
        GdiFlush();
        const uint32_t* b = offscreen.GetBuffer();
        frames.emplace_back(b, b + 200 * 150);
    });

    // The layered form, over the desktop to the right of the players' form.
    TLayerForm layerForm(nullptr);
    layerForm.SetName("LayerForm");
    layerForm.SetBounds(660, 120, 320, 240);
    layerForm.HandleNeeded();
    auto* layer = new TvdFlashLayer(&layerForm);
    layer->SetName("Layer");
    layer->SetParent(&layerForm);
    players[3].Owner = layer;

    for (auto& p : players) {
        p.Owner->SetPlugin(p.Plugin);
        CountPaints(p);
        p.Owner->LoadMovie(p.Movie);
    }
    form.Show();
    layerForm.Show();
    Settle(1500);

    std::printf("Screen %dx%d: a patterned desktop window, the players' form and the layered form.\n", screenW,
                screenH);
    const char* pluginNames[] = {"default", "netscape", "activex"};
    int running = 0;
    for (auto& p : players) {
        const TvdFlashDriver* d = p.Owner->Driver();
        const bool real = d && std::string(d->ClassName()) != "TvdFlashDriver";
        running += real ? 1 : 0;
        std::printf("  %-10s %-18s Plugin %-8s -> driver %s; movie %s, %d frame(s), %d rectangle(s) painted\n",
                    p.Role.c_str(), p.Class.c_str(), pluginNames[p.Plugin], DriverText(d).c_str(),
                    WideToUtf8(p.Movie).c_str(), p.Owner->GetTotalFrames(), p.Paints);
        // Why it got that driver: a driver unit not started shows here by name.
        std::printf("  %-10s driver choice: %s\n", "", DriverChoiceReport(*p.Owner).c_str());
    }
    if (running == 0) {
        std::printf(
            "No player can run: no Flash Player was found for any of them (no plugin library beside "
            "the EXE or registered, no ActiveX control), so no movie plays.\n");
        return 1;
    }

    TXwdImage full, faded;
    std::string error;
    if (!CaptureScreen("screen", full, error)) {
        std::fprintf(stderr, "vdplay: %s\n", error.c_str());
        return 2;
    }
    layer->SetMasterAlpha(128);
    layer->UpdateLayer();
    Settle(500);
    if (!CaptureScreen("screen-alpha128", faded, error)) {
        std::fprintf(stderr, "vdplay: %s\n", error.c_str());
        return 2;
    }
    const std::string screenPng = outDir + "/screen.png", fadedPng = outDir + "/screen-alpha128.png";
    if (!WritePng(screenPng, full.Width, full.Height, full.Pixels) ||
        !WritePng(fadedPng, faded.Width, faded.Height, faded.Pixels)) {
        std::fprintf(stderr, "vdplay: cannot write %s\n", screenPng.c_str());
        return 2;
    }

    TChecks checks;
    std::printf("Checks (pixels read back from the capture of the screen):\n");
    // Windowless: the skin on the screen, the form's stripes where the movie leaves the area.
    {
        POINT o{0, 0};
        ClientToScreen(form.Handle(), &o);
        const int x0 = o.x + windowless->GetLeft(), y0 = o.y + windowless->GetTop();
        checks.Report("windowless plays its movie", players[0].Owner->GetTotalFrames() > 0,
                      std::to_string(players[0].Owner->GetTotalFrames()) + " frame(s)");
        CheckSkin(checks, "windowless", kArctic, {windowless->GetWidth(), windowless->GetHeight()},
                  [&](POINT p) { return full.At(x0 + p.x, y0 + p.y); });
        const uint32_t corner = full.At(x0 + 3, y0 + 3), stripes = FormPattern(windowless->GetLeft() + 3, 0);
        checks.Report("windowless is transparent: the form shows around the movie", corner == stripes,
                      "screen " + Hex(corner) + ", form " + Hex(stripes));
    }
    // Windowed: the bar, and its own colour (never the form) around the movie.
    {
        POINT o{0, 0};
        ClientToScreen(windowed->Handle(), &o);
        const uint32_t corner = full.At(o.x + 3, o.y + 3);
        const uint32_t teal = ColorToOpaquePixel(clTeal) & 0xFFFFFF;
        checks.Report("windowed plays its movie", players[1].Owner->GetTotalFrames() > 0,
                      std::to_string(players[1].Owner->GetTotalFrames()) + " frame(s)");
        CheckSkin(checks, "windowed", kSteel, {windowed->GetWidth(), windowed->GetHeight()},
                  [&](POINT p) { return full.At(o.x + p.x, o.y + p.y); });
        checks.Report("windowed is opaque in its colour", corner == teal,
                      "screen " + Hex(corner) + ", teal " + Hex(teal));
    }
    // Off-screen: premultiplied pixels in the buffer the application reads.
    {
        const TSkinFit fit{200, 150};
        auto at = [&](POINT p) {
            const uint32_t* row = offscreen.GetScanline(p.y);
            GdiFlush();
            return row ? row[p.x] : 0u;
        };
        CheckSkin(checks, "off-screen buffer", kMojave, fit, at);
        const uint32_t panel = at(fit.Panel()), top = at(POINT{2, 2});
        checks.Report("off-screen buffer keeps the movie's alpha", Channel(panel, 24) == 255 && top == 0,
                      "panel " + Hex(panel) + " alpha " + std::to_string(Channel(panel, 24)) + ", above the bar " +
                          Hex(top) + " alpha " + std::to_string(Channel(top, 24)));
        checks.Report("off-screen frames were announced", !frames.empty(),
                      std::to_string(frames.size()) + " frame(s) kept");
    }
    // Layer: blended over the desktop, then faded to half by MasterAlpha 128.
    const POINT layerAt{layerForm.GetLeft(), layerForm.GetTop()};
    checks.Report("layer plays its movie", players[3].Owner->GetTotalFrames() > 0 && players[3].Paints > 0,
                  std::to_string(players[3].Paints) + " rectangle(s) painted");
    {
        // The clear skin is see-through: its panel black at a little over a third, its icons
        // nearly opaque white, premultiplied in the buffer the layered window is made from.
        const TSkinFit fit{layer->Driver()->Width, layer->Driver()->Height};
        const uint32_t panel = BufferAt(*layer->Driver(), fit.Panel().x, fit.Panel().y);
        const uint32_t icon = BufferAt(*layer->Driver(), fit.Icon().x, fit.Icon().y);
        checks.Report("layer holds the clear skin with its alpha",
                      std::abs(Channel(panel, 24) - kClear.PanelAlpha) <= 1 && (panel & 0xFFFFFF) == 0 &&
                          Channel(icon, 24) >= 230 && Channel(icon, 16) >= 230,
                      "panel " + Hex(panel) + " alpha " + std::to_string(Channel(panel, 24)) + ", icon " + Hex(icon) +
                          " alpha " + std::to_string(Channel(icon, 24)));
    }
    CheckLayer(checks, *layer, full, layerAt, 255, "layer, MasterAlpha 255");
    CheckLayer(checks, *layer, faded, layerAt, 128, "layer, MasterAlpha 128 halves it");

    for (size_t i = 0; i < frames.size(); ++i) {
        std::vector<uint32_t> picture(frames[i].size());
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x) picture[y * 200 + x] = Over(frames[i][y * 200 + x], 255, Checker(x, y));
        char name[32];
        std::snprintf(name, sizeof name, "/offscreen-%02zu.png", i);
        if (!WritePng(outDir + name, 200, 150, picture)) {
            std::fprintf(stderr, "vdplay: cannot write %s%s\n", outDir.c_str(), name);
            return 2;
        }
    }
    std::printf("Wrote %s, %s and %zu off-screen frame(s) %s/offscreen-NN.png\n", screenPng.c_str(), fadedPng.c_str(),
                frames.size(), outDir.c_str());
    std::printf("%s: %d check(s) failed\n", checks.Failed ? "FAILED" : "All checks passed", checks.Failed);
    return checks.Failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string outDir = ".";
    std::map<std::string, TvdPlugin> plugins;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--out" && i + 1 < argc) {
            outDir = argv[++i];
        } else if (a == "--plugin" && i + 1 < argc) {
            const std::string v = argv[++i];
            const auto eq = v.find('=');
            const std::string role = v.substr(0, eq);
            const auto plugin = eq == std::string::npos ? kPlugins.end() : kPlugins.find(v.substr(eq + 1));
            if (plugin == kPlugins.end() ||
                (role != "windowless" && role != "windowed" && role != "offscreen" && role != "layer")) {
                std::fprintf(stderr, "vdplay: bad --plugin '%s' (PLAYER=default|netscape|activex)\n", v.c_str());
                return 2;
            }
            plugins[role] = plugin->second;
        } else {
            std::fprintf(stderr, "usage: vdplay [--out DIR] [--plugin PLAYER=default|netscape|activex]...\n");
            return 2;
        }
    }
    // The whole package, started once: the player unit, both driver units and the layer unit.
    const TvdFlashPackage package;
    int status = 2;
    try {
        status = Run(outDir, plugins);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vdplay: %s\n", e.what());
    }
    return status;
}
