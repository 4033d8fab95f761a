// The ActiveX driver's typed property access, display strings, the shared enumerated-property
// descriptions and method invocation, against the reference control's type library and
// IPerPropertyBrowsing, read back from its journal.
#include "bind_test_support.h"
#include "vd_stringlist.h"

#include <algorithm>

using namespace vd;
using namespace vdtest;
using vd::win32::ComPtr;
using vd::win32::TVariant;

namespace {

const ::testing::Environment* const kUnits = ::testing::AddGlobalTestEnvironment(new ActiveXUnits);

constexpr DISPID kScaleMode = 120, kFrameNum = 107, kScale = 137, kInlineData = 191;
constexpr DISPID kFlashVersion = 132, kSetVariable = 151, kGetVariable = 152;

class Props : public DriverWithJournal {};

TEST_F(Props, TypedAccessorsRoundTripThroughTheControl) {
    driver_->SetIntegerProp(kScaleMode, 2);
    EXPECT_EQ(driver_->GetIntegerProp(kScaleMode), 2);
    driver_->SetWordProp(kFrameNum, 7);
    EXPECT_GE(Find(hooks_, "put_FrameNum 7"), 0);
    driver_->SetStringProp(kScale, "NoBorder");
    EXPECT_EQ(driver_->GetStringProp(kScale), "NoBorder");
    EXPECT_EQ(driver_->GetWideStringProp(kScale), u"NoBorder");
    driver_->SetWideStringProp(flash::DISPID_WMode, u"Opaque");
    EXPECT_EQ(driver_->GetWideStringProp(flash::DISPID_WMode), u"Opaque");
    // Non-text values read as text through the variant conversion.
    EXPECT_EQ(driver_->GetStringProp(kScaleMode), "2");
    TVariant variant = TVariant::Bstr(L"ExactFit");
    driver_->SetVariantProp(kScale, variant.Get());
    EXPECT_EQ(driver_->GetVariantProp(kScale).Get().vt, VT_BSTR);
    EXPECT_EQ(driver_->GetStringProp(kScale), "ExactFit");
}

TEST_F(Props, BooleansAreSentAsMinusOneAndAnEmptyWideStringAsTheNullBstr) {
    driver_->SetWordBoolProp(flash::DISPID_Loop, 1);
    driver_->SetWordBoolProp(flash::DISPID_Loop, -1);
    driver_->SetWordBoolProp(flash::DISPID_Loop, 0);
    driver_->SetOleBoolProp(flash::DISPID_Loop, true);
    const std::vector<std::string> puts = hooks_.Lines("put_Loop");
    EXPECT_EQ(puts, (std::vector<std::string>{"put_Loop -1", "put_Loop -1", "put_Loop 0", "put_Loop -1"}));
    EXPECT_TRUE(driver_->GetWordBoolProp(flash::DISPID_Loop));

    driver_->SetWideStringProp(flash::DISPID_WMode, u"");
    EXPECT_GE(Find(hooks_, "put_WMode \"\" (null)"), 0);
    driver_->SetWideStringProp(flash::DISPID_WMode, u"Transparent");
    EXPECT_GE(Find(hooks_, "put_WMode \"Transparent\""), 0);
    EXPECT_EQ(Find(hooks_, "put_WMode \"Transparent\" (null)"), -1);
}

TEST_F(Props, AnObjectIsPutByReferenceAndReadBackAsTheSameObject) {
    // Any object will do: the control keeps what it is given.
    ComPtr<IDispatch> object;
    ASSERT_EQ(driver_->ClientSite()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.GetAddressOf())),
              S_OK);
    driver_->SetIDispatchProp(kInlineData, object.Get());
    EXPECT_GE(Find(hooks_, "IDispatch::Invoke dispid=191 flags=8 args=1"), 0);
    ComPtr<IUnknown> back = driver_->GetIUnknownProp(kInlineData);
    ComPtr<IUnknown> identity;
    object.As(&identity);
    EXPECT_EQ(back.Get(), identity.Get());
    driver_->SetIUnknownProp(kInlineData, nullptr);
    EXPECT_GE(Find(hooks_, "IDispatch::Invoke dispid=191 flags=4 args=1"), 0);
}

TEST_F(Props, AFailedCallRaisesTheControlsResult) {
    try {
        driver_->GetIntegerProp(9999);
        ADD_FAILURE() << "no error for an unknown property";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), DISP_E_MEMBERNOTFOUND);
    }
}

