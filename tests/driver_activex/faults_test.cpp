// TvdFlashDriverActiveX against reference controls that misbehave in the ways a real one may:
// one fault switch a test, set before the control is created (the control reads its switches
// for every instance). The driver must cope: no activation, no windowless object, no view, an
// old version, scripting calls that raise, input it does not consume.
#include "ax_test_support.h"

#include "vd_forms.h"

using namespace vd;
using namespace vdtest;

namespace {

const auto* const units = ::testing::AddGlobalTestEnvironment(new ActiveXUnits());

constexpr uint32_t kTeal = 0xFF008080;

class ActiveXFaults : public ::testing::Test {
protected:
    std::unique_ptr<TvdFlashDriverActiveX> Make(const char* faults) {
        // The journal of this control alone (the DLL is loaded with the first one).
        if (ControlHooks earlier; earlier.loaded) earlier.clearJournal();
        SetEnvironmentVariableA("VDRP_FAULTS", faults);
        auto d = MakeDriver(40, 30, kTeal);
        SetEnvironmentVariableA("VDRP_FAULTS", "");
        hooks.loaded = hooks.Load(GetModuleHandleW(L"vdflashax.dll"));
        hooks.module = GetModuleHandleW(L"vdflashax.dll");
        EXPECT_TRUE(hooks.loaded);
        EXPECT_TRUE(d->GetIsFlashAvailable());
        return d;
    }
    void TearDown() override {
        // Whatever the fault, nothing of the control outlives its driver.
        driver.reset();
        if (hooks.loaded) {
            EXPECT_EQ(hooks.CanUnloadNow(), S_OK);
        }
    }
    std::vector<std::string> Messages() const { return hooks.Lines("IOleInPlaceObjectWindowless::OnWindowMessage"); }
    std::unique_ptr<TvdFlashDriverActiveX> driver;
    ControlHooks hooks;
};

TEST_F(ActiveXFaults, ControlInvisibleAtRunTimeIsNeverActivatedNorDrawn) {
    driver = Make("invisible");
    TvdFlashDriverActiveX& d = *driver;
    EXPECT_TRUE(hooks.Lines("IOleObject::DoVerb").empty());
    EXPECT_FALSE(d.WindowlessObject);
    EXPECT_FALSE(d.ViewObject);
    // Still created and set up: scripting works, nothing is drawn, the player still hears.
    EXPECT_TRUE(d.ControlInterface);
    EXPECT_TRUE(Has(hooks.Journal(), "DisableLocalSecurity"));
    std::vector<TRect> painted;
    d.OnPaint = [&](TObject*, const TRect& r) { painted.push_back(r); };
    hooks.clearJournal();
    d.ForceUpdate();
    d.MouseDown(mbLeft, TShiftState{}, 1, 1);
    WORD key = 'A';
    d.KeyDown(key, TShiftState{});
    EXPECT_EQ(key, 'A');
    EXPECT_TRUE(hooks.Lines("IViewObject::Draw").empty());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(painted, std::vector<TRect>{Rect(0, 0, 40, 30)});
}

TEST_F(ActiveXFaults, ControlAskingForItsSiteFirstGetsItBeforeAnythingElse) {
    driver = Make("setclientsitefirst");
    const auto j = hooks.Since("IOleObject::GetMiscStatus");
    ASSERT_GE(j.size(), 3u);
    EXPECT_EQ(j[1], "IOleObject::SetClientSite site");
    EXPECT_EQ(j[2], "IOleObject::GetClientSite");  // the set-up finds it there
    EXPECT_EQ(hooks.Lines("IOleObject::SetClientSite").size(), 1u);
}

TEST_F(ActiveXFaults, ControlWithoutWindowlessActivationIsDrawnButGetsNoInput) {
    driver = Make("no_windowless");
    TvdFlashDriverActiveX& d = *driver;
    EXPECT_TRUE(Has(hooks.Journal(), "-> OnInPlaceActivate hr=0x0"));
    EXPECT_TRUE(hooks.Lines("-> OnInPlaceActivateEx").empty());
    EXPECT_FALSE(d.WindowlessObject);
    EXPECT_FALSE(d.ControlWindow);  // only the extended activation hands it out
    EXPECT_TRUE(d.ViewObject);
    EXPECT_TRUE(hooks.Lines("IOleInPlaceObject::SetObjectRects").empty());
    hooks.clearJournal();
    d.ForceUpdate();
    d.MouseDown(mbRight, TShiftState{}, 1, 1);
    EXPECT_EQ(hooks.Lines("IViewObject::Draw").size(), 1u);
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(d.MenuWindowRequest);
}

TEST_F(ActiveXFaults, ControlWithoutAViewIsNotDrawnNorOutlinedButThePlayerIsTold) {
    driver = Make("no_viewobject");
    TvdFlashDriverActiveX& d = *driver;
    EXPECT_FALSE(d.ViewObject);
    EXPECT_TRUE(d.WindowlessObject);
    d.OnEraseBackground = [&d](TObject*, const TRect& r) {
        FillLongwordRect(d.Bits, d.Width, d.Height, r.Left, r.Top, r.Right, r.Bottom, d.Background);
    };
    d.Resize(41, 30);  // erased whole by the base
    d.ShowUpdateRects = true;
    int paints = 0;
    d.OnPaint = [&](TObject*, const TRect&) { ++paints; };
    hooks.clearJournal();
    d.ForceUpdate();
    EXPECT_EQ(paints, 1);
    EXPECT_TRUE(hooks.Lines("IViewObject::Draw").empty());
    EXPECT_EQ(Pixel(d, 0, 0), kTeal);  // no outline
}

TEST_F(ActiveXFaults, OldControlIsNotAskedForExternalCalls) {
    driver = Make("version7");
    TvdFlashDriverActiveX& d = *driver;
    hooks.clearJournal();
    EXPECT_EQ(d.CallFunction(u"<invoke name=\"f\" returntype=\"xml\"></invoke>"), u"");
    d.SetReturnValue(u"<string>x</string>");
    const auto j = hooks.Journal();
    EXPECT_EQ(Only(j, {"FlashVersion"}).size(), 2u);
    EXPECT_TRUE(Only(j, {"CallFunction", "SetReturnValue"}).empty());
    // The rest of scripting is not gated.
    d.SetVariable(u"v", u"1");
    EXPECT_EQ(d.GetVariable(u"v"), u"1");
}

TEST_F(ActiveXFaults, ScriptingCallsThatRaiseReachTheCallerAsOleErrors) {
    driver = Make("handler_raises");
    TvdFlashDriverActiveX& d = *driver;
    for (int i = 0; i < 2; ++i) {
        try {
            d.Play();
            ADD_FAILURE() << "Play did not raise";
        } catch (const EOleException& e) {
            EXPECT_EQ(e.ErrorCode(), DISP_E_EXCEPTION);
            EXPECT_EQ(std::string(e.what()), "reference player: Play raised");
            EXPECT_EQ(e.Source(), "Reference Player");
            EXPECT_TRUE(d.SuppressException(e));
        }
    }
    EXPECT_THROW(d.GetVariable(u"v"), EOleSysError);
    EXPECT_THROW(d.CallFunction(u"<invoke name=\"f\"></invoke>"), EOleSysError);
    EXPECT_THROW(d.GetIsPlaying(), EOleSysError);
}

TEST_F(ActiveXFaults, AScriptingCallThatRaisesOnceSucceedsWhenRepeated) {
    driver = Make("raises_once");
    TvdFlashDriverActiveX& d = *driver;
    EXPECT_THROW(d.SetVariable(u"v", u"1"), EOleException);
    d.SetVariable(u"v", u"2");
    EXPECT_EQ(d.GetVariable(u"v"), u"2");
}

TEST_F(ActiveXFaults, InputTheControlDoesNotConsumeIsLeftToThePlayer) {
    driver = Make("ignores_input");
    TvdFlashDriverActiveX& d = *driver;
    hooks.clearJournal();
    d.MouseDown(mbLeft, TShiftState{}, 1, 2);
    d.MouseMove(TShiftState{}, 3, 4);
    WORD key = 'A';
    d.KeyDown(key, TShiftState{});
    char16_t ch = u'a';
    d.KeyPress(ch, TShiftState{});
    // No cursor request after a message the control did not take; keys stay the player's.
    EXPECT_TRUE(hooks.Lines("IOleInPlaceObjectWindowless::OnWindowMessage msg=0x20 ").empty());
    EXPECT_EQ(Messages().size(), 4u);
    EXPECT_EQ(key, 'A');
    EXPECT_EQ(ch, u'a');
}

}  // namespace
