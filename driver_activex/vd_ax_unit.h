// What the ActiveX driver's files share inside the library: the unit's process-wide state
// (urlmon, OLE) and the helpers the files have in common.
#pragma once

#include "vd_driver_activex.h"
#include "vd_win32_owners.h"

namespace vd::ax {

using TURLOpenPullStreamW = HRESULT(WINAPI*)(LPUNKNOWN caller, LPCWSTR url, DWORD reserved,
                                             LPBINDSTATUSCALLBACK callback);

struct TUnit {
    int InitCount = 0;
    bool OleStarted = false;  // OleInitialize succeeded here and is undone at the end
    // The last shut-down came while drivers were alive: the last of them ends OLE.
    bool OleEndPending = false;
    win32::TModule Urlmon;  // loaded by the first start-up, freed by the last shut-down
    TURLOpenPullStreamW URLOpenPullStreamW = nullptr;
};
TUnit& Unit();
// Ends OLE when the unit has been shut down and no driver is left (a driver calls it as it
// goes).
void EndOleWhenUnused();

// Hands the exception being handled (call from a catch block) to the application's handler;
// never lets anything escape.
void ReportHandlerException(TObject* sender);

}  // namespace vd::ax

namespace vd::ax {

// Texts at the COM boundary: a real BSTR made from a wide string, and a BSTR's text.
inline win32::TBstr ToBstr(const WideString& s) {
    return win32::TBstr(std::wstring_view(reinterpret_cast<const wchar_t*>(s.data()), s.size()));
}
inline WideString FromBstr(BSTR b) {
    return b ? WideString(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : WideString();
}

// Runs a site method's work: nothing it raises leaves the site; the application hears of it.
template <class F> HRESULT SiteCall(TObject* sender, HRESULT onError, F&& work) {
    try {
        return work();
    } catch (...) {
        ReportHandlerException(sender);
        return onError;
    }
}

}  // namespace vd::ax