TEST_F(Props, DisplayStringsComeFromPropertyBrowsingElseFromTheValue) {
    EXPECT_EQ(driver_->GetPropDisplayString(flash::DISPID_Quality), "High");
    EXPECT_EQ(driver_->GetPropDisplayString(kScale), "ShowAll");

    TStringList strings;
    driver_->GetPropDisplayStrings(flash::DISPID_Quality, strings);
    ASSERT_EQ(strings.Count(), 6);
    EXPECT_EQ(strings.Get(0), "Low");
    EXPECT_EQ(strings.Get(4), "Medium");
    // Each string carries its cookie as the item's object.
    EXPECT_EQ(strings.IndexOfObject(reinterpret_cast<TObject*>(uintptr_t{4})), 4);
    EXPECT_EQ(strings.IndexOfObject(reinterpret_cast<TObject*>(uintptr_t{1})), 1);
    driver_->GetPropDisplayStrings(kScale, strings);
    EXPECT_EQ(strings.Count(), 0);

    driver_->SetPropDisplayString(flash::DISPID_Quality, "medium");
    EXPECT_GE(Find(hooks_, "put_Quality 4"), 0);
    EXPECT_EQ(driver_->GetPropDisplayString(flash::DISPID_Quality), "Medium");
    // Text that matches no predefined string is written as the property's text.
    driver_->SetPropDisplayString(kScale, "NoScale");
    EXPECT_EQ(driver_->GetStringProp(kScale), "NoScale");
}

TEST(PropsEnumerations, DescribedOnceSharedByDriversAndFreedWithTheLastOne) {
    auto first = NewDriver();
    ASSERT_TRUE(first->GetIsFlashAvailable());
    ControlHooks hooks;
    hooks.clearJournal();
    const TEnumPropDesc* quality = first->GetEnumPropDesc(flash::DISPID_QualityLevel);
    ASSERT_NE(quality, nullptr);
    EXPECT_EQ(quality->ValueCount, 7);
    ASSERT_EQ(quality->Values.size(), 7u);
    EXPECT_EQ(quality->Values[0].Ident, "vdLowQuality");  // leading underscores dropped
    EXPECT_EQ(quality->Values[6].Ident, "_");             // a lone underscore kept
    EXPECT_EQ(quality->ValueToString(4), "4 - vdMediumQuality");
    EXPECT_EQ(quality->ValueToString(9), "9");
    EXPECT_EQ(quality->StringToValue("2 - whatever"), 2);
    EXPECT_EQ(quality->StringToValue("VDBESTQUALITY"), 5);
    EXPECT_THROW(quality->StringToValue(""), EOleError);
    std::vector<std::string> shown;
    quality->GetStrings([&](const std::string& s) { shown.push_back(s); });
    EXPECT_EQ(shown.front(), "0 - vdLowQuality");
    EXPECT_EQ(first->GetEnumPropDesc(flash::DISPID_Loop), nullptr);

    // The property is both a variable and a property function of the type: one description.
    const TEnumPropDescList& cache = *FlashControlDescription().EnumPropDescs;
    EXPECT_EQ(std::count_if(cache.begin(), cache.end(),
                            [](const auto& d) { return d->DispID == flash::DISPID_QualityLevel; }),
              1);

    auto second = NewDriver();
    EXPECT_EQ(second->GetEnumPropDesc(flash::DISPID_QualityLevel), quality) << "shared, not rebuilt";
    EXPECT_EQ(hooks.Lines("IDispatch::GetTypeInfo").size(), 1u);

    first.reset();
    EXPECT_NE(FlashControlDescription().EnumPropDescs, nullptr);
    second.reset();
    EXPECT_EQ(FlashControlDescription().EnumPropDescs, nullptr);

    // The next driver builds them again on demand.
    auto third = NewDriver();
    EXPECT_NE(third->GetEnumPropDesc(flash::DISPID_QualityLevel), nullptr);
    EXPECT_EQ(hooks.Lines("IDispatch::GetTypeInfo").size(), 2u);
}

TEST_F(Props, MethodsTakeTheirArgumentsInDeclarationOrder) {
    const TVariant name = TVariant::Bstr(L"answer");
    const TVariant value = TVariant::Bstr(L"forty-two");
    const VARIANT pair[] = {name.Get(), value.Get()};
    driver_->InvokeMethod({kSetVariable, VT_EMPTY, DISPATCH_METHOD}, nullptr, pair);
    EXPECT_GE(Find(hooks_, "SetVariable \"answer\" \"forty-two\""), 0);

    std::string text;
    const VARIANT one[] = {name.Get()};
    driver_->InvokeMethod({kGetVariable, VT_BSTR, DISPATCH_METHOD}, &text, one);
    EXPECT_EQ(text, "forty-two");

    int32_t version = 0;
    driver_->InvokeMethod({kFlashVersion, VT_I4, DISPATCH_METHOD}, &version);
    EXPECT_EQ(version >> 16, 10);

    TVariant whole = TVariant::Int(1);
    driver_->InvokeMethod({kGetVariable, VT_VARIANT, DISPATCH_METHOD}, &whole, one);
    ASSERT_EQ(whole.Type(), VT_BSTR);
    EXPECT_EQ(std::wstring(whole.Get().bstrVal), L"forty-two");
}

}  // namespace
