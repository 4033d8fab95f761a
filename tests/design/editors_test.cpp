// The design-time registry and the property editors, driven as an object inspector drives
// them, with a test design host. Platform-free: natively under the sanitizers and under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "design_host.h"
#include "vd_flashreg.h"
#include "vd_propeditors.h"

using namespace vd;
using vdtest::TestDesigner;

namespace {

enum TSide { sdLeft, sdTop, sdRight, sdBottom };
using TSides = TSet<TSide>;

// A component with a Skin, whose getter and setter can be made to fail the way a player's can.
class TSkinned : public TComponent {
    VD_CLASS(TSkinned, TComponent)
public:
    explicit TSkinned(TComponent* owner) : TComponent(owner) {}

    std::string GetSkin() const {
        if (FailGet) throw EConvertError("skin unreadable");
        return skin_;
    }
    void SetSkin(const std::string& v) {
        if (FailSet == 1) throw EConvertError("skin refused");
        if (FailSet == 2) throw std::logic_error("not the framework's");
        skin_ = v;
    }
    int GetVolume() const { return volume_; }
    void SetVolume(int v) { volume_ = v; }
    bool GetPause() const { return pause_; }
    void SetPause(bool v) { pause_ = v; }
    TSides GetAnchors() const { return anchors_; }
    void SetAnchors(TSides v) { anchors_ = v; }

    bool FailGet = false;
    int FailSet = 0;  // 1: the framework's error, 2: another exception

private:
    std::string skin_ = "ClearOverAll";
    int volume_ = 100;
    bool pause_ = false;
    TSides anchors_{sdLeft, sdTop};
};

class TSkinnedMore : public TSkinned {
    VD_CLASS(TSkinnedMore, TSkinned)
public:
    using TSkinned::TSkinned;
};

const TIdents& TestAnchorIdents() {
    static const TIdents idents{"akLeft", "akTop", "akRight", "akBottom"};
    return idents;
}

}  // namespace

VD_DEFINE_CLASS(TSkinned, StrProp("Skin", &T::GetSkin, &T::SetSkin), IntProp("Volume", &T::GetVolume, &T::SetVolume),
                BoolProp("Pause", &T::GetPause, &T::SetPause, false),
                SetProp("Anchors", &T::GetAnchors, &T::SetAnchors, TestAnchorIdents()))
VD_DEFINE_CLASS(TSkinnedMore)

namespace {

const TPropInfo& Prop(const TClassInfo& cls, const std::string& name) {
    const TPropInfo* p = cls.FindProperty(name);
    if (!p) throw std::logic_error("no property " + name);
    return *p;
}

std::vector<std::string> ValuesOf(TPropertyEditor& editor) {
    std::vector<std::string> values;
    editor.GetValues([&](const std::string& v) { values.push_back(v); });
    return values;
}

std::string DataOf(TvdFlashStream& item) {
    return std::string(reinterpret_cast<const char*>(item.Data().Memory()), static_cast<size_t>(item.Data().GetSize()));
}

void Fill(TvdFlashStream& item, const WideString& name, const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    item.LoadData(s);
    item.SetFlashStore(name);
}

// ---------------------------------------------------------------------------------------
// The registry

class DesignRegistry : public ::testing::Test {
protected:
    void SetUp() override { ClearDesignRegistry(); }
    void TearDown() override { ClearDesignRegistry(); }
};

TEST_F(DesignRegistry, PagesKeepTheirOrderAndClassesAreNotListedTwice) {
    RegisterComponents("Vidora", {&TvdFlashList::StaticClassInfo(), &TSkinned::StaticClassInfo()});
    RegisterComponents("Other", {&TSkinnedMore::StaticClassInfo()});
    RegisterComponents("Vidora", {&TSkinned::StaticClassInfo(), &TSkinnedMore::StaticClassInfo()});

    const auto& pages = PalettePages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].Name, "Vidora");
    ASSERT_EQ(pages[0].Classes.size(), 3u);
    EXPECT_EQ(pages[0].Classes[0]->Name, "TvdFlashList");
    EXPECT_EQ(pages[0].Classes[1]->Name, "TSkinned");
    EXPECT_EQ(pages[0].Classes[2]->Name, "TSkinnedMore");
    EXPECT_EQ(pages[1].Name, "Other");
    // Registered components are known to the form reader.
    EXPECT_EQ(FindClass("tskinnedmore"), &TSkinnedMore::StaticClassInfo());
}

