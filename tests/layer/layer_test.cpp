// TvdFlashLayer on real forms under Wine: the form made layered, the arguments handed to the
// layered-window update (through a recorder put in its place), MasterAlpha, AllowDrag, the
// driver's alpha mode, a system without the update, and form files.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "recording_driver.h"
#include "vd_layer.h"
#include "win32_test_support.h"

using namespace vd;
using namespace vdtest;

namespace {

// One call of the layered-window update, as the recorder saw it.
struct TUpdateCall {
    HWND Wnd = nullptr;
    HDC DstDC = nullptr;
    POINT Dst{};
    SIZE Size{};
    HDC SrcDC = nullptr;
    POINT Src{};
    COLORREF Key = 0;
    BLENDFUNCTION Blend{};
    DWORD Flags = 0;
    std::vector<uint32_t> Pixels;  // read from the bitmap selected into the source DC
};

std::vector<TUpdateCall>& Calls() {
    static std::vector<TUpdateCall> calls;
    return calls;
}

BOOL WINAPI RecordUpdate(HWND wnd, HDC dstDC, POINT* dst, SIZE* size, HDC srcDC, POINT* src, COLORREF key,
                         BLENDFUNCTION* blend, DWORD flags) {
    TUpdateCall c;
    c.Wnd = wnd;
    c.DstDC = dstDC;
    if (dst) c.Dst = *dst;
    if (size) c.Size = *size;
    c.SrcDC = srcDC;
    if (src) c.Src = *src;
    c.Key = key;
    if (blend) c.Blend = *blend;
    c.Flags = flags;
    DIBSECTION dib{};
    HGDIOBJ bitmap = srcDC ? GetCurrentObject(srcDC, OBJ_BITMAP) : nullptr;
    if (bitmap && GetObjectW(bitmap, sizeof dib, &dib) == sizeof dib && dib.dsBm.bmBits && dib.dsBm.bmBitsPixel == 32) {
        const auto* bits = static_cast<const uint32_t*>(dib.dsBm.bmBits);
        c.Pixels.assign(bits, bits + static_cast<size_t>(dib.dsBm.bmWidth) * static_cast<size_t>(dib.dsBm.bmHeight));
    }
    Calls().push_back(std::move(c));
    return TRUE;
}

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeLayerUnit();
        system_ = SetLayeredWindowUpdate(&RecordUpdate);
        Calls().clear();
    }
    void TearDown() override {
        SetLayeredWindowUpdate(system_);
        FinalizeLayerUnit();
    }
    TUpdateLayeredWindowProc system_ = nullptr;
    SelectionGuard guard_;
};

DWORD ExStyle(HWND wnd) { return static_cast<DWORD>(GetWindowLongA(wnd, GWL_EXSTYLE)); }

// A layer on `form`, owned by it, with its window created.
TvdFlashLayer* Place(TWinControl& form) {
    auto* layer = new TvdFlashLayer(&form);
    layer->SetParent(&form);
    layer->HandleNeeded();
    return layer;
}

// The background says alpha mode, and a buffer, when the size allows one, has its white twin.
bool InAlphaMode(const TvdFlashDriver* d) {
    return d && d->Background == 0 && (!d->Bits || (d->WhiteBits && d->WhiteDC));
}

TEST_F(LayerTest, StartUpFindsTheSystemsLayeredWindowUpdate) {
    HMODULE user = GetModuleHandleA("user32.dll");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(system_), reinterpret_cast<void*>(GetProcAddress(user, "UpdateLayeredWindow")));
    EXPECT_NE(system_, nullptr);
    // A second start-up is only counted: it does not undo a replacement.
    InitializeLayerUnit();
    EXPECT_EQ(LayeredWindowUpdate(), &RecordUpdate);
    FinalizeLayerUnit();
}

TEST_F(LayerTest, NewLayerIsClientAlignedOpaqueToTheFullAndInAlphaMode) {
    TvdFlashLayer layer(nullptr);
    EXPECT_EQ(layer.GetAlign(), alClient);
    EXPECT_EQ(layer.GetMasterAlpha(), 255);
    EXPECT_TRUE(layer.GetAllowDrag());
    EXPECT_EQ(layer.GetPlugin(), vdDefault);
    ASSERT_NE(layer.Driver(), nullptr);
    EXPECT_EQ(layer.Driver()->Control, &layer);
    EXPECT_TRUE(InAlphaMode(layer.Driver()));
    // The background it was erased with is fully transparent black.
    EXPECT_EQ(layer.Driver()->Bits[0], 0u);
}

