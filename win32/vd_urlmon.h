// urlmon loaded at run time, and the pull binding both drivers open on it: URLOpenPullStreamW
// where it works, else the same binding through a URL moniker and an asynchronous bind
// context. Header-only, no framework dependency.
#pragma once

#include "vd_com.h"
#include "vd_win32_owners.h"

#include <urlmon.h>

#include <string>

namespace vd::win32 {

// The entry points of a loaded urlmon the bindings use; each may be missing.
struct TUrlmonEntries {
    using OpenPullStreamFn = HRESULT(WINAPI*)(IUnknown*, LPCWSTR, DWORD, IBindStatusCallback*);
    using CreateUrlMonikerExFn = HRESULT(WINAPI*)(IMoniker*, LPCWSTR, IMoniker**, DWORD);
    using CreateAsyncBindCtxFn = HRESULT(WINAPI*)(DWORD, IBindStatusCallback*, IEnumFORMATETC*, IBindCtx**);

    OpenPullStreamFn OpenPullStream = nullptr;
    CreateUrlMonikerExFn CreateUrlMonikerEx = nullptr;
    CreateAsyncBindCtxFn CreateAsyncBindCtx = nullptr;

    // Looked up in a urlmon someone else loaded (and keeps loaded); all empty for no module.
    static TUrlmonEntries From(HMODULE urlmon) {
        TUrlmonEntries e;
        if (!urlmon) return e;
        e.OpenPullStream = Entry<OpenPullStreamFn>(urlmon, "URLOpenPullStreamW");
        e.CreateUrlMonikerEx = Entry<CreateUrlMonikerExFn>(urlmon, "CreateURLMonikerEx");
        e.CreateAsyncBindCtx = Entry<CreateAsyncBindCtxFn>(urlmon, "CreateAsyncBindCtx");
        return e;
    }

private:
    template <class Fn> static Fn Entry(HMODULE module, const char* name) {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
};

// urlmon loaded, with its entry points. Load it from ordinary code (a unit's start-up, a first
// download), never from DllMain or a static constructor: that runs under the loader lock.
struct TUrlmon {
    TModule Module{LoadLibraryW(L"urlmon.dll")};
    TUrlmonEntries Entries = TUrlmonEntries::From(Module.Get());
};

// The pull binding URLOpenPullStreamW would make, through a URL moniker and an asynchronous
// bind context carrying the callback (whose GetBindInfo asks for pulled data). Wine 8 exports
// URLOpenPullStreamW but answers E_NOTIMPL; this binding answers MK_S_ASYNCHRONOUS there and
// reports everything later, from the message loop: a refused connection too (OnStopBinding
// with INET_E_DOWNLOAD_FAILURE).
inline HRESULT BindThroughMoniker(const TUrlmonEntries& urlmon, const std::wstring& url,
                                  IBindStatusCallback* callback) {
    if (!urlmon.CreateUrlMonikerEx || !urlmon.CreateAsyncBindCtx) return E_NOTIMPL;
    ComPtr<IMoniker> moniker;
    HRESULT hr = urlmon.CreateUrlMonikerEx(nullptr, url.c_str(), moniker.GetAddressOf(), URL_MK_UNIFORM);
    if (FAILED(hr)) return hr;
    ComPtr<IBindCtx> context;
    hr = urlmon.CreateAsyncBindCtx(0, callback, nullptr, context.GetAddressOf());
    if (FAILED(hr)) return hr;
    ComPtr<IStream> stream;  // stays empty: the data comes through OnDataAvailable
    return moniker->BindToStorage(context.Get(), nullptr, IID_IStream, reinterpret_cast<void**>(stream.GetAddressOf()));
}

// Opens a pull binding of url that reports to callback: URLOpenPullStreamW, or where it is
// missing or answers E_NOTIMPL, the moniker binding above. E_NOTIMPL when neither is there.
inline HRESULT OpenPullBinding(const TUrlmonEntries& urlmon, const std::wstring& url, IBindStatusCallback* callback) {
    HRESULT hr = E_NOTIMPL;
    if (urlmon.OpenPullStream) hr = urlmon.OpenPullStream(nullptr, url.c_str(), 0, callback);
    if (hr == E_NOTIMPL) hr = BindThroughMoniker(urlmon, url, callback);
    return hr;
}

}  // namespace vd::win32
