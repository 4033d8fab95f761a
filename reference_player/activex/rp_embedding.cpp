// The control as an OLE object in its container: IOleObject, in-place activation (windowless
// when the site allows it), the view it draws through, persistence of its settings,
// IOleControl with the ambient properties, and quality by name for property browsers.
#include "rp_control.h"
#include "vd_win32_owners.h"

#include <algorithm>
#include <cstring>

namespace vd::rp {

// ---- IOleObject -----------------------------------------------------------------------------

STDMETHODIMP FlashControl::SetClientSite(IOleClientSite* site) {
    Journal(std::string("IOleObject::SetClientSite ") + (site ? "site" : "null"));
    KeepLate(settings_, "client site", site);
    clientSite_ = site;
    return S_OK;
}
STDMETHODIMP FlashControl::GetClientSite(IOleClientSite** pp) {
    Journal("IOleObject::GetClientSite");
    if (!pp) return E_POINTER;
    return clientSite_.CopyTo(pp);
}
STDMETHODIMP FlashControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }
STDMETHODIMP FlashControl::Close(DWORD save) {
    Journal("IOleObject::Close " + std::to_string(save));
    // Survived (the caller holds us), but a container should never do it.
    if (hostile_ > 0) Journal("IOleObject::Close inside a call of the control's own");
    Deactivate();
    return S_OK;
}
STDMETHODIMP FlashControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP FlashControl::GetMoniker(DWORD, DWORD, IMoniker** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP FlashControl::GetClipboardData(DWORD, IDataObject** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG lindex, HWND parent, LPCRECT pos) {
    Journal("IOleObject::DoVerb verb=" + std::to_string(verb) + " site=" + (site ? "given" : "null") + " lindex=" +
            std::to_string(lindex) + " parent=" + Hex(reinterpret_cast<uintptr_t>(parent)) + " pos=" + RectText(pos));
    switch (verb) {
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
        case OLEIVERB_SHOW:
        case OLEIVERB_PRIMARY:
            return ActivateInPlace(site ? site : clientSite_.Get(), pos);
        case OLEIVERB_HIDE:
            Deactivate();
            return S_OK;
        default:
            return OLEOBJ_S_INVALIDVERB;
    }
}
STDMETHODIMP FlashControl::EnumVerbs(IEnumOLEVERB** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::Update() { return S_OK; }
STDMETHODIMP FlashControl::IsUpToDate() { return S_OK; }
STDMETHODIMP FlashControl::GetUserClassID(CLSID* p) {
    if (!p) return E_POINTER;
    *p = vd::flash::CLASS_vdFlashPlayer;
    return S_OK;
}
STDMETHODIMP FlashControl::GetUserType(DWORD, LPOLESTR* p) {
    if (p) *p = nullptr;
    return OLE_S_USEREG;
}
STDMETHODIMP FlashControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT || !size) return E_INVALIDARG;
    extentHimetric_ = *size;
    return S_OK;
}
STDMETHODIMP FlashControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT || !size) return E_INVALIDARG;
    *size = extentHimetric_;
    return S_OK;
}
STDMETHODIMP FlashControl::Advise(IAdviseSink*, DWORD* c) {
    if (c) *c = 0;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::Unadvise(DWORD) { return E_NOTIMPL; }
STDMETHODIMP FlashControl::EnumAdvise(IEnumSTATDATA** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::GetMiscStatus(DWORD aspect, DWORD* status) {
    Journal("IOleObject::GetMiscStatus aspect=" + std::to_string(aspect));
    if (!status) return E_POINTER;
    DWORD s = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE;
    if (settings_.faults.setClientSiteFirst) s |= OLEMISC_SETCLIENTSITEFIRST;
    if (settings_.faults.invisibleAtRuntime) s |= OLEMISC_INVISIBLEATRUNTIME;
    *status = s;
    return S_OK;
}
STDMETHODIMP FlashControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

HRESULT FlashControl::ActivateInPlace(IOleClientSite* site, LPCRECT pos) {
    if (active_) return S_OK;
    if (!site) return E_INVALIDARG;
    ComPtr<IOleInPlaceSite> ip;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(ip.GetAddressOf())))) {
        Journal("activation refused: no in-place site");
        return E_NOINTERFACE;
    }
    ComPtr<IOleInPlaceSiteWindowless> wl;
    if (!settings_.faults.noWindowless)
        site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(wl.GetAddressOf()));
    HRESULT hr = ip->CanInPlaceActivate();
    Journal("-> CanInPlaceActivate hr=" + Hex(static_cast<uint32_t>(hr)));
    if (hr != S_OK) return E_FAIL;
    if (settings_.faults.windowedOnly) {
        // A control that draws only into a window of its own needs the site's to live in.
        HWND parent = nullptr;
        hr = ip->GetWindow(&parent);
        Journal("-> GetWindow for activation hr=" + Hex(static_cast<uint32_t>(hr)) +
                " hwnd=" + Hex(reinterpret_cast<uintptr_t>(parent)));
        if (FAILED(hr) || !parent) {
            Journal("activation refused: no window to live in");
            return E_FAIL;
        }
    }
    windowless_ = false;
    if (wl) {
        hr = wl->CanWindowlessActivate();
        Journal("-> CanWindowlessActivate hr=" + Hex(static_cast<uint32_t>(hr)));
        windowless_ = hr == S_OK;
    }
    if (windowless_) {
        BOOL noRedraw = FALSE;
        hr = wl->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
        Journal("-> OnInPlaceActivateEx flags=ACTIVATE_WINDOWLESS hr=" + Hex(static_cast<uint32_t>(hr)));
    } else {
        hr = ip->OnInPlaceActivate();
        Journal("-> OnInPlaceActivate hr=" + Hex(static_cast<uint32_t>(hr)));
    }
    if (FAILED(hr)) return hr;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> doc;
    RECT posRect{}, clipRect{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    hr = ip->GetWindowContext(&frame, &doc, &posRect, &clipRect, &info);
    Journal("-> GetWindowContext hr=" + Hex(static_cast<uint32_t>(hr)) + " pos=" + RectText(&posRect) +
            " clip=" + RectText(&clipRect) + " frame=" + (frame ? "given" : "null"));
    KeepLate(settings_, "in-place site", ip.Get());
    if (windowless_) KeepLate(settings_, "windowless site", wl.Get());
    KeepLate(settings_, "frame", frame.Get());
    inPlaceSite_ = ip;
    windowlessSite_ = windowless_ ? wl : nullptr;
    active_ = true;
    pos_ = pos ? *pos : posRect;
    player_.SetExtent(pos_.right - pos_.left, pos_.bottom - pos_.top);
    if (!windowless_) Journal("activated without a window of its own: nothing will be drawn");
    UpdateTimer();
    return S_OK;
}

