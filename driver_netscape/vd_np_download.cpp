#include "vd_np_download.h"

#include <vector>

#include "vd_urlmon.h"
#include "vd_win32_owners.h"

namespace vd::np {

using win32::ComPtr;
using win32::InterfaceRow;
using win32::TInterfaceRow;

namespace {

// Downloads alive in the process (all on the thread that pumps urlmon's callbacks).
std::vector<TvdDownload*>& LiveDownloads() {
    static std::vector<TvdDownload*> live;
    return live;
}

// The entries of the urlmon its owner loaded; nullptr while none is handed over.
const win32::TUrlmonEntries* g_urlmon = nullptr;
size_t g_started = 0;

}  // namespace

size_t LiveDownloadCount() { return LiveDownloads().size(); }

void SetDownloadUrlmon(const win32::TUrlmonEntries* urlmon) {
    if (urlmon != g_urlmon) g_started = 0;
    g_urlmon = urlmon;
}

size_t StartedDownloadCount() { return g_started; }

size_t AbortDownloads() {
    // Each abort may end a binding and free its object at once: work on held references.
    std::vector<ComPtr<TvdDownload>> held(LiveDownloads().begin(), LiveDownloads().end());
    for (const ComPtr<TvdDownload>& download : held) {
        download->Detach();
        if (ComPtr<IBinding> binding = std::move(download->binding_)) binding->Abort();
    }
    held.clear();
    return LiveDownloadCount();
}

TvdDownload::TvdDownload(IvdDownloadSink* sink) : sink_(sink) { LiveDownloads().push_back(this); }

TvdDownload::~TvdDownload() { std::erase(LiveDownloads(), this); }

void TvdDownload::Detach() { sink_ = nullptr; }

STDMETHODIMP TvdDownload::QueryInterface(REFIID riid, void** object) {
    static const TInterfaceRow<TvdDownload> kInterfaces[] = {
        InterfaceRow<TvdDownload, IBindStatusCallback>(IID_IUnknown),
        InterfaceRow<TvdDownload, IBindStatusCallback>(IID_IBindStatusCallback),
        InterfaceRow<TvdDownload, IHttpNegotiate>(IID_IHttpNegotiate),
    };
    return win32::QueryInterfaceFrom(this, kInterfaces, riid, object);
}

STDMETHODIMP_(ULONG) TvdDownload::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) TvdDownload::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP TvdDownload::OnStartBinding(DWORD, IBinding* binding) {
    binding_ = binding;
    return S_OK;
}

STDMETHODIMP TvdDownload::GetPriority(LONG* priority) {
    if (!priority) return E_POINTER;
    *priority = THREAD_PRIORITY_NORMAL;
    return S_OK;
}

STDMETHODIMP TvdDownload::OnLowResource(DWORD) { return S_OK; }

STDMETHODIMP TvdDownload::OnProgress(ULONG, ULONG progressMax, ULONG statusCode, LPCWSTR) {
    // While data comes, the maximum is the length the server announced (0: not announced).
    if (statusCode == BINDSTATUS_BEGINDOWNLOADDATA || statusCode == BINDSTATUS_DOWNLOADINGDATA ||
        statusCode == BINDSTATUS_ENDDOWNLOADDATA) {
        if (progressMax > 0) announced_ = progressMax;
    }
    return S_OK;
}

STDMETHODIMP TvdDownload::OnStopBinding(HRESULT result, LPCWSTR) {
    binding_.Reset();
    try {
        const ComPtr<TvdDownload> keep(this);  // the sink may drop the last other reference
        // A binding that cannot start (a malformed URL, no host) ends here inside the start
        // call, before that call answers its failure (so in Wine 8): the start decides.
        if (starting_) {
            stopped_ = true;
            stopResult_ = result;
            return S_OK;
        }
        Finish(Succeeded(result));
    } catch (...) {
        sink_ = nullptr;
    }
    return S_OK;
}

STDMETHODIMP TvdDownload::GetBindInfo(DWORD* bindFlags, BINDINFO*) {
    if (!bindFlags) return E_POINTER;
    *bindFlags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
    return S_OK;
}

STDMETHODIMP TvdDownload::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) {
    // The size urlmon reports is the total so far, not this piece: the stream is read until
    // it has nothing more, and each piece goes on at the running offset.
    if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm) return S_OK;
    try {
        const ComPtr<TvdDownload> keep(this);
        if (starting_) {
            early_ = medium->pstm;
            return S_OK;
        }
        ReadFrom(medium->pstm);
        return S_OK;
    } catch (...) {
        sink_ = nullptr;
        return E_FAIL;
    }
}

STDMETHODIMP TvdDownload::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

STDMETHODIMP TvdDownload::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) {
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
}

STDMETHODIMP TvdDownload::OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR, LPWSTR* additionalRequestHeaders) {
    if (additionalRequestHeaders) *additionalRequestHeaders = nullptr;
    // An error page is not the body asked for: its bytes are dropped and the end is a failure.
    // Wine 8 hands a 404's page over as data and ends the binding with S_OK; only the status
    // seen here tells it from a movie.
    if (responseCode >= 400) failedStatus_ = true;
    return S_OK;
}

void TvdDownload::ReadFrom(IStream* stream) {
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got);
        // Wine 8 answers E_PENDING together with a full buffer when the transfer has more to
        // come: the bytes count, and the next OnDataAvailable brings the rest.
        if (FAILED(hr) && hr != E_PENDING) return;
        if (got > 0) {
            const size_t at = offset_;
            offset_ += got;
            // The sink may detach the download while it handles a piece.
            if (sink_ && !failedStatus_) sink_->DownloadData(buffer.data(), got, at);
        }
        if (hr != S_OK || got == 0) return;  // S_FALSE, E_PENDING or nothing: no more for now
    }
}

bool TvdDownload::Succeeded(HRESULT result) const {
    // Wine 8 ends a transfer whose connection closed early with S_OK too: a body shorter than
    // announced is a failure.
    return result == S_OK && !failedStatus_ && offset_ >= announced_;
}

void TvdDownload::Finish(bool ok) {
    IvdDownloadSink* sink = sink_;
    sink_ = nullptr;
    if (sink) sink->DownloadDone(ok);
}

void TvdDownload::Started(bool ok) {
    starting_ = false;
    if (!ok) {
        sink_ = nullptr;
        early_.Reset();
        binding_.Reset();
        return;
    }
    if (early_) {
        ComPtr<IStream> stream = std::move(early_);
        ReadFrom(stream.Get());
    }
    if (stopped_) Finish(Succeeded(stopResult_));
}

bool StartDownload(const std::wstring& url, IvdDownloadSink* sink, ComPtr<TvdDownload>* handle) {
    try {
        if (handle) handle->Reset();
        if (!sink) return false;
        if (!g_urlmon) return false;
        // The ComPtr takes the first reference (mingw-w64's ComPtr::Attach would add one more).
        const ComPtr<TvdDownload> download(new TvdDownload(sink));
        ++g_started;
        const HRESULT hr = win32::OpenPullBinding(*g_urlmon, url, download.Get());
        // The handle is handed over before the data reported during the start is passed on:
        // the sink may end (and its owner free `handle`) while it takes that data.
        if (SUCCEEDED(hr) && handle) *handle = download;
        download->Started(SUCCEEDED(hr));
        return SUCCEEDED(hr);
    } catch (...) {
        return false;
    }
}

}  // namespace vd::np
