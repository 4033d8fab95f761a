// The container site the control calls back: the interfaces the driver answers, the ambient
// properties, and the client, control, in-place, windowless and frame sites. Nothing here
// raises: every method answers with a result code.
#include "vd_ax_siteobj.h"
#include "vd_ax_unit.h"

#include <cmath>

#include "vd_forms.h"

namespace vd {

using namespace ax;
using win32::ComPtr;

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
        *frame = Site->Frame();
        (*frame)->AddRef();
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
    if (!posRect) return E_POINTER;
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
    // Without a buffer there is nothing to draw into: no null context handed on as one.
    *dc = BufferDC;
    return BufferDC ? S_OK : E_FAIL;
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

}  // namespace vd
