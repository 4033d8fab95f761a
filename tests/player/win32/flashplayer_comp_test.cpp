// TvdFlashPlayerComp: the off-screen buffer read in place (pixels, scanline addresses, rows
// outside it, sizes of 0 or less), size changes, OnPaint, input fed back, movie events and
// form files.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_driver.h"
#include "win32_test_support.h"

using namespace vd;
using namespace vdtest;

namespace {

class PlayerCompTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeFlashPlayerUnit(); }
    void TearDown() override { FinalizeFlashPlayerUnit(); }
    SelectionGuard guard_;
};

TRecDriver* Recording(const TvdFlashPlayerComp& c) { return dynamic_cast<TRecDriver*>(c.Driver()); }

TEST_F(PlayerCompTest, ANewComponentHasAClearedAlphaBufferOfItsSizeAndNoControl) {
    TvdFlashPlayerComp c(nullptr);
    EXPECT_EQ(c.GetWidth(), 100);
    EXPECT_EQ(c.GetHeight(), 100);
    EXPECT_EQ(c.GetPlugin(), vdDefault);
    EXPECT_EQ(c.GetVolume(), 50);
    EXPECT_EQ(c.GetSkin(), "ClearOverAll");
    ASSERT_NE(c.Driver(), nullptr);
    EXPECT_EQ(c.Driver()->Control, nullptr);
    EXPECT_EQ(c.Driver()->GetParentHandle(), nullptr);
    EXPECT_EQ(c.Driver()->Background, 0u);
    EXPECT_NE(c.Driver()->WhiteBits, nullptr);  // alpha mode
    EXPECT_TRUE(c.Driver()->DisableFlashMenu);
    uint32_t* bits = c.GetBuffer();
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits, c.Driver()->Bits);
    EXPECT_EQ(c.Driver()->Width, 100);
    EXPECT_EQ(c.Driver()->Height, 100);
    for (int i = 0; i < 100 * 100; ++i) ASSERT_EQ(bits[i], 0u) << i;
}

TEST_F(PlayerCompTest, ScanlinesAddressTheRowsGdiDrawsTopDown) {
    TvdFlashPlayerComp c(nullptr);
    uint32_t* bits = c.GetBuffer();
    EXPECT_EQ(reinterpret_cast<char*>(c.GetScanline(2)) - reinterpret_cast<char*>(bits), 800);
    EXPECT_EQ(c.GetScanline(0), bits);
    EXPECT_EQ(c.GetScanline(99), bits + 9900);
    EXPECT_EQ(c.GetScanline(100), nullptr);
    EXPECT_EQ(c.GetScanline(-1), nullptr);

    // A pixel drawn by GDI at (5, 7) is found at column 5 of scanline 7.
    TGdiObject brush(CreateSolidBrush(RGB(0x11, 0x22, 0x33)));
    RECT r{5, 7, 6, 8};
    FillRect(c.Driver()->BufferDC, &r, static_cast<HBRUSH>(brush.Get()));
    GdiFlush();
    EXPECT_EQ(Rgb(c.GetScanline(7)[5]), 0x112233u);
    EXPECT_EQ(c.GetScanline(7)[4], 0u);
    EXPECT_EQ(c.GetScanline(6)[5], 0u);
    EXPECT_EQ(c.GetScanline(8)[5], 0u);
}

TEST_F(PlayerCompTest, ASizeOfZeroOrLessLeavesNoBufferAndNoScanlines) {
    TvdFlashPlayerComp c(nullptr);
    c.SetWidth(0);
    EXPECT_EQ(c.GetWidth(), 0);       // the property keeps the value given ...
    EXPECT_EQ(c.Driver()->Width, 0);  // ... but no buffer can be that size
    EXPECT_EQ(c.GetBuffer(), nullptr);
    EXPECT_EQ(c.GetScanline(0), nullptr);
    c.SetWidth(-5);
    EXPECT_EQ(c.GetWidth(), -5);
    EXPECT_EQ(c.GetScanline(0), nullptr);

    // A good size brings the buffer and its scanlines back, rows of the buffer's width.
    c.SetWidth(100);
    ASSERT_NE(c.GetBuffer(), nullptr);
    EXPECT_EQ(c.GetScanline(3), c.GetBuffer() + 300);
    EXPECT_EQ(c.GetScanline(c.Driver()->Height), nullptr);
    c.SetHeight(-2);
    EXPECT_EQ(c.Driver()->Height, 0);
    EXPECT_EQ(c.GetScanline(0), nullptr);

    // Without a buffer there is no scanline at all.
    c.SetHeight(10);
    ASSERT_NE(c.GetScanline(0), nullptr);
    c.Driver()->FreeBuffer();
    EXPECT_EQ(c.GetBuffer(), nullptr);
    EXPECT_EQ(c.GetScanline(0), nullptr);
}

