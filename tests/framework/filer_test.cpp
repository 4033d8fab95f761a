// Components stored in and read back from form files, in both formats.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "vd_filer.h"

using namespace vd;

namespace {

enum TTestMode { tmOff, tmSlow, tmFast };
const TIdents TestModeIdents{"tmOff", "tmSlow", "tmFast"};
enum TTestSide { tsLeft, tsTop, tsRight, tsBottom };
using TTestSides = TSet<TTestSide>;
const TIdents TestSideIdents{"tsLeft", "tsTop", "tsRight", "tsBottom"};
const TIdentMap CursorIdents{{"crDefault", 0}, {"crDrag", -12}};
constexpr TColor clWindow = -16777216 + 5;

using TNotifyEvent = std::function<void(TObject*)>;
using TTextEvent = std::function<void(TObject*, const WideString&)>;

class TTestFont : public TPersistent {
    VD_CLASS(TTestFont, TPersistent)
public:
    const std::string& GetName() const { return name_; }
    void SetName(const std::string& v) { name_ = v; }
    int GetSize() const { return size_; }
    void SetSize(int v) { size_ = v; }

private:
    std::string name_ = "Tahoma";
    int size_ = 8;
};
VD_DEFINE_CLASS(TTestFont, StrProp("Name", &T::GetName, &T::SetName), IntProp("Size", &T::GetSize, &T::SetSize, 8))

// A collection item with bytes of its own, stored through DefineProperties.
class TClip : public TCollectionItem {
    VD_CLASS(TClip, TCollectionItem)
public:
    explicit TClip(TCollection* c) : TCollectionItem(c) {}
    std::string GetCaption() const { return caption_; }
    void SetCaption(const std::string& v) { caption_ = v; }
    std::string Bytes;
    void DefineProperties(TFiler& filer) override {
        filer.DefineBinaryProperty(
            "Payload",
            [this](TStream& s) {
                Bytes.resize(static_cast<size_t>(s.GetSize()));
                s.ReadBuffer(Bytes.data(), s.GetSize());
            },
            [this](TStream& s) { s.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size())); }, !Bytes.empty());
    }

private:
    std::string caption_;
};
VD_DEFINE_CLASS(TClip, StrProp("Caption", &T::GetCaption, &T::SetCaption))

class TWidget : public TComponent {
    VD_CLASS(TWidget, TComponent)
public:
    explicit TWidget(TComponent* owner) : TComponent(owner), clips_(TClip::StaticClassInfo(), this) {}

    int GetVolume() const { return volume_; }
    void SetVolume(int v) {
        volume_ = v;
        Log.push_back("Volume");
    }
    int GetCount() const { return count_; }
    void SetCount(int v) {
        count_ = v;
        Log.push_back("Count");
    }
    bool GetTransparent() const { return transparent_; }
    void SetTransparent(bool v) {
        transparent_ = v;
        Log.push_back("Transparent");
    }
    TTestMode GetMode() const { return mode_; }
    void SetMode(TTestMode v) {
        mode_ = v;
        Log.push_back("Mode");
    }
    TTestSides GetSides() const { return sides_; }
    void SetSides(TTestSides v) { sides_ = v; }
    TColor GetColor() const { return color_; }
    void SetColor(TColor v) {
        color_ = v;
        parentColor_ = false;
    }
    bool GetParentColor() const { return parentColor_; }
    void SetParentColor(bool v) { parentColor_ = v; }
    bool IsColorStored() const { return !parentColor_; }
    int GetCursor() const { return cursor_; }
    void SetCursor(int v) { cursor_ = v; }
    std::string GetSkin() const { return skin_; }
    void SetSkin(const std::string& v) { skin_ = v; }
    WideString GetMovie() const { return movie_; }
    void SetMovie(const WideString& v) {
        movie_ = v;
        Log.push_back("Movie");
    }
    WideString GetTitle() const { return title_; }
    void SetTitle(const WideString& v) { title_ = v; }
    TWidget* GetBuddy() const { return buddy_; }
    void SetBuddy(TWidget* v) {
        buddy_ = v;
        if (v) v->FreeNotification(this);
        BuddyStateWhenSet = ComponentState();
    }
    TNotifyEvent GetOnClick() const { return onClick_; }
    void SetOnClick(TNotifyEvent v) { onClick_ = std::move(v); }
    TTextEvent GetOnText() const { return onText_; }
    void SetOnText(TTextEvent v) { onText_ = std::move(v); }
    TCollection* GetClips() { return &clips_; }
    TTestFont* GetFont() { return &font_; }

