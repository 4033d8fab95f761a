// Creating the control, setting it up, saving its state and letting it go again.
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
    EventDispatch = std::make_unique<TEventDispatch>(*this);
}

void TvdFlashDriverActiveX::AfterConstruction() {
    TvdFlashDriver::AfterConstruction();
    CreateInstance();
    if (FlashUnavailable) return;
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
    if (ControlInterface) Check(ControlInterface->DisableLocalSecurity());
    // Events fired before this point find empty slots and are dropped.
    OnFSCommandEvent = [this](TObject* sender, const WideString& command, const WideString& args) {
        IntfFSCommand(sender, command, args);
    };
    OnFlashCallEvent = [this](TObject* sender, const WideString& request) {
        IntfFlashPlayerFlashCall(sender, request);
    };
}

TvdFlashDriverActiveX::~TvdFlashDriverActiveX() {
    // Events the control fires while it goes (its timer, its deactivation) reach no one.
    Detach();
    BeginTeardown();
    // An in-place active control deactivates itself here and may call the site back.
    if (OleObject) OleObject->Close(OLECLOSE_NOSAVE);
    DestroyControl();
    DestroyStorage();
    PersistStream.Reset();
    if (OleObject) OleObject->SetClientSite(nullptr);
    OleObject.Reset();
    EventDispatch.reset();
    if (--ControlData->InstanceCount == 0) DestroyEnumPropDescs();
    Control = nullptr;
    FreeBuffer();
    // What the control handed out while in place (a control that skipped deactivating).
    InPlaceActiveObject.Reset();
    InPlaceObject.Reset();
    WindowlessObject.Reset();
    ViewObject.Reset();
    ControlWindow.Reset();
    ControlInterface.Reset();
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

void TvdFlashDriverActiveX::CreateInstance() {
    HRESULT hr = E_FAIL;
    try {
        hr = CoCreateInstance(ControlData->ClassID, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(OleObject.ReleaseAndGetAddressOf()));
    } catch (...) {
        hr = E_FAIL;
    }
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
            Connect(static_cast<IServiceProvider*>(this), IID_IPropertyNotifySink, PropConnection);
            Connect(EventDispatch.get(), ControlData->EventIID, EventsConnection);
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