TEST_F(LayerTest, DriverStaysInAlphaModeOnAFormOfItsOwnColourAndAcrossPluginChanges) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    FlashDriverNSClass = &TTestNSDriver::Class();
    auto form = MakeForm(120, 80);
    form->SetColor(clWindow);  // the layer's own colour: no colour-changed notification comes
    TvdFlashLayer* layer = Place(*form);
    EXPECT_EQ(layer->GetColor(), clWindow);
    EXPECT_TRUE(InAlphaMode(layer->Driver()));

    layer->SetPlugin(vdNetscape);
    ASSERT_NE(dynamic_cast<TTestNSDriver*>(layer->Driver()), nullptr);
    EXPECT_TRUE(InAlphaMode(layer->Driver()));
    EXPECT_EQ(layer->Driver()->Width, 120);
    EXPECT_EQ(layer->Driver()->Bits[0], 0u);

    // A colour change keeps it there too.
    layer->SetColor(clRed);
    EXPECT_TRUE(InAlphaMode(layer->Driver()));
    EXPECT_EQ(layer->Driver()->Bits[119 + 79 * 120], 0u);
}

TEST_F(LayerTest, CreatingTheWindowMakesTheFormLayeredAndShowsTheBuffer) {
    auto form = MakeForm(120, 80);
    EXPECT_EQ(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    TvdFlashLayer* layer = Place(*form);
    EXPECT_NE(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    EXPECT_EQ(layer->BoundsRect(), Rect(0, 0, 120, 80));
    // The first image already has the client area's size: the window system gives the form
    // the size of the image, so a smaller one would shrink the form.
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls().front().Size.cx, 120);
    EXPECT_EQ(Calls().front().Size.cy, 80);
    EXPECT_EQ(layer->Driver()->Width, 120);
    EXPECT_EQ(layer->Driver()->Height, 80);
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls().back().Wnd, form->Handle());

    // A new window for the layer, or for the form and so the layer, is made layered again, and
    // shown at once without waiting for a re-render (the size is the same: none comes).
    Calls().clear();
    layer->RecreateWnd();
    EXPECT_NE(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].Wnd, form->Handle());
    form->RecreateWnd();
    layer->HandleNeeded();
    EXPECT_NE(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    EXPECT_EQ(Calls().back().Wnd, form->Handle());
}

TEST_F(LayerTest, UpdateHandsTheWholeBufferWithTheBlendDescription) {
    auto form = MakeForm(160, 100);
    form->SetLeft(33);
    form->SetTop(21);
    TvdFlashLayer* layer = Place(*form);
    TvdFlashDriver* d = layer->Driver();
    ASSERT_EQ(d->Width, 160);
    // Premultiplied pixels: opaque red, half-transparent green, untouched (transparent).
    d->Bits[0] = 0xFFFF0000u;
    d->Bits[1] = 0x80008000u;
    layer->SetMasterAlpha(200);
    Calls().clear();

    // The driver reports a small rectangle; the whole buffer goes each time.
    d->OnPaint(d, Rect(1, 1, 3, 3));
    ASSERT_EQ(Calls().size(), 1u);
    const TUpdateCall& c = Calls()[0];
    EXPECT_EQ(c.Wnd, form->Handle());
    EXPECT_EQ(c.DstDC, nullptr);
    EXPECT_EQ(c.Dst.x, 33);
    EXPECT_EQ(c.Dst.y, 21);
    EXPECT_EQ(c.Size.cx, 160);
    EXPECT_EQ(c.Size.cy, 100);
    EXPECT_EQ(c.SrcDC, d->BufferDC);
    EXPECT_EQ(c.Src.x, 0);
    EXPECT_EQ(c.Src.y, 0);
    EXPECT_EQ(c.Key, 0u);
    EXPECT_EQ(c.Blend.BlendOp, AC_SRC_OVER);
    EXPECT_EQ(c.Blend.BlendFlags, 0);
    EXPECT_EQ(c.Blend.SourceConstantAlpha, 200);
    EXPECT_EQ(c.Blend.AlphaFormat, AC_SRC_ALPHA);
    EXPECT_EQ(c.Flags, static_cast<DWORD>(ULW_ALPHA));
    ASSERT_EQ(c.Pixels.size(), 160u * 100u);
    EXPECT_EQ(c.Pixels[0], 0xFFFF0000u);
    EXPECT_EQ(c.Pixels[1], 0x80008000u);
    EXPECT_EQ(c.Pixels[2], 0u);
    EXPECT_EQ(c.Pixels[160 * 100 - 1], 0u);

    // The layer follows the form's client area, and so do the buffer and what is sent.
    form->SetClientWidth(180);
    EXPECT_EQ(d->Width, 180);
    layer->UpdateLayer();
    EXPECT_EQ(Calls().back().Size.cx, 180);
    EXPECT_EQ(Calls().back().Pixels.size(), 180u * 100u);
}