    void Loaded() override {
        TComponent::Loaded();
        ++LoadedCalls;
        BuddyAtLoaded = buddy_;
    }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove && c == buddy_) buddy_ = nullptr;
    }

    std::vector<std::string> Log;
    int LoadedCalls = 0;
    TWidget* BuddyAtLoaded = nullptr;
    TComponentState BuddyStateWhenSet;

private:
    int volume_ = 50;
    int count_ = 0;
    bool transparent_ = true;
    TTestMode mode_ = tmOff;
    TTestSides sides_{tsLeft, tsTop};
    TColor color_ = clWindow;
    bool parentColor_ = false;
    int cursor_ = 0;
    std::string skin_;
    WideString movie_;
    WideString title_;
    TWidget* buddy_ = nullptr;
    TNotifyEvent onClick_;
    TTextEvent onText_;
    TCollection clips_;
    TTestFont font_;
};
VD_DEFINE_CLASS(TWidget, IntProp("Volume", &T::GetVolume, &T::SetVolume),
                IntProp("Count", &T::GetCount, &T::SetCount, 0),
                BoolProp("Transparent", &T::GetTransparent, &T::SetTransparent, true),
                EnumProp("Mode", &T::GetMode, &T::SetMode, TestModeIdents, tmOff),
                SetProp("Sides", &T::GetSides, &T::SetSides, TestSideIdents, TTestSides{tsLeft, tsTop}),
                ColorProp("Color", &T::GetColor, &T::SetColor, clWindow).StoredBy(&T::IsColorStored),
                BoolProp("ParentColor", &T::GetParentColor, &T::SetParentColor, false),
                IntProp("Cursor", &T::GetCursor, &T::SetCursor, 0, &CursorIdents),
                StrProp("Skin", &T::GetSkin, &T::SetSkin), WStrProp("Movie", &T::GetMovie, &T::SetMovie),
                WStrProp("Title", &T::GetTitle, &T::SetTitle).Always(), CompProp("Buddy", &T::GetBuddy, &T::SetBuddy),
                EventProp("OnClick", &T::GetOnClick, &T::SetOnClick), EventProp("OnText", &T::GetOnText, &T::SetOnText),
                CollectionProp("Clips", &T::GetClips), ObjectProp("Font", &T::GetFont))

// The root: its method table holds the handlers the widgets' events name.
class TTestForm : public TComponent {
    VD_CLASS(TTestForm, TComponent)
public:
    explicit TTestForm(TComponent* owner) : TComponent(owner) {
        PublishMethod<TNotifyEvent>("Widget1Click", [this](TObject* sender) { Clicked.push_back(sender); });
        PublishMethod<TTextEvent>("WidgetText", [this](TObject*, const WideString& s) { Texts.push_back(s); });
    }
    std::vector<TObject*> Clicked;
    std::vector<WideString> Texts;
};
VD_DEFINE_CLASS(TTestForm)

void RegisterTestClasses() {
    RegisterClass(TTestForm::StaticClassInfo());
    RegisterClass(TWidget::StaticClassInfo());
}

TWidget* Widget(TComponent& form, const char* name) { return dynamic_cast<TWidget*>(form.FindComponent(name)); }

// Accessors shared by component classes through a base that is not persistent itself,
// placed second so the persistent part and the mix-in sit at different addresses.
class TTuning {
public:
    virtual ~TTuning() = default;
    int GetLevel() const { return level_; }
    void SetLevel(int v) { level_ = v; }
    const std::string& GetLabel() const { return label_; }
    void SetLabel(const std::string& v) { label_ = v; }
    const TNotifyEvent& GetOnTuned() const { return onTuned_; }
    void SetOnTuned(const TNotifyEvent& v) { onTuned_ = v; }

private:
    int level_ = 5;
    std::string label_;
    TNotifyEvent onTuned_;
};

class TTunedWidget : public TComponent, public TTuning {
    VD_CLASS(TTunedWidget, TComponent)
public:
    explicit TTunedWidget(TComponent* owner) : TComponent(owner) {}
    int Own = 0;
};
VD_DEFINE_CLASS(TTunedWidget, IntProp("Level", &T::GetLevel, &T::SetLevel, 5),
                StrProp("Label", &T::GetLabel, &T::SetLabel), EventProp("OnTuned", &T::GetOnTuned, &T::SetOnTuned),
                IntProp("Own", &T::Own, &T::Own))

