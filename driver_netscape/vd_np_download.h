// Downloads of network URLs for the Netscape driver: one COM object a request, bound
// asynchronously through urlmon on the thread that starts it, handing each piece of data to a
// sink as it arrives and telling it once how the transfer ended. The object lives as long as
// the binding holds it; a driver that goes away detaches it and hears nothing more.
#pragma once

#include "vd_com.h"

#include <urlmon.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "vd_urlmon.h"

namespace vd::np {

// What a download reports to. Called on the thread that started the download, from its
// message loop (a binding urlmon ends before StartDownload returns is reported inside it).
class IvdDownloadSink {
public:
    // The next piece of the body; `offset` is where it starts in the body (the running
    // position: the pieces follow each other without gaps).
    virtual void DownloadData(const uint8_t* data, size_t size, size_t offset) = 0;
    // Exactly once, after the last DownloadData: true when the whole body arrived, false when
    // the transfer failed (no connection, an HTTP error status, a broken transfer).
    virtual void DownloadDone(bool ok) = 0;

protected:
    ~IvdDownloadSink() = default;
};

// One download: urlmon's binding callback. Reference counted; the binding holds it while the
// transfer runs and lets it go when the transfer ends.
class TvdDownload final : public IBindStatusCallback, public IHttpNegotiate {
public:
    TvdDownload(const TvdDownload&) = delete;
    TvdDownload& operator=(const TvdDownload&) = delete;

    // Cuts the download off from its sink: nothing reaches the sink after this (its driver or
    // plugin instance is going away). The transfer itself runs on and its data is dropped.
    void Detach();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override;
    STDMETHODIMP GetPriority(LONG* priority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;
    STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error) override;
    STDMETHODIMP GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
    STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* object) override;

    // IHttpNegotiate: the response status tells a served body from an error page.
    STDMETHODIMP BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additionalHeaders) override;
    STDMETHODIMP OnResponse(DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                            LPWSTR* additionalRequestHeaders) override;

private:
    friend bool StartDownload(const std::wstring& url, IvdDownloadSink* sink, win32::ComPtr<TvdDownload>* handle);

    friend size_t AbortDownloads();

    explicit TvdDownload(IvdDownloadSink* sink);
    ~TvdDownload();

    // Passes on what `stream` holds beyond what was passed on already.
    void ReadFrom(IStream* stream);
    // Whether a binding that stopped with `result` brought the whole body.
    bool Succeeded(HRESULT result) const;
    // Tells the sink how the transfer ended, once, and lets it go.
    void Finish(bool ok);
    // After the start call answered: a failed start leaves the sink alone; a successful one
    // passes on whatever urlmon reported while it was still inside the call.
    void Started(bool ok);

    LONG refs_ = 0;  // the first ComPtr to hold it takes the first reference
    IvdDownloadSink* sink_;
    size_t offset_ = 0;                // bytes of the body passed on so far
    size_t announced_ = 0;             // the body's length as the server announced it, or 0
    bool failedStatus_ = false;        // the server answered with an HTTP error status
    bool starting_ = true;             // still inside the call that starts the binding
    bool stopped_ = false;             // OnStopBinding arrived while starting
    HRESULT stopResult_ = S_OK;        // ... with this result
    win32::ComPtr<IStream> early_;     // data reported while starting, read once the start answered
    win32::ComPtr<IBinding> binding_;  // while the transfer runs: what AbortDownloads stops
};

// The urlmon downloads bind through. Whoever starts downloads loads urlmon and hands its entries
// over first (the Netscape unit does at its first start-up), and takes them back (nullptr) before
// it frees urlmon; without them no download starts.
void SetDownloadUrlmon(const win32::TUrlmonEntries* urlmon);

// Cuts every live download off from its sink and aborts its transfer, so that urlmon lets the
// objects go. Answers how many are still alive afterwards (0 when urlmon let them all go at
// once): urlmon must not be freed while one is.
size_t AbortDownloads();

// Downloads started since urlmon was last handed over. Once a transfer has run, urlmon keeps
// work of its own on the thread (its notification window, messages of the transfer's end)
// that outlives the download objects: such a urlmon must stay loaded.
size_t StartedDownloadCount();

// Starts downloading `url` (COM must be initialised on the calling thread, which must pump
// messages). False when it cannot start (also without urlmon); the sink then hears nothing. The object may be kept
// through `handle` to Detach() it; dropping it does not stop the download. `handle` is filled
// before anything reaches the sink and never touched after: the sink may free it.
bool StartDownload(const std::wstring& url, IvdDownloadSink* sink, win32::ComPtr<TvdDownload>* handle = nullptr);

// Download objects alive in the process: for tests that check they are released.
size_t LiveDownloadCount();

}  // namespace vd::np