void FlashControl::Deactivate() {
    if (!active_) return;
    active_ = false;
    timer_.Stop();
    ComPtr<IOleInPlaceSite> ip = inPlaceSite_;
    ComPtr<IOleInPlaceSiteWindowless> wl = windowlessSite_;
    inPlaceSite_.Reset();
    windowlessSite_.Reset();
    if (wl) {
        const HRESULT hr = wl->OnInPlaceDeactivateEx(TRUE);
        Journal("-> OnInPlaceDeactivateEx hr=" + Hex(static_cast<uint32_t>(hr)));
    } else if (ip) {
        const HRESULT hr = ip->OnInPlaceDeactivate();
        Journal("-> OnInPlaceDeactivate hr=" + Hex(static_cast<uint32_t>(hr)));
    }
}

// ---- In-place object ------------------------------------------------------------------------

STDMETHODIMP FlashControl::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = nullptr;
    return E_FAIL;  // windowless: no window of its own
}
STDMETHODIMP FlashControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP FlashControl::InPlaceDeactivate() {
    Journal("IOleInPlaceObject::InPlaceDeactivate");
    Deactivate();
    return S_OK;
}
STDMETHODIMP FlashControl::UIDeactivate() {
    Journal("IOleInPlaceObject::UIDeactivate");
    return S_OK;
}
STDMETHODIMP FlashControl::SetObjectRects(LPCRECT pos, LPCRECT clip) {
    Journal("IOleInPlaceObject::SetObjectRects pos=" + RectText(pos) + " clip=" + RectText(clip));
    if (!pos) return E_POINTER;
    pos_ = *pos;
    player_.SetExtent(pos_.right - pos_.left, pos_.bottom - pos_.top);
    return S_OK;
}
STDMETHODIMP FlashControl::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP FlashControl::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    Journal("IOleInPlaceObjectWindowless::OnWindowMessage msg=" + Hex(msg) + " wParam=" + Hex(wParam) +
            " lParam=" + Hex(static_cast<uintptr_t>(lParam)));
    if (result) *result = 0;
    if (msg == WM_RBUTTONDOWN && windowlessSite_) {
        // The context menu needs a window; the site decides whether it gets one.
        HWND hwnd = nullptr;
        const HRESULT hr = windowlessSite_->GetWindow(&hwnd);
        Journal("-> GetWindow for menu hr=" + Hex(static_cast<uint32_t>(hr)) +
                " hwnd=" + Hex(reinterpret_cast<uintptr_t>(hwnd)));
    }
    if (settings_.faults.ignoresInput) return S_FALSE;
    const bool mouse = msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST;
    const bool key = msg >= WM_KEYFIRST && msg <= WM_KEYLAST;
    if (mouse || key) Hostile("input");
    if (mouse || key || msg == WM_SETCURSOR) return S_OK;
    return S_FALSE;
}
STDMETHODIMP FlashControl::GetDropTarget(IDropTarget** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP FlashControl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP FlashControl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP FlashControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP FlashControl::EnableModeless(BOOL) { return S_OK; }

// ---- View -----------------------------------------------------------------------------------

STDMETHODIMP FlashControl::Draw(DWORD aspect, LONG lindex, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds,
                                LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    const RECT* b = reinterpret_cast<const RECT*>(bounds);
    Journal("IViewObject::Draw aspect=" + std::to_string(aspect) + " lindex=" + std::to_string(lindex) +
            " bounds=" + RectText(b));
    if (!dc || !bounds) return E_INVALIDARG;
    if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE && aspect != DVASPECT_TRANSPARENT) {
        return DV_E_DVASPECT;
    }
    // The picture keeps the size of the object's rectangle and starts at the bounds' origin;
    // the bounds and the context's own clip region limit what is touched.
    int w = pos_.right - pos_.left, h = pos_.bottom - pos_.top;
    if (w <= 0 || h <= 0) {
        w = b->right - b->left;
        h = b->bottom - b->top;
    }
    const ComPtr<FlashControl> keep(this);  // the container may let go of us inside
    if (painting_ > 0) Journal("IViewObject::Draw inside a draw");
    if (settings_.faults.drawFails) {
        // Half a picture: whatever was started is left behind, and the draw fails.
        const win32::TSavedDC saved(dc);
        IntersectClipRect(dc, b->left, b->top, b->right, b->bottom);
        const win32::TGdiObject magenta(CreateSolidBrush(RGB(255, 0, 255)));
        FillRect(dc, b, static_cast<HBRUSH>(magenta.Get()));
        Journal("-> draw failed");
        return E_FAIL;
    }
    ++painting_;
    {
        const win32::TSavedDC saved(dc);
        IntersectClipRect(dc, b->left, b->top, b->right, b->bottom);
        DrawFrame(dc, b->left, b->top, w, h, player_);
    }
    // A movie whose drawing changes something asks for another paint while it paints.
    if (settings_.faults.invalidateInPaint && paintInvalidations_ > 0) {
        --paintInvalidations_;
        Invalidate(Rect{0, 0, w, h});
    }
    Hostile("paint");
    --painting_;
    return S_OK;
}
STDMETHODIMP FlashControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** pp) {
    if (pp) *pp = nullptr;
    return S_FALSE;
}
STDMETHODIMP FlashControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP FlashControl::Unfreeze(DWORD) { return E_NOTIMPL; }
STDMETHODIMP FlashControl::SetAdvise(DWORD, DWORD, IAdviseSink* sink) {
    viewSink_ = sink;
    return S_OK;
}
STDMETHODIMP FlashControl::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** pp) {
    if (aspects) *aspects = DVASPECT_CONTENT;
    if (advf) *advf = 0;
    if (pp) viewSink_.CopyTo(pp);
    return S_OK;
}
STDMETHODIMP FlashControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}
STDMETHODIMP FlashControl::GetRect(DWORD, LPRECTL) { return E_NOTIMPL; }
STDMETHODIMP FlashControl::GetViewStatus(DWORD* status) {
    if (!status) return E_POINTER;
    *status = VIEWSTATUS_DVASPECTTRANSPARENT;
    return S_OK;
}
STDMETHODIMP FlashControl::QueryHitPoint(DWORD, LPCRECT r, POINT p, LONG, DWORD* hit) {
    if (!r || !hit) return E_POINTER;
    *hit = PtInRect(r, p) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}