TEST_F(DesignRegistry, TheBestFittingEditorWins) {
    const TClassInfo& base = TSkinned::StaticClassInfo();
    const TClassInfo& derived = TSkinnedMore::StaticClassInfo();
    const auto any = EditorClass<TStringProperty>("TAnyString");
    const auto forBase = EditorClass<TvdSkinProperty>("TBaseSkin");
    const auto forDerived = EditorClass<TStringProperty>("TDerivedSkin");
    // The name of the editor class chosen, "none" when none fits.
    const auto found = [](TPropKind type, const TClassInfo& cls, const std::string& prop) -> std::string {
        const TPropertyEditorClass* e = FindPropertyEditor(type, cls, prop);
        return e ? e->Name : "none";
    };

    RegisterPropertyEditor(TPropKind::String, nullptr, "", any);
    EXPECT_EQ(found(TPropKind::String, base, "Skin"), "TAnyString");
    EXPECT_EQ(found(TPropKind::WideString, base, "Skin"), "none") << "the property type must match";

    RegisterPropertyEditor(TPropKind::String, &derived, "Skin", forDerived);
    RegisterPropertyEditor(TPropKind::String, &base, "Skin", forBase);  // later, but for a less derived class
    EXPECT_EQ(found(TPropKind::String, base, "skin"), "TBaseSkin");
    EXPECT_EQ(found(TPropKind::String, derived, "Skin"), "TDerivedSkin");
    EXPECT_EQ(found(TPropKind::String, derived, "Hint"), "TAnyString");
    EXPECT_EQ(found(TPropKind::String, TvdFlashList::StaticClassInfo(), "Skin"), "TAnyString");

    RegisterPropertyEditor(TPropKind::String, &base, "Skin", forBase);
    EXPECT_EQ(PropertyEditorRegistrations().size(), 3u) << "a repeated registration adds nothing";

    // The inspector's editor: the registered one, else the framework's for the kind.
    TestDesigner host;
    TSkinned c(nullptr);
    EXPECT_EQ(GetPropertyEditor(host, {&c}, Prop(base, "Skin"))->ClassName(), "TvdSkinProperty");
    EXPECT_EQ(GetPropertyEditor(host, {&c}, Prop(base, "Volume"))->ClassName(), "TIntegerProperty");
}

// ---------------------------------------------------------------------------------------
// The framework's editors for the kinds of property

TEST(DefaultEditors, ShowAndTakeValuesInTheirFormSpelling) {
    TestDesigner host;
    TSkinned c(nullptr);
    const TClassInfo& cls = TSkinned::StaticClassInfo();

    auto volume = GetPropertyEditor(host, {&c}, Prop(cls, "Volume"));
    EXPECT_EQ(volume->GetValue(), "100");
    volume->SetValue(" $20 ");
    EXPECT_EQ(c.GetVolume(), 32);
    EXPECT_THROW(volume->SetValue("loud"), EConvertError);
    EXPECT_THROW(volume->SetValue("99999999999"), EReadError) << "beyond an int";
    EXPECT_EQ(c.GetVolume(), 32);

    auto pause = GetPropertyEditor(host, {&c}, Prop(cls, "Pause"));
    EXPECT_EQ(pause->GetValue(), "False");
    EXPECT_EQ(ValuesOf(*pause), (std::vector<std::string>{"False", "True"}));
    pause->SetValue("true");
    EXPECT_TRUE(c.GetPause());
    EXPECT_THROW(pause->SetValue("maybe"), EConvertError);

    auto anchors = GetPropertyEditor(host, {&c}, Prop(cls, "Anchors"));
    EXPECT_EQ(anchors->GetValue(), "[akLeft, akTop]");
    anchors->SetValue("[akRight,akBottom]");
    EXPECT_EQ(c.GetAnchors(), (TSides{sdRight, sdBottom}));
    anchors->SetValue("[]");
    EXPECT_TRUE(c.GetAnchors().Empty());
    EXPECT_THROW(anchors->SetValue("[akLeft, akNowhere]"), EConvertError);
    EXPECT_THROW(anchors->SetValue("akLeft"), EConvertError);
    EXPECT_TRUE(c.GetAnchors().Empty());

    EXPECT_EQ(host.Notices, 4) << "one notice per value taken, none for a refused one";
}

