// TvdFlashDriverActiveX as the reference control's container: the once-per-process check that
// makes it the default driver, the order in which the control is created, set up, activated
// and let go, the interfaces the site answers, the ambient properties and the saved state,
// each checked in the control's own journal of the calls it received.
#include "ax_test_support.h"

#include "vd_forms.h"

using namespace vd;
using namespace vdtest;

namespace {

// The first check runs before any test (a player constructor would run it otherwise): what it
// found and what the control saw of it.
struct FirstCheck {
    bool defaultWasInert = false;
    std::vector<std::string> journal;
} first;

class RegisteredUnits : public ActiveXUnits {
public:
    void SetUp() override {
        ActiveXUnits::SetUp();
        first.defaultWasInert = DefaultFlashDriverClass == &TvdFlashDriver::Class();
        CheckFlashPlugins();
        const ControlHooks hooks;
        if (hooks.loaded) first.journal = hooks.Journal();
    }
};
const auto* const units = ::testing::AddGlobalTestEnvironment(new RegisteredUnits());

class ActiveXSite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hooks.loaded);
        hooks.clearJournal();
    }
    ControlHooks hooks;
};

// ---- Availability ---------------------------------------------------------------------------

TEST_F(ActiveXSite, FirstCheckCreatesTheControlOnceReleasesItAndMakesActiveXTheDefault) {
    EXPECT_TRUE(first.defaultWasInert);
    EXPECT_EQ(first.journal,
              (std::vector<std::string>{"IClassFactory::CreateInstance", "created", "ActiveX destroyed"}));
    EXPECT_TRUE(TvdFlashDriverActiveX::PluginExists());
    EXPECT_EQ(DefaultFlashDriverClass, &TvdFlashDriverActiveX::Class());
    // Later checks change nothing and create nothing.
    CheckFlashPlugins();
    EXPECT_TRUE(hooks.Journal().empty());
    EXPECT_EQ(DefaultFlashDriverClass, &TvdFlashDriverActiveX::Class());
}

TEST_F(ActiveXSite, PlayersGetTheActiveXDriverForActiveXAndDefault) {
    auto form = std::make_unique<TForm>(nullptr);
    form->HandleNeeded();
    for (TvdPlugin plugin : {vdDefault, vdActiveX, vdNetscape}) {
        auto* p = new TvdFlashPlayer(form.get());
        p->SetParent(form.get());
        p->SetPlugin(plugin);
        ASSERT_NE(p->Driver(), nullptr);
        // No Netscape plugin here: a request for it falls back to the control.
        EXPECT_EQ(p->Driver()->ClassName(), "TvdFlashDriverActiveX") << plugin;
        EXPECT_TRUE(static_cast<TvdFlashDriverActiveX*>(p->Driver())->GetIsFlashAvailable());
    }
}

// ---- Creation and teardown ------------------------------------------------------------------

TEST_F(ActiveXSite, ControlIsSetUpTransparentThenActivatedWindowlessInItsOrder) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    ASSERT_TRUE(d->GetIsFlashAvailable());
    const std::string events = "{D27CDB6D-AE6D-11CF-96B8-444553540000}";
    const std::string notify = "{9BFBBC02-EFF1-101A-84ED-00AA00341D07}";
    EXPECT_EQ(hooks.Journal(), (std::vector<std::string>{
                                   "IClassFactory::CreateInstance",
                                   "created",
                                   "IOleObject::GetMiscStatus aspect=1",
                                   // the first property write sets the control up
                                   "IOleObject::GetClientSite",
                                   "IOleObject::SetClientSite site",
                                   "IPersistStreamInit::InitNew",
                                   "Advise " + notify + " cookie=1",
                                   "Advise " + events + " cookie=1",
                                   "IOleControl::OnAmbientPropertyChange -1",
                                   "ambient UserMode true",
                                   "ambient DisplayName \"\"",
                                   "IDispatch::Invoke dispid=133 flags=4 args=1",
                                   "put_WMode \"Transparent\"",
                                   "IOleObject::DoVerb verb=-5 site=given lindex=0 parent=0x0 pos=0,0,40,30",
                                   "-> CanInPlaceActivate hr=0x0",
                                   "-> CanWindowlessActivate hr=0x0",
                                   "-> OnInPlaceActivateEx flags=ACTIVATE_WINDOWLESS hr=0x0",
                                   "-> GetWindowContext hr=0x0 pos=0,0,40,30 clip=0,0,32767,32767 frame=given",
                                   "IOleInPlaceObject::SetObjectRects pos=0,0,40,30 clip=0,0,40,30",
                                   "IOleObject::GetClientSite",
                                   "IOleControl::OnAmbientPropertyChange -1",
                                   "ambient UserMode true",
                                   "ambient DisplayName \"\"",
                                   "DisableLocalSecurity",
                               }));
    EXPECT_TRUE(d->WindowlessObject);
    EXPECT_TRUE(d->ViewObject);
    EXPECT_TRUE(d->InPlaceObject);
    EXPECT_TRUE(d->InPlaceActiveObject);
    EXPECT_TRUE(d->ControlWindow);
    EXPECT_TRUE(d->ControlInterface);
    EXPECT_TRUE(d->OleControl);
    EXPECT_NE(d->EventsConnection, 0u);
    EXPECT_NE(d->PropConnection, 0u);
    EXPECT_EQ(d->ControlData->InstanceCount, 1);
}