STDMETHODIMP FlashControl::QueryHitRect(DWORD, LPCRECT r, LPCRECT loc, LONG, DWORD* hit) {
    if (!r || !loc || !hit) return E_POINTER;
    RECT tmp;
    *hit = IntersectRect(&tmp, r, loc) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}
STDMETHODIMP FlashControl::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) {
    return E_NOTIMPL;
}

// ---- Persistence: the movie name and playback settings --------------------------------------

namespace {
constexpr char kStateMagic[4] = {'V', 'D', 'R', 'P'};
constexpr uint32_t kMaxStateChars = 32768;
}  // namespace

STDMETHODIMP FlashControl::GetClassID(CLSID* p) {
    if (!p) return E_POINTER;
    *p = vd::flash::CLASS_vdFlashPlayer;
    return S_OK;
}
STDMETHODIMP FlashControl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }
STDMETHODIMP FlashControl::Load(LPSTREAM stm) {
    Journal("IPersistStreamInit::Load");
    if (!stm) return E_POINTER;
    char magic[4];
    uint32_t loop = 0, chars = 0;
    ULONG got = 0;
    if (FAILED(stm->Read(magic, 4, &got)) || got != 4 || std::memcmp(magic, kStateMagic, 4) != 0) return E_FAIL;
    if (FAILED(stm->Read(&loop, 4, &got)) || got != 4) return E_FAIL;
    if (FAILED(stm->Read(&chars, 4, &got)) || got != 4 || chars > kMaxStateChars) return E_FAIL;
    std::wstring wm(chars, L'\0');
    if (chars && (FAILED(stm->Read(wm.data(), chars * 2, &got)) || got != chars * 2)) return E_FAIL;
    player_.SetLoop(loop != 0);
    wmode_ = wm;
    ApplyDrawSettings();
    return S_OK;
}
STDMETHODIMP FlashControl::Save(LPSTREAM stm, BOOL clearDirty) {
    Journal("IPersistStreamInit::Save clearDirty=" + std::to_string(clearDirty));
    if (!stm) return E_POINTER;
    const uint32_t loop = player_.Loop() ? 1 : 0;
    const uint32_t chars = static_cast<uint32_t>(std::min<size_t>(wmode_.size(), kMaxStateChars));
    HRESULT hr = stm->Write(kStateMagic, 4, nullptr);
    if (SUCCEEDED(hr)) hr = stm->Write(&loop, 4, nullptr);
    if (SUCCEEDED(hr)) hr = stm->Write(&chars, 4, nullptr);
    if (SUCCEEDED(hr) && chars) hr = stm->Write(wmode_.data(), chars * 2, nullptr);
    if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
    return hr;
}
STDMETHODIMP FlashControl::GetSizeMax(ULARGE_INTEGER* p) {
    if (!p) return E_POINTER;
    p->QuadPart = 12 + wmode_.size() * 2;
    return S_OK;
}
STDMETHODIMP FlashControl::InitNew() {
    Journal("IPersistStreamInit::InitNew");
    return S_OK;
}

