// TvdFlashDriverActiveX where the Flash control is not registered: the check finds nothing and
// leaves the default driver alone, and a driver made anyway is an empty, background-coloured
// player whose every operation is accepted and ignored.
#include "ax_test_support.h"

#include "vd_forms.h"

using namespace vd;
using namespace vdtest;

namespace {

const auto* const units = ::testing::AddGlobalTestEnvironment(new ActiveXUnits());

constexpr uint32_t kTeal = 0xFF008080;

TEST(ActiveXUnregistered, CheckFindsNoControlAndKeepsTheDefaultDriver) {
    ASSERT_EQ(DefaultFlashDriverClass, &TvdFlashDriver::Class());
    EXPECT_FALSE(CheckFlashActiveX());
    CheckFlashPlugins();
    EXPECT_TRUE(FlashActiveXCheck().Done());
    EXPECT_FALSE(TvdFlashDriverActiveX::PluginExists());
    EXPECT_EQ(DefaultFlashDriverClass, &TvdFlashDriver::Class());
    // A player asking for the control gets the inert driver.
    auto form = std::make_unique<TForm>(nullptr);
    auto* p = new TvdFlashPlayer(form.get());
    p->SetPlugin(vdActiveX);
    EXPECT_EQ(p->Driver()->ClassName(), "TvdFlashDriver");
    // The type library's other classes are not here either: their creators raise.
    EXPECT_THROW(CoFlashProp::Create(), EOleSysError);
    EXPECT_THROW(CoFlashObjectInterface::Create(), EOleSysError);
}

TEST(ActiveXUnregistered, UnitStartUpIsCountedAndTheLastShutDownUnregistersTheDriver) {
    ASSERT_EQ(FlashDriverActiveXClass, &TvdFlashDriverActiveX::Class());
    InitializeDriverActiveXUnit();
    FinalizeDriverActiveXUnit();
    EXPECT_EQ(FlashDriverActiveXClass, &TvdFlashDriverActiveX::Class());  // one start-up still stands
    FinalizeDriverActiveXUnit();
    EXPECT_EQ(FlashDriverActiveXClass, nullptr);
    InitializeDriverActiveXUnit();  // as the environment left it, for the tests after
    EXPECT_EQ(FlashDriverActiveXClass, &TvdFlashDriverActiveX::Class());
}

TEST(ActiveXUnregistered, DriverWithoutControlKeepsItsBufferAndIgnoresEveryOperation) {
    auto d = MakeDriver(40, 30, kTeal);
    EXPECT_FALSE(d->GetIsFlashAvailable());
    EXPECT_FALSE(d->OleObject);
    EXPECT_FALSE(d->GetControlInterface());
    ASSERT_NE(d->Bits, nullptr);
    EXPECT_EQ(d->Width, 40);
    d->OnEraseBackground = [&d](TObject*, const TRect& r) {
        FillLongwordRect(d->Bits, d->Width, d->Height, r.Left, r.Top, r.Right, r.Bottom, d->Background);
    };
    int paints = 0;
    d->OnPaint = [&](TObject*, const TRect& r) {
        ++paints;
        EXPECT_EQ(r, Rect(0, 0, 50, 30));
    };
    d->Resize(50, 30);
    d->ForceUpdate();
    EXPECT_EQ(paints, 1);  // a new buffer is only erased; the forced repaint is reported
    EXPECT_EQ(Pixel(*d, 0, 0), kTeal);
    EXPECT_EQ(Pixel(*d, 49, 29), kTeal);
    EXPECT_EQ(d->CallFunction(u"<invoke name=\"f\"></invoke>"), u"");
    EXPECT_EQ(d->GetVariable(u"v"), u"");
    d->SetVariable(u"v", u"1");
    d->SetReturnValue(u"x");
    d->Play();
    d->StopPlay();
    d->Rewind();
    d->Forward();
    d->Back();
    d->SetLoop(true);
    d->SetCurrentFrame(3);
    EXPECT_FALSE(d->GetLoop());
    EXPECT_FALSE(d->GetIsPlaying());
    EXPECT_EQ(d->GetCurrentFrame(), 0);
    EXPECT_EQ(d->GetTotalFrames(), 0);
    d->MouseDown(mbRight, TShiftState{}, 1, 1);
    WORD key = 'A';
    d->KeyDown(key, TShiftState{});
    EXPECT_EQ(key, 'A');
    d->CreateStorage();
    EXPECT_FALSE(d->SavedState);
    d->SetName("Quiet");
    EXPECT_EQ(d->GetName(), "Quiet");
    // It is still a site: an answer for every face, none for the rest.
    void* out = nullptr;
    EXPECT_EQ(d->ClientSite()->QueryInterface(IID_IOleInPlaceSiteWindowless, &out), S_OK);
    win32::Adopt(static_cast<IUnknown*>(out));
    EXPECT_EQ(d->ClientSite()->QueryInterface(IID_IOleInPlaceSiteEx, &out), E_NOINTERFACE);
}

}  // namespace
