// The site object and its faces: the COM identities the control is handed, and how they are
// cut off when the driver goes.
#include "vd_ax_siteobj.h"

#include <algorithm>

#include "vd_ax_unit.h"

namespace vd {

using win32::ComPtr;
using win32::InterfaceRow;
using win32::TInterfaceRow;

namespace ax {

// ---- The site -------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TSiteObject::QueryInterface(REFIID riid, void** object) {
    if (!driver_) {
        if (object) *object = nullptr;
        return E_UNEXPECTED;
    }
    // The site's faces in the order a query finds them. IOleInPlaceSiteEx is reached only
    // through the windowless site, which inherits it; IUnknown is the service provider.
    using S = TSiteObject;
    static const TInterfaceRow<S> kInterfaces[] = {
        InterfaceRow<S, IServiceProvider>(IID_IServiceProvider),
        InterfaceRow<S, IBindHost>(IID_IBindHost),
        InterfaceRow<S, IMoniker>(IID_IMoniker),
        InterfaceRow<S, IPropertyNotifySink>(IID_IPropertyNotifySink),
        {&IID_IOleInPlaceUIWindow, [](S* s) -> IUnknown* { return &s->frame_; }, nullptr},
        InterfaceRow<S, IDispatch>(IID_IDispatch),
        {&IID_IOleInPlaceFrame, [](S* s) -> IUnknown* { return &s->frame_; }, nullptr},
        InterfaceRow<S, IOleInPlaceSiteWindowless>(IID_IOleInPlaceSiteWindowless),
        {&IID_IOleInPlaceSite, [](S* s) -> IUnknown* { return &s->inPlace_; }, nullptr},
        {&IID_IOleWindow, [](S* s) -> IUnknown* { return &s->inPlace_; }, nullptr},
        InterfaceRow<S, IOleControlSite>(IID_IOleControlSite),
        InterfaceRow<S, IOleClientSite>(IID_IOleClientSite),
        InterfaceRow<S, IServiceProvider>(IID_IUnknown),
    };
    return win32::QueryInterfaceFrom(this, kInterfaces, riid, object);
}

ULONG STDMETHODCALLTYPE TSiteObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG STDMETHODCALLTYPE TSiteObject::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

void TSiteObject::Untrack(THandedObject* object) {
    handed_.erase(std::remove(handed_.begin(), handed_.end(), object), handed_.end());
}

void TSiteObject::Disconnect() {
    if (!driver_) return;
    const ComPtr<TSiteObject> keep(this);
    driver_ = nullptr;
    // Held while they are cut off: cutting one may let go of another.
    std::vector<THandedObject*> handed = handed_;
    std::vector<ComPtr<IUnknown>> holds;
    holds.reserve(handed.size());
    for (THandedObject* object : handed) holds.emplace_back(object->Identity());
    for (THandedObject* object : handed) object->Disconnect();
    // Whatever COM still holds for a client of ours (a proxy's stub) goes now as well.
    CoDisconnectObject(Identity(), 0);
    CoDisconnectObject(&events_, 0);
    for (const ComPtr<IUnknown>& object : holds) CoDisconnectObject(object.Get(), 0);
}

// ---- The in-place site's and the frame's faces -----------------------------------------------

HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::QueryInterface(REFIID riid, void** object) {
    return site_.QueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE TInPlaceSiteFace::AddRef() { return site_.AddRef(); }
ULONG STDMETHODCALLTYPE TInPlaceSiteFace::Release() { return site_.Release(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::GetWindow(HWND* window) {
    if (!site_.Driver()) return E_UNEXPECTED;
    if (!window) return E_POINTER;
    *window = nullptr;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::ContextSensitiveHelp(BOOL) { return site_.Driver() ? S_OK : E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::CanInPlaceActivate() { return site_.CanInPlaceActivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnInPlaceActivate() { return site_.OnInPlaceActivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnUIActivate() { return site_.OnUIActivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                                             LPRECT posRect, LPRECT clipRect,
                                                             LPOLEINPLACEFRAMEINFO frameInfo) {
    return site_.GetWindowContext(frame, doc, posRect, clipRect, frameInfo);
}
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::Scroll(SIZE extent) { return site_.Scroll(extent); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnUIDeactivate(BOOL undoable) { return site_.OnUIDeactivate(undoable); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnInPlaceDeactivate() { return site_.OnInPlaceDeactivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::DiscardUndoState() { return site_.DiscardUndoState(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::DeactivateAndUndo() { return site_.DeactivateAndUndo(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnPosRectChange(LPCRECT posRect) { return site_.OnPosRectChange(posRect); }

HRESULT STDMETHODCALLTYPE TFrameFace::QueryInterface(REFIID riid, void** object) {
    return site_.QueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE TFrameFace::AddRef() { return site_.AddRef(); }
ULONG STDMETHODCALLTYPE TFrameFace::Release() { return site_.Release(); }
HRESULT STDMETHODCALLTYPE TFrameFace::GetWindow(HWND* window) {
    if (!site_.Driver()) return E_UNEXPECTED;
    if (!window) return E_POINTER;
    *window = nullptr;
    return S_OK;
}
// The frame has no tools, menus or status line of its own: what it answers is fixed, but
// only while the driver is there.
#define VD_AX_FRAME_ANSWER(answer) return site_.Driver() ? (answer) : E_UNEXPECTED
HRESULT STDMETHODCALLTYPE TFrameFace::ContextSensitiveHelp(BOOL) { VD_AX_FRAME_ANSWER(S_OK); }
HRESULT STDMETHODCALLTYPE TFrameFace::GetBorder(LPRECT) { VD_AX_FRAME_ANSWER(INPLACE_E_NOTOOLSPACE); }
HRESULT STDMETHODCALLTYPE TFrameFace::RequestBorderSpace(LPCBORDERWIDTHS) { VD_AX_FRAME_ANSWER(INPLACE_E_NOTOOLSPACE); }
HRESULT STDMETHODCALLTYPE TFrameFace::SetBorderSpace(LPCBORDERWIDTHS) { VD_AX_FRAME_ANSWER(E_NOTIMPL); }
HRESULT STDMETHODCALLTYPE TFrameFace::SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR) {
    TvdFlashDriverActiveX* const driver = site_.Driver();
    return driver ? driver->SetActiveObject(activeObject) : E_UNEXPECTED;
}
HRESULT STDMETHODCALLTYPE TFrameFace::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { VD_AX_FRAME_ANSWER(S_OK); }
HRESULT STDMETHODCALLTYPE TFrameFace::SetMenu(HMENU, HOLEMENU, HWND) { VD_AX_FRAME_ANSWER(S_OK); }
HRESULT STDMETHODCALLTYPE TFrameFace::RemoveMenus(HMENU) { VD_AX_FRAME_ANSWER(S_OK); }
HRESULT STDMETHODCALLTYPE TFrameFace::SetStatusText(LPCOLESTR) { VD_AX_FRAME_ANSWER(S_OK); }
HRESULT STDMETHODCALLTYPE TFrameFace::EnableModeless(BOOL) { VD_AX_FRAME_ANSWER(S_OK); }
HRESULT STDMETHODCALLTYPE TFrameFace::TranslateAccelerator(LPMSG, WORD) { VD_AX_FRAME_ANSWER(S_FALSE); }
#undef VD_AX_FRAME_ANSWER

// ---- The event sink -------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TEventDispatch::QueryInterface(REFIID riid, void** object) {
    if (!site_.Driver()) {
        if (object) *object = nullptr;
        return E_UNEXPECTED;
    }
    // The control's event interface is answered by the sink's IDispatch.
    static const TInterfaceRow<TEventDispatch> kInterfaces[] = {
        InterfaceRow<TEventDispatch, IDispatch>(IID_IUnknown),
        InterfaceRow<TEventDispatch, IDispatch>(IID_IDispatch),
        InterfaceRow<TEventDispatch, IDispatch>(FlashControlDescription().EventIID),
    };
    return win32::QueryInterfaceFrom(this, kInterfaces, riid, object);
}
ULONG STDMETHODCALLTYPE TEventDispatch::AddRef() { return site_.AddRef(); }
ULONG STDMETHODCALLTYPE TEventDispatch::Release() { return site_.Release(); }
HRESULT STDMETHODCALLTYPE TEventDispatch::GetTypeInfoCount(UINT* count) {
    if (!site_.Driver()) return E_UNEXPECTED;
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TEventDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (!site_.Driver()) return E_UNEXPECTED;
    if (info) *info = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE TEventDispatch::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return site_.Driver() ? E_NOTIMPL : E_UNEXPECTED;
}
HRESULT STDMETHODCALLTYPE TEventDispatch::Invoke(DISPID dispID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                                 EXCEPINFO*, UINT*) {
    TvdFlashDriverActiveX* const driver = site_.Driver();
    if (!driver) return E_UNEXPECTED;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    try {
        driver->InvokeEvent(dispID, params ? *params : none);
    } catch (...) {
        ReportHandlerException(driver);
    }
    return S_OK;
}

}  // namespace ax

// ---- The driver's side ------------------------------------------------------------------------

IOleClientSite* TvdFlashDriverActiveX::ClientSite() const { return Site ? Site->ClientSite() : nullptr; }
IDispatch* TvdFlashDriverActiveX::EventSink() const { return Site ? Site->EventSink() : nullptr; }
LONG TvdFlashDriverActiveX::SiteReferences() const { return Site ? Site->References() - 1 : 0; }

}  // namespace vd
