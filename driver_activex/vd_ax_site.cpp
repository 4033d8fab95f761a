// The container site the control calls back: the interfaces the driver answers, the ambient
// properties, and the client, control, in-place, windowless and frame sites. Nothing here
// raises: every method answers with a result code.
#include "vd_ax_unit.h"

#include <cmath>

#include "vd_forms.h"

namespace vd {

using namespace ax;
using win32::ComPtr;
using win32::InterfaceRow;
using win32::TInterfaceRow;

namespace {

using D = TvdFlashDriverActiveX;

constexpr RECT kUnboundedClip{0, 0, 32767, 32767};

// One ambient property: its DISPID and how its value is made.
struct TAmbient {
    DISPID Id;
    win32::TVariant (*Value)(const D&);
};

win32::TVariant True(const D&) { return win32::TVariant::Bool(true); }
win32::TVariant False(const D&) { return win32::TVariant::Bool(false); }

const TAmbient kAmbients[] = {
    {DISPID_AMBIENT_AUTOCLIP, True},
    {DISPID_AMBIENT_SUPPORTSMNEMONICS, True},
    {DISPID_AMBIENT_SHOWHATCHING, False},
    {DISPID_AMBIENT_SHOWGRABHANDLES, False},
    {DISPID_AMBIENT_UIDEAD, [](const D& d) { return win32::TVariant::Bool(d.ComponentState().Contains(csDesigning)); }},
    {DISPID_AMBIENT_USERMODE, True},
    {DISPID_AMBIENT_MESSAGEREFLECT, True},
    {DISPID_AMBIENT_LOCALEID, [](const D&) { return win32::TVariant::Int(static_cast<LONG>(GetUserDefaultLCID())); }},
    {DISPID_AMBIENT_DISPLAYNAME, [](const D& d) { return win32::TVariant::Bstr(win32::Utf8ToWide(d.GetName())); }},
};

}  // namespace

// ---- IUnknown -------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::QueryInterface(REFIID riid, void** object) {
    // The site's faces in the order a query finds them. IOleInPlaceSiteEx is reached only
    // through the windowless site, which inherits it; IUnknown is the service provider.
    static const TInterfaceRow<D> kInterfaces[] = {
        InterfaceRow<D, IServiceProvider>(IID_IServiceProvider),
        InterfaceRow<D, IBindHost>(IID_IBindHost),
        InterfaceRow<D, IMoniker>(IID_IMoniker),
        InterfaceRow<D, IPropertyNotifySink>(IID_IPropertyNotifySink),
        {&IID_IOleInPlaceUIWindow, [](D* d) -> IUnknown* { return &d->frameFace_; }, nullptr},
        InterfaceRow<D, IDispatch>(IID_IDispatch),
        {&IID_IOleInPlaceFrame, [](D* d) -> IUnknown* { return &d->frameFace_; }, nullptr},
        InterfaceRow<D, IOleInPlaceSiteWindowless>(IID_IOleInPlaceSiteWindowless),
        {&IID_IOleInPlaceSite, [](D* d) -> IUnknown* { return &d->inPlaceSiteFace_; }, nullptr},
        {&IID_IOleWindow, [](D* d) -> IUnknown* { return &d->inPlaceSiteFace_; }, nullptr},
        InterfaceRow<D, IOleControlSite>(IID_IOleControlSite),
        InterfaceRow<D, IOleClientSite>(IID_IOleClientSite),
        InterfaceRow<D, IServiceProvider>(IID_IUnknown),
    };
    return win32::QueryInterfaceFrom(this, kInterfaces, riid, object);
}

// Counts only: the driver belongs to the player that created it.
ULONG STDMETHODCALLTYPE TvdFlashDriverActiveX::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&RefCount)); }
ULONG STDMETHODCALLTYPE TvdFlashDriverActiveX::Release() { return static_cast<ULONG>(InterlockedDecrement(&RefCount)); }

// ---- IPropertyNotifySink --------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnChanged(DISPID) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnRequestEdit(DISPID) { return S_OK; }

