// The package's start-up in one call, in a process of its own (the units' state is the
// process's): before it a form or a player that needs a unit not started says which start-up
// was missing; the call starts every unit, is counted like them, keeps an application's choice
// of default driver on a second start-up, and its last shut-down stops them all.
#include "vd_windows.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vd_startup.h"
#include "win32_test_support.h"

using namespace vd;

namespace {

const char kLayerForm[] =
    "object LayerForm: TForm\n"
    "  object Layer1: TvdFlashLayer\n"
    "  end\n"
    "end\n";

// What an application reading kLayerForm sees: "" when the form reads.
std::string ReadLayerForm() {
    TForm form(nullptr);
    try {
        ReadComponent(kLayerForm, &form);
    } catch (const EClassNotFound& e) {
        return e.Message();
    }
    return {};
}

// The driver choice of a windowless player asking for `plugin`, and the class of the driver it got.
std::string Choice(TvdPlugin plugin, std::string* got = nullptr) {
    auto form = vdtest::MakeForm(100, 80);
    auto* player = new TvdFlashPlayer(form.get());
    player->SetParent(form.get());
    player->SetPlugin(plugin);
    if (got) *got = player->Driver() ? player->Driver()->ClassName() : "";
    return DriverChoiceReport(*player);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(PackageStartUp, MissingUnitsAreNamedThenOneCallStartsAndCountsThemAll) {
    // Only the player unit: the layer's class and the Netscape driver are missing, and say so.
    InitializeFlashPlayerUnit();
    const std::string unread = ReadLayerForm();
    EXPECT_TRUE(Contains(unread, "Class TvdFlashLayer not found")) << unread;
    EXPECT_TRUE(Contains(unread, "InitializeLayerUnit()")) << unread;
    std::string got;
    const std::string inert = Choice(vdNetscape, &got);
    EXPECT_EQ(got, "TvdFlashDriver");
    EXPECT_TRUE(Contains(inert, "the Netscape driver unit is not started")) << inert;
    EXPECT_TRUE(Contains(inert, "InitializeDriverNetscapeUnit()")) << inert;
    FinalizeFlashPlayerUnit();

    {
        const TvdFlashPackage package;
        EXPECT_EQ(FlashPackageInitCount(), 1);
        EXPECT_EQ(FlashPlayerUnitInitCount(), 2) << "the player unit, once by itself and once by the layer unit";
        EXPECT_EQ(DefaultFlashDriverClass, &TvdFlashDriver::Class());
        EXPECT_EQ(FlashDriverNSClass, &TvdFlashDriverNS::Class());
        EXPECT_EQ(FlashDriverActiveXClass, &TvdFlashDriverActiveX::Class());
        EXPECT_NE(LayeredWindowUpdate(), nullptr);
        EXPECT_EQ(ReadLayerForm(), "");
        // No Flash Player here: the unit is started, the player is what is missing.
        const std::string missing = Choice(vdNetscape);
        EXPECT_TRUE(Contains(missing, "the Netscape driver unit is started but finds no Netscape player")) << missing;

        // An application's own default driver survives a second start-up, of the package or a unit.
        static const TvdFlashDriverClass appDriver = MakeFlashDriverClass<TvdFlashDriver>("AppDriver");
        DefaultFlashDriverClass = &appDriver;
        InitializeFlashPackage();
        InitializeFlashPlayerUnit();
        EXPECT_EQ(DefaultFlashDriverClass, &appDriver);
        FinalizeFlashPlayerUnit();
        FinalizeFlashPackage();  // not the last: every unit stays
        EXPECT_EQ(FlashPackageInitCount(), 1);
        EXPECT_EQ(FlashDriverNSClass, &TvdFlashDriverNS::Class());
        EXPECT_EQ(FlashDriverActiveXClass, &TvdFlashDriverActiveX::Class());
    }
    // The last shut-down stops them all.
    EXPECT_EQ(FlashPackageInitCount(), 0);
    EXPECT_EQ(FlashPlayerUnitInitCount(), 0);
    EXPECT_EQ(FlashDriverNSClass, nullptr);
    EXPECT_EQ(FlashDriverActiveXClass, nullptr);
}

}  // namespace