// ---------------------------------------------------------------------------------------
// TvdSkinProperty

class SkinProperty : public ::testing::Test {
protected:
    std::unique_ptr<TvdSkinProperty> Editor(std::vector<TPersistent*> components) {
        return std::make_unique<TvdSkinProperty>(host_, std::move(components),
                                                 Prop(TSkinned::StaticClassInfo(), "Skin"));
    }
    TestDesigner host_;
    TSkinned a_{nullptr}, b_{nullptr};
};

TEST_F(SkinProperty, OffersTheFourSkinsAndTakesAnyName) {
    auto editor = Editor({&a_, &b_});
    EXPECT_EQ(editor->GetAttributes().Bits(), 137u);
    EXPECT_EQ(ValuesOf(*editor),
              (std::vector<std::string>{"ClearOverAll", "SteelOverAll", "MojaveOverAll", "ArcticOverAll"}));
    EXPECT_EQ(editor->GetValue(), "ClearOverAll");

    editor->SetValue("MojaveOverAll");
    EXPECT_EQ(a_.GetSkin(), "MojaveOverAll");
    EXPECT_EQ(b_.GetSkin(), "MojaveOverAll") << "every selected component takes the value";
    editor->SetValue("My Own Skin");
    EXPECT_EQ(editor->GetValue(), "My Own Skin");
    EXPECT_EQ(host_.Notices, 2);
    EXPECT_TRUE(host_.Messages.empty());
}

TEST_F(SkinProperty, FrameworkErrorsAreShownNotRaised) {
    auto editor = Editor({&a_});
    a_.FailGet = true;
    EXPECT_EQ(editor->GetValue(), "");
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0], "skin unreadable");

    a_.FailGet = false;
    a_.FailSet = 1;
    EXPECT_NO_THROW(editor->SetValue("SteelOverAll"));
    ASSERT_EQ(host_.Messages.size(), 2u);
    EXPECT_EQ(host_.Messages[1], "skin refused");
    EXPECT_EQ(host_.Notices, 0) << "no notice after a caught error";
    EXPECT_EQ(a_.GetSkin(), "ClearOverAll");

    // A value-list callback failing the framework's way is shown too.
    editor->GetValues([](const std::string&) { throw EListError("list full"); });
    ASSERT_EQ(host_.Messages.size(), 3u);
    EXPECT_EQ(host_.Messages[2], "list full");
}

TEST_F(SkinProperty, OtherExceptionsPassOn) {
    auto editor = Editor({&a_});
    a_.FailSet = 2;
    EXPECT_THROW(editor->SetValue("SteelOverAll"), std::logic_error);
    EXPECT_THROW(editor->GetValues([](const std::string&) { throw std::runtime_error("x"); }), std::runtime_error);
    EXPECT_TRUE(host_.Messages.empty());
    EXPECT_EQ(host_.Notices, 0);
}

// ---------------------------------------------------------------------------------------
// TvdFlashStreamProperty

class FlashStreamProperty : public ::testing::Test {
protected:
    void SetUp() override {
        first_ = list_.GetFlashs()->Add();
        second_ = list_.GetFlashs()->Add();
        Fill(*first_, u"old.swf", "OLD");
    }
    TvdFlashStreamProperty Editor() {
        return TvdFlashStreamProperty(host_, {first_, second_}, Prop(TvdFlashStream::StaticClassInfo(), "FlashStore"));
    }
    // The dialog was made, shown with the package's filter, and freed.
    void ExpectDialogUsedAndFreed() {
        EXPECT_EQ(host_.DialogsMade, 1);
        EXPECT_EQ(host_.DialogsFreed, 1);
        EXPECT_EQ(host_.FilterSeen,
                  "Flash,Video,XML and Media files|*.swf;*.flv;*.xml;*.jpg;*.png;*.mp3;*.txt|All Files|*.*");
    }
    void ExpectUnchanged() {
        EXPECT_EQ(first_->GetFlashStore(), u"old.swf");
        EXPECT_EQ(DataOf(*first_), "OLD");
        ASSERT_NE(FlashList, nullptr);
        EXPECT_EQ(FlashList->Find(u"old.swf"), first_);
    }

