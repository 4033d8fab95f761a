// The control's calls into its container: data through the container's bind host, the
// connection points its sinks advise on, and the events and property changes fired at them.
#include "rp_control.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace vd::rp {

using win32::InterfaceRow;
using win32::TExcepInfo;
using win32::TInterfaceRow;
using win32::TVariant;
using win32::Utf8ToWide;
using win32::WideToUtf8;

namespace {

std::string GuidText(REFIID g) {
    wchar_t buf[64];
    StringFromGUID2(g, buf, 64);
    return WideToUtf8(buf);
}

// A digest of bound data for the journal (FNV-1a, 32 bits), so a container's test can tell
// which bytes arrived.
std::string Digest(const std::vector<uint8_t>& data) {
    uint32_t h = 2166136261u;
    for (uint8_t b : data) h = (h ^ b) * 16777619u;
    return Hex(h);
}

// An event's text argument. It ends at the first NUL, as the events have always passed it.
TVariant TextArgument(const std::string& utf8) { return TVariant::Bstr(Utf8ToWide(utf8).c_str()); }

}  // namespace

// ---- Data from the container's bind host ----------------------------------------------------

class BindCallback final : public IBindStatusCallback, public IHttpNegotiate {
public:
    BindCallback(FlashControl* owner, std::string url, bool keepStream)
        : owner_(owner), url_(std::move(url)), keepStream_(keepStream) {}
    void Orphan() { owner_ = nullptr; }
    bool Finished() const { return owner_ == nullptr; }

    // The bind call returned. A stream kept from a bind that already stopped is read now, when
    // the container has long finished its part of the delivery.
    void BindReturned() {
        bindReturned_ = true;
        if (stoppedResult_) Stopped(*stoppedResult_);
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const TInterfaceRow<BindCallback> kInterfaces[] = {
            InterfaceRow<BindCallback, IBindStatusCallback>(IID_IUnknown),
            InterfaceRow<BindCallback, IBindStatusCallback>(IID_IBindStatusCallback),
            InterfaceRow<BindCallback, IHttpNegotiate>(IID_IHttpNegotiate),
        };
        return win32::QueryInterfaceFrom(this, kInterfaces, riid, ppv);
    }
    // An HTTP binding asks the callback for headers of its own: the control names itself.
    STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) override {
        Log("BSC::BeginningTransaction " + JournalQuote(url_));
        if (!additional) return E_POINTER;
        static const wchar_t kHeader[] = L"X-Vdrp-Bind: reference\r\n";
        *additional = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kHeader));
        if (*additional) std::memcpy(*additional, kHeader, sizeof kHeader);
        return S_OK;
    }
    STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* additional) override {
        Log("BSC::OnResponse " + std::to_string(code));
        if (additional) *additional = nullptr;
        return S_OK;
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
        Log("BSC::OnProgress " + std::to_string(progress) + "/" + std::to_string(max) +
            " status=" + std::to_string(status));
        return S_OK;
    }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override {
        Log("BSC::OnStopBinding hr=" + Hex(static_cast<uint32_t>(hr)) + " bytes=" + std::to_string(data_.size()) +
            " sum=" + Digest(data_));
        if (keepStream_ && !bindReturned_) {
            stoppedResult_ = hr;
            return S_OK;
        }
        Stopped(hr);
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
        Log("BSC::OnDataAvailable flags=" + std::to_string(flags) + " size=" + std::to_string(size) +
            " tymed=" + (medium ? std::to_string(medium->tymed) : std::string("null")));
        if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return S_OK;
        if (owner_) KeepLate(owner_->settings_, "delivered stream", medium->pstm);
        if (keepStream_) {
            kept_ = medium->pstm;  // read when the bind is over (Stopped)
            return S_OK;
        }
        ReadFrom(medium->pstm);
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

private:
    void ReadFrom(IStream* stream) {
        char buf[16384];
        for (;;) {
            ULONG got = 0;
            const HRESULT hr = stream->Read(buf, sizeof buf, &got);
            if (got) data_.insert(data_.end(), buf, buf + got);
            if (FAILED(hr) || hr == S_FALSE || got == 0 || data_.size() > 256u * 1024 * 1024) break;
        }
    }
    void Stopped(HRESULT hr) {
        stoppedResult_.reset();
        if (kept_) {
            const ComPtr<IStream> stream = std::move(kept_);
            ReadFrom(stream.Get());
            Log("BSC::ReadKept bytes=" + std::to_string(data_.size()) + " sum=" + Digest(data_));
        }
        FlashControl* owner = owner_;
        owner_ = nullptr;
        if (owner && SUCCEEDED(hr) && !done_) {
            done_ = true;
            const ComPtr<FlashControl> keep(owner);
            owner->player_.DataArrived(url_, data_);
            owner->UpdateTimer();
            owner->ReportLoaded();
            // The bind has ended, perhaps still inside the call that started it.
            owner->Hostile("bind");
        }
    }

    LONG refs_ = 1;
    FlashControl* owner_;
    std::string url_;
    std::vector<uint8_t> data_;
    bool done_ = false;
    bool keepStream_;
    bool bindReturned_ = false;
    std::optional<HRESULT> stoppedResult_;  // a stop that came while the bind call still ran
    ComPtr<IStream> kept_;
};

