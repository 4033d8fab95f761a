#include "rp_control.h"

#include <algorithm>
#include <cstring>

namespace vd::rp {

LONG g_objects = 0;
LONG g_locks = 0;

namespace {

std::string Narrow(const wchar_t* w, int len = -1) {
    if (!w) return {};
    if (len < 0) len = static_cast<int>(wcslen(w));
    if (len == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, len, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, len, s.data(), n, nullptr, nullptr);
    return s;
}
std::string Narrow(BSTR b) { return Narrow(b, b ? static_cast<int>(SysStringLen(b)) : 0); }

std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

HRESULT OutBstr(const std::wstring& s, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return *out || s.empty() ? S_OK : E_OUTOFMEMORY;
}
std::wstring FromBstr(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

std::string RectText(const RECT* r) {
    if (!r) return "null";
    return std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) + "," +
           std::to_string(r->bottom);
}

std::string GuidText(REFIID g) {
    wchar_t buf[64];
    StringFromGUID2(g, buf, 64);
    return Narrow(buf);
}

const wchar_t* const kQualityNames[] = {L"Low", L"High", L"AutoLow", L"AutoHigh", L"Medium", L"Best"};

FlashControl* g_current = nullptr;  // the newest live control, for the test hooks
std::map<UINT_PTR, FlashControl*> g_timers;

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    const auto it = g_timers.find(id);
    if (it != g_timers.end()) it->second->Tick();
}

}  // namespace

HMODULE ThisModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &m);
    return m;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    return std::wstring(path, n);
}

HRESULT TypeLib(ITypeLib** out) {
    static ComPtr<ITypeLib> lib;
    if (!lib) {
        const HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib);
        if (FAILED(hr)) return hr;
    }
    *out = lib.Get();
    lib->AddRef();
    return S_OK;
}

namespace {
HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** out) {
    ComPtr<ITypeLib> lib;
    const HRESULT hr = TypeLib(&lib);
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(guid, out);
}

// The interface half of a dual interface: what ITypeInfo::Invoke calls through the vtable.
HRESULT InterfaceTypeInfo(REFGUID guid, ITypeInfo** out) {
    ComPtr<ITypeInfo> ti;
    HRESULT hr = TypeInfoOf(guid, &ti);
    if (FAILED(hr)) return hr;
    TYPEATTR* attr = nullptr;
    hr = ti->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    const TYPEKIND kind = attr->typekind;
    ti->ReleaseTypeAttr(attr);
    if (kind == TKIND_INTERFACE) {
        *out = ti.Detach();
        return S_OK;
    }
    HREFTYPE ref;
    hr = ti->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (FAILED(hr)) return hr;
    return ti->GetRefTypeInfo(ref, out);
}
}  // namespace

// ---- Data from the container's bind host ----------------------------------------------------

class BindCallback final : public IBindStatusCallback {
public:
    BindCallback(FlashControl* owner, std::string url) : owner_(owner), url_(std::move(url)) {}
    void Orphan() { owner_ = nullptr; }
    bool Finished() const { return owner_ == nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IBindStatusCallback) {
            *ppv = static_cast<IBindStatusCallback*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override {
        Log("BSC::OnStartBinding " + JournalQuote(url_));
        return S_OK;
    }
    STDMETHODIMP GetPriority(LONG* p) override {
        if (p) *p = THREAD_PRIORITY_NORMAL;
        return S_OK;
    }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG progress, ULONG max, ULONG status, LPCWSTR) override {
        Log("BSC::OnProgress " + std::to_string(progress) + "/" + std::to_string(max) + " status=" +
            std::to_string(status));
        return S_OK;
    }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override {
        Log("BSC::OnStopBinding hr=" + Hex(static_cast<uint32_t>(hr)) + " bytes=" + std::to_string(data_.size()));
        FlashControl* owner = owner_;
        owner_ = nullptr;
        if (owner && SUCCEEDED(hr) && !done_) {
            done_ = true;
            owner->player_.DataArrived(url_, data_);
            owner->UpdateTimer();
        }
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
        if (flags) *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
        if (info) {
            const ULONG size = info->cbSize;
            std::memset(info, 0, size);
            info->cbSize = size;
            info->dwBindVerb = BINDVERB_GET;
        }
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC*, STGMEDIUM* medium) override {
        Log("BSC::OnDataAvailable flags=" + std::to_string(flags) + " size=" + std::to_string(size) + " tymed=" +
            (medium ? std::to_string(medium->tymed) : std::string("null")));
        if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return S_OK;
        char buf[16384];
        for (;;) {
            ULONG got = 0;
            const HRESULT hr = medium->pstm->Read(buf, sizeof buf, &got);
            if (got) data_.insert(data_.end(), buf, buf + got);
            if (FAILED(hr) || hr == S_FALSE || got == 0 || data_.size() > 256u * 1024 * 1024) break;
        }
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

private:
    LONG refs_ = 1;
    FlashControl* owner_;
    std::string url_;
    std::vector<uint8_t> data_;
    bool done_ = false;
};

// ---- Connection points ----------------------------------------------------------------------

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return owner_.Release(); }
STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* piid) {
    if (!piid) return E_POINTER;
    *piid = iid_;
    return S_OK;
}
STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** pp) {
    if (!pp) return E_POINTER;
    *pp = static_cast<IConnectionPointContainer*>(&owner_);
    (*pp)->AddRef();
    return S_OK;
}
STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    // The sink must speak the interface it is advised for.
    ComPtr<IUnknown> face;
    const IID& want = iid_ == vd::flash::DIID__IvdFlashPlayerEvents ? IID_IDispatch : iid_;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(face.GetAddressOf()))) &&
        FAILED(sink->QueryInterface(want, reinterpret_cast<void**>(face.GetAddressOf())))) {
        owner_.Journal("Advise " + GuidText(iid_) + " refused: sink lacks the interface");
        return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = next_++;
    sinks_[*cookie] = face;
    owner_.Journal("Advise " + GuidText(iid_) + " cookie=" + std::to_string(*cookie));
    return S_OK;
}
STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
    owner_.Journal("Unadvise " + GuidText(iid_) + " cookie=" + std::to_string(cookie));
    return sinks_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}
STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
    std::vector<ComPtr<IUnknown>> out;
    for (const auto& [cookie, sink] : sinks_) out.push_back(sink);
    return out;
}

// ---- The control ----------------------------------------------------------------------------

FlashControl::FlashControl(const Settings& settings)
    : settings_(settings),
      player_(*this, settings.faults.version7 ? 7 : 10),
      propertyPoint_(*this, IID_IPropertyNotifySink),
      eventPoint_(*this, vd::flash::DIID__IvdFlashPlayerEvents) {
    InterlockedIncrement(&g_objects);
    g_current = this;
    Journal("created");
}

FlashControl::~FlashControl() {
    if (timer_) {
        KillTimer(nullptr, timer_);
        g_timers.erase(timer_);
    }
    for (auto& b : binds_) static_cast<BindCallback*>(b.Get())->Orphan();
    if (g_current == this) g_current = nullptr;
    Log("ActiveX destroyed");
    InterlockedDecrement(&g_objects);
}

void FlashControl::Journal(const std::string& line) { Log(line); }

STDMETHODIMP FlashControl::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const Faults& f = settings_.faults;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IvdFlashPlayer) ||
        riid == __uuidof(IvdFlashPlayerEx))
        *ppv = static_cast<IvdFlashPlayerEx*>(this);
    else if (riid == IID_IOleObject)
        *ppv = static_cast<IOleObject*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
        *ppv = static_cast<IOleInPlaceObject*>(static_cast<IOleInPlaceObjectWindowless*>(this));
    else if (riid == IID_IOleInPlaceObjectWindowless && !f.noWindowless)
        *ppv = static_cast<IOleInPlaceObjectWindowless*>(this);
    else if (riid == IID_IOleInPlaceActiveObject)
        *ppv = static_cast<IOleInPlaceActiveObject*>(this);
    else if ((riid == IID_IViewObject || riid == IID_IViewObject2 || riid == IID_IViewObjectEx) && !f.noViewObject)
        *ppv = static_cast<IViewObjectEx*>(this);
    else if (riid == IID_IPersistStreamInit || riid == IID_IPersist)
        *ppv = static_cast<IPersistStreamInit*>(this);
    else if (riid == IID_IOleControl)
        *ppv = static_cast<IOleControl*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *ppv = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IID_IPerPropertyBrowsing)
        *ppv = static_cast<IPerPropertyBrowsing*>(this);
    else if (riid == IID_IProvideClassInfo)
        *ppv = static_cast<IProvideClassInfo*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FlashControl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
STDMETHODIMP_(ULONG) FlashControl::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

// ---- IDispatch: the type library does the dispatching ---------------------------------------

