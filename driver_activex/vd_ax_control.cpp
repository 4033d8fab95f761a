// Creating the control, setting it up, saving its state and letting it go again.
#include "vd_ax_siteobj.h"
#include "vd_ax_unit.h"

#include <type_traits>

namespace vd {

using namespace ax;
using win32::ComPtr;

static_assert(!std::is_abstract_v<TvdFlashDriverActiveX>, "the driver answers every face it declares");

VD_DEFINE_CLASS(TvdFlashDriverActiveX)

TvdFlashDriverActiveX::TvdFlashDriverActiveX(int width, int height, uint32_t background)
    : TvdFlashDriver(width, height, background) {
    SetComponentStyle(ComponentStyle().Include(csCheckPropAvail));
    InitControlData();
    ++ControlData->InstanceCount;
    Site = win32::Adopt(new TSiteObject(*this));
}

void TvdFlashDriverActiveX::AfterConstruction() {
    TvdFlashDriver::AfterConstruction();
    RequireSingleThreadedApartment();
    CreateInstance();
    if (FlashUnavailable) return;
    try {
        SetUpControl();
    } catch (const EOleError&) {
        // A control that refuses its set-up is not one the driver can host: the player goes
        // on without Flash, as when none is installed.
        DiscardControl();
    }
}

void TvdFlashDriverActiveX::SetUpControl() {
    OleCheck(OleObject->GetMiscStatus(DVASPECT_CONTENT, &MiscStatus));
    const uint32_t reserved = ControlData->Reserved;
    if (!(reserved & 2) && ((MiscStatus & OLEMISC_SETCLIENTSITEFIRST) || (reserved & 1)))
        OleCheck(OleObject->SetClientSite(ClientSite()));
    OleCheck(OleObject.As(&PersistStream));
    // Drawn into our buffer, with what lies under the movie showing through.
    SetWideStringProp(flash::DISPID_WMode, u"Transparent");
    CreateControl();
    const RECT area{0, 0, Width, Height};
    // The control activates itself windowless through the site during this call.
    if (!(MiscStatus & OLEMISC_INVISIBLEATRUNTIME))
        OleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, ClientSite(), 0, nullptr, &area);
    if (WindowlessObject) WindowlessObject->SetObjectRects(&area, &area);
    ComPtr<IOleClientSite> site;
    if (FAILED(OleObject->GetClientSite(&site)) || !site) OleCheck(OleObject->SetClientSite(ClientSite()));
    if (OleControl) OleControl->OnAmbientPropertyChange(DISPID_UNKNOWN);
    if (ControlInterface) Check(ControlInterface.Get(), ControlInterface->DisableLocalSecurity());
    // Events fired before this point find empty slots and are dropped.
    OnFSCommandEvent = [this](TObject* sender, const WideString& command, const WideString& args) {
        IntfFSCommand(sender, command, args);
    };
    OnFlashCallEvent = [this](TObject* sender, const WideString& request) {
        IntfFlashPlayerFlashCall(sender, request);
    };
}

void TvdFlashDriverActiveX::DiscardControl() {
    // As the destructor lets the control go, but the driver lives on without it.
    OnFSCommandEvent = nullptr;
    OnFlashCallEvent = nullptr;
    CloseControl();
    DropControlFaces();
    MiscStatus = 0;
    FlashUnavailable = true;
}

void TvdFlashDriverActiveX::CloseControl() {
    // An in-place active control deactivates itself here and may call the site back.
    if (OleObject) OleObject->Close(OLECLOSE_NOSAVE);
    DestroyControl();
    DestroyStorage();
    PersistStream.Reset();
    if (OleObject) OleObject->SetClientSite(nullptr);
    OleObject.Reset();
}

void TvdFlashDriverActiveX::DropControlFaces() {
    InPlaceActiveObject.Reset();
    InPlaceObject.Reset();
    WindowlessObject.Reset();
    ViewObject.Reset();
    ControlWindow.Reset();
    ControlInterface.Reset();
}

