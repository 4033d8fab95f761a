// The player classes with the Netscape driver and the reference player behind them: each one
// plays a built-in movie and a movie of six frames, its pixels are the reference player's
// drawing of them (the skin's opaque bar, the frames' growing fill and half-covered panel, the
// area the movie leaves untouched) as the class shows them, and the movie's FSCommands and
// external calls reach the class's handlers.
#include "np_test_support.h"
#include "swf_builder.h"

#include <memory>
#include <string>
#include <vector>

#include "vd_forms.h"
#include "vd_layer.h"
#include "vd_winstr.h"
#include "win32_test_support.h"

#include <algorithm>
#include <cmath>

using namespace vd;

namespace {

const auto* const units = ::testing::AddGlobalTestEnvironment(new vdtest::NetscapeUnits());

// A built-in movie: the steel skin's control bar, 320 x 40, its panel opaque kSkinPanel
// between the stop button and the volume bar, at (140, 20) of its stage.
constexpr const char16_t* kMovie = u"SteelOverAll.swf";
constexpr uint32_t kSkinPanel = 0x3A3E44;
constexpr double kSkinPanelX = 140, kSkinPanelY = 20;

// A movie of six frames (100 x 100), from a stream: the fill grows along the track frame by
// frame; the panel around them is half transparent.
constexpr uint32_t kTrack = 0x202020, kFill = 0xF0A030;
constexpr double kTrackEndX = 73, kFillStartX = 27, kBarY = 50, kPanelXY = 15;
void LoadSixFrames(TvdDriverOwner& player) {
    const auto bytes = vdtest::SwfBuilder(100, 100, 12, 6).Background(0x3366CC).ProgressFrames(0x3366CC).Fws();
    TMemoryStream source;
    source.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    source.SetPosition(0);
    player.LoadMovieFromStream(&source);
    EXPECT_EQ(player.GetTotalFrames(), 6);
}

// Where a point of a movie's stage shows in an area of w x h: the movie shown whole and
// centred, as the reference player scales by default.
struct Fit {
    int w, h, stageW, stageH;
    double Scale() const { return std::min(static_cast<double>(w) / stageW, static_cast<double>(h) / stageH); }
    int X(double x) const { return static_cast<int>(std::floor((w - stageW * Scale()) / 2 + 0.5) + x * Scale()); }
    int Y(double y) const { return static_cast<int>(std::floor((h - stageH * Scale()) / 2 + 0.5) + y * Scale()); }
};
Fit SkinIn(int w, int h) { return {w, h, 320, 40}; }
Fit SixFramesIn(int w, int h) { return {w, h, 100, 100}; }

uint32_t BufferPixel(const TvdFlashDriver& d, int x, int y) {
    GdiFlush();
    return d.Bits[y * d.Width + x];
}

int Channel(uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); }

// One call of the layered-window update, its source pixels copied out.
struct TLayerCall {
    HWND Wnd = nullptr;
    BYTE Alpha = 0;
    std::vector<uint32_t> Pixels;
    int Width = 0;
};
std::vector<TLayerCall>& LayerCalls() {
    static std::vector<TLayerCall> calls;
    return calls;
}
BOOL WINAPI RecordLayer(HWND wnd, HDC, POINT*, SIZE* size, HDC src, POINT*, COLORREF, BLENDFUNCTION* blend, DWORD) {
    TLayerCall c;
    c.Wnd = wnd;
    c.Alpha = blend ? blend->SourceConstantAlpha : 0;
    DIBSECTION dib{};
    HGDIOBJ bitmap = GetCurrentObject(src, OBJ_BITMAP);
    if (bitmap && GetObjectW(bitmap, sizeof dib, &dib) == sizeof dib && dib.dsBm.bmBits && size) {
        GdiFlush();
        const auto* bits = static_cast<const uint32_t*>(dib.dsBm.bmBits);
        c.Width = dib.dsBm.bmWidth;
        c.Pixels.assign(bits, bits + static_cast<size_t>(dib.dsBm.bmWidth) * dib.dsBm.bmHeight);
    }
    LayerCalls().push_back(std::move(c));
    return TRUE;
}

class PlayersWithPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TvdFlashDriverNS::PluginExists());
        ASSERT_TRUE(hooks.loaded);
        InitializeLayerUnit();
        system_ = SetLayeredWindowUpdate(&RecordLayer);
        LayerCalls().clear();
    }
    void TearDown() override {
        SetLayeredWindowUpdate(system_);
        FinalizeLayerUnit();
    }

    // Sends an FSCommand and an external call from the current movie; the handlers of
    // `player` see them with the driver as sender, and the call's answer is the one the
    // handler gave through the player.
    void ExpectMovieEvents(TvdDriverOwner& player) {
        std::vector<std::string> seen;
        player.SetOnFSCommand([&](TObject* sender, const WideString& command, const WideString& args) {
            seen.push_back((sender == player.Driver() ? "driver: " : "other: ") + WideToUtf8(command) + " " +
                           WideToUtf8(args));
        });
        player.SetOnFlashCall([&](TObject* sender, const WideString& request) {
            seen.push_back((sender == player.Driver() ? "driver: " : "other: ") + WideToUtf8(request));
            player.SetReturnValue(u"<string>" + player.GetVariable(u"greeting") + u"</string>");
        });
        player.SetVariable(u"greeting", u"hi");
        ASSERT_TRUE(hooks.fireFSCommand("status", "ready"));
        EXPECT_EQ(hooks.CallHost("ask", "<number>3</number>"), "<string>hi</string>");
        EXPECT_EQ(seen, (std::vector<std::string>{
                            "driver: status ready",
                            "driver: <invoke name=\"ask\" returntype=\"XML\"><arguments><string>3</string>"
                            "</arguments></invoke>"}));
    }

    vdtest::PluginHooks hooks;
    TUpdateLayeredWindowProc system_ = nullptr;
};

TEST_F(PlayersWithPlugin, WindowedPlayerShowsTheMovieInItsWindowAndGetsItsEvents) {
    auto form = vdtest::MakeForm(200, 160);
    auto* player = new TvdFlashPlayerWnd(form.get());
    player->SetParent(form.get());
    player->SetBounds(20, 10, 160, 120);
    player->SetColor(clTeal);
    player->SetPlugin(vdNetscape);
    player->SetMovie(kMovie);
    ASSERT_EQ(player->Driver()->ClassName(), "TvdFlashDriverNS");
    EXPECT_EQ(player->GetTotalFrames(), 1);
    form->Show();
    Application().ProcessMessages();

    // The window shows the buffer the plugin drew into: the skin's bar across the middle,
    // teal above it (an opaque player never shows its parent).
    const Fit skin = SkinIn(160, 120);
    auto picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + skin.X(kSkinPanelX), 10 + skin.Y(kSkinPanelY))), kSkinPanel);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(21, 11)), vdtest::Rgb(ColorToOpaquePixel(clTeal)));

    // Frames advance: the fill grows along the track and the window follows; the panel is
    // half over teal, as in the buffer.
    LoadSixFrames(*player);
    Application().ProcessMessages();
    const Fit six = SixFramesIn(160, 120);
    picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + six.X(kTrackEndX), 10 + six.Y(kBarY))), kTrack);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + six.X(kFillStartX), 10 + six.Y(kBarY))), kFill);
    const int px = six.X(kPanelXY), py = six.Y(kPanelXY);
    const uint32_t panel = vdtest::Rgb(picture->Pixel(20 + px, 10 + py));
    EXPECT_NE(panel, vdtest::Rgb(ColorToOpaquePixel(clTeal)));
    EXPECT_EQ(panel, vdtest::Rgb(BufferPixel(*player->Driver(), px, py)));
    EXPECT_EQ(hooks.step(5), 5);
    Application().ProcessMessages();
    picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + six.X(kTrackEndX), 10 + six.Y(kBarY))), kFill);
    ExpectMovieEvents(*player);
}