STDMETHODIMP FlashControl::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}
STDMETHODIMP FlashControl::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    // The dispatch view: property functions show their value types, and the enumerated
    // property is there as a variable too.
    return TypeInfoOf(vd::flash::DIID_DvdFlashPlayer, pp);
}
STDMETHODIMP FlashControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ComPtr<ITypeInfo> ti;
    const HRESULT hr = InterfaceTypeInfo(__uuidof(IvdFlashPlayerEx), &ti);
    if (FAILED(hr)) return hr;
    return DispGetIDsOfNames(ti.Get(), names, count, ids);
}
STDMETHODIMP FlashControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* excep, UINT* argErr) {
    Journal("IDispatch::Invoke dispid=" + std::to_string(id) + " flags=" + std::to_string(flags) +
            " args=" + std::to_string(params ? params->cArgs : 0));
    ComPtr<ITypeInfo> ti;
    HRESULT hr = InterfaceTypeInfo(__uuidof(IvdFlashPlayerEx), &ti);
    if (FAILED(hr)) return hr;
    hr = DispInvoke(static_cast<IvdFlashPlayerEx*>(this), ti.Get(), id, flags, params, result, excep, argErr);
    return hr;
}

// ---- Scripting gate: the fault switches for scripting calls ---------------------------------

HRESULT FlashControl::ScriptGate(const char* what) {
    if (settings_.faults.scriptFails) return E_FAIL;
    if (settings_.faults.handlerRaises) {
        if (settings_.faults.raisesOnce) settings_.faults.handlerRaises = false;
        ComPtr<ICreateErrorInfo> create;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            create->SetGUID(__uuidof(IvdFlashPlayer));
            create->SetSource(const_cast<LPOLESTR>(L"Reference Player"));
            const std::wstring text = L"reference player: " + Wide(what) + L" raised";
            create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
            ComPtr<IErrorInfo> info;
            if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
        }
        return DISP_E_EXCEPTION;
    }
    return S_OK;
}

#define RP_GATE(name)                          \
    do {                                       \
        Journal(name);                         \
        const HRESULT gate_ = ScriptGate(name); \
        if (FAILED(gate_)) return gate_;       \
    } while (0)

// ---- IvdFlashPlayer -------------------------------------------------------------------------

// The playback members: journal, pass the scripting gate, act, and let the frame timer follow.
HRESULT FlashControl::Playback(const char* name, void (Player::*op)()) {
    RP_GATE(name);
    (player_.*op)();
    UpdateTimer();
    return S_OK;
}

