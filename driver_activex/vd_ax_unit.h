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
    win32::TModule Urlmon;    // loaded by the first start-up, freed by the last shut-down
    TURLOpenPullStreamW URLOpenPullStreamW = nullptr;
};
TUnit& Unit();

// Hands the exception being handled (call from a catch block) to the application's handler;
// never lets anything escape.
void ReportHandlerException(TObject* sender);

}  // namespace vd::ax