TEST_F(ActiveXSite, TeardownClosesFirstAndLeavesNothingOfTheControlAlive) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    d->ForceUpdate();
    hooks.clearJournal();
    d.reset();
    const auto j = hooks.Journal();
    const std::string events = "{D27CDB6D-AE6D-11CF-96B8-444553540000}";
    const std::string notify = "{9BFBBC02-EFF1-101A-84ED-00AA00341D07}";
    // After the first Close only the teardown itself: no drawing, no messages, no scripting.
    EXPECT_EQ(j, (std::vector<std::string>{
                     "IOleObject::Close 1",
                     "-> OnInPlaceDeactivateEx hr=0x0",
                     "IOleObject::Close 1",
                     "Unadvise " + events + " cookie=1",
                     "Unadvise " + notify + " cookie=1",
                     "IOleObject::SetClientSite null",
                     "ActiveX destroyed",
                 }));
    // Every reference either side handed out was given back: the control is gone.
    EXPECT_EQ(hooks.CanUnloadNow(), S_OK);
    EXPECT_EQ(FlashControlDescription().InstanceCount, 0);
}

TEST_F(ActiveXSite, ReferencesTheControlTookOfTheSiteAreItsOwnCount) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    // The control holds the client site, its in-place sites and both sinks.
    EXPECT_GT(d->SiteReferences(), 0);
    const LONG before = d->SiteReferences();
    win32::ComPtr<IUnknown> unknown;
    ASSERT_EQ(d->ClientSite()->QueryInterface(IID_PPV_ARGS(unknown.ReleaseAndGetAddressOf())), S_OK);
    EXPECT_EQ(d->SiteReferences(), before + 1);
    // Releasing never ends the site while the driver holds it: the driver's own reference stays.
    unknown.Reset();
    EXPECT_EQ(d->SiteReferences(), before);
}

TEST_F(ActiveXSite, SavedStateIsRestoredWhenTheControlIsCreatedAgain) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    d->SetLoop(true);
    d->CreateStorage();
    EXPECT_TRUE(d->SavedState);
    EXPECT_TRUE(Has(hooks.Journal(), "IPersistStreamInit::Save clearDirty=1"));
    d->SetLoop(false);
    d->DestroyControl();
    EXPECT_FALSE(d->OleControl);
    hooks.clearJournal();
    d->CreateControl();
    const auto j = hooks.Journal();
    EXPECT_TRUE(Has(j, "IPersistStreamInit::Load"));
    EXPECT_FALSE(Has(j, "IPersistStreamInit::InitNew"));
    EXPECT_FALSE(d->SavedState);  // used once
    EXPECT_TRUE(d->GetLoop());
    // Without saved state the control starts afresh.
    d->DestroyControl();
    hooks.clearJournal();
    d->CreateControl();
    EXPECT_TRUE(Has(hooks.Journal(), "IPersistStreamInit::InitNew"));
}

// ---- The interfaces the site answers --------------------------------------------------------

template <class I> I* Query(TvdFlashDriverActiveX& d, REFIID iid, HRESULT expected = S_OK) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(d.ClientSite()->QueryInterface(iid, &out), expected);
    if (expected != S_OK) {
        EXPECT_EQ(out, nullptr);
        return nullptr;
    }
    // The reference goes at once; the driver outlives every reference.
    win32::Adopt(static_cast<IUnknown*>(out));
    return static_cast<I*>(out);
}