TEST_F(LayerTest, MasterAlphaIsClampedAndUsedOnlyFromTheNextUpdate) {
    auto form = MakeForm(40, 30);
    TvdFlashLayer* layer = Place(*form);
    Calls().clear();
    layer->SetMasterAlpha(300);
    EXPECT_EQ(layer->GetMasterAlpha(), 255);
    layer->SetMasterAlpha(-1);
    EXPECT_EQ(layer->GetMasterAlpha(), 0);
    layer->SetMasterAlpha(77);
    EXPECT_EQ(layer->GetMasterAlpha(), 77);
    EXPECT_TRUE(Calls().empty());  // no update of its own
    layer->UpdateLayer();
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].Blend.SourceConstantAlpha, 77);
    layer->SetMasterAlpha(-5);
    layer->UpdateLayer();
    EXPECT_EQ(Calls()[1].Blend.SourceConstantAlpha, 0);
}

TEST_F(LayerTest, AllowDragIsOnlyStored) {
    auto form = MakeForm(40, 30);
    TvdFlashLayer* layer = Place(*form);
    Calls().clear();
    layer->SetAllowDrag(false);
    EXPECT_FALSE(layer->GetAllowDrag());
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(layer->GetDragMode(), dmManual);
    layer->SetAllowDrag(true);
    EXPECT_TRUE(layer->GetAllowDrag());
}

TEST_F(LayerTest, PaintDrawsNothingOfTheBuffer) {
    auto form = MakeForm(40, 30);
    form->SetColor(clRed);
    TvdFlashLayer* layer = Place(*form);
    TvdFlashDriver* d = layer->Driver();
    for (int i = 0; i < d->Width * d->Height; ++i) d->Bits[i] = 0xFF00FF00u;
    auto dib = Render(*form, 40, 30);
    // Only the background the window system erases with: never the movie's green.
    for (int y : {0, 29})
        for (int x : {0, 39}) EXPECT_EQ(Rgb(dib->Pixel(x, y)), 0xFF0000u) << x << "," << y;
}