STDMETHODIMP FlashControl::get_ReadyState(long* p) {
    if (!p) return E_POINTER;
    *p = player_.HasMovie() ? 4 : (player_.PendingMovieUrl().empty() ? 0 : 1);
    return S_OK;
}
STDMETHODIMP FlashControl::get_TotalFrames(long* p) {
    Journal("get_TotalFrames");
    if (!p) return E_POINTER;
    *p = player_.TotalFrames();
    return S_OK;
}
STDMETHODIMP FlashControl::get_Playing(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = player_.IsPlaying() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::put_Playing(VARIANT_BOOL v) {
    Journal("put_Playing " + std::to_string(v));
    if (v) player_.Play();
    else player_.StopPlay();
    UpdateTimer();
    return S_OK;
}
STDMETHODIMP FlashControl::get_Quality(int* p) {
    if (!p) return E_POINTER;
    *p = quality_;
    return S_OK;
}
STDMETHODIMP FlashControl::put_Quality(int v) {
    Journal("put_Quality " + std::to_string(v));
    if (v < 0 || v > 5) return E_INVALIDARG;
    quality_ = v;
    quality2_ = kQualityNames[v];
    NotifyChanged(105);
    return S_OK;
}
STDMETHODIMP FlashControl::get_ScaleMode(int* p) {
    if (!p) return E_POINTER;
    *p = scaleMode_;
    return S_OK;
}
STDMETHODIMP FlashControl::put_ScaleMode(int v) {
    scaleMode_ = v;
    return S_OK;
}
STDMETHODIMP FlashControl::get_AlignMode(int* p) {
    if (!p) return E_POINTER;
    *p = alignMode_;
    return S_OK;
}
STDMETHODIMP FlashControl::put_AlignMode(int v) {
    alignMode_ = v;
    return S_OK;
}
STDMETHODIMP FlashControl::get_BackgroundColor(long* p) {
    if (!p) return E_POINTER;
    *p = backgroundColor_;
    return S_OK;
}
STDMETHODIMP FlashControl::put_BackgroundColor(long v) {
    backgroundColor_ = v;
    return S_OK;
}
STDMETHODIMP FlashControl::get_Loop(VARIANT_BOOL* p) {
    Journal("get_Loop");
    if (!p) return E_POINTER;
    *p = player_.Loop() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::put_Loop(VARIANT_BOOL v) {
    Journal("put_Loop " + std::to_string(v));
    player_.SetLoop(v != 0);
    UpdateTimer();
    return S_OK;
}
STDMETHODIMP FlashControl::get_Movie(BSTR* p) { return OutBstr(movie_, p); }
STDMETHODIMP FlashControl::put_Movie(BSTR v) { return LoadMovie(0, v); }
STDMETHODIMP FlashControl::get_FrameNum(long* p) {
    if (!p) return E_POINTER;
    *p = player_.CurrentFrame();
    return S_OK;
}
STDMETHODIMP FlashControl::put_FrameNum(long v) {
    Journal("put_FrameNum " + std::to_string(v));
    player_.GotoFrame(static_cast<int>(v));
    return S_OK;
}
STDMETHODIMP FlashControl::SetZoomRect(long, long, long, long) { return S_OK; }
STDMETHODIMP FlashControl::Zoom(int) { return S_OK; }
STDMETHODIMP FlashControl::Pan(long, long, int) { return S_OK; }
STDMETHODIMP FlashControl::Play() { return Playback("Play", &Player::Play); }
STDMETHODIMP FlashControl::Stop() { return Playback("Stop", &Player::StopPlay); }
STDMETHODIMP FlashControl::Back() { return Playback("Back", &Player::Back); }
STDMETHODIMP FlashControl::Forward() { return Playback("Forward", &Player::Forward); }
STDMETHODIMP FlashControl::Rewind() { return Playback("Rewind", &Player::Rewind); }
STDMETHODIMP FlashControl::StopPlay() { return Playback("StopPlay", &Player::StopPlay); }
STDMETHODIMP FlashControl::GotoFrame(long n) {
    RP_GATE("GotoFrame");
    player_.GotoFrame(static_cast<int>(n));
    return S_OK;
}
STDMETHODIMP FlashControl::CurrentFrame(long* p) {
    RP_GATE("CurrentFrame");
    if (!p) return E_POINTER;
    *p = player_.CurrentFrame();
    return S_OK;
}
STDMETHODIMP FlashControl::IsPlaying(VARIANT_BOOL* p) {
    RP_GATE("IsPlaying");
    if (!p) return E_POINTER;
    *p = player_.IsPlaying() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::PercentLoaded(long* p) {
    if (!p) return E_POINTER;
    *p = player_.HasMovie() ? 100 : 0;
    return S_OK;
}
STDMETHODIMP FlashControl::FrameLoaded(long n, VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = player_.HasMovie() && n >= 0 && n < player_.TotalFrames() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::FlashVersion(long* p) {
    Journal("FlashVersion");
    if (!p) return E_POINTER;
    *p = player_.FlashVersion();
    return S_OK;
}
STDMETHODIMP FlashControl::get_WMode(BSTR* p) { return OutBstr(wmode_, p); }
STDMETHODIMP FlashControl::put_WMode(BSTR v) {
    wmode_ = FromBstr(v);
    Journal("put_WMode " + JournalQuote(Narrow(v)) + (v ? "" : " (null)"));
    NotifyChanged(133);
    return S_OK;
}
STDMETHODIMP FlashControl::get_SAlign(BSTR* p) { return OutBstr(salign_, p); }
STDMETHODIMP FlashControl::put_SAlign(BSTR v) {
    salign_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_Menu(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = menu_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::put_Menu(VARIANT_BOOL v) {
    menu_ = v != 0;
    return S_OK;
}
STDMETHODIMP FlashControl::get_Base(BSTR* p) { return OutBstr(base_, p); }
STDMETHODIMP FlashControl::put_Base(BSTR v) {
    base_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_Scale(BSTR* p) { return OutBstr(scale_, p); }
STDMETHODIMP FlashControl::put_Scale(BSTR v) {
    scale_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_DeviceFont(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = deviceFont_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::put_DeviceFont(VARIANT_BOOL v) {
    deviceFont_ = v != 0;
    return S_OK;
}
STDMETHODIMP FlashControl::get_EmbedMovie(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = embedMovie_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::put_EmbedMovie(VARIANT_BOOL v) {
    embedMovie_ = v != 0;
    return S_OK;
}
STDMETHODIMP FlashControl::get_BGColor(BSTR* p) { return OutBstr(bgcolor_, p); }
STDMETHODIMP FlashControl::put_BGColor(BSTR v) {
    bgcolor_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_Quality2(BSTR* p) { return OutBstr(quality2_, p); }
STDMETHODIMP FlashControl::put_Quality2(BSTR v) {
    const std::wstring q = FromBstr(v);
    for (int i = 0; i < 6; ++i)
        if (lstrcmpiW(q.c_str(), kQualityNames[i]) == 0) {
            quality_ = i;
            quality2_ = kQualityNames[i];
            return S_OK;
        }
    return E_INVALIDARG;
}
STDMETHODIMP FlashControl::LoadMovie(int layer, BSTR url) {
    const std::string u = Narrow(url);
    Journal("LoadMovie layer=" + std::to_string(layer) + " url=" + JournalQuote(u));
    if (settings_.faults.loadMovieHr) return static_cast<HRESULT>(settings_.faults.loadMovieHr);
    if (layer == 0) movie_ = FromBstr(url);
    player_.LoadMovie(layer, u);
    UpdateTimer();
    return S_OK;
}
STDMETHODIMP FlashControl::TGotoFrame(BSTR, long n) { return GotoFrame(n); }
STDMETHODIMP FlashControl::TGotoLabel(BSTR, BSTR label) {
    const int f = player_.Movie().FrameOfLabel(Narrow(label));
    if (f >= 0) player_.GotoFrame(f);
    return S_OK;
}
STDMETHODIMP FlashControl::TCurrentFrame(BSTR, long* p) { return CurrentFrame(p); }
STDMETHODIMP FlashControl::TCurrentLabel(BSTR, BSTR* p) {
    std::string label;
    for (const auto& [frame, name] : player_.Movie().labels)
        if (frame <= player_.CurrentFrame()) label = name;
    return OutBstr(Wide(label), p);
}
STDMETHODIMP FlashControl::TPlay(BSTR) { return Play(); }
STDMETHODIMP FlashControl::TStopPlay(BSTR) { return StopPlay(); }
STDMETHODIMP FlashControl::SetVariable(BSTR name, BSTR value) {
    Journal("SetVariable " + JournalQuote(Narrow(name)) + " " + JournalQuote(Narrow(value)));
    const HRESULT gate = ScriptGate("SetVariable");
    if (FAILED(gate)) return gate;
    player_.SetVariable(Narrow(name), Narrow(value));
    return S_OK;
}
STDMETHODIMP FlashControl::GetVariable(BSTR name, BSTR* p) {
    Journal("GetVariable " + JournalQuote(Narrow(name)));
    const HRESULT gate = ScriptGate("GetVariable");
    if (FAILED(gate)) return gate;
    return OutBstr(Wide(player_.GetVariable(Narrow(name))), p);
}
STDMETHODIMP FlashControl::TSetProperty(BSTR, int, BSTR) { return S_OK; }
STDMETHODIMP FlashControl::TGetProperty(BSTR, int, BSTR* p) { return OutBstr(L"", p); }
STDMETHODIMP FlashControl::TCallFrame(BSTR, int) { return S_OK; }
STDMETHODIMP FlashControl::TCallLabel(BSTR, BSTR) { return S_OK; }
STDMETHODIMP FlashControl::TSetPropertyNum(BSTR, int, double) { return S_OK; }
STDMETHODIMP FlashControl::TGetPropertyNum(BSTR, int, double* p) {
    if (!p) return E_POINTER;
    *p = 0;
    return S_OK;
}
STDMETHODIMP FlashControl::TGetPropertyAsNumber(BSTR t, int i, double* p) { return TGetPropertyNum(t, i, p); }
STDMETHODIMP FlashControl::get_SWRemote(BSTR* p) { return OutBstr(swremote_, p); }
STDMETHODIMP FlashControl::put_SWRemote(BSTR v) {
    swremote_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_FlashVars(BSTR* p) { return OutBstr(flashvars_, p); }
STDMETHODIMP FlashControl::put_FlashVars(BSTR v) {
    flashvars_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_AllowScriptAccess(BSTR* p) { return OutBstr(allowScriptAccess_, p); }
STDMETHODIMP FlashControl::put_AllowScriptAccess(BSTR v) {
    allowScriptAccess_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_MovieData(BSTR* p) { return OutBstr(movieData_, p); }
STDMETHODIMP FlashControl::put_MovieData(BSTR v) {
    movieData_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_InlineData(IUnknown** p) {
    if (!p) return E_POINTER;
    *p = inlineData_.Get();
    if (*p) (*p)->AddRef();
    return S_OK;
}
STDMETHODIMP FlashControl::put_InlineData(IUnknown* v) {
    inlineData_ = v;
    return S_OK;
}
STDMETHODIMP FlashControl::get_SeamlessTabbing(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = seamlessTabbing_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::put_SeamlessTabbing(VARIANT_BOOL v) {
    seamlessTabbing_ = v != 0;
    return S_OK;
}
STDMETHODIMP FlashControl::EnforceLocalSecurity() {
    Journal("EnforceLocalSecurity");
    return S_OK;
}
STDMETHODIMP FlashControl::get_Profile(VARIANT_BOOL* p) {
    if (!p) return E_POINTER;
    *p = profile_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
STDMETHODIMP FlashControl::put_Profile(VARIANT_BOOL v) {
    profile_ = v != 0;
    return S_OK;
}
STDMETHODIMP FlashControl::get_ProfileAddress(BSTR* p) { return OutBstr(profileAddress_, p); }
STDMETHODIMP FlashControl::put_ProfileAddress(BSTR v) {
    profileAddress_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_ProfilePort(long* p) {
    if (!p) return E_POINTER;
    *p = profilePort_;
    return S_OK;
}
STDMETHODIMP FlashControl::put_ProfilePort(long v) {
    profilePort_ = v;
    return S_OK;
}
STDMETHODIMP FlashControl::CallFunction(BSTR request, BSTR* response) {
    Journal("CallFunction " + JournalQuote(Narrow(request)));
    const HRESULT gate = ScriptGate("CallFunction");
    if (FAILED(gate)) return gate;
    return OutBstr(Wide(player_.CallFunction(Narrow(request))), response);
}
STDMETHODIMP FlashControl::SetReturnValue(BSTR value) {
    Journal("SetReturnValue " + JournalQuote(Narrow(value)) + (flashCallDepth_ ? "" : " (no call pending)"));
    returnValue_ = FromBstr(value);
    return S_OK;
}
STDMETHODIMP FlashControl::DisableLocalSecurity() {
    Journal("DisableLocalSecurity");
    return S_OK;
}
STDMETHODIMP FlashControl::get_AllowNetworking(BSTR* p) { return OutBstr(allowNetworking_, p); }
STDMETHODIMP FlashControl::put_AllowNetworking(BSTR v) {
    allowNetworking_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_AllowFullScreen(BSTR* p) { return OutBstr(allowFullScreen_, p); }
STDMETHODIMP FlashControl::put_AllowFullScreen(BSTR v) {
    allowFullScreen_ = FromBstr(v);
    return S_OK;
}
STDMETHODIMP FlashControl::get_QualityLevel(enum vdQualityLevel* p) {
    if (!p) return E_POINTER;
    *p = static_cast<enum vdQualityLevel>(quality_);
    return S_OK;
}
STDMETHODIMP FlashControl::put_QualityLevel(enum vdQualityLevel v) { return put_Quality(static_cast<int>(v)); }

// ---- IOleObject -----------------------------------------------------------------------------

STDMETHODIMP FlashControl::SetClientSite(IOleClientSite* site) {
    Journal(std::string("IOleObject::SetClientSite ") + (site ? "site" : "null"));
    clientSite_ = site;
    return S_OK;
}
STDMETHODIMP FlashControl::GetClientSite(IOleClientSite** pp) {
    Journal("IOleObject::GetClientSite");
    if (!pp) return E_POINTER;
    *pp = clientSite_.Get();
    if (*pp) (*pp)->AddRef();
    return S_OK;
}
STDMETHODIMP FlashControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }
STDMETHODIMP FlashControl::Close(DWORD save) {
    Journal("IOleObject::Close " + std::to_string(save));
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
    Journal("IOleObject::DoVerb verb=" + std::to_string(verb) + " site=" + (site ? "given" : "null") +
            " lindex=" + std::to_string(lindex) + " parent=" + Hex(reinterpret_cast<uintptr_t>(parent)) +
            " pos=" + RectText(pos));
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
    DWORD s = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
              OLEMISC_ACTIVATEWHENVISIBLE;
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
    if (timer_) {
        KillTimer(nullptr, timer_);
        g_timers.erase(timer_);
        timer_ = 0;
    }
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
        Journal("-> GetWindow for menu hr=" + Hex(static_cast<uint32_t>(hr)) + " hwnd=" +
                Hex(reinterpret_cast<uintptr_t>(hwnd)));
    }
    const bool mouse = msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST;
    const bool key = msg >= WM_KEYFIRST && msg <= WM_KEYLAST;
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
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, b->left, b->top, b->right, b->bottom);
    DrawFrame(dc, b->left, b->top, w, h, player_);
    RestoreDC(dc, saved);
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
    if (pp) {
        *pp = viewSink_.Get();
        if (*pp) (*pp)->AddRef();
    }
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
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT v;
    VariantInit(&v);
    const HRESULT hr = ambient->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr);
    std::string text = "hr=" + Hex(static_cast<uint32_t>(hr));
    if (SUCCEEDED(hr)) {
        if (v.vt == VT_BOOL) text = v.boolVal ? "true" : "false";
        else if (v.vt == VT_BSTR) text = JournalQuote(Narrow(v.bstrVal));
        else if (v.vt == VT_I4) text = std::to_string(v.lVal);
        else text = "vt=" + std::to_string(v.vt);
    }
    VariantClear(&v);
    Journal(std::string("ambient ") + name + " " + text);
}

STDMETHODIMP FlashControl::OnAmbientPropertyChange(DISPID id) {
    Journal("IOleControl::OnAmbientPropertyChange " + std::to_string(id));
    if (id == DISPID_UNKNOWN || id == DISPID_AMBIENT_USERMODE) ReadAmbient(DISPID_AMBIENT_USERMODE, "UserMode");
    if (id == DISPID_UNKNOWN || id == DISPID_AMBIENT_DISPLAYNAME) ReadAmbient(DISPID_AMBIENT_DISPLAYNAME, "DisplayName");
    return S_OK;
}
STDMETHODIMP FlashControl::FreezeEvents(BOOL) { return S_OK; }

// ---- Connection points container ------------------------------------------------------------

STDMETHODIMP FlashControl::EnumConnectionPoints(IEnumConnectionPoints** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::FindConnectionPoint(REFIID riid, IConnectionPoint** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (riid == IID_IPropertyNotifySink) *pp = &propertyPoint_;
    else if (riid == vd::flash::DIID__IvdFlashPlayerEvents) *pp = &eventPoint_;
    else return CONNECT_E_NOCONNECTION;
    (*pp)->AddRef();
    return S_OK;
}

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

STDMETHODIMP FlashControl::GetClassInfo(ITypeInfo** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    return TypeInfoOf(vd::flash::CLASS_vdFlashPlayer, pp);
}

// ---- Calls into the container ---------------------------------------------------------------

void FlashControl::Fire(DISPID id, std::vector<VARIANT>& argsInOrder) {
    // DISPPARAMS hold the arguments last first.
    std::vector<VARIANT> rev(argsInOrder.rbegin(), argsInOrder.rend());
    DISPPARAMS dp{rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    for (auto& sink : eventPoint_.Sinks()) {
        ComPtr<IDispatch> d;
        if (FAILED(sink.As(&d))) continue;
        EXCEPINFO ei{};
        UINT argErr = 0;
        const HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, &ei, &argErr);
        Journal("-> event " + std::to_string(id) + " hr=" + Hex(static_cast<uint32_t>(hr)));
        if (ei.bstrSource) SysFreeString(ei.bstrSource);
        if (ei.bstrDescription) SysFreeString(ei.bstrDescription);
        if (ei.bstrHelpFile) SysFreeString(ei.bstrHelpFile);
    }
}

void FlashControl::NotifyChanged(DISPID id) {
    for (auto& sink : propertyPoint_.Sinks()) {
        ComPtr<IPropertyNotifySink> s;
        if (SUCCEEDED(sink.As(&s))) s->OnChanged(id);
    }
}

void FlashControl::RequestUrl(const std::string& url) {
    Journal("request " + JournalQuote(url));
    ComPtr<IServiceProvider> sp;
    ComPtr<IBindHost> host;
    if (!clientSite_ || FAILED(clientSite_.As(&sp)) ||
        FAILED(sp->QueryService(vd::flash::IID_IBindHost, vd::flash::IID_IBindHost,
                                reinterpret_cast<void**>(host.GetAddressOf()))) ||
        !host) {
        Journal("-> no bind host: request dropped");
        return;
    }
    ComPtr<IBindCtx> bc;
    if (FAILED(CreateBindCtx(0, &bc))) return;
    ComPtr<IBindStatusCallback> callback;
    callback.Attach(new BindCallback(this, url));
    ComPtr<IBindStatusCallback> previous;
    HRESULT hr = RegisterBindStatusCallback(bc.Get(), callback.Get(), &previous, 0);
    Journal("-> RegisterBindStatusCallback hr=" + Hex(static_cast<uint32_t>(hr)));
    const std::wstring name = Wide(url);
    ComPtr<IMoniker> mk;
    hr = host->CreateMoniker(const_cast<LPOLESTR>(name.c_str()), bc.Get(), &mk, 0);
    Journal("-> IBindHost::CreateMoniker " + JournalQuote(url) + " hr=" + Hex(static_cast<uint32_t>(hr)) +
            (mk ? "" : " moniker=null"));
    if (FAILED(hr) || !mk) return;
    // Finished binds are no longer needed; a pending one stays until its data is in.
    binds_.erase(std::remove_if(binds_.begin(), binds_.end(),
                                [](const ComPtr<IBindStatusCallback>& b) {
                                    return static_cast<BindCallback*>(b.Get())->Finished();
                                }),
                 binds_.end());
    binds_.push_back(callback);
    ComPtr<IUnknown> obj;
    hr = mk->BindToStorage(bc.Get(), nullptr, IID_IStream, reinterpret_cast<void**>(obj.GetAddressOf()));
    Journal("-> IMoniker::BindToStorage hr=" + Hex(static_cast<uint32_t>(hr)));
}

void FlashControl::Invalidate(const Rect& r) {
    if (!windowlessSite_) return;
    RECT rc{pos_.left + r.left, pos_.top + r.top, pos_.left + r.right, pos_.top + r.bottom};
    Journal("-> InvalidateRect " + RectText(&rc));
    windowlessSite_->InvalidateRect(&rc, FALSE);
}

void FlashControl::FSCommand(const std::string& command, const std::string& args) {
    std::vector<VARIANT> v(2);
    v[0].vt = VT_BSTR;
    v[0].bstrVal = SysAllocString(Wide(command).c_str());
    v[1].vt = VT_BSTR;
    v[1].bstrVal = SysAllocString(Wide(args).c_str());
    Journal("FSCommand " + JournalQuote(command) + " " + JournalQuote(args));
    ComPtr<FlashControl> keep(this);  // a handler may release its hold on us
    Fire(vd::flash::DISPID_FSCommand, v);
    for (auto& x : v) VariantClear(&x);
}

std::string FlashControl::ExternalCall(const std::string& name, const std::vector<ExtValue>& args) {
    const std::string request = WriteRequest(ExtRequest{name, "xml", args});
    std::vector<VARIANT> v(1);
    v[0].vt = VT_BSTR;
    v[0].bstrVal = SysAllocString(Wide(request).c_str());
    Journal("FlashCall " + JournalQuote(request));
    // The answer is what the host hands to SetReturnValue while the event runs.
    const std::wstring outer = returnValue_;
    returnValue_.clear();
    ++flashCallDepth_;
    ComPtr<FlashControl> keep(this);
    Fire(vd::flash::DISPID_FlashCall, v);
    --flashCallDepth_;
    const std::string answer = Narrow(returnValue_.c_str(), static_cast<int>(returnValue_.size()));
    returnValue_ = outer;
    VariantClear(&v[0]);
    return answer;
}

void FlashControl::UpdateTimer() {
    const bool want = active_ && settings_.timers && player_.HasMovie() && player_.IsPlaying();
    const int interval = player_.FrameInterval();
    if (timer_ && (!want || interval != timerInterval_)) {
        KillTimer(nullptr, timer_);
        g_timers.erase(timer_);
        timer_ = 0;
    }
    if (want && !timer_) {
        timer_ = SetTimer(nullptr, 0, static_cast<UINT>(interval), TimerProc);
        timerInterval_ = interval;
        if (timer_) g_timers[timer_] = this;
    }
}

void FlashControl::Tick() {
    ComPtr<FlashControl> keep(this);
    if (player_.Step()) UpdateTimer();
}

// ---- Test hooks -----------------------------------------------------------------------------

void InstallControlHooks() {
    Hooks().step = [](int frames) {
        if (!g_current) return -1;
        for (int i = 0; i < frames; ++i) g_current->Tick();
        return g_current->Engine().CurrentFrame();
    };
    Hooks().fsCommand = [](const std::string& c, const std::string& a) {
        if (!g_current) return false;
        g_current->Engine().FireFSCommand(c, a);
        return true;
    };
    Hooks().callHost = [](const std::string& name, const std::vector<ExtValue>& args, std::string& answer) {
        if (!g_current) return false;
        ComPtr<FlashControl> keep(g_current);
        answer = keep->Engine().CallHost(name, args);
        return true;
    };
    Hooks().setTimers = [](bool on) {
        if (g_current) g_current->SetTimers(on);
    };
}

}  // namespace vd::rp