// ---- IDispatch: ambient properties ----------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Invoke(DISPID dispID, REFIID, LCID, WORD flags, DISPPARAMS*,
                                                        VARIANT* result, EXCEPINFO*, UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    return SiteCall(this, E_FAIL, [&]() -> HRESULT {
        for (const TAmbient& ambient : kAmbients) {
            if (ambient.Id != dispID) continue;
            ambient.Value(*this).Detach(result);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    });
}

// ---- IOleClientSite -------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::SaveObject() { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::ShowObject() { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnShowWindow(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::RequestNewObjectLayout() { return S_OK; }

// ---- IOleControlSite ------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnControlInfoChanged() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::LockInPlaceActive(BOOL) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetExtendedControl(IDispatch** control) {
    if (control) *control = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) {
    if (!himetric || !container) return E_POINTER;
    int perInch = 96;
    {
        const win32::TWindowDC screen(nullptr);
        if (screen) perInch = GetDeviceCaps(screen.Get(), LOGPIXELSX);
    }
    if (perInch <= 0) perInch = 96;
    if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
        container->x = static_cast<float>(MulDiv(himetric->x, perInch, 2540));
        container->y = static_cast<float>(MulDiv(himetric->y, perInch, 2540));
    } else {
        himetric->x = std::lround(container->x * 2540.0 / perInch);
        himetric->y = std::lround(container->y * 2540.0 / perInch);
    }
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::TranslateAccelerator(MSG*, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnFocus(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::ShowPropertyFrame() { return E_NOTIMPL; }

// ---- IOleInPlaceSite ------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::CanInPlaceActivate() { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnInPlaceActivate() {
    TakeInPlaceInterfaces();
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnUIActivate() { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                                                  LPRECT posRect, LPRECT clipRect,
                                                                  LPOLEINPLACEFRAMEINFO frameInfo) {
    if (frame) {
        *frame = &frameFace_;
        frameFace_.AddRef();
    }
    if (doc) *doc = nullptr;
    if (posRect) *posRect = RECT{0, 0, Width, Height};
    if (clipRect) *clipRect = kUnboundedClip;
    if (frameInfo) {
        frameInfo->fMDIApp = FALSE;
        frameInfo->hwndFrame = nullptr;
        frameInfo->haccel = nullptr;
        frameInfo->cAccelEntries = 0;
    }
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Scroll(SIZE) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnUIDeactivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnInPlaceDeactivate() {
    InPlaceActiveObject.Reset();
    InPlaceObject.Reset();
    WindowlessObject.Reset();
    ViewObject.Reset();
    ControlWindow.Reset();
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::DiscardUndoState() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::DeactivateAndUndo() {
    if (ComPtr<IOleInPlaceObject> object = InPlaceObject) object->UIDeactivate();
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnPosRectChange(LPCRECT posRect) {
    if (ComPtr<IOleInPlaceObject> object = InPlaceObject) object->SetObjectRects(posRect, &kUnboundedClip);
    return S_OK;
}

void TvdFlashDriverActiveX::TakeInPlaceInterfaces() {
    // Each replaces what was held; a control without one leaves it empty.
    InPlaceObject.Reset();
    InPlaceActiveObject.Reset();
    WindowlessObject.Reset();
    ViewObject.Reset();
    if (!OleObject) return;
    OleObject.As(&InPlaceObject);
    OleObject.As(&InPlaceActiveObject);
    OleObject.As(&WindowlessObject);
    OleObject.As(&ViewObject);
}

// ---- IOleInPlaceSiteEx ----------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnInPlaceActivateEx(BOOL*, DWORD) {
    TakeInPlaceInterfaces();
    ControlWindow.Reset();
    if (OleObject) OleObject.As(&ControlWindow);
    return S_OK;
}
// What the control leaves held is released when the driver goes.
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnInPlaceDeactivateEx(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::RequestUIActivate() { return S_OK; }

// ---- IOleInPlaceSiteWindowless --------------------------------------------------------------

// A window for the control's context menu, once, during a right-button press that allows it.
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    if (!MenuWindowRequest) return E_FAIL;
    MenuWindowRequest = false;
    *window = GetParentHandle();
    return *window ? S_OK : E_FAIL;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::ContextSensitiveHelp(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::CanWindowlessActivate() { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetCapture() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::SetCapture(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetFocus() { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::SetFocus(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetDC(LPCRECT, DWORD, HDC* dc) {
    if (!dc) return E_POINTER;
    *dc = BufferDC;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::ReleaseDC(HDC) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::InvalidateRect(LPCRECT rect, BOOL) {
    // Rendered at once, cut to the buffer; a failing paint handler is the application's.
    return SiteCall(this, S_OK, [&]() -> HRESULT {
        if (Detached()) return S_OK;
        const TCallGuard guard(*this, TCallKind::FromPlayer);
        TRect r = rect ? TRect{rect->left, rect->top, rect->right, rect->bottom} : TRect{0, 0, Width, Height};
        r.Left = std::max(r.Left, 0);
        r.Top = std::max(r.Top, 0);
        r.Right = std::min(r.Right, Width);
        r.Bottom = std::min(r.Bottom, Height);
        Repaint(r);
        return S_OK;
    });
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::InvalidateRgn(HRGN, BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::ScrollRect(INT, INT, LPCRECT, LPCRECT) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::AdjustRect(LPRECT) { return S_OK; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) { return S_OK; }

// ---- The in-place UI window and frame -------------------------------------------------------

HRESULT TvdFlashDriverActiveX::SetActiveObject(IOleInPlaceActiveObject* activeObject) {
    InPlaceActiveObject = activeObject;
    return S_OK;
}

namespace ax {

HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::QueryInterface(REFIID riid, void** object) {
    return driver_.QueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE TInPlaceSiteFace::AddRef() { return driver_.AddRef(); }
ULONG STDMETHODCALLTYPE TInPlaceSiteFace::Release() { return driver_.Release(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::ContextSensitiveHelp(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::CanInPlaceActivate() { return driver_.CanInPlaceActivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnInPlaceActivate() { return driver_.OnInPlaceActivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnUIActivate() { return driver_.OnUIActivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                                             LPRECT posRect, LPRECT clipRect,
                                                             LPOLEINPLACEFRAMEINFO frameInfo) {
    return driver_.GetWindowContext(frame, doc, posRect, clipRect, frameInfo);
}
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::Scroll(SIZE extent) { return driver_.Scroll(extent); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnUIDeactivate(BOOL undoable) { return driver_.OnUIDeactivate(undoable); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnInPlaceDeactivate() { return driver_.OnInPlaceDeactivate(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::DiscardUndoState() { return driver_.DiscardUndoState(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::DeactivateAndUndo() { return driver_.DeactivateAndUndo(); }
HRESULT STDMETHODCALLTYPE TInPlaceSiteFace::OnPosRectChange(LPCRECT posRect) {
    return driver_.OnPosRectChange(posRect);
}

HRESULT STDMETHODCALLTYPE TFrameFace::QueryInterface(REFIID riid, void** object) {
    return driver_.QueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE TFrameFace::AddRef() { return driver_.AddRef(); }
ULONG STDMETHODCALLTYPE TFrameFace::Release() { return driver_.Release(); }
HRESULT STDMETHODCALLTYPE TFrameFace::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE TFrameFace::ContextSensitiveHelp(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TFrameFace::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
HRESULT STDMETHODCALLTYPE TFrameFace::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
HRESULT STDMETHODCALLTYPE TFrameFace::SetBorderSpace(LPCBORDERWIDTHS) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TFrameFace::SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR) {
    return driver_.SetActiveObject(activeObject);
}
HRESULT STDMETHODCALLTYPE TFrameFace::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return S_OK; }
HRESULT STDMETHODCALLTYPE TFrameFace::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
HRESULT STDMETHODCALLTYPE TFrameFace::RemoveMenus(HMENU) { return S_OK; }
HRESULT STDMETHODCALLTYPE TFrameFace::SetStatusText(LPCOLESTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE TFrameFace::EnableModeless(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TFrameFace::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

}  // namespace ax
}  // namespace vd