TEST_F(LayerTest, NothingIsSentWhereTheLayerHasNoPlaceToShow) {
    // Owned by something that is not a windowed control: nothing is ever shown.
    auto form = MakeForm(40, 30);
    TComponent owner(nullptr);
    auto* orphan = new TvdFlashLayer(&owner);
    orphan->SetParent(form.get());
    orphan->HandleNeeded();
    EXPECT_NE(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    orphan->UpdateLayer();
    EXPECT_TRUE(Calls().empty());
    orphan->SetParent(nullptr);

    // No parent at all.
    TvdFlashLayer loose(form.get());
    loose.UpdateLayer();
    EXPECT_TRUE(Calls().empty());

    // At design time: the form is not made layered and nothing is sent.
    auto designed = MakeForm(40, 30);
    designed->SetDesigning(true);
    auto* layer = new TvdFlashLayer(designed.get());
    layer->SetDesigning(true);
    layer->SetParent(designed.get());
    layer->HandleNeeded();
    layer->UpdateLayer();
    EXPECT_EQ(ExStyle(designed->Handle()) & WS_EX_LAYERED, 0u);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(LayerTest, AParentThatIsNotAFormIsNotMadeLayeredButReceivesLaterUpdates) {
    auto form = MakeForm(80, 60);
    auto* panel = new TCustomControl(form.get());
    panel->SetParent(form.get());
    panel->SetBounds(5, 6, 50, 40);
    auto* layer = Place(*panel);
    EXPECT_EQ(ExStyle(panel->Handle()) & WS_EX_LAYERED, 0u);
    EXPECT_EQ(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    Calls().clear();
    layer->RecreateWnd();  // the window alone, no re-render: nothing is sent
    EXPECT_TRUE(Calls().empty());
    layer->UpdateLayer();
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].Wnd, panel->Handle());
    EXPECT_EQ(Calls()[0].Dst.x, 5);
    EXPECT_EQ(Calls()[0].Dst.y, 6);
}

TEST_F(LayerTest, WithoutTheSystemsUpdateNothingIsShownAndNothingCrashes) {
    SetLayeredWindowUpdate(nullptr);
    auto form = MakeForm(40, 30);
    TvdFlashLayer* layer = Place(*form);
    EXPECT_NE(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    layer->UpdateLayer();
    layer->Driver()->ForceUpdate();  // a re-render reports a painted rectangle
    layer->RecreateWnd();
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(LayeredWindowUpdate(), nullptr);
}

// The system's own update, with what the layer passes it: recorded on the way through, then
// handed on unchanged, so the check is of the layer's arguments and the system's answer to them.
TUpdateLayeredWindowProc g_system = nullptr;
std::vector<BOOL>& SystemAnswers() {
    static std::vector<BOOL> answers;
    return answers;
}
BOOL WINAPI RecordThenUpdate(HWND wnd, HDC dstDC, POINT* dst, SIZE* size, HDC srcDC, POINT* src, COLORREF key,
                             BLENDFUNCTION* blend, DWORD flags) {
    RecordUpdate(wnd, dstDC, dst, size, srcDC, src, key, blend, flags);
    const BOOL ok = g_system(wnd, dstDC, dst, size, srcDC, src, key, blend, flags);
    SystemAnswers().push_back(ok);
    return ok;
}

TEST_F(LayerTest, TheSystemsOwnUpdateTakesTheBuffer) {
    ASSERT_NE(system_, nullptr);
    g_system = system_;
    SystemAnswers().clear();
    SetLayeredWindowUpdate(&RecordThenUpdate);
    auto form = MakeForm(40, 30);
    form->Show();
    TvdFlashLayer* layer = Place(*form);
    layer->SetMasterAlpha(200);
    TvdFlashDriver* d = layer->Driver();
    d->Bits[0] = 0x80400000u;
    Calls().clear();
    SystemAnswers().clear();
    layer->UpdateLayer();
    ASSERT_EQ(Calls().size(), 1u);
    const TUpdateCall& c = Calls()[0];
    // The layer's own form, its buffer, the whole of it, per-pixel alpha faded by MasterAlpha.
    EXPECT_EQ(c.Wnd, form->Handle());
    EXPECT_EQ(c.SrcDC, d->BufferDC);
    EXPECT_EQ(c.Size.cx, d->Width);
    EXPECT_EQ(c.Size.cy, d->Height);
    EXPECT_EQ(c.Src.x, 0);
    EXPECT_EQ(c.Src.y, 0);
    EXPECT_EQ(c.Blend.BlendOp, AC_SRC_OVER);
    EXPECT_EQ(c.Blend.SourceConstantAlpha, 200);
    EXPECT_EQ(c.Blend.AlphaFormat, AC_SRC_ALPHA);
    EXPECT_EQ(c.Flags, static_cast<DWORD>(ULW_ALPHA));
    ASSERT_FALSE(c.Pixels.empty());
    EXPECT_EQ(c.Pixels[0], 0x80400000u);
    // ... and the system took them: the form is layered and the update succeeded.
    EXPECT_NE(ExStyle(form->Handle()) & WS_EX_LAYERED, 0u);
    ASSERT_EQ(SystemAnswers().size(), 1u);
    EXPECT_TRUE(SystemAnswers()[0]) << GetLastError();
}

TEST_F(LayerTest, TheLayerIsAWindowedPlayerForMoviesEventsAndInput) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    auto form = MakeForm(120, 80);
    TvdFlashLayer* layer = Place(*form);
    auto* d = dynamic_cast<TRecDriver*>(layer->Driver());
    ASSERT_NE(d, nullptr);
    IvdFlash* flash = layer;
    Journal().clear();
    flash->LoadMovie(u"intro.swf");
    EXPECT_EQ(layer->GetMovie(), u"intro.swf");
    EXPECT_EQ(Journal(), std::vector<std::string>{"rec: LoadMovie 'intro.swf'"});
    EXPECT_EQ(flash->GetTotalFrames(), 12);

    // Movie events set by code reach the driver at once; the sender is the driver.
    std::vector<std::string> seen;
    layer->SetOnFSCommand([&](TObject* s, const WideString& c, const WideString& a) {
        seen.push_back((s == d ? "driver " : "other ") + WideToUtf8(c) + " " + WideToUtf8(a));
    });
    layer->SetOnFlashCall(
        [&](TObject* s, const WideString& r) { seen.push_back((s == d ? "driver " : "other ") + WideToUtf8(r)); });
    d->DoFSCommand(u"quit", u"now");
    d->DoFlashCall(u"<invoke name=\"f\"/>");
    EXPECT_EQ(seen, (std::vector<std::string>{"driver quit now", "driver <invoke name=\"f\"/>"}));

    // A press on the layer's window focuses it and reaches the driver; keys follow.
    form->Show();
    Application().ProcessMessages();
    HWND wnd = layer->Handle();
    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(7, 9));
    SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(7, 9));
    SendMessageW(wnd, WM_CHAR, 'x', 1);
    EXPECT_EQ(d->FocusAtMouseDown, wnd);
    EXPECT_EQ(d->Input, (std::vector<std::string>{"down 0 7,9", "up 0 7,9", "char 120"}));

    // Settings live in the driver, as for every player.
    layer->SetVolume(30);
    layer->SetDisableFlashMenu(false);
    EXPECT_EQ(d->Volume, 30);
    EXPECT_FALSE(d->DisableFlashMenu);
}