namespace {

// The apartment of the calling thread, when the system can tell (Windows 7 and later).
bool InMultithreadedApartment() {
    using TGetApartmentType = HRESULT(WINAPI*)(APTTYPE*, APTTYPEQUALIFIER*);
    HMODULE ole = GetModuleHandleW(L"ole32.dll");
    const auto get =
        ole ? reinterpret_cast<TGetApartmentType>(reinterpret_cast<void*>(GetProcAddress(ole, "CoGetApartmentType")))
            : nullptr;
    if (get) {
        APTTYPE type = APTTYPE_CURRENT;
        APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
        return SUCCEEDED(get(&type, &qualifier)) && (type == APTTYPE_MTA || type == APTTYPE_NA);
    }
    // Without it: a thread in the multithreaded apartment cannot be made single-threaded.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == RPC_E_CHANGED_MODE;
}

}  // namespace

void TvdFlashDriverActiveX::RequireSingleThreadedApartment() {
    // In the multithreaded apartment COM would run the control in an apartment of its own and
    // the site's callbacks on that apartment's thread, beside the player's.
    if (InMultithreadedApartment())
        throw EOleSysError(
            "The ActiveX driver needs a single-threaded apartment: this thread is in the multithreaded "
            "apartment (create the player on a thread that started OLE with OleInitialize)",
            RPC_E_CHANGED_MODE);
}

TvdFlashDriverActiveX::~TvdFlashDriverActiveX() {
    // Events the control fires while it goes (its timer, its deactivation) reach no one.
    Detach();
    BeginTeardown();
    CloseControl();
    // What the control kept of the site (a late Release, a call) no longer reaches us.
    Site->Disconnect();
    Site.Reset();
    if (--ControlData->InstanceCount == 0) DestroyEnumPropDescs();
    Control = nullptr;
    FreeBuffer();
    // What the control handed out while in place (a control that skipped deactivating).
    DropControlFaces();
    // The last driver after the unit's last shut-down ends OLE.
    EndOleWhenUnused();
}

void TvdFlashDriverActiveX::Detach() {
    TvdFlashDriver::Detach();
    OnReadyStateChange = nullptr;
    OnProgress = nullptr;
    OnFSCommandEvent = nullptr;
    OnFlashCallEvent = nullptr;
}

void TvdFlashDriverActiveX::InitControlData() {
    ControlData = &FlashControlDescription();
    ControlData->FirstEventSlot = 0;
}

namespace {

template <class I> bool Offers(IUnknown* object, const IID& iid) {
    win32::ComPtr<I> face;
    return SUCCEEDED(object->QueryInterface(iid, reinterpret_cast<void**>(face.GetAddressOf()))) && face;
}

}  // namespace

bool OffersControlInterfaces(IUnknown* object) {
    return Offers<IvdFlashPlayer>(object, IID_IvdFlashPlayer) &&
           Offers<IPersistStreamInit>(object, IID_IPersistStreamInit) && Offers<IOleControl>(object, IID_IOleControl) &&
           Offers<IDispatch>(object, IID_IDispatch);
}

void TvdFlashDriverActiveX::CreateInstance() {
    HRESULT hr = E_FAIL;
    try {
        hr = CoCreateInstance(ControlData->ClassID, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(OleObject.ReleaseAndGetAddressOf()));
    } catch (...) {
        hr = E_FAIL;
    }
    // Something registered under the control's class that lacks what the driver uses is not
    // the control: hosted as if there were none.
    if (SUCCEEDED(hr) && OleObject && !OffersControlInterfaces(OleObject.Get())) hr = E_NOINTERFACE;
    if (FAILED(hr) || !OleObject) {
        OleObject.Reset();
        FlashUnavailable = true;
    }
}