// A form with every kind of property set away from its default.
void BuildRichForm(TTestForm& form) {
    form.SetName("Form1");
    auto* w1 = new TWidget(&form);
    w1->SetName("Widget1");
    auto* w2 = new TWidget(&form);
    w2->SetName("Widget2");
    w1->SetVolume(80);
    w1->SetCount(3);
    w1->SetTransparent(false);
    w1->SetMode(tmFast);
    w1->SetSides({tsRight});
    w1->SetColor(0x00FF00);
    w1->SetCursor(-12);
    w1->SetSkin("Steel");
    w1->SetMovie(u"intro \u4E2D.swf");
    w1->SetTitle(u"caf\u00E9");
    w1->SetBuddy(w2);  // refers forward to a later component
    w1->SetOnClick(TNotifyEvent(detail::TNamedMethod<TNotifyEvent>{
        "Widget1Click", *std::any_cast<TNotifyEvent>(form.MethodAddress("Widget1Click"))}));
    w1->GetFont()->SetSize(12);
    auto* clip = static_cast<TClip*>(w1->GetClips()->Add());
    clip->SetCaption("first");
    clip->Bytes = std::string("\x01\x02\x00\xFF", 4);
    static_cast<TClip*>(w1->GetClips()->Add())->SetCaption("second");
    w2->SetParentColor(true);
    w2->SetBuddy(w1);
}

}  // namespace

TEST(FormWriting, StoresWhatDiffersFromDefaultsInDeclaredOrder) {
    TTestForm form(nullptr);
    BuildRichForm(form);
    const std::string text = WriteComponentText(&form);
    const std::string expected =
        "object Form1: TTestForm\r\n"
        "  object Widget1: TWidget\r\n"
        "    Volume = 80\r\n"
        "    Count = 3\r\n"
        "    Transparent = False\r\n"
        "    Mode = tmFast\r\n"
        "    Sides = [tsRight]\r\n"
        "    Color = clLime\r\n"
        "    Cursor = crDrag\r\n"
        "    Skin = 'Steel'\r\n"
        "    Movie = 'intro '#20013'.swf'\r\n"
        "    Title = 'caf'#233\r\n"
        "    Buddy = Widget2\r\n"
        "    OnClick = Widget1Click\r\n"
        "    Clips = <\r\n"
        "      item\r\n"
        "        Caption = 'first'\r\n"
        "        Payload = {\r\n"
        "          010200FF}\r\n"
        "      end\r\n"
        "      item\r\n"
        "        Caption = 'second'\r\n"
        "      end>\r\n"
        "    Font.Name = 'Tahoma'\r\n"
        "    Font.Size = 12\r\n"
        "  end\r\n"
        "  object Widget2: TWidget\r\n"
        "    Volume = 50\r\n"         // no default: always stored
        "    ParentColor = True\r\n"  // and Color is not stored while the parent's is used
        "    Title = ''\r\n"          // always stored even when empty
        "    Buddy = Widget1\r\n"
        "    Font.Name = 'Tahoma'\r\n"
        "  end\r\n"
        "end\r\n";
    EXPECT_EQ(text, expected);
    // The binary writer produces exactly what converting that text gives.
    EXPECT_EQ(WriteComponentBinary(&form), ObjectTextToBinary(text));
}

