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
    EXPECT_EQ(unit.BrowserFuncs.size, np::NPNetscapeFuncsSize);
    EXPECT_EQ(unit.BrowserFuncs.version, 18);
    EXPECT_NE(unit.BrowserFuncs.geturl, nullptr);
    auto d = Make();
    EXPECT_NE(d->Instance->pdata, nullptr);
    // The plugin's copy of the browser table works: its request is answered.
    d->LoadMovie(u"nothing-here.swf");
    EXPECT_EQ(hooks.Lines("-> NPN_GetURLNotify"),
              std::vector<std::string>{"-> NPN_GetURLNotify url=\"nothing-here.swf\" target=null rc=0"});
    EXPECT_TRUE(hooks.Lines("later entry").empty());
}

TEST_F(RefusesStreams, RefusedDataIsDroppedButTheRequestStillEnds) {
    const auto bytes = vdtest::SwfBuilder(100, 100, 12, 3).Fws();
    {
        std::ofstream out(std::filesystem::path(std::wstring(WinStr(ApplicationDirectory() + u"refused.swf"))),
                          std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
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
    EXPECT_EQ(count("NPP_SetWindow"), 1);
    EXPECT_EQ(count("NPP_HandleEvent event=0xF"), 1);
    EXPECT_EQ(d->GetTotalFrames(), 0);
}

}  // namespace
