// The objects the driver hands to the control: the site with all its faces, the in-place and
// frame faces, the event sink, and the streams and relays of a delivery. The control may keep
// any of them past the driver's end, so none is part of the driver: each is counted by COM,
// reaches the driver through a back pointer, and is cut off when the driver goes (disconnected
// from COM, every call then answering E_UNEXPECTED without touching anything).
#pragma once

#include "vd_driver_activex.h"

#include <vector>

namespace vd::ax {

class TSiteObject;

// Something handed out besides the site (a delivered stream, a bind relay): it holds the site,
// is known to it while it lives, and is cut off with it.
class THandedObject {
public:
    virtual void Disconnect() = 0;
    virtual IUnknown* Identity() = 0;

protected:
    ~THandedObject() = default;
};

// Faces of the site whose IOleWindow answers differ from the windowless site's: the plain
// in-place site and the frame (with its UI window) each answer GetWindow with no window,
// while the windowless site's GetWindow hands out the parent window during a menu press. Each
// forwards everything else to the site and shares its reference count.
class TInPlaceSiteFace final : public IOleInPlaceSite {
public:
    explicit TInPlaceSiteFace(TSiteObject& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT posRect,
                                               LPRECT clipRect, LPOLEINPLACEFRAMEINFO frameInfo) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT posRect) override;

private:
    TSiteObject& site_;
};

class TFrameFace final : public IOleInPlaceFrame {
public:
    explicit TFrameFace(TSiteObject& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT border) override;
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR name) override;
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU shared, HOLEMENU oleMenu, HWND activeObject) override;
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU shared) override;
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, WORD id) override;

private:
    TSiteObject& site_;
};