// ---- IOleControl ----------------------------------------------------------------------------

STDMETHODIMP FlashControl::GetControlInfo(CONTROLINFO* ci) {
    if (!ci) return E_POINTER;
    ci->hAccel = nullptr;
    ci->cAccel = 0;
    ci->dwFlags = 0;
    return S_OK;
}
STDMETHODIMP FlashControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

void FlashControl::ReadAmbient(DISPID id, const char* name) {
    ComPtr<IDispatch> ambient;
    if (!clientSite_ || FAILED(clientSite_.As(&ambient))) return;
    KeepLate(settings_, "ambient properties", ambient.Get());
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    win32::TVariant value;
    const HRESULT hr = ambient->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.Out(), nullptr, nullptr);
    std::string text = "hr=" + Hex(static_cast<uint32_t>(hr));
    if (SUCCEEDED(hr)) {
        const VARIANT& v = value.Get();
        if (v.vt == VT_BOOL) text = v.boolVal ? "true" : "false";
        else if (v.vt == VT_BSTR) text = JournalQuote(win32::TBstr::Utf8Text(v.bstrVal));
        else if (v.vt == VT_I4) text = std::to_string(v.lVal);
        else text = "vt=" + std::to_string(v.vt);
    }
    Journal(std::string("ambient ") + name + " " + text);
}