    TestDesigner host_;
    TvdFlashList list_{nullptr};
    TvdFlashStream* first_ = nullptr;
    TvdFlashStream* second_ = nullptr;
};

TEST_F(FlashStreamProperty, ShowsTheItemAndOffersADialog) {
    auto editor = Editor();
    EXPECT_EQ(editor.GetAttributes().Bits(), 4u);
    EXPECT_EQ(editor.GetValue(), "old.swf");
    EXPECT_EQ(
        TvdFlashStreamProperty(host_, {second_}, Prop(TvdFlashStream::StaticClassInfo(), "FlashStore")).GetValue(),
        "(empty)");
}

TEST_F(FlashStreamProperty, PickedFileReplacesTheFirstItemsDataUnderItsBareName) {
    host_.Answer = "C:\\Movies\\clips/intro.swf";
    host_.Files[*host_.Answer] = "NEW MOVIE";
    auto editor = Editor();
    editor.Edit();
    ExpectDialogUsedAndFreed();
    EXPECT_EQ(first_->GetFlashStore(), u"intro.swf");
    EXPECT_EQ(DataOf(*first_), "NEW MOVIE");
    EXPECT_EQ(FlashList->Find(u"INTRO.SWF"), first_);
    EXPECT_EQ(FlashList->Find(u"old.swf"), nullptr);
    EXPECT_EQ(second_->GetFlashStore(), u"(empty)") << "only the first selected item is edited";
    EXPECT_EQ(host_.Notices, 1);
    EXPECT_EQ(editor.GetValue(), "intro.swf");
}

TEST_F(FlashStreamProperty, CancelledDialogChangesNothingButNotifies) {
    auto editor = Editor();
    editor.Edit();
    ExpectDialogUsedAndFreed();
    ExpectUnchanged();
    EXPECT_EQ(host_.Notices, 1);
}

TEST_F(FlashStreamProperty, FileThatCannotBeOpenedLeavesTheItemAndSendsNoNotice) {
    host_.Answer = "/nowhere/missing.swf";
    auto editor = Editor();
    EXPECT_THROW(editor.Edit(), EFOpenError);
    ExpectDialogUsedAndFreed();
    ExpectUnchanged();
    EXPECT_EQ(host_.Notices, 0);
}

TEST_F(FlashStreamProperty, ReadFailingPartWayLeavesTheWholeOldMovie) {
    host_.Answer = "/movies/big.swf";
    host_.Files[*host_.Answer] = std::string(10000, 'x');
    host_.FailAfter = 4096;
    auto editor = Editor();
    EXPECT_THROW(editor.Edit(), EReadError);
    ExpectDialogUsedAndFreed();
    ExpectUnchanged();
    EXPECT_EQ(host_.Notices, 0);
}

TEST_F(FlashStreamProperty, EmptyFileEmptiesTheDataButKeepsTheName) {
    host_.Answer = "/movies/empty.swf";
    host_.Files[*host_.Answer] = "";
    auto editor = Editor();
    editor.Edit();
    EXPECT_EQ(first_->Data().GetSize(), 0);
    EXPECT_EQ(first_->GetName(), u"old.swf") << "FlashStore is not set from an empty file";
    EXPECT_EQ(first_->GetFlashStore(), u"(empty)");
    EXPECT_EQ(host_.Notices, 1);
}

TEST_F(FlashStreamProperty, TheHostsOwnFileReadingLoadsFilesFromDisk) {
    const auto path =
        std::filesystem::temp_directory_path() / ("vd-design-" + std::to_string(std::random_device()()) + ".flv");
    {
        std::ofstream f(path, std::ios::binary);
        f << "FLV\x01";
    }
    host_.UseRealFiles = true;
    host_.Answer = path.string();
    Editor().Edit();
    std::filesystem::remove(path);
    EXPECT_EQ(DataOf(*first_), "FLV\x01");
    EXPECT_EQ(first_->GetFlashStore(), Utf8ToWide(path.filename().string()));

    host_.Answer = path.string();  // gone now
    EXPECT_THROW(Editor().Edit(), EFOpenError);
    EXPECT_EQ(DataOf(*first_), "FLV\x01");
}

}  // namespace