TEST(FormReading, EveryPropertyKindRoundTripsInBothFormats) {
    RegisterTestClasses();
    TTestForm original(nullptr);
    BuildRichForm(original);
    for (const std::string& stored : {WriteComponentText(&original), WriteComponentBinary(&original)}) {
        TTestForm form(nullptr);
        ReadComponent(stored, &form);
        EXPECT_EQ(form.GetName(), "Form1");
        ASSERT_EQ(form.ComponentCount(), 2);
        TWidget* w1 = Widget(form, "Widget1");
        TWidget* w2 = Widget(form, "Widget2");
        ASSERT_TRUE(w1 && w2);
        EXPECT_EQ(w1->GetVolume(), 80);
        EXPECT_EQ(w1->GetCount(), 3);
        EXPECT_FALSE(w1->GetTransparent());
        EXPECT_EQ(w1->GetMode(), tmFast);
        EXPECT_EQ(w1->GetSides(), TTestSides{tsRight});
        EXPECT_EQ(w1->GetColor(), 0x00FF00);
        EXPECT_EQ(w1->GetCursor(), -12);
        EXPECT_EQ(w1->GetSkin(), "Steel");
        EXPECT_EQ(w1->GetMovie(), u"intro \u4E2D.swf");
        EXPECT_EQ(w1->GetTitle(), u"caf\u00E9");
        EXPECT_EQ(w1->GetBuddy(), w2);
        EXPECT_EQ(w2->GetBuddy(), w1);
        EXPECT_TRUE(w2->GetParentColor());
        EXPECT_EQ(w1->GetFont()->GetSize(), 12);
        ASSERT_EQ(w1->GetClips()->Count(), 2);
        auto* clip = static_cast<TClip*>(w1->GetClips()->GetItem(0));
        EXPECT_EQ(clip->GetCaption(), "first");
        EXPECT_EQ(clip->Bytes, std::string("\x01\x02\x00\xFF", 4));
        EXPECT_TRUE(static_cast<TClip*>(w1->GetClips()->GetItem(1))->Bytes.empty());
        // The event runs the root's method, with the sender the widget passes.
        ASSERT_TRUE(w1->GetOnClick());
        w1->GetOnClick()(w1);
        ASSERT_EQ(form.Clicked.size(), 1u);
        EXPECT_EQ(form.Clicked[0], w1);
        EXPECT_FALSE(w2->GetOnClick());
        // Written again, the form is the same.
        EXPECT_EQ(WriteComponentText(&form), WriteComponentText(&original));
    }
}

TEST(FormReading, PropertiesAreSetInStoredOrderAndLoadedComesLast) {
    RegisterTestClasses();
    const std::string text =
        "object Form1: TTestForm\n"
        "  object A: TWidget\n"
        "    Movie = 'm.swf'\n"
        "    Mode = tmSlow\n"
        "    Volume = 1\n"
        "    Buddy = B\n"
        "  end\n"
        "  object B: TWidget\n"
        "  end\n"
        "end\n";
    TTestForm form(nullptr);
    ReadComponent(text, &form);
    TWidget* a = Widget(form, "A");
    EXPECT_EQ(a->Log, (std::vector<std::string>{"Movie", "Mode", "Volume"}));
    // The forward reference was set once the whole form was read, still while loading,
    // and Loaded saw it.
    EXPECT_TRUE(a->BuddyStateWhenSet.Contains(csLoading));
    EXPECT_EQ(a->BuddyAtLoaded, Widget(form, "B"));
    EXPECT_EQ(a->LoadedCalls, 1);
    EXPECT_FALSE(a->ComponentState().Contains(csLoading));
    EXPECT_FALSE(a->ComponentState().Contains(csReading));
    EXPECT_FALSE(form.ComponentState().Contains(csLoading));
}

TEST(FormReading, PropertiesOfANonPersistentBaseClassRoundTrip) {
    RegisterTestClasses();
    RegisterClass(TTunedWidget::StaticClassInfo());
    TTestForm form(nullptr);
    form.SetName("Form1");
    auto* w = new TTunedWidget(&form);
    w->SetName("Tuned");
    w->SetLevel(9);
    w->SetLabel("low");
    w->Own = 4;
    w->SetOnTuned(TNotifyEvent(detail::TNamedMethod<TNotifyEvent>{
        "Widget1Click", *std::any_cast<TNotifyEvent>(form.MethodAddress("Widget1Click"))}));
    const std::string text = WriteComponentText(&form);
    EXPECT_NE(text.find("Level = 9"), std::string::npos) << text;
    EXPECT_NE(text.find("Label = 'low'"), std::string::npos) << text;
    EXPECT_NE(text.find("OnTuned = Widget1Click"), std::string::npos) << text;

    TTestForm copy(nullptr);
    ReadComponent(WriteComponentBinary(&form), &copy);
    auto* q = dynamic_cast<TTunedWidget*>(copy.FindComponent("Tuned"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->GetLevel(), 9);
    EXPECT_EQ(q->GetLabel(), "low");
    EXPECT_EQ(q->Own, 4);
    ASSERT_TRUE(q->GetOnTuned());
    q->GetOnTuned()(q);
    EXPECT_EQ(copy.Clicked, std::vector<TObject*>{q});
}

TEST(FormReading, CreatesTheRootFromTheRegistryWhenNoneIsGiven) {
    RegisterTestClasses();
    TComponent owner(nullptr);
    TComponent* root = ReadComponent("object F: TTestForm\n object W: TWidget\n end\nend\n", nullptr, &owner);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->ClassName(), "TTestForm");
    EXPECT_EQ(root->GetOwner(), &owner);
    EXPECT_NE(root->FindComponent("W"), nullptr);
}