TEST_F(ActiveXSite, QueryInterfaceAnswersTheSiteFacesAndNothingElse) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    const IID answered[] = {IID_IServiceProvider,
                            IID_IBindHost,
                            IID_IMoniker,
                            IID_IPropertyNotifySink,
                            IID_IOleInPlaceUIWindow,
                            IID_IDispatch,
                            IID_IOleInPlaceFrame,
                            IID_IOleInPlaceSiteWindowless,
                            IID_IOleInPlaceSite,
                            IID_IOleWindow,
                            IID_IOleControlSite,
                            IID_IOleClientSite,
                            IID_IUnknown};
    for (const IID& iid : answered) Query<IUnknown>(*d, iid);
    // The extended site is reached only through the windowless one.
    Query<IUnknown>(*d, IID_IOleInPlaceSiteEx, E_NOINTERFACE);
    Query<IUnknown>(*d, IID_IOleContainer, E_NOINTERFACE);
    Query<IUnknown>(*d, IID_IPersist, E_NOINTERFACE);
    Query<IUnknown>(*d, GUID_NULL, E_NOINTERFACE);
    // IUnknown is the service provider, whichever face is asked.
    EXPECT_EQ(Query<IUnknown>(*d, IID_IUnknown),
              static_cast<IUnknown*>(Query<IServiceProvider>(*d, IID_IServiceProvider)));
    auto* frame = Query<IOleInPlaceFrame>(*d, IID_IOleInPlaceFrame);
    win32::ComPtr<IUnknown> viaFrame;
    ASSERT_EQ(frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(viaFrame.GetAddressOf())), S_OK);
    EXPECT_EQ(viaFrame.Get(), Query<IUnknown>(*d, IID_IUnknown));
    // The client site handed to the control is the driver's IOleClientSite.
    EXPECT_EQ(Query<IOleClientSite>(*d, IID_IOleClientSite), d->ClientSite());
}

TEST_F(ActiveXSite, QueryServiceOfAnyServiceAnswersTheSiteFaces) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    auto* sp = Query<IServiceProvider>(*d, IID_IServiceProvider);
    const GUID someService = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    win32::ComPtr<IOleClientSite> site;
    ASSERT_EQ(sp->QueryService(someService, IID_IOleClientSite, reinterpret_cast<void**>(site.GetAddressOf())), S_OK);
    EXPECT_EQ(site.Get(), d->ClientSite());
    win32::ComPtr<IBindHost> host;
    ASSERT_EQ(sp->QueryService(IID_IBindHost, IID_IBindHost, reinterpret_cast<void**>(host.GetAddressOf())), S_OK);
    EXPECT_EQ(host.Get(), Query<IBindHost>(*d, IID_IBindHost));
    void* none = nullptr;
    EXPECT_EQ(sp->QueryService(someService, IID_IOleInPlaceSiteEx, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ActiveXSite, WindowFacesAnswerNoWindowWhileTheWindowlessSiteRefuses) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    HWND h = reinterpret_cast<HWND>(1);
    EXPECT_EQ(Query<IOleInPlaceSite>(*d, IID_IOleInPlaceSite)->GetWindow(&h), S_OK);
    EXPECT_EQ(h, nullptr);
    h = reinterpret_cast<HWND>(1);
    EXPECT_EQ(Query<IOleWindow>(*d, IID_IOleWindow)->GetWindow(&h), S_OK);
    EXPECT_EQ(h, nullptr);
    h = reinterpret_cast<HWND>(1);
    EXPECT_EQ(Query<IOleInPlaceFrame>(*d, IID_IOleInPlaceFrame)->GetWindow(&h), S_OK);
    EXPECT_EQ(h, nullptr);
    h = reinterpret_cast<HWND>(1);
    EXPECT_EQ(Query<IOleInPlaceSiteWindowless>(*d, IID_IOleInPlaceSiteWindowless)->GetWindow(&h), E_FAIL);
    EXPECT_EQ(h, nullptr);
}

TEST_F(ActiveXSite, SiteMethodsAnswerAsAContainerWithoutUiWould) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    auto* wl = Query<IOleInPlaceSiteWindowless>(*d, IID_IOleInPlaceSiteWindowless);
    EXPECT_EQ(wl->CanWindowlessActivate(), S_OK);
    EXPECT_EQ(wl->GetCapture(), S_FALSE);
    EXPECT_EQ(wl->GetFocus(), S_OK);
    HDC dc = nullptr;
    EXPECT_EQ(wl->GetDC(nullptr, 0, &dc), S_OK);
    EXPECT_EQ(dc, d->BufferDC);
    auto* frame = Query<IOleInPlaceFrame>(*d, IID_IOleInPlaceFrame);
    RECT border{};
    EXPECT_EQ(frame->GetBorder(&border), INPLACE_E_NOTOOLSPACE);
    EXPECT_EQ(frame->RequestBorderSpace(nullptr), INPLACE_E_NOTOOLSPACE);
    EXPECT_EQ(frame->SetBorderSpace(nullptr), E_NOTIMPL);
    EXPECT_EQ(frame->TranslateAccelerator(nullptr, 0), S_FALSE);
    auto* cs = Query<IOleControlSite>(*d, IID_IOleControlSite);
    EXPECT_EQ(cs->TranslateAccelerator(nullptr, 0), E_NOTIMPL);
    IDispatch* extended = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(cs->GetExtendedControl(&extended), E_NOTIMPL);
    EXPECT_EQ(extended, nullptr);
    IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
    EXPECT_EQ(d->ClientSite()->GetContainer(&container), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);
    // HIMETRIC and container coordinates at the screen's resolution, both ways.
    int ppi = 96;
    {
        const win32::TWindowDC screen(nullptr);
        ppi = GetDeviceCaps(screen.Get(), LOGPIXELSX);
    }
    POINTL him{2540, 5080};
    POINTF px{};
    EXPECT_EQ(cs->TransformCoords(&him, &px, XFORMCOORDS_HIMETRICTOCONTAINER), S_OK);
    EXPECT_FLOAT_EQ(px.x, static_cast<float>(ppi));
    EXPECT_FLOAT_EQ(px.y, static_cast<float>(2 * ppi));
    px = POINTF{static_cast<float>(ppi) / 2, static_cast<float>(ppi)};
    EXPECT_EQ(cs->TransformCoords(&him, &px, XFORMCOORDS_CONTAINERTOHIMETRIC), S_OK);
    EXPECT_EQ(him.x, 1270);
    EXPECT_EQ(him.y, 2540);
    // The active object the frame is given is the one the driver keeps.
    EXPECT_EQ(frame->SetActiveObject(nullptr, nullptr), S_OK);
    EXPECT_FALSE(d->InPlaceActiveObject);
}