void TvdFlashDriverActiveX::CreateControl() {
    if (!OleObject) return;
    if (!OleControl) {
        try {
            ComPtr<IOleClientSite> site;
            if (FAILED(OleObject->GetClientSite(&site)) || !site) OleCheck(OleObject->SetClientSite(ClientSite()));
            if (!SavedState) {
                OleCheck(PersistStream->InitNew());
            } else {
                ComPtr<IStream> stream;
                OleCheck(CreateStreamOnHGlobal(SavedState.Get(), FALSE, &stream));
                OleCheck(PersistStream->Load(stream.Get()));
                stream.Reset();
                DestroyStorage();
            }
            OleCheck(OleObject.As(&OleControl));
            OleCheck(OleObject.As(&ControlDispatch));
            if (FAILED(OleObject.As(&PropBrowsing))) PropBrowsing.Reset();
            Connect(Site->Identity(), IID_IPropertyNotifySink, PropConnection);
            Connect(Site->EventSink(), ControlData->EventIID, EventsConnection);
            OleControl->OnAmbientPropertyChange(DISPID_UNKNOWN);
            RequestNewObjectLayout();
        } catch (...) {
            DestroyControl();
            throw;
        }
    }
    if (!ControlInterface && FAILED(OleObject.As(&ControlInterface)))
        throw EOleSysError("The control does not offer its control interface", E_NOINTERFACE);
}

void TvdFlashDriverActiveX::DestroyControl() {
    if (OleObject) OleObject->Close(OLECLOSE_NOSAVE);
    Disconnect(ControlData->EventIID, EventsConnection);
    Disconnect(IID_IPropertyNotifySink, PropConnection);
    PropBrowsing.Reset();
    ControlDispatch.Reset();
    OleControl.Reset();
}

void TvdFlashDriverActiveX::Connect(IUnknown* sink, const IID& iid, DWORD& cookie) {
    // A control without the connection point simply gets no connection.
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (OleObject && SUCCEEDED(OleObject.As(&container)) && SUCCEEDED(container->FindConnectionPoint(iid, &point)) &&
        point) {
        if (FAILED(point->Advise(sink, &cookie))) cookie = 0;
    }
}

void TvdFlashDriverActiveX::Disconnect(const IID& iid, DWORD& cookie) {
    if (cookie == 0) return;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (OleObject && SUCCEEDED(OleObject.As(&container)) && SUCCEEDED(container->FindConnectionPoint(iid, &point)) &&
        point)
        point->Unadvise(cookie);
    cookie = 0;
}

void TvdFlashDriverActiveX::CreateStorage() {
    if (!PersistStream) return;
    DestroyStorage();
    TGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, 0));
    if (!block) throw EOutOfMemory("Out of memory");
    ComPtr<IStream> stream;
    OleCheck(CreateStreamOnHGlobal(block.Get(), FALSE, &stream));
    OleCheck(PersistStream->Save(stream.Get(), TRUE));
    stream.Reset();
    SavedState = std::move(block);
}

void TvdFlashDriverActiveX::DestroyStorage() { SavedState.Reset(); }

win32::ComPtr<IDispatch> TvdFlashDriverActiveX::GetDefaultDispatch() {
    CreateControl();
    ComPtr<IDispatch> dispatch;
    if (!OleObject || FAILED(OleObject.As(&dispatch)) || !dispatch)
        throw EOleSysError("Interface not supported", E_NOINTERFACE);
    return dispatch;
}

win32::TVariant TvdFlashDriverActiveX::GetOleObject() {
    ComPtr<IDispatch> dispatch = GetDefaultDispatch();
    win32::TVariant v;
    v.Get().vt = VT_DISPATCH;
    v.Get().pdispVal = dispatch.Detach();
    return v;
}

void TvdFlashDriverActiveX::SetName(const std::string& name) {
    TvdFlashDriver::SetName(name);
    if (OleControl) OleControl->OnAmbientPropertyChange(DISPID_AMBIENT_DISPLAYNAME);
}

bool TvdFlashDriverActiveX::SuppressException(const Exception& e) const {
    return dynamic_cast<const EOleSysError*>(&e) != nullptr;
}

}  // namespace vd