TEST(FormReading, EventsBindOnlyToMethodsOfTheRightType) {
    RegisterTestClasses();
    {
        TTestForm form(nullptr);
        ReadComponent("object F: TTestForm\n object W: TWidget\n OnText = WidgetText\n end\nend\n", &form);
        Widget(form, "W")->GetOnText()(nullptr, u"hi");
        EXPECT_EQ(form.Texts, std::vector<WideString>{u"hi"});
        // A handler assigned in code is not a method of the form and is not stored.
        Widget(form, "W")->SetOnClick([](TObject*) {});
        EXPECT_EQ(WriteComponentText(&form).find("OnClick"), std::string::npos);
        EXPECT_NE(WriteComponentText(&form).find("OnText = WidgetText"), std::string::npos);
    }
    for (const char* bad : {"OnText = Widget1Click", "OnClick = NoSuchMethod"}) {
        TTestForm form(nullptr);
        const std::string text = std::string("object F: TTestForm\n object W: TWidget\n ") + bad + "\n end\nend\n";
        EXPECT_THROW(ReadComponent(text, &form), EReadError) << bad;
        EXPECT_EQ(form.ComponentCount(), 0) << "components of a failed read are freed";
    }
}

TEST(FormReading, BadValuesAreReportedWithTheirPathAndNotApplied) {
    RegisterTestClasses();
    struct Case {
        const char* prop;
        const char* message;
    };
    const Case cases[] = {
        {"Nope = 1", "Error reading W.Nope: Property Nope does not exist"},
        {"Volume = 'loud'", "Error reading W.Volume: Invalid property value"},
        {"Volume = 3000000000", "Error reading W.Volume: Value 3000000000 out of range for property Volume"},
        {"Mode = tmWarp", "Error reading W.Mode: Invalid property value"},
        {"Sides = [tsLeft, tsMiddle]", "Error reading W.Sides: Invalid set member 'tsMiddle'"},
        {"Transparent = 1", "Error reading W.Transparent: Invalid property value"},
        {"Buddy = Ghost", "Error reading W.Buddy: Invalid reference 'Ghost' in property Buddy"},
        {"Buddy = F", "Error reading W.Buddy: Invalid reference 'F' in property Buddy"},  // wrong class
        {"Font.Colour = 1", "Error reading W.Font.Colour: Property Colour does not exist"},
        {"Skin.Name = 'x'", "Error reading W.Skin.Name: Property Skin has no sub-properties"},
        {"Clips = <\n item\n Payload = 'text'\n end>", "Error reading W.Clips[0].Payload: Invalid property value"},
        {"Color = clNoSuchColour", "Error reading W.Color: Invalid property value"},
    };
    for (const auto& c : cases) {
        TTestForm form(nullptr);
        auto* existing = new TWidget(&form);
        existing->SetName("Keep");
        const std::string text = std::string("object F: TTestForm\n object W: TWidget\n ") + c.prop + "\n end\nend\n";
        try {
            ReadComponent(text, &form);
            ADD_FAILURE() << "accepted: " << c.prop;
        } catch (const EReadError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        // The failed read took back what it created and left the rest alone.
        ASSERT_EQ(form.ComponentCount(), 1) << c.prop;
        EXPECT_EQ(form.GetComponent(0), existing);
        EXPECT_FALSE(form.ComponentState().Contains(csLoading));
        EXPECT_EQ(existing->GetVolume(), 50);
    }
}

TEST(FormReading, CorruptFormsChangeNothing) {
    RegisterTestClasses();
    TTestForm source(nullptr);
    BuildRichForm(source);
    const std::string binary = WriteComponentBinary(&source);
    for (size_t n = 0; n < binary.size(); n += 7) {
        TTestForm form(nullptr);
        EXPECT_THROW(ReadComponent(binary.substr(0, n), &form), EReadError);
        EXPECT_EQ(form.ComponentCount(), 0);
        EXPECT_EQ(form.GetName(), "");
    }
    TTestForm form(nullptr);
    try {
        ReadComponent("object F: TTestForm\n object W: TUnknownThing\n end\nend\n", &form);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_STREQ(e.what(), "Class TUnknownThing not found");
    }
    EXPECT_THROW(ReadComponent("object F: TTestForm\n object W: TWidget\n end\n object w: TWidget\n end\nend\n", &form),
                 EReadError);  // duplicate name
    EXPECT_EQ(form.ComponentCount(), 0);
}