// ---- Connection points ----------------------------------------------------------------------

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    static const TInterfaceRow<ConnectionPoint> kInterfaces[] = {
        InterfaceRow<ConnectionPoint, IConnectionPoint>(IID_IUnknown),
        InterfaceRow<ConnectionPoint, IConnectionPoint>(IID_IConnectionPoint),
    };
    return win32::QueryInterfaceFrom(this, kInterfaces, riid, ppv);
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
    return ComPtr<IConnectionPointContainer>(&owner_).CopyTo(pp);
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
    KeepLate(owner_.settings_, iid_ == IID_IPropertyNotifySink ? "property sink" : "event sink", face.Get());
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

// ---- Connection points container ------------------------------------------------------------

STDMETHODIMP FlashControl::EnumConnectionPoints(IEnumConnectionPoints** pp) {
    if (pp) *pp = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP FlashControl::FindConnectionPoint(REFIID riid, IConnectionPoint** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    ConnectionPoint* point = nullptr;
    if (riid == IID_IPropertyNotifySink) point = &propertyPoint_;
    else if (riid == vd::flash::DIID__IvdFlashPlayerEvents) point = &eventPoint_;
    else return CONNECT_E_NOCONNECTION;
    return ComPtr<IConnectionPoint>(point).CopyTo(pp);
}

// ---- Calls into the container ---------------------------------------------------------------

void FlashControl::Fire(DISPID id, std::span<const TVariant> argsInOrder) {
    // DISPPARAMS hold the arguments last first; they stay owned by argsInOrder.
    std::vector<VARIANT> rev;
    for (auto it = argsInOrder.rbegin(); it != argsInOrder.rend(); ++it) rev.push_back(it->Get());
    DISPPARAMS dp{rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    for (auto& sink : eventPoint_.Sinks()) {
        ComPtr<IDispatch> d;
        if (FAILED(sink.As(&d))) continue;
        TExcepInfo ei;
        UINT argErr = 0;
        const HRESULT hr =
            d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr, ei.Out(), &argErr);
        Journal("-> event " + std::to_string(id) + " hr=" + Hex(static_cast<uint32_t>(hr)));
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
    BindCallback* bind = new BindCallback(this, url, settings_.faults.keepStream);
    const ComPtr<IBindStatusCallback> callback = win32::Adopt<IBindStatusCallback>(bind);
    ComPtr<IBindStatusCallback> previous;
    HRESULT hr = RegisterBindStatusCallback(bc.Get(), callback.Get(), &previous, 0);
    Journal("-> RegisterBindStatusCallback hr=" + Hex(static_cast<uint32_t>(hr)));
    const std::wstring name = Utf8ToWide(url);
    ComPtr<IMoniker> mk;
    KeepLate(settings_, "bind host", host.Get());
    hr = host->CreateMoniker(const_cast<LPOLESTR>(name.c_str()), bc.Get(), &mk, 0);
    KeepLate(settings_, "moniker", mk.Get());
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
    bind->BindReturned();
}

void FlashControl::Invalidate(const Rect& r) {
    if (!windowlessSite_) return;
    RECT rc{pos_.left + r.left, pos_.top + r.top, pos_.left + r.right, pos_.top + r.bottom};
    Journal("-> InvalidateRect " + RectText(&rc));
    windowlessSite_->InvalidateRect(&rc, FALSE);
}

void FlashControl::ReportLoaded() {
    // Once a movie: all of it is in (progress) and it is complete (ready state 4).
    if (!player_.HasMovie() || loadReported_) return;
    loadReported_ = true;
    ComPtr<FlashControl> keep(this);
    const TVariant progress[] = {TVariant::Int(100)};
    Fire(vd::flash::DISPID_OnProgress, progress);
    const TVariant state[] = {TVariant::Int(4)};
    Fire(vd::flash::DISPID_OnReadyStateChange, state);
}

void FlashControl::FSCommand(const std::string& command, const std::string& args) {
    const TVariant v[] = {TextArgument(command), TextArgument(args)};
    Journal("FSCommand " + JournalQuote(command) + " " + JournalQuote(args));
    ComPtr<FlashControl> keep(this);  // a handler may release its hold on us
    Fire(vd::flash::DISPID_FSCommand, v);
}

std::string FlashControl::ExternalCall(const std::string& name, const std::vector<ExtValue>& args) {
    const std::string request = WriteRequest(ExtRequest{name, "xml", args});
    const TVariant v[] = {TextArgument(request)};
    Journal("FlashCall " + JournalQuote(request));
    // The answer is what the host hands to SetReturnValue while the event runs.
    const std::wstring outer = returnValue_;
    returnValue_.clear();
    ++flashCallDepth_;
    ComPtr<FlashControl> keep(this);
    Fire(vd::flash::DISPID_FlashCall, v);
    --flashCallDepth_;
    const std::string answer = WideToUtf8(returnValue_);
    returnValue_ = outer;
    return answer;
}

void FlashControl::Hostile(const char* kind) {
    if (!settings_.faults.HostileIn(kind)) return;
    const ComPtr<FlashControl> keep(this);  // the container may let go of us meanwhile
    ++hostile_;
    if (settings_.faults.fsCommandIn == kind) FSCommand("hostile", kind);
    else ExternalCall("hostile", {ExtValue::Str(kind)});
    --hostile_;
}

void FlashControl::OrphanBinds() {
    for (auto& b : binds_) static_cast<BindCallback*>(b.Get())->Orphan();
}

}  // namespace vd::rp
