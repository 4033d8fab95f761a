// TvdFlashLayer on a real screen: Wine's X11 driver on a virtual X server with a compositing
// manager (cmake/xvfb-session.sh). A layered form over a patterned window is captured from the
// X root window and its pixels read back: where the buffer is transparent the window behind
// shows, where it is half transparent the two are blended, and MasterAlpha fades the layer.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "screen_capture.h"
#include "vd_layer.h"

using namespace vd;

namespace {

constexpr int kCell = 16;
constexpr uint32_t kLight = 0xECE2C6, kDark = 0x466E96;  // 0xRRGGBB

uint32_t PatternAt(int x, int y) { return ((x / kCell + y / kCell) % 2) ? kDark : kLight; }

// A window painted with the checkerboard, standing for the desktop behind the layer.
class TPatternForm : public TForm {
public:
    explicit TPatternForm(TComponent* owner) : TForm(owner) {
        SetOnPaint([this](TObject*) {
            TCanvas& c = *Canvas();
            c.Pen.Style = psClear;
            for (int y = 0; y < ClientHeight(); y += kCell)
                for (int x = 0; x < ClientWidth(); x += kCell) {
                    const uint32_t rgb = PatternAt(x, y);
                    c.Brush.Color = static_cast<TColor>(RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
                    c.FillRect(Rect(x, y, x + kCell, y + kCell));
                }
        });
    }
};

// A form without a frame: the layered window's image is the whole window, so the client area
// keeps its size when the image is handed over.
class TPlainForm : public TForm {
public:
    explicit TPlainForm(TComponent* owner) : TForm(owner) {}

protected:
    void CreateParams(TCreateParams& params) override {
        TForm::CreateParams(params);
        params.Style = WS_POPUP | WS_CLIPCHILDREN;
    }
};

int Channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

// The source-over result of a premultiplied pixel faded by `master`, over `behind`.
uint32_t Over(uint32_t premultiplied, int master, uint32_t behind) {
    const int a = Channel(premultiplied, 24) * master / 255;
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const int v = Channel(premultiplied, shift) * master / 255 + Channel(behind, shift) * (255 - a) / 255;
        out |= static_cast<uint32_t>(v) << shift;
    }
    return out;
}

::testing::AssertionResult Near(uint32_t seen, uint32_t expected) {
    for (int shift : {0, 8, 16})
        if (std::abs(Channel(seen, shift) - Channel(expected, shift)) > 6) {
            char buf[64];
            snprintf(buf, sizeof buf, "#%06X, expected about #%06X", seen, expected);
            return ::testing::AssertionFailure() << buf;
        }
    return ::testing::AssertionSuccess();
}

class LayerOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* missing = std::getenv("VD_SCREEN_MISSING")) GTEST_SKIP() << missing;
        ASSERT_FALSE(vdplay::CaptureDir().empty()) << "run under cmake/xvfb-session.sh";
        InitializeLayerUnit();
    }
    void TearDown() override {
        if (!std::getenv("VD_SCREEN_MISSING")) FinalizeLayerUnit();
    }
};

TEST_F(LayerOnScreen, TheLayeredFormIsBlendedOverTheWindowBehindIt) {
    TPatternForm desktop(nullptr);
    desktop.SetBounds(0, 0, 400, 300);
    desktop.Show();

    TPlainForm form(nullptr);
    form.SetBounds(96, 64, 192, 96);
    form.HandleNeeded();
    auto* layer = new TvdFlashLayer(&form);
    layer->SetParent(&form);
    form.Show();
    vdplay::Settle(300);

    // Three bands of premultiplied pixels: transparent, half-transparent red, opaque green.
    TvdFlashDriver* d = layer->Driver();
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->Width, 192);
    ASSERT_EQ(d->Height, 96);
    const uint32_t bands[3] = {0x00000000u, 0x80800000u, 0xFF00C000u};
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 192; ++x) d->Bits[y * 192 + x] = bands[x / 64];
    layer->UpdateLayer();
    vdplay::Settle(500);

    POINT origin{0, 0};
    ClientToScreen(desktop.Handle(), &origin);
    auto behind = [&](int sx, int sy) { return PatternAt(sx - origin.x, sy - origin.y); };
    vdplay::TXwdImage full, faded;
    std::string error;
    ASSERT_TRUE(vdplay::CaptureScreen("layer-full", full, error)) << error;

    layer->SetMasterAlpha(128);
    layer->UpdateLayer();
    vdplay::Settle(500);
    ASSERT_TRUE(vdplay::CaptureScreen("layer-faded", faded, error)) << error;

    // The layered window's image sits at the form's place on the screen.
    const int fx = form.GetLeft(), fy = form.GetTop();
    int checked = 0;
    for (int band = 0; band < 3; ++band)
        for (int y : {5, 40, 88})
            for (int x : {band * 64 + 6, band * 64 + 30, band * 64 + 57}) {
                const int sx = fx + x, sy = fy + y;
                EXPECT_TRUE(Near(full.At(sx, sy), Over(bands[band], 255, behind(sx, sy))))
                    << "band " << band << " at " << x << "," << y;
                EXPECT_TRUE(Near(faded.At(sx, sy), Over(bands[band], 128, behind(sx, sy))))
                    << "band " << band << " at " << x << "," << y << " with MasterAlpha 128";
                ++checked;
            }
    EXPECT_EQ(checked, 27);
    // The patterned window is really seen through the transparent band (both of its colours).
    EXPECT_TRUE(full.At(fx + 6, fy + 5) == kLight || full.At(fx + 6, fy + 5) == kDark);
    EXPECT_NE(full.At(fx + 6, fy + 5), full.At(fx + 6 + kCell, fy + 5));
}

}  // namespace
