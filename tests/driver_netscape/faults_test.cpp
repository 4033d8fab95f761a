// The driver against a reference player with a fault switched on (VD_NP_FAULTS, one scenario
// each): each case runs in the scenario of its fault.
#include "np_test_support.h"
#include "swf_builder.h"
#include "vd_np_unit.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "vd_movieres.h"
#include "vd_winstr.h"

using namespace vd;

namespace {

const auto* const units = ::testing::AddGlobalTestEnvironment(new vdtest::NetscapeUnits(VD_NP_FAULTS));

class PluginFault : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(VD_NP_FAULTS) != Fault()) GTEST_SKIP() << "runs with the fault " << Fault();
        ASSERT_TRUE(hooks.loaded);
        hooks.clearJournal();
    }
    virtual const char* Fault() const = 0;
    std::unique_ptr<TvdFlashDriverNS> Make() {
        return std::unique_ptr<TvdFlashDriverNS>(TvdFlashDriver::NewDriver<TvdFlashDriverNS>(40, 40, 0xFF000000));
    }
    vdtest::PluginHooks hooks;
};

struct RaisesOnce : PluginFault {
    const char* Fault() const override { return "raises_once"; }
};
struct AlwaysRaises : PluginFault {
    const char* Fault() const override { return "handler_raises"; }
};
struct FullTable : PluginFault {
    const char* Fault() const override { return "full_table"; }
};
struct RefusesStreams : PluginFault {
    const char* Fault() const override { return "newstream_refuses"; }
};
struct OtherTypes : PluginFault {
    const char* Fault() const override { return "other_types"; }
};
struct NewFails : PluginFault {
    const char* Fault() const override { return "new_fails"; }
};

void WriteMovie(const WideString& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(std::filesystem::path(std::wstring(WinStr(ApplicationDirectory() + name))), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(RaisesOnce, SetVariableIsTriedOnceMore) {
    auto d = Make();
    EXPECT_NO_THROW(d->SetVariable(u"a", u"1"));
    EXPECT_EQ(hooks.Lines("invoke SetVariable").size(), 2u);
    EXPECT_EQ(d->GetVariable(u"a"), u"1");
}

TEST_F(AlwaysRaises, SecondFailureOfSetVariableReachesTheCaller) {
    auto d = Make();
    EXPECT_ANY_THROW(d->SetVariable(u"a", u"1"));
    EXPECT_EQ(hooks.Lines("invoke SetVariable").size(), 2u);
}

TEST_F(FullTable, PluginFillingTheNewestTableLeavesTheHostsTablesIntact) {
    const auto& unit = np::Unit();
    // The plugin did fill the later entries, into room the host gave it.
    for (void* entry : unit.PluginFuncs.Later) EXPECT_NE(entry, nullptr);
    EXPECT_EQ(unit.Browser.Funcs.size, np::NPNetscapeFuncsSize);
    EXPECT_EQ(unit.Browser.Funcs.version, np::NPNetscapeFuncsVersion);
    EXPECT_NE(unit.Browser.Funcs.geturl, nullptr);
    auto d = Make();
    EXPECT_NE(d->Instance->pdata, nullptr);
    // The plugin's copy of the browser table works: its request is answered.
    d->LoadMovie(u"nothing-here.swf");
    EXPECT_EQ(hooks.Lines("-> NPN_GetURLNotify"),
              std::vector<std::string>{"-> NPN_GetURLNotify url=\"nothing-here.swf\" target=null rc=0"});
    EXPECT_TRUE(hooks.Lines("later entry").empty());
}

TEST_F(RefusesStreams, RefusedDataIsDroppedButTheRequestStillEnds) {
    WriteMovie(u"refused.swf", vdtest::SwfBuilder(100, 100, 12, 3).Fws());
    auto d = Make();
    hooks.clearJournal();
    d->LoadMovie(u"refused.swf?a=1");
    const auto j = hooks.Journal();
    auto count = [&](const char* prefix) {
        return std::count_if(j.begin(), j.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count("NPP_NewStream"), 1);
    EXPECT_EQ(count("NPP_Write"), 0);
    EXPECT_EQ(count("NPP_DestroyStream"), 0);
    EXPECT_EQ(count("invoke SetVariable(\"a\", \"1\")"), 1);
    EXPECT_EQ(count("NPP_SetWindow"), 2);  // the new instance's drawable, and after the delivery
    EXPECT_EQ(count("NPP_HandleEvent event=0xF"), 1);
    EXPECT_EQ(d->GetTotalFrames(), 0);
}

TEST_F(OtherTypes, NumbersAndBooleansOfAnotherTypeAreConvertedNotReadAsZero) {
    WriteMovie(u"types.swf", vdtest::SwfBuilder(100, 100, 12, 7).Fws());
    auto d = Make();
    d->LoadMovie(u"types.swf");
    EXPECT_EQ(d->GetTotalFrames(), 7);  // answered as Double
    d->SetCurrentFrame(4);
    EXPECT_EQ(d->GetCurrentFrame(), 4);
    d->Play();
    EXPECT_TRUE(d->GetIsPlaying());  // answered as Int32
    d->StopPlay();
    EXPECT_FALSE(d->GetIsPlaying());
    d->SetLoop(true);
    EXPECT_TRUE(d->GetLoop());
    d->SetLoop(false);
    EXPECT_FALSE(d->GetLoop());
    EXPECT_EQ(hooks.Lines("invoke TotalFrames").size(), 1u);
}

TEST_F(NewFails, AnInstanceWhoseNewFailedHearsNothingButItsDestroy) {
    auto d = Make();
    EXPECT_FALSE(d->InstanceLive);
    EXPECT_EQ(d->ScriptObject, nullptr);
    bool reported = false;
    d->OnPaint = [&](TObject*, const TRect&) { reported = true; };
    // Everything that would reach a live instance: a resize, paints (the driver's and a late
    // request of the plugin's), input, loading and scripting.
    d->Resize(60, 50);
    d->ForceUpdate();
    np::NPRect area{0, 0, 10, 10};
    np::Unit().Browser.Funcs.invalidaterect(d->Instance, &area);
    WORD key = 'A';
    char16_t ch = u'a';
    d->MouseDown(mbLeft, {}, 1, 1);
    d->MouseMove({}, 2, 2);
    d->KeyDown(key, {});
    d->KeyPress(ch, {});
    d->LoadMovie(u"anything.swf");
    d->Play();
    d->SetLoop(true);
    EXPECT_EQ(d->GetTotalFrames(), 0);
    EXPECT_FALSE(reported);
    d.reset();
    const auto calls = hooks.Lines("NPP_");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].rfind("NPP_New ", 0), 0u);
    EXPECT_EQ(calls[1], "NPP_Destroy save=given");
}

}  // namespace
