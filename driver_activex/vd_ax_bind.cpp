// Movie loading: LoadMovie and LoadMovieFromStream, the bind host, the moniker and the delivery
// of movie data to the control. Which target a requested name resolves to is decided by the
// platform-free rules of vd_ax_names; this file asks the store, the resources and the file
// system for them and moves the data.
#include "vd_ax_siteobj.h"
#include "vd_ax_unit.h"

#include <utility>
#include <vector>

#include "vd_ax_names.h"
#include "vd_flashstore.h"
#include "vd_movienames.h"
#include "vd_movieres.h"
#include "vd_urlmon.h"
#include "vd_winstr.h"

namespace vd {

using win32::ComPtr;
using win32::TBstr;

namespace {

// Where urlmon's callback registration keeps a bind's callback in its bind context.
const wchar_t kCallbackHolder[] = L"_BSCB_Holder_";

std::wstring WString(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// A stream on global memory that owns a copy of the bytes: the control may keep it and read it
// long after the delivery, and the memory goes with the stream's last reference.
ComPtr<IStream> OwnedMemoryStream(const void* data, size_t size) {
    if (size > MAXDWORD) return nullptr;
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf()))) return nullptr;
    ULONG written = 0;
    if (size > 0 && (FAILED(stream->Write(data, static_cast<ULONG>(size), &written)) || written != size))
        return nullptr;
    const LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return nullptr;
    return stream;
}

// The whole of a framework stream, from position 0, in an owned memory stream.
ComPtr<IStream> CopyOfStream(TStream& source) {
    source.SetPosition(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(source.GetSize()));
    if (!bytes.empty()) source.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return OwnedMemoryStream(bytes.data(), bytes.size());
}

ULONG StreamSize(IStream* stream) {
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return 0;
    return static_cast<ULONG>(stat.cbSize.QuadPart);
}

// The whole movie in one notification that is both first and last, before the bind returns.
// The control's answers change nothing here.
void Deliver(IBindStatusCallback* callback, IStream* source) {
    STGMEDIUM medium{};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = source;
    medium.pUnkForRelease = nullptr;
    callback->OnStartBinding(0, nullptr);
    callback->OnProgress(100, 100, BINDSTATUS_ENDDOWNLOADDATA, L"");
    callback->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION, StreamSize(source), nullptr,
                              &medium);
    callback->OnStopBinding(S_OK, L"");
}

// A delivered movie: the control may keep the stream and read it long after the delivery, so
// it is ours, counted, and cut off (its memory let go) when the driver goes.
class TDeliveredStream final : public IStream, public ax::THandedObject {
public:
    TDeliveredStream(ComPtr<ax::TSiteObject> site, ComPtr<IStream> data)
        : site_(std::move(site)), data_(std::move(data)) {
        site_->Track(this);
    }
    TDeliveredStream(const TDeliveredStream&) = delete;
    TDeliveredStream& operator=(const TDeliveredStream&) = delete;