class TLayerForm : public TForm {
public:
    explicit TLayerForm(TComponent* owner) : TForm(owner) {}
};

TEST_F(LayerTest, FormFilesStoreTheLayersOwnPropertiesAndReadThemBack) {
    FlashDriverNSClass = &TTestNSDriver::Class();
    TLayerForm form(nullptr);
    form.SetName("LayerForm");
    auto* plain = new TvdFlashLayer(&form);
    plain->SetName("Plain");
    plain->SetParent(&form);
    const std::string plainText = WriteComponentText(&form);
    const auto plainAt = plainText.find("object Plain: TvdFlashLayer");
    ASSERT_NE(plainAt, std::string::npos) << plainText;
    for (const char* absent : {"MasterAlpha", "AllowDrag", "Align", "Color =", "Plugin"})
        EXPECT_EQ(plainText.find(absent, plainAt), std::string::npos) << absent << "\n" << plainText;
    delete plain;

    auto* layer = new TvdFlashLayer(&form);
    layer->SetName("Layer1");
    layer->SetParent(&form);
    layer->SetMasterAlpha(120);
    layer->SetAllowDrag(false);
    layer->SetShowHint(true);
    layer->SetPlugin(vdNetscape);
    layer->SetMovie(u"intro.swf");
    const std::string text = WriteComponentText(&form);
    const std::string body = text.substr(text.find("object Layer1: TvdFlashLayer"));
    EXPECT_NE(body.find("AllowDrag = False"), std::string::npos) << body;
    EXPECT_NE(body.find("MasterAlpha = 120"), std::string::npos) << body;
    EXPECT_NE(body.find("Plugin = vdNetscape"), std::string::npos) << body;
    EXPECT_LT(body.find("ShowHint"), body.find("AllowDrag"));
    // The windowed player's own properties come first, TabStop last among them.
    EXPECT_LT(body.find("Plugin"), body.find("Movie"));
    EXPECT_LT(body.find("Movie"), body.find("Volume"));
    EXPECT_LT(body.find("Volume"), body.find("ShowHint"));
    EXPECT_LT(body.find("AllowDrag"), body.find("MasterAlpha"));

    const std::string binary = WriteComponentBinary(&form);
    TLayerForm copy(nullptr);
    ReadComponent(binary, &copy);
    auto* q = dynamic_cast<TvdFlashLayer*>(copy.FindComponent("Layer1"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->GetParent(), &copy);
    EXPECT_EQ(q->GetMasterAlpha(), 120);
    EXPECT_FALSE(q->GetAllowDrag());
    EXPECT_TRUE(q->GetShowHint());
    EXPECT_EQ(q->GetPlugin(), vdNetscape);
    EXPECT_EQ(q->GetMovie(), u"intro.swf");
    EXPECT_TRUE(InAlphaMode(q->Driver()));
    EXPECT_EQ(WriteComponentText(&copy), text);
}

}  // namespace
