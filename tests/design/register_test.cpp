// Register with the real player classes under Wine: the palette page, the editors, and the skin
// editor driving each player's Skin.
#include <gtest/gtest.h>

#include <algorithm>

#include "design_host.h"
#include "vd_flashreg.h"
#include "vd_layer.h"

using namespace vd;

namespace {

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeLayerUnit();
        InitializeFlashRegUnit();
        Register();
    }
    void TearDown() override {
        FinalizeFlashRegUnit();
        FinalizeLayerUnit();
    }
};

TEST_F(Registration, VidoraPageHoldsTheFiveComponentsInOrder) {
    Register();  // a second time adds nothing
    const auto& pages = PalettePages();
    const auto page =
        std::find_if(pages.begin(), pages.end(), [](const TPalettePage& p) { return p.Name == "Vidora"; });
    ASSERT_NE(page, pages.end());
    std::vector<std::string> names;
    for (const TClassInfo* cls : page->Classes) names.push_back(cls->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"TvdFlashList", "TvdFlashPlayer", "TvdFlashPlayerWnd",
                                               "TvdFlashPlayerComp", "TvdFlashLayer"}));
    for (const std::string& name : names) EXPECT_NE(FindClass(name), nullptr) << name << " readable from forms";
}

TEST_F(Registration, FlashStoreAndTheSkinOfThreePlayersHaveTheirEditors) {
    std::vector<std::string> registered;
    for (const TPropertyEditorRegistration& r : PropertyEditorRegistrations())
        registered.push_back(r.Editor.Name + " " + PropertyTypeName(r.PropertyType) + " " + r.ComponentClass->Name +
                             "." + r.PropertyName);
    EXPECT_EQ(registered, (std::vector<std::string>{
                              "TvdFlashStreamProperty WideString TvdFlashStream.FlashStore",
                              "TvdSkinProperty string TvdFlashPlayer.Skin",
                              "TvdSkinProperty string TvdFlashPlayerWnd.Skin",
                              "TvdSkinProperty string TvdFlashPlayerComp.Skin",
                          }));
    // The layer, and the windowed players' common base, keep the ordinary string editor.
    EXPECT_EQ(FindPropertyEditor(TPropKind::String, TvdFlashLayer::StaticClassInfo(), "Skin"), nullptr);
    EXPECT_EQ(FindPropertyEditor(TPropKind::String, TvdCustomFlashPlayerWnd::StaticClassInfo(), "Skin"), nullptr);
}

template <class P> void SkinEditorSetsTheSkinOf() {
    vdtest::TestDesigner host;
    P player(nullptr);
    const TPropInfo* skin = P::StaticClassInfo().FindProperty("Skin");
    ASSERT_NE(skin, nullptr);
    auto editor = GetPropertyEditor(host, {&player}, *skin);
    EXPECT_EQ(editor->ClassName(), "TvdSkinProperty");
    editor->SetValue("ArcticOverAll");
    EXPECT_EQ(player.GetSkin(), "ArcticOverAll");
    EXPECT_EQ(editor->GetValue(), "ArcticOverAll");
    EXPECT_EQ(host.Notices, 1);
}

TEST_F(Registration, SkinEditorSetsEachPlayersSkin) {
    SkinEditorSetsTheSkinOf<TvdFlashPlayer>();
    SkinEditorSetsTheSkinOf<TvdFlashPlayerWnd>();
    SkinEditorSetsTheSkinOf<TvdFlashPlayerComp>();
}

}  // namespace