    void Disconnect() override { data_.Reset(); }
    IUnknown* Identity() override { return static_cast<IStream*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        static const win32::TInterfaceRow<TDeliveredStream> kInterfaces[] = {
            win32::InterfaceRow<TDeliveredStream, IStream>(IID_IUnknown),
            win32::InterfaceRow<TDeliveredStream, IStream>(IID_ISequentialStream),
            win32::InterfaceRow<TDeliveredStream, IStream>(IID_IStream),
        };
        if (!data_) return ClearOutUnexpected(object);
        return win32::QueryInterfaceFrom(this, kInterfaces, riid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override {
        return data_ ? data_->Read(buffer, size, read) : E_UNEXPECTED;
    }
    STDMETHODIMP Write(const void* buffer, ULONG size, ULONG* written) override {
        return data_ ? data_->Write(buffer, size, written) : E_UNEXPECTED;
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        return data_ ? data_->Seek(move, origin, position) : E_UNEXPECTED;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER size) override { return data_ ? data_->SetSize(size) : E_UNEXPECTED; }
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        return data_ ? data_->CopyTo(target, size, read, written) : E_UNEXPECTED;
    }
    STDMETHODIMP Commit(DWORD flags) override { return data_ ? data_->Commit(flags) : E_UNEXPECTED; }
    STDMETHODIMP Revert() override { return data_ ? data_->Revert() : E_UNEXPECTED; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override {
        return data_ ? data_->LockRegion(offset, size, type) : E_UNEXPECTED;
    }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override {
        return data_ ? data_->UnlockRegion(offset, size, type) : E_UNEXPECTED;
    }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override { return data_ ? data_->Stat(stat, flags) : E_UNEXPECTED; }
    STDMETHODIMP Clone(IStream** clone) override {
        if (!clone) return E_POINTER;
        *clone = nullptr;
        if (!data_) return E_UNEXPECTED;
        ComPtr<IStream> inner;
        const HRESULT hr = data_->Clone(inner.GetAddressOf());
        if (FAILED(hr)) return hr;
        *clone = new TDeliveredStream(site_, std::move(inner));
        (*clone)->AddRef();
        return S_OK;
    }

private:
    ~TDeliveredStream() { site_->Untrack(this); }
    static HRESULT ClearOutUnexpected(void** object) {
        if (object) *object = nullptr;
        return E_UNEXPECTED;
    }

    LONG refs_ = 0;  // the first ComPtr to hold it takes the first reference
    ComPtr<ax::TSiteObject> site_;
    ComPtr<IStream> data_;
};

// Stands between urlmon and the control's callback: passes every notification on and notes
// whether the binding has reported its end, so that a binding that cannot start is reported
// to the control exactly once. urlmon looks for the bind's negotiation, authentication,
// service and UI-window interfaces on the callback it was given: those are the control's, and
// the relay hands them out. When the driver goes the relay is cut off and the binding aborted.
class TBindRelay final : public IBindStatusCallback, public ax::THandedObject {
public:
    TBindRelay(ComPtr<ax::TSiteObject> site, ComPtr<IBindStatusCallback> target)
        : site_(std::move(site)), target_(std::move(target)) {
        site_->Track(this);
    }
    TBindRelay(const TBindRelay&) = delete;
    TBindRelay& operator=(const TBindRelay&) = delete;

    bool Stopped() const { return stopped_; }

    void Disconnect() override {
        const ComPtr<IBinding> binding = std::move(binding_);
        target_.Reset();
        if (binding) binding->Abort();
    }
    IUnknown* Identity() override { return static_cast<IBindStatusCallback*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        static const win32::TInterfaceRow<TBindRelay> kInterfaces[] = {
            win32::InterfaceRow<TBindRelay, IBindStatusCallback>(IID_IUnknown),
            win32::InterfaceRow<TBindRelay, IBindStatusCallback>(IID_IBindStatusCallback),
        };
        static const IID* const kControlsOwn[] = {&IID_IHttpNegotiate, &IID_IAuthenticate, &IID_IServiceProvider,
                                                  &IID_IWindowForBindingUI};
        const ComPtr<IBindStatusCallback> target = target_;
        if (!target) {
            if (object) *object = nullptr;
            return E_UNEXPECTED;
        }
        for (const IID* iid : kControlsOwn)
            if (IsEqualIID(riid, *iid)) {
                if (!object) return E_POINTER;
                return target->QueryInterface(riid, object);
            }
        return win32::QueryInterfaceFrom(this, kInterfaces, riid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override {
        const ComPtr<IBindStatusCallback> target = target_;
        if (!target) return E_UNEXPECTED;
        binding_ = binding;
        return target->OnStartBinding(reserved, binding);
    }
    STDMETHODIMP GetPriority(LONG* priority) override {
        const ComPtr<IBindStatusCallback> target = target_;
        return target ? target->GetPriority(priority) : E_UNEXPECTED;
    }
    STDMETHODIMP OnLowResource(DWORD reserved) override {
        const ComPtr<IBindStatusCallback> target = target_;
        return target ? target->OnLowResource(reserved) : E_UNEXPECTED;
    }
    STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override {
        const ComPtr<IBindStatusCallback> target = target_;
        return target ? target->OnProgress(progress, progressMax, statusCode, statusText) : E_UNEXPECTED;
    }
    STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error) override {
        const ComPtr<IBindStatusCallback> target = target_;
        binding_.Reset();
        if (!target) return E_UNEXPECTED;
        if (stopped_) return S_OK;
        stopped_ = true;
        return target->OnStopBinding(result, error);
    }
    STDMETHODIMP GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override {
        const ComPtr<IBindStatusCallback> target = target_;
        if (!target) return E_UNEXPECTED;
        const HRESULT hr = target->GetBindInfo(bindFlags, bindInfo);
        // The data is pulled from the stream the notifications carry, whatever the control asked.
        if (bindFlags) *bindFlags |= BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
        return hr;
    }
    STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override {
        const ComPtr<IBindStatusCallback> target = target_;
        return target ? target->OnDataAvailable(flags, size, format, medium) : E_UNEXPECTED;
    }
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* object) override {
        const ComPtr<IBindStatusCallback> target = target_;
        return target ? target->OnObjectAvailable(riid, object) : E_UNEXPECTED;
    }

private:
    ~TBindRelay() { site_->Untrack(this); }

    LONG refs_ = 0;  // the first ComPtr to hold it takes the first reference
    ComPtr<ax::TSiteObject> site_;
    ComPtr<IBindStatusCallback> target_;
    ComPtr<IBinding> binding_;  // while the binding runs: aborted when the driver goes
    bool stopped_ = false;
};

// Hands a path or URL to urlmon, which then drives the control's callback. A binding that
// cannot even start is reported to the callback as a stop with its failure: the control must
// not wait for data that never comes.
void BindThroughUrlmon(const ComPtr<ax::TSiteObject>& site, const WideString& target,
                       const ComPtr<IBindStatusCallback>& callback) {
    const ComPtr<TBindRelay> relay(new TBindRelay(site, callback));
    HRESULT hr = E_NOTIMPL;
    ax::TUnit& unit = ax::Unit();
    if (unit.Urlmon) {
        win32::TUrlmonEntries entries = win32::TUrlmonEntries::From(unit.Urlmon.Get());
        entries.OpenPullStream = unit.URLOpenPullStreamW;
        hr = win32::OpenPullBinding(entries, WString(target), relay.Get());
    }
    if (FAILED(hr) && !relay->Stopped()) relay->OnStopBinding(hr, nullptr);
}

template <class T> HRESULT ClearOut(T** out, HRESULT result) {
    if (out) *out = nullptr;
    return result;
}

}  // namespace

// ---- Loading ---------------------------------------------------------------------------------

namespace {

void StartMovie(TvdFlashDriverActiveX& driver, const ax::TMovieLoad& load) {
    const TvdFlashDriver::TCallGuard guard(driver, TvdFlashDriver::TCallKind::Player);
    const ComPtr<IvdFlashPlayer> control = driver.GetControlInterface();
    const TBstr url(WString(load.Url));
    OleCheck(control->LoadMovie(0, url.Get()));
    for (const ax::TMovieVariable& variable : load.Variables) {
        if (driver.Detached()) return;
        driver.SetVariable(variable.Name, variable.Value);
    }
    if (driver.Detached()) return;
    driver.LoadedMovie = load.LoadedMovie;
    driver.IsFLV = load.IsFLV;
}

}  // namespace

void TvdFlashDriverActiveX::LoadMovie(const WideString& URL) {
    if (URL.empty() || FlashUnavailable || Detached()) return;
    const TCallGuard guard(*this, TCallKind::Player);
    StartMovie(*this, ax::PlanNamedLoad(URL, Skin, Volume));
    // A null message lets the control take the new movie up at once.
    if (WindowlessObject && !Detached()) {
        LRESULT result = 0;
        WindowlessObject->OnWindowMessage(0, 0, 0, &result);
    }
}

void TvdFlashDriverActiveX::LoadMovieFromStream(TStream* Stream) {
    if (!Stream || FlashUnavailable || Detached()) return;
    // The caller keeps the stream alive until the movie has loaded; the token names it.
    const bool video = IsVideoStream(*Stream);
    StartMovie(*this, ax::PlanStreamLoad(PublishStream(*Stream), video, Skin, Volume));
}

// ---- Service provider and bind host ------------------------------------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::QueryService(REFGUID, REFIID riid, void** object) {
    return Site->QueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::CreateMoniker(LPOLESTR name, IBindCtx*, IMoniker** moniker, DWORD) {
    if (!moniker) return E_POINTER;
    *moniker = nullptr;
    try {
        ax::TMonikerLookups lookups = ax::DefaultMonikerLookups();
        lookups.ResourceExists = [](const WideString& requested) {
            TMovieResource resource;
            return FindMovieResource(requested, resource);
        };
        lookups.ApplicationDirectory = ApplicationDirectory();
        ax::TMonikerResolution resolution = ax::ResolveMonikerName(FromWinStr(name), FBindTarget, lookups);
        if (resolution.Refused) return E_NOTIMPL;
        FBindTarget = std::move(resolution.Target);
        *moniker = static_cast<IMoniker*>(Site.Get());
        (*moniker)->AddRef();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::MonikerBindToStorage(IMoniker*, IBindCtx*, IBindStatusCallback*,
                                                                      REFIID, void** object) {
    return ClearOut(object, S_OK);
}

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::MonikerBindToObject(IMoniker*, IBindCtx*, IBindStatusCallback*, REFIID,
                                                                     void** object) {
    return ClearOut(object, S_OK);
}

// ---- The moniker: BindToStorage delivers, the rest is not used ----------------------------------

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::BindToStorage(IBindCtx* bindCtx, IMoniker*, REFIID, void** object) {
    if (object) *object = nullptr;
    // The pending target is this bind's, whatever becomes of it.
    const WideString target = std::exchange(FBindTarget, WideString());
    try {
        if (!bindCtx) return E_FAIL;
        ComPtr<IUnknown> holder;
        if (FAILED(bindCtx->GetObjectParam(const_cast<LPOLESTR>(kCallbackHolder), holder.GetAddressOf())) || !holder)
            return E_FAIL;
        ComPtr<IBindStatusCallback> callback;
        if (FAILED(holder.As(&callback)) || !callback) return E_FAIL;

        const ax::TBindSource source = ax::ClassifyBindTarget(target);
        ComPtr<IStream> data;
        switch (source.Kind) {
            case ax::TBindSourceKind::Resource: {
                TMovieResource resource;
                if (FindMovieResource(source.Name, resource)) data = OwnedMemoryStream(resource.Data, resource.Size);
                break;
            }
            case ax::TBindSourceKind::Stored:
                if (TvdFlashStream* stored = FlashList ? FlashList->Find(source.Name) : nullptr)
                    data = CopyOfStream(stored->Data());
                break;
            case ax::TBindSourceKind::Stream:
                if (TStream* stream = ResolveStreamToken(source.Name)) data = CopyOfStream(*stream);
                break;
            case ax::TBindSourceKind::Network:
                BindThroughUrlmon(Site, source.Name, callback);
                return S_OK;
        }
        // A source that is gone (a resource, a stored movie removed since, a stream no longer
        // published) is refused before the control starts waiting for it.
        if (!data) return E_FAIL;
        const ComPtr<IStream> delivered(new TDeliveredStream(Site, std::move(data)));
        Deliver(callback.Get(), delivered.Get());
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetClassID(CLSID* classID) {
    if (classID) *classID = CLSID_NULL;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::IsDirty() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Load(IStream*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Save(IStream*, BOOL) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::BindToObject(IBindCtx*, IMoniker*, REFIID, void** object) {
    return ClearOut(object, E_NOTIMPL);
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker** reduced) {
    return ClearOut(reduced, E_NOTIMPL);
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::ComposeWith(IMoniker*, BOOL, IMoniker** composite) {
    return ClearOut(composite, E_NOTIMPL);
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Enum(BOOL, IEnumMoniker** enumMoniker) {
    return ClearOut(enumMoniker, E_NOTIMPL);
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::IsEqual(IMoniker*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Hash(DWORD*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::IsRunning(IBindCtx*, IMoniker*, IMoniker*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::Inverse(IMoniker** inverse) { return ClearOut(inverse, E_NOTIMPL); }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::CommonPrefixWith(IMoniker*, IMoniker** prefix) {
    return ClearOut(prefix, E_NOTIMPL);
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::RelativePathTo(IMoniker*, IMoniker** relPath) {
    return ClearOut(relPath, E_NOTIMPL);
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*,
                                                                  IMoniker** out) {
    return ClearOut(out, E_NOTIMPL);
}
HRESULT STDMETHODCALLTYPE TvdFlashDriverActiveX::IsSystemMoniker(DWORD*) { return E_NOTIMPL; }

}  // namespace vd