STDMETHODIMP FlashControl::OnAmbientPropertyChange(DISPID id) {
    Journal("IOleControl::OnAmbientPropertyChange " + std::to_string(id));
    if (id == DISPID_UNKNOWN || id == DISPID_AMBIENT_USERMODE) ReadAmbient(DISPID_AMBIENT_USERMODE, "UserMode");
    if (id == DISPID_UNKNOWN || id == DISPID_AMBIENT_DISPLAYNAME)
        ReadAmbient(DISPID_AMBIENT_DISPLAYNAME, "DisplayName");
    return S_OK;
}
STDMETHODIMP FlashControl::FreezeEvents(BOOL) { return S_OK; }

// ---- IPerPropertyBrowsing: quality by name --------------------------------------------------

STDMETHODIMP FlashControl::GetDisplayString(DISPID id, BSTR* p) {
    if (!p) return E_POINTER;
    *p = nullptr;
    if (id != vd::flash::DISPID_Quality && id != vd::flash::DISPID_QualityLevel) return E_NOTIMPL;
    *p = SysAllocString(kQualityNames[quality_]);
    return *p ? S_OK : E_OUTOFMEMORY;
}
STDMETHODIMP FlashControl::MapPropertyToPage(DISPID, CLSID* p) {
    if (p) *p = CLSID_NULL;
    return PERPROP_E_NOPAGEAVAILABLE;
}
STDMETHODIMP FlashControl::GetPredefinedStrings(DISPID id, CALPOLESTR* strings, CADWORD* cookies) {
    if (!strings || !cookies) return E_POINTER;
    strings->cElems = 0;
    strings->pElems = nullptr;
    cookies->cElems = 0;
    cookies->pElems = nullptr;
    if (id != vd::flash::DISPID_Quality && id != vd::flash::DISPID_QualityLevel) return E_NOTIMPL;
    const ULONG n = 6;
    strings->pElems = static_cast<LPOLESTR*>(CoTaskMemAlloc(n * sizeof(LPOLESTR)));
    cookies->pElems = static_cast<DWORD*>(CoTaskMemAlloc(n * sizeof(DWORD)));
    if (!strings->pElems || !cookies->pElems) {
        CoTaskMemFree(strings->pElems);
        CoTaskMemFree(cookies->pElems);
        strings->pElems = nullptr;
        cookies->pElems = nullptr;
        return E_OUTOFMEMORY;
    }
    for (ULONG i = 0; i < n; ++i) {
        const size_t bytes = (wcslen(kQualityNames[i]) + 1) * sizeof(wchar_t);
        strings->pElems[i] = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (strings->pElems[i]) std::memcpy(strings->pElems[i], kQualityNames[i], bytes);
        cookies->pElems[i] = i;
    }
    strings->cElems = n;
    cookies->cElems = n;
    return S_OK;
}
STDMETHODIMP FlashControl::GetPredefinedValue(DISPID id, DWORD cookie, VARIANT* out) {
    if (!out) return E_POINTER;
    if ((id != vd::flash::DISPID_Quality && id != vd::flash::DISPID_QualityLevel) || cookie >= 6) return E_INVALIDARG;
    VariantInit(out);
    out->vt = VT_I4;
    out->lVal = static_cast<LONG>(cookie);
    return S_OK;
}

}  // namespace vd::rp