TEST_F(PlayersWithPlugin, OffScreenPlayerHandsOverPremultipliedPixelsAndItsEvents) {
    TvdFlashPlayerComp comp(nullptr);
    std::vector<TRect> painted;
    std::vector<TObject*> senders;
    comp.SetOnPaint([&](TObject* sender, const TRect& r) {
        senders.push_back(sender);
        painted.push_back(r);
    });
    comp.SetWidth(120);
    comp.SetHeight(80);
    comp.SetPlugin(vdNetscape);
    comp.SetMovie(kMovie);
    ASSERT_EQ(comp.Driver()->ClassName(), "TvdFlashDriverNS");
    ASSERT_FALSE(painted.empty());
    for (TObject* s : senders) EXPECT_EQ(s, comp.Driver());
    EXPECT_EQ(painted.back(), Rect(0, 0, 120, 80));

    const Fit skin = SkinIn(120, 80);
    const uint32_t* row = comp.GetScanline(skin.Y(kSkinPanelY));
    ASSERT_NE(row, nullptr);
    GdiFlush();
    EXPECT_EQ(row[skin.X(kSkinPanelX)], 0xFF000000u | kSkinPanel);  // opaque
    EXPECT_EQ(comp.GetScanline(1)[1], 0u);                          // the area the movie leaves: transparent black

    // Each frame is announced, and the fill has grown; the panel is half covered.
    LoadSixFrames(comp);
    GdiFlush();
    const Fit six = SixFramesIn(120, 80);
    EXPECT_EQ(comp.GetScanline(six.Y(kBarY))[six.X(kTrackEndX)], 0xFF000000u | kTrack);
    EXPECT_EQ(comp.GetScanline(six.Y(kBarY))[six.X(kFillStartX)], 0xFF000000u | kFill);
    const uint32_t panel = comp.GetScanline(six.Y(kPanelXY))[six.X(kPanelXY)];
    EXPECT_EQ(Channel(panel, 24), 128);                                                          // half covered
    for (int shift : {0, 8, 16}) EXPECT_LE(Channel(panel, shift), Channel(panel, 24)) << shift;  // premultiplied
    painted.clear();
    EXPECT_EQ(hooks.step(5), 5);
    EXPECT_EQ(painted.size(), 5u);
    GdiFlush();
    EXPECT_EQ(comp.GetScanline(six.Y(kBarY))[six.X(kTrackEndX)], 0xFF000000u | kFill);
    ExpectMovieEvents(comp);
}

TEST_F(PlayersWithPlugin, LayerHandsTheMoviesAlphaToTheLayeredWindowAndGetsItsEvents) {
    auto form = vdtest::MakeForm(160, 100);
    auto* layer = new TvdFlashLayer(form.get());
    layer->SetParent(form.get());
    layer->SetMasterAlpha(128);
    layer->SetPlugin(vdNetscape);
    layer->HandleNeeded();
    LayerCalls().clear();
    layer->SetMovie(kMovie);
    ASSERT_EQ(layer->Driver()->ClassName(), "TvdFlashDriverNS");
    ASSERT_FALSE(LayerCalls().empty());
    const TLayerCall& c = LayerCalls().back();
    EXPECT_EQ(c.Wnd, form->Handle());
    EXPECT_EQ(c.Alpha, 128);
    ASSERT_EQ(c.Width, 160);
    ASSERT_EQ(c.Pixels.size(), 160u * 100u);

    // What the form is composed from: the plugin's drawing with its own alpha.
    const Fit skin = SkinIn(160, 100);
    auto at = [&](int x, int y) { return c.Pixels[static_cast<size_t>(y) * 160 + x]; };
    EXPECT_EQ(at(skin.X(kSkinPanelX), skin.Y(kSkinPanelY)), 0xFF000000u | kSkinPanel);
    EXPECT_EQ(at(1, 1), 0u);

    // Every new frame is sent again, the whole buffer each time, with the movie's alpha.
    LoadSixFrames(*layer);
    LayerCalls().clear();
    EXPECT_EQ(hooks.step(5), 5);
    ASSERT_EQ(LayerCalls().size(), 5u);
    const Fit six = SixFramesIn(160, 100);
    const auto& last = LayerCalls().back().Pixels;
    EXPECT_EQ(last[static_cast<size_t>(six.Y(kBarY)) * 160 + six.X(kTrackEndX)], 0xFF000000u | kFill);
    EXPECT_EQ(Channel(last[static_cast<size_t>(six.Y(kPanelXY)) * 160 + six.X(kPanelXY)], 24), 128);
    ExpectMovieEvents(*layer);
}

TEST_F(PlayersWithPlugin, WindowlessPlayerShowsTheMovieOverItsParentAndGetsItsEvents) {
    auto form = vdtest::MakeForm<vdtest::TStripedForm>(200, 160);
    auto* player = new TvdFlashPlayer(form.get());
    player->SetParent(form.get());
    player->SetBounds(16, 8, 160, 120);
    player->SetPlugin(vdNetscape);
    player->SetMovie(kMovie);
    form->Show();
    Application().ProcessMessages();
    const Fit skin = SkinIn(160, 120);
    auto picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(16 + skin.X(kSkinPanelX), 8 + skin.Y(kSkinPanelY))), kSkinPanel);
    // Outside the movie the form's stripes show through the transparent player.
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(17, 9)), vdtest::RgbOf(vdtest::StripeAt(17)));
    ExpectMovieEvents(*player);
}

}  // namespace
