// The player classes with the Netscape driver and the reference player behind them: each one
// plays a built-in movie, its pixels are the reference player's drawing (opaque track, the
// half-covered panel, the stage left untouched) as the class shows them, and the movie's
// FSCommands and external calls reach the class's handlers.
#include "np_test_support.h"
#include "swf_builder.h"

#include <memory>
#include <string>
#include <vector>

#include "vd_forms.h"
#include "vd_layer.h"
#include "vd_winstr.h"
#include "win32_test_support.h"

using namespace vd;

namespace {

const auto* const units = ::testing::AddGlobalTestEnvironment(new vdtest::NetscapeUnits());

// A built-in movie: one frame, so the bar is filled from end to end.
constexpr const char16_t* kMovie = u"SteelOverAll.swf";
constexpr uint32_t kTrack = 0x202020, kFill = 0xF0A030;

// A movie of six frames, from a stream: the fill grows along the track frame by frame.
void LoadSixFrames(TvdDriverOwner& player) {
    const auto bytes = vdtest::SwfBuilder(100, 100, 12, 6).Background(0x3366CC).Fws();
    TMemoryStream source;
    source.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    source.SetPosition(0);
    player.LoadMovieFromStream(&source);
    EXPECT_EQ(player.GetTotalFrames(), 6);
}

// The reference player's picture in an area of w x h: the bar's track is opaque kTrack, the
// part the frames played so far fill is kFill, the panel is half covered.
struct Layout {
    int w, h;
    int TrackX() const { return w - w / 4 - 2; }  // right end: still track after the first frame
    int FillX() const { return w / 4 + 1; }       // left end: filled from the first frame on
    int BarY() const { return h / 2; }
    int PanelX() const { return w / 8 + 2; }
    int PanelY() const { return h / 8 + 2; }
};

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

    // The window shows the buffer the plugin drew into: the bar, the panel half over teal,
    // and teal outside the panel (an opaque player never shows its parent).
    const Layout l{160, 120};
    auto picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + l.TrackX(), 10 + l.BarY())), kFill);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + l.FillX(), 10 + l.BarY())), kFill);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(21, 11)), vdtest::Rgb(ColorToOpaquePixel(clTeal)));
    const uint32_t panel = vdtest::Rgb(picture->Pixel(20 + l.PanelX(), 10 + l.PanelY()));
    EXPECT_NE(panel, vdtest::Rgb(ColorToOpaquePixel(clTeal)));
    EXPECT_EQ(panel, vdtest::Rgb(BufferPixel(*player->Driver(), l.PanelX(), l.PanelY())));

    // Frames advance: the fill grows along the track and the window follows.
    LoadSixFrames(*player);
    Application().ProcessMessages();
    picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + l.TrackX(), 10 + l.BarY())), kTrack);
    EXPECT_EQ(hooks.step(5), 5);
    Application().ProcessMessages();
    picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(20 + l.TrackX(), 10 + l.BarY())), kFill);
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

    const Layout l{120, 80};
    const uint32_t* row = comp.GetScanline(l.BarY());
    ASSERT_NE(row, nullptr);
    GdiFlush();
    EXPECT_EQ(row[l.TrackX()], 0xFF000000u | kFill);  // opaque
    EXPECT_EQ(row[l.FillX()], 0xFF000000u | kFill);
    EXPECT_EQ(comp.GetScanline(1)[1], 0u);  // the stage the movie leaves: transparent black
    const uint32_t panel = comp.GetScanline(l.PanelY())[l.PanelX()];
    EXPECT_NEAR(Channel(panel, 24), 128, 3);                                                     // half covered
    for (int shift : {0, 8, 16}) EXPECT_LE(Channel(panel, shift), Channel(panel, 24)) << shift;  // premultiplied

    // Each frame is announced, and the fill has grown.
    LoadSixFrames(comp);
    GdiFlush();
    EXPECT_EQ(comp.GetScanline(l.BarY())[l.TrackX()], 0xFF000000u | kTrack);
    painted.clear();
    EXPECT_EQ(hooks.step(5), 5);
    EXPECT_EQ(painted.size(), 5u);
    GdiFlush();
    EXPECT_EQ(comp.GetScanline(l.BarY())[l.TrackX()], 0xFF000000u | kFill);
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
    const Layout l{160, 100};
    auto at = [&](int x, int y) { return c.Pixels[static_cast<size_t>(y) * 160 + x]; };
    EXPECT_EQ(at(l.TrackX(), l.BarY()), 0xFF000000u | kFill);
    EXPECT_EQ(at(l.FillX(), l.BarY()), 0xFF000000u | kFill);
    EXPECT_EQ(at(1, 1), 0u);
    EXPECT_NEAR(Channel(at(l.PanelX(), l.PanelY()), 24), 128, 3);

    // Every new frame is sent again, the whole buffer each time.
    LoadSixFrames(*layer);
    LayerCalls().clear();
    EXPECT_EQ(hooks.step(5), 5);
    ASSERT_EQ(LayerCalls().size(), 5u);
    EXPECT_EQ(LayerCalls().back().Pixels[static_cast<size_t>(l.BarY()) * 160 + l.TrackX()], 0xFF000000u | kFill);
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
    const Layout l{160, 120};
    auto picture = vdtest::Render(*form, 200, 160);
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(16 + l.TrackX(), 8 + l.BarY())), kFill);
    // Outside the panel the form's stripes show through the transparent player.
    EXPECT_EQ(vdtest::Rgb(picture->Pixel(17, 9)), vdtest::RgbOf(vdtest::StripeAt(17)));
    ExpectMovieEvents(*player);
}

}  // namespace
