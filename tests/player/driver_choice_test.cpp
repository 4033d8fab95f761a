// The choice of driver class over driver classes as values, and the once-per-process
// ActiveX check, with test classes whose availability each case sets.
#include <gtest/gtest.h>

#include <string>

#include "vd_driver_choice.h"

using namespace vd;

namespace {

bool nsInstalled = false;
bool axInstalled = false;
bool customInstalled = false;

const TvdFlashDriverClass Inert{"Inert", [] { return false; }, nullptr};
const TvdFlashDriverClass Netscape{"Netscape", [] { return nsInstalled; }, nullptr};
const TvdFlashDriverClass ActiveX{"ActiveX", [] { return axInstalled; }, nullptr};
const TvdFlashDriverClass Custom{"Custom", [] { return customInstalled; }, nullptr};

std::string Choose(TvdPlugin plugin, const TvdFlashDriverClass* defaultClass) {
    return ChooseFlashDriverClass(plugin, defaultClass, &ActiveX, &Netscape, Inert).Name;
}

struct Row {
    bool ax, ns;
    const char* forDefault;
    const char* forNetscape;
    const char* forActiveX;
};

TEST(DriverChoice, FollowsTheTableForEveryInstalledCombination) {
    // With the package's own default: the inert class, or ActiveX once its check succeeded.
    const Row rows[] = {
        {true, true, "ActiveX", "Netscape", "ActiveX"},
        {true, false, "ActiveX", "ActiveX", "ActiveX"},
        {false, true, "Netscape", "Netscape", "Netscape"},
        {false, false, "Inert", "Inert", "Inert"},
    };
    for (const Row& r : rows) {
        axInstalled = r.ax;
        nsInstalled = r.ns;
        const TvdFlashDriverClass* def = r.ax ? &ActiveX : &Inert;
        SCOPED_TRACE(std::string("ActiveX ") + (r.ax ? "yes" : "no") + ", Netscape " + (r.ns ? "yes" : "no"));
        EXPECT_EQ(Choose(vdDefault, def), r.forDefault);
        EXPECT_EQ(Choose(vdNetscape, def), r.forNetscape);
        EXPECT_EQ(Choose(vdActiveX, def), r.forActiveX);
    }
}

TEST(DriverChoice, DefaultClassSetByTheApplicationWinsForVdDefaultOnlyWhenAvailable) {
    axInstalled = nsInstalled = true;
    EXPECT_EQ(Choose(vdDefault, &Netscape), "Netscape");
    EXPECT_EQ(Choose(vdActiveX, &Netscape), "ActiveX");
    customInstalled = true;
    EXPECT_EQ(Choose(vdDefault, &Custom), "Custom");
    EXPECT_EQ(Choose(vdNetscape, &Custom), "Netscape");
    customInstalled = false;                            // its player is missing: the ordinary fallback applies, and
    EXPECT_EQ(Choose(vdDefault, &Custom), "Netscape");  // with both forms that is Netscape
    nsInstalled = false;
    EXPECT_EQ(Choose(vdDefault, &Custom), "ActiveX");
    nsInstalled = axInstalled = false;
    EXPECT_EQ(Choose(vdDefault, &Custom), "Inert");
    EXPECT_EQ(Choose(vdDefault, nullptr), "Inert");
}

TEST(DriverChoice, DriverClassesNotRegisteredYetCountAsUnavailable) {
    axInstalled = nsInstalled = true;
    const auto& chosen = ChooseFlashDriverClass(vdActiveX, nullptr, nullptr, &Netscape, Inert);
    EXPECT_STREQ(chosen.Name, "Netscape");
    EXPECT_STREQ(ChooseFlashDriverClass(vdNetscape, nullptr, nullptr, nullptr, Inert).Name, "Inert");
    EXPECT_FALSE(DriverAvailable(nullptr));
}

int probeCalls = 0;
bool probeAnswer = false;

// The report says what was asked for, what was got and, when those differ, why: a driver
// unit never started (naming its start-up) is told apart from a started unit without a player.
TEST(DriverChoice, ReportTellsAUnitNotStartedFromAPlayerNotFound) {
    struct Case {
        TvdPlugin plugin;
        bool nsStarted, axStarted;
        const char* got;
        const char* says;  // a part of the report
    };
    const Case cases[] = {
        {vdNetscape, true, true, "Netscape", "asked for vdNetscape, got Netscape"},
        {vdNetscape, false, true, "Inert",
         "got Inert (the Netscape driver unit is not started: InitializeDriverNetscapeUnit() or "
         "InitializeFlashPackage() registers it); the inert driver plays no movie"},
        {vdNetscape, true, true, "ActiveX", "(the Netscape driver unit is started but finds no Netscape player)"},
        {vdActiveX, true, false, "Netscape", "(the ActiveX driver unit is not started: InitializeDriverActiveXUnit()"},
        {vdActiveX, true, true, "Inert", "(the ActiveX driver unit is started but finds no ActiveX player)"},
        {vdDefault, false, false, "Inert", "(no driver unit is started: InitializeFlashPackage() starts both)"},
        {vdDefault, true, false, "Inert", "(the driver units started find no Flash Player)"},
        {vdDefault, true, true, "ActiveX", "asked for vdDefault, got ActiveX"},
    };
    for (const Case& c : cases) {
        const std::string report = DescribeDriverChoice(c.plugin, c.axStarted ? &ActiveX : nullptr,
                                                        c.nsStarted ? &Netscape : nullptr, Inert, c.got);
        EXPECT_NE(report.find(c.says), std::string::npos) << report;
        // Only a driver that is not the one asked for carries a reason.
        const bool served = std::string(c.got) != "Inert" &&
                            (c.plugin == vdDefault || (c.plugin == vdNetscape) == (std::string(c.got) == "Netscape"));
        EXPECT_EQ(report.find('(') == std::string::npos, served) << report;
    }
}

TEST(ActiveXCheck, ProbesOnceAndMakesActiveXTheDefaultWhenTheControlExists) {
    TvdActiveXCheck check;
    const TvdFlashDriverClass* def = &Inert;
    // No probe installed yet (no ActiveX driver): nothing happens and the check is not used up.
    EXPECT_FALSE(check.Run(def, &ActiveX));
    EXPECT_FALSE(check.Done());
    EXPECT_EQ(def, &Inert);

    check.Install([] {
        ++probeCalls;
        return probeAnswer;
    });
    probeCalls = 0;
    probeAnswer = true;
    EXPECT_TRUE(check.Run(def, &ActiveX));
    EXPECT_EQ(def, &ActiveX);
    EXPECT_TRUE(check.Available());
    // Later runs change nothing, even after the application chose another default.
    def = &Netscape;
    EXPECT_FALSE(check.Run(def, &ActiveX));
    EXPECT_EQ(def, &Netscape);
    EXPECT_EQ(probeCalls, 1);
}

TEST(ActiveXCheck, ControlMissingLeavesTheDefaultAlone) {
    TvdActiveXCheck check;
    check.Install([] {
        ++probeCalls;
        return probeAnswer;
    });
    probeCalls = 0;
    probeAnswer = false;
    const TvdFlashDriverClass* def = &Inert;
    EXPECT_FALSE(check.Run(def, &ActiveX));
    EXPECT_FALSE(check.Run(def, &ActiveX));
    EXPECT_EQ(def, &Inert);
    EXPECT_FALSE(check.Available());
    EXPECT_TRUE(check.Done());
    EXPECT_EQ(probeCalls, 1);
}

}  // namespace