// ---- Ambient properties ---------------------------------------------------------------------

HRESULT Ambient(TvdFlashDriverActiveX& d, DISPID id, win32::TVariant& value, WORD flags = DISPATCH_PROPERTYGET) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return Query<IDispatch>(d, IID_IDispatch)->Invoke(id, IID_NULL, 0, flags, &none, value.Out(), nullptr, nullptr);
}

TEST_F(ActiveXSite, AmbientPropertiesAreAnsweredFromTheTable) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    struct Expected {
        DISPID id;
        bool value;
    };
    for (const Expected& e : {Expected{-715, true}, Expected{-714, true}, Expected{-712, false}, Expected{-711, false},
                              Expected{-710, false}, Expected{-709, true}, Expected{-706, true}}) {
        win32::TVariant v;
        ASSERT_EQ(Ambient(*d, e.id, v), S_OK) << e.id;
        EXPECT_EQ(v.Type(), VT_BOOL) << e.id;
        EXPECT_EQ(v.Get().boolVal, e.value ? VARIANT_TRUE : VARIANT_FALSE) << e.id;
    }
    win32::TVariant locale;
    ASSERT_EQ(Ambient(*d, -705, locale), S_OK);
    EXPECT_EQ(locale.Type(), VT_I4);
    EXPECT_EQ(static_cast<LCID>(locale.Get().lVal), GetUserDefaultLCID());
    for (DISPID other : {-713, -708, -707, -704, -703, -701, 0, 133}) {
        win32::TVariant v;
        EXPECT_EQ(Ambient(*d, other, v), DISP_E_MEMBERNOTFOUND) << other;
    }
    // Only reading is answered.
    win32::TVariant v;
    EXPECT_EQ(Ambient(*d, -709, v, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Ambient(*d, -709, v, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
}

TEST_F(ActiveXSite, DisplayNameFollowsSetNameAndTheControlIsTold) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    win32::TVariant name;
    ASSERT_EQ(Ambient(*d, -702, name), S_OK);
    EXPECT_EQ(name.Type(), VT_BSTR);
    EXPECT_EQ(win32::TBstr::Text(name.Get().bstrVal), L"");
    hooks.clearJournal();
    d->SetName("Intro");
    EXPECT_EQ(hooks.Journal(),
              (std::vector<std::string>{"IOleControl::OnAmbientPropertyChange -702", "ambient DisplayName \"Intro\""}));
    ASSERT_EQ(Ambient(*d, -702, name), S_OK);
    EXPECT_EQ(win32::TBstr::Text(name.Get().bstrVal), L"Intro");
}

// ---- Helpers of the driver ------------------------------------------------------------------

TEST_F(ActiveXSite, DefaultDispatchIsTheControlsAndOleErrorsAreTheOnesSuppressed) {
    auto d = MakeDriver(40, 30, 0xFF008080);
    const auto dispatch = d->GetDefaultDispatch();
    ASSERT_TRUE(dispatch);
    win32::ComPtr<IUnknown> a, b;
    dispatch.As(&a);
    d->OleObject.As(&b);
    EXPECT_EQ(a.Get(), b.Get());
    win32::TVariant v = d->GetOleObject();
    EXPECT_EQ(v.Type(), VT_DISPATCH);
    EXPECT_TRUE(d->SuppressException(EOleSysError("x", E_FAIL)));
    EXPECT_TRUE(d->SuppressException(EOleException("x", DISP_E_EXCEPTION, "s", "", 0)));
    EXPECT_FALSE(d->SuppressException(EConvertError("x")));
}

}  // namespace