// The sink connected to the control's events: every Invoke becomes the driver's InvokeEvent.
// A COM identity of its own that shares the site's reference count.
class TEventDispatch final : public IDispatch {
public:
    explicit TEventDispatch(TSiteObject& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    // S_OK whether a handler ran, was missing or raised; E_UNEXPECTED once cut off.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispID, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

private:
    TSiteObject& site_;
};

// One site method: the driver's, while there is one.
#define VD_AX_SITE_CALL(Name, Params, Args)               \
    HRESULT STDMETHODCALLTYPE Name Params override {      \
        TvdFlashDriverActiveX* const driver = driver_;    \
        return driver ? driver->Name Args : E_UNEXPECTED; \
    }

// The container site as the control sees it: one COM identity (IUnknown is the service
// provider) answering the site's faces, each method passed on to the driver.
class TSiteObject final : public IServiceProvider,
                          public IBindHost,
                          public IMoniker,
                          public IPropertyNotifySink,
                          public IDispatch,
                          public IOleInPlaceSiteWindowless,
                          public IOleControlSite,
                          public IOleClientSite {
public:
    // The first reference is the driver's.
    explicit TSiteObject(TvdFlashDriverActiveX& driver) : driver_(&driver) {}
    TSiteObject(const TSiteObject&) = delete;
    TSiteObject& operator=(const TSiteObject&) = delete;

    TvdFlashDriverActiveX* Driver() const { return driver_; }
    // Cuts every handed-out object off the driver and from COM; the objects live on as long
    // as someone holds them.
    void Disconnect();
    void Track(THandedObject* object) { handed_.push_back(object); }
    void Untrack(THandedObject* object);

    IUnknown* Identity() { return static_cast<IServiceProvider*>(this); }
    IOleClientSite* ClientSite() { return this; }
    IOleInPlaceFrame* Frame() { return &frame_; }
    IDispatch* EventSink() { return &events_; }
    LONG References() const { return refs_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    VD_AX_SITE_CALL(QueryService, (REFGUID service, REFIID riid, void** object), (service, riid, object))
    VD_AX_SITE_CALL(CreateMoniker, (LPOLESTR name, IBindCtx* bindCtx, IMoniker** moniker, DWORD reserved),
                    (name, bindCtx, moniker, reserved))
    VD_AX_SITE_CALL(MonikerBindToStorage,
                    (IMoniker * moniker, IBindCtx* bindCtx, IBindStatusCallback* callback, REFIID riid, void** object),
                    (moniker, bindCtx, callback, riid, object))
    VD_AX_SITE_CALL(MonikerBindToObject,
                    (IMoniker * moniker, IBindCtx* bindCtx, IBindStatusCallback* callback, REFIID riid, void** object),
                    (moniker, bindCtx, callback, riid, object))
    VD_AX_SITE_CALL(GetClassID, (CLSID * classID), (classID))
    VD_AX_SITE_CALL(IsDirty, (), ())
    VD_AX_SITE_CALL(Load, (IStream * stream), (stream))
    VD_AX_SITE_CALL(Save, (IStream * stream, BOOL clearDirty), (stream, clearDirty))
    VD_AX_SITE_CALL(GetSizeMax, (ULARGE_INTEGER * size), (size))
    VD_AX_SITE_CALL(BindToObject, (IBindCtx * bindCtx, IMoniker* left, REFIID riid, void** object),
                    (bindCtx, left, riid, object))
    VD_AX_SITE_CALL(BindToStorage, (IBindCtx * bindCtx, IMoniker* left, REFIID riid, void** object),
                    (bindCtx, left, riid, object))
    VD_AX_SITE_CALL(Reduce, (IBindCtx * bindCtx, DWORD howFar, IMoniker** toLeft, IMoniker** reduced),
                    (bindCtx, howFar, toLeft, reduced))
    VD_AX_SITE_CALL(ComposeWith, (IMoniker * right, BOOL onlyIfNotGeneric, IMoniker** composite),
                    (right, onlyIfNotGeneric, composite))
    VD_AX_SITE_CALL(Enum, (BOOL forward, IEnumMoniker** enumMoniker), (forward, enumMoniker))
    VD_AX_SITE_CALL(IsEqual, (IMoniker * other), (other))
    VD_AX_SITE_CALL(Hash, (DWORD * hash), (hash))
    VD_AX_SITE_CALL(IsRunning, (IBindCtx * bindCtx, IMoniker* left, IMoniker* newlyRunning),
                    (bindCtx, left, newlyRunning))
    VD_AX_SITE_CALL(GetTimeOfLastChange, (IBindCtx * bindCtx, IMoniker* left, FILETIME* time), (bindCtx, left, time))
    VD_AX_SITE_CALL(Inverse, (IMoniker * *inverse), (inverse))
    VD_AX_SITE_CALL(CommonPrefixWith, (IMoniker * other, IMoniker** prefix), (other, prefix))
    VD_AX_SITE_CALL(RelativePathTo, (IMoniker * other, IMoniker** relPath), (other, relPath))
    VD_AX_SITE_CALL(GetDisplayName, (IBindCtx * bindCtx, IMoniker* left, LPOLESTR* displayName),
                    (bindCtx, left, displayName))
    VD_AX_SITE_CALL(ParseDisplayName,
                    (IBindCtx * bindCtx, IMoniker* left, LPOLESTR displayName, ULONG* eaten, IMoniker** out),
                    (bindCtx, left, displayName, eaten, out))
    VD_AX_SITE_CALL(IsSystemMoniker, (DWORD * mksys), (mksys))
    VD_AX_SITE_CALL(OnChanged, (DISPID dispID), (dispID))
    VD_AX_SITE_CALL(OnRequestEdit, (DISPID dispID), (dispID))
    VD_AX_SITE_CALL(GetTypeInfoCount, (UINT * count), (count))
    VD_AX_SITE_CALL(GetTypeInfo, (UINT index, LCID lcid, ITypeInfo** info), (index, lcid, info))
    VD_AX_SITE_CALL(GetIDsOfNames, (REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids),
                    (riid, names, count, lcid, ids))
    VD_AX_SITE_CALL(Invoke,
                    (DISPID dispID, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* excepInfo, UINT* argErr),
                    (dispID, riid, lcid, flags, params, result, excepInfo, argErr))
    VD_AX_SITE_CALL(GetWindow, (HWND * window), (window))
    VD_AX_SITE_CALL(ContextSensitiveHelp, (BOOL enterMode), (enterMode))
    VD_AX_SITE_CALL(CanInPlaceActivate, (), ())
    VD_AX_SITE_CALL(OnInPlaceActivate, (), ())
    VD_AX_SITE_CALL(OnUIActivate, (), ())
    VD_AX_SITE_CALL(GetWindowContext,
                    (IOleInPlaceFrame * *frame, IOleInPlaceUIWindow** doc, LPRECT posRect, LPRECT clipRect,
                     LPOLEINPLACEFRAMEINFO frameInfo),
                    (frame, doc, posRect, clipRect, frameInfo))
    VD_AX_SITE_CALL(Scroll, (SIZE extent), (extent))
    VD_AX_SITE_CALL(OnUIDeactivate, (BOOL undoable), (undoable))
    VD_AX_SITE_CALL(OnInPlaceDeactivate, (), ())
    VD_AX_SITE_CALL(DiscardUndoState, (), ())
    VD_AX_SITE_CALL(DeactivateAndUndo, (), ())
    VD_AX_SITE_CALL(OnPosRectChange, (LPCRECT posRect), (posRect))
    VD_AX_SITE_CALL(OnInPlaceActivateEx, (BOOL * noRedraw, DWORD flags), (noRedraw, flags))
    VD_AX_SITE_CALL(OnInPlaceDeactivateEx, (BOOL noRedraw), (noRedraw))
    VD_AX_SITE_CALL(RequestUIActivate, (), ())
    VD_AX_SITE_CALL(CanWindowlessActivate, (), ())
    VD_AX_SITE_CALL(GetCapture, (), ())
    VD_AX_SITE_CALL(SetCapture, (BOOL capture), (capture))
    VD_AX_SITE_CALL(GetFocus, (), ())
    VD_AX_SITE_CALL(SetFocus, (BOOL focus), (focus))
    VD_AX_SITE_CALL(GetDC, (LPCRECT rect, DWORD flags, HDC* dc), (rect, flags, dc))
    VD_AX_SITE_CALL(ReleaseDC, (HDC dc), (dc))
    VD_AX_SITE_CALL(InvalidateRect, (LPCRECT rect, BOOL erase), (rect, erase))
    VD_AX_SITE_CALL(InvalidateRgn, (HRGN region, BOOL erase), (region, erase))
    VD_AX_SITE_CALL(ScrollRect, (INT dx, INT dy, LPCRECT scroll, LPCRECT clip), (dx, dy, scroll, clip))
    VD_AX_SITE_CALL(AdjustRect, (LPRECT rect), (rect))
    VD_AX_SITE_CALL(OnDefWindowMessage, (UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result),
                    (msg, wParam, lParam, result))
    VD_AX_SITE_CALL(OnControlInfoChanged, (), ())
    VD_AX_SITE_CALL(LockInPlaceActive, (BOOL lock), (lock))
    VD_AX_SITE_CALL(GetExtendedControl, (IDispatch * *control), (control))
    VD_AX_SITE_CALL(TransformCoords, (POINTL * himetric, POINTF* container, DWORD flags), (himetric, container, flags))
    VD_AX_SITE_CALL(TranslateAccelerator, (MSG * msg, DWORD modifiers), (msg, modifiers))
    VD_AX_SITE_CALL(OnFocus, (BOOL gotFocus), (gotFocus))
    VD_AX_SITE_CALL(ShowPropertyFrame, (), ())
    VD_AX_SITE_CALL(SaveObject, (), ())
    VD_AX_SITE_CALL(GetMoniker, (DWORD assign, DWORD which, IMoniker** moniker), (assign, which, moniker))
    VD_AX_SITE_CALL(GetContainer, (IOleContainer * *container), (container))
    VD_AX_SITE_CALL(ShowObject, (), ())
    VD_AX_SITE_CALL(OnShowWindow, (BOOL show), (show))
    VD_AX_SITE_CALL(RequestNewObjectLayout, (), ())

private:
    ~TSiteObject() = default;

    LONG refs_ = 1;
    TvdFlashDriverActiveX* driver_;
    TInPlaceSiteFace inPlace_{*this};
    TFrameFace frame_{*this};
    TEventDispatch events_{*this};
    std::vector<THandedObject*> handed_;
};

#undef VD_AX_SITE_CALL

}  // namespace vd::ax