TEST_F(PlayerCompTest, SizeChangesRebuildTheBufferOnlyWhenTheSizeChanges) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    TvdFlashPlayerComp c(nullptr);
    TRecDriver* d = Recording(c);
    ASSERT_NE(d, nullptr);
    const int builds = d->CreateBufferCalls;
    uint32_t* before = c.GetBuffer();
    c.SetWidth(100);
    c.SetHeight(100);
    EXPECT_EQ(d->CreateBufferCalls, builds);
    EXPECT_EQ(c.GetBuffer(), before);

    FillLongword(c.GetBuffer(), 100 * 100, 0xFF808080);  // as a movie would have drawn
    c.SetWidth(64);
    EXPECT_EQ(d->CreateBufferCalls, builds + 1);
    EXPECT_EQ(d->Width, 64);
    EXPECT_EQ(d->Height, 100);
    EXPECT_EQ(c.GetScanline(1), c.GetBuffer() + 64);
    for (int i = 0; i < 64 * 100; ++i) ASSERT_EQ(c.GetBuffer()[i], 0u) << i;  // starts cleared
    c.SetHeight(30);
    EXPECT_EQ(d->CreateBufferCalls, builds + 2);
    EXPECT_EQ(d->Height, 30);

    c.SetWidth(0);  // no buffer ...
    const int atNone = d->ResizeBufferCalls;
    c.SetWidth(-3);  // ... and none again: the property changes, nothing is rebuilt
    EXPECT_EQ(c.GetWidth(), -3);
    EXPECT_EQ(d->ResizeBufferCalls, atNone);
    EXPECT_EQ(c.GetBuffer(), nullptr);
}

TEST_F(PlayerCompTest, OnPaintIsReadAtEachCallWithTheDriverAsSender) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    TForm form(nullptr);
    auto* c = new TvdFlashPlayerComp(&form);
    std::vector<std::string> got;
    TvdFlashDriver* d = c->Driver();
    d->OnPaint(d, Rect(0, 0, 5, 5));  // none assigned: nothing
    c->SetOnPaint([&](TObject* s, const TRect& r) {
        got.push_back("A " + std::to_string(r.Left) + "," + std::to_string(r.Bottom) + (s == d ? " driver" : ""));
    });
    d->OnPaint(d, Rect(1, 2, 3, 4));
    c->SetOnPaint([&](TObject*, const TRect&) { got.push_back("B"); });
    d->OnPaint(d, Rect(1, 2, 3, 4));
    c->SetOnPaint(nullptr);
    d->OnPaint(d, Rect(1, 2, 3, 4));
    EXPECT_EQ(got, (std::vector<std::string>{"A 1,4 driver", "B"}));

    c->SetOnPaint([&](TObject*, const TRect&) { got.push_back("designer"); });
    form.SetDesigning(true);
    d->OnPaint(d, Rect(1, 2, 3, 4));
    EXPECT_EQ(got.size(), 2u);
}

TEST_F(PlayerCompTest, InputIsFedToTheDriverInBufferCoordinates) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    TvdFlashPlayerComp c(nullptr);
    c.CallMouseDown(mbLeft, TShiftState{}, 3, 4);
    c.CallMouseMove(TShiftState{ssLeft}, 10, 20);
    c.CallMouseUp(mbRight, TShiftState{}, 99, 0);
    bool handled = false;
    c.CallMouseWheel(TShiftState{}, 7, 8, -120, handled);
    EXPECT_TRUE(handled);  // the driver's answer comes back
    Recording(c)->ClearKey = VK_TAB;
    WORD tab = VK_TAB, a = 'A';
    c.CallKeyDown(tab, TShiftState{});
    EXPECT_EQ(tab, 0);
    c.CallKeyDown(a, TShiftState{});
    EXPECT_EQ(a, 'A');
    char16_t ch = u'\u00E9';
    c.CallKeyPress(ch, TShiftState{});
    c.CallKeyUp(a, TShiftState{});
    EXPECT_EQ(Recording(c)->Input,
              (std::vector<std::string>{"down 0 3,4", "move 10,20", "up 1 99,0", "wheel -120 at 7,8", "keydown 9",
                                        "keydown 65", "char 233", "keyup 65"}));
}

TEST_F(PlayerCompTest, MovieEventsAssignedByCodeReachTheCurrentDriverAtOnce) {
    TvdFlashPlayerComp c(nullptr);
    std::vector<std::string> got;
    c.SetOnFSCommand([&](TObject* s, const WideString& cmd, const WideString&) {
        got.push_back("fs " + WideToUtf8(cmd) + (s == c.Driver() ? " from driver" : ""));
    });
    c.SetOnFlashCall([&](TObject* s, const WideString& r) {
        got.push_back("call " + WideToUtf8(r) + (s == c.Driver() ? " from driver" : ""));
    });
    c.Driver()->DoFSCommand(u"quit", u"");
    c.Driver()->DoFlashCall(u"<invoke/>");
    EXPECT_EQ(got, (std::vector<std::string>{"fs quit from driver", "call <invoke/> from driver"}));

    got.clear();
    DefaultFlashDriverClass = &TRecDriver::Class();
    c.SetPlugin(vdNetscape);  // a new driver, in alpha mode again, with the current handlers
    EXPECT_EQ(c.Driver()->Background, 0u);
    EXPECT_EQ(c.Driver()->Width, 100);
    c.Driver()->DoFlashCall(u"again");
    EXPECT_EQ(got, (std::vector<std::string>{"call again from driver"}));
}

TEST_F(PlayerCompTest, MovieOperationsReachTheDriver) {
    DefaultFlashDriverClass = &TRecDriver::Class();
    TvdFlashPlayerComp c(nullptr);
    Journal().clear();
    IvdFlash* flash = &c;
    flash->LoadMovie(u"a.swf");
    EXPECT_EQ(c.GetMovie(), u"a.swf");
    EXPECT_EQ(flash->CallFunction(u"<invoke name=\"f\"/>"), u"<string>answer</string>");
    EXPECT_EQ(flash->GetVariable(u"v"), u"value of v");
    c.SetPause(true);
    EXPECT_TRUE(c.GetPause());
    EXPECT_EQ(Journal(), (std::vector<std::string>{"rec: LoadMovie 'a.swf'", "rec: CallFunction <invoke name=\"f\"/>",
                                                   "rec: StopPlay"}));
}

class TCompForm : public TForm {
public:
    explicit TCompForm(TComponent* owner) : TForm(owner) {
        PublishMethod("MoviePaint", TvdPaintEvent([this](TObject*, const TRect&) { ++Paints; }));
    }
    int Paints = 0;
};

TEST_F(PlayerCompTest, FormFilesStoreTheSizeAlwaysAndReadBack) {
    TCompForm form(nullptr);
    form.SetName("CompForm");
    auto* c = new TvdFlashPlayerComp(&form);
    c->SetName("Offscreen");
    std::string text = WriteComponentText(&form);
    std::string body = text.substr(text.find("object Offscreen: TvdFlashPlayerComp"));
    for (const char* always : {"Pause = False", "Volume = 50", "Width = 100", "Height = 100"})
        EXPECT_NE(body.find(always), std::string::npos) << always << "\n" << body;
    EXPECT_EQ(body.find("Plugin"), std::string::npos) << body;

    c->SetPlugin(vdNetscape);
    c->SetMovie(u"intro.swf");
    c->SetSkin("MojaveOverAll");
    c->SetVolume(20);
    c->SetWidth(320);
    c->SetHeight(-4);
    const auto& method = std::any_cast<const TvdPaintEvent&>(*form.MethodAddress("MoviePaint"));
    c->SetOnPaint(TvdPaintEvent(detail::TNamedMethod<TvdPaintEvent>{"MoviePaint", method}));
    text = WriteComponentText(&form);
    body = text.substr(text.find("object Offscreen"));
    size_t last = 0;
    for (const char* n : {"Plugin", "Movie", "Skin", "Pause", "Volume", "Width", "Height", "OnPaint"}) {
        const auto at = body.find(std::string("  ") + n + " = ");
        ASSERT_NE(at, std::string::npos) << n << "\n" << body;
        EXPECT_GT(at, last) << n << "\n" << body;
        last = at;
    }

    DefaultFlashDriverClass = &TRecDriver::Class();
    FlashDriverNSClass = &TTestNSDriver::Class();
    Journal().clear();
    TCompForm copy(nullptr);
    ReadComponent(WriteComponentBinary(&form), &copy);
    auto* q = dynamic_cast<TvdFlashPlayerComp*>(copy.FindComponent("Offscreen"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->GetPlugin(), vdNetscape);
    ASSERT_NE(dynamic_cast<TTestNSDriver*>(q->Driver()), nullptr);
    EXPECT_EQ(q->GetMovie(), u"intro.swf");
    EXPECT_EQ(q->GetSkin(), "MojaveOverAll");
    EXPECT_EQ(q->GetVolume(), 20);
    EXPECT_EQ(q->GetWidth(), 320);
    EXPECT_EQ(q->GetHeight(), -4);
    EXPECT_EQ(q->Driver()->Width, 0);  // a height of -4: no buffer
    EXPECT_EQ(q->Driver()->Height, 0);
    EXPECT_EQ(Journal().back(), "ns: LoadMovie 'intro.swf'");  // once the form is read
    q->Driver()->OnPaint(q->Driver(), Rect(0, 0, 1, 1));
    EXPECT_EQ(copy.Paints, 1);
    EXPECT_EQ(WriteComponentText(&copy), text);
}

}  // namespace
