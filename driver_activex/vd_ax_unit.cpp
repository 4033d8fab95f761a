// The unit's start-up and shut-down, the availability probe, the control description and the
// creation classes of the type library's other classes.
#include "vd_ax_unit.h"

#include "vd_flashplayer.h"
#include "vd_forms.h"
#include "vd_winstr.h"

namespace vd {

namespace ax {

TUnit& Unit() {
    static TUnit unit;
    return unit;
}

void ReportHandlerException(TObject* sender) {
    try {
        Application().HandleException(sender);
    } catch (...) {}
}

namespace {

// Creates an object of `cls` on this machine or on `machine`, asking for `iid`.
win32::ComPtr<IUnknown> CreateObject(const GUID& cls, const IID& iid, const WideString* machine) {
    win32::ComPtr<IUnknown> object;
    HRESULT hr;
    if (!machine) {
        hr = CoCreateInstance(cls, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, iid,
                              reinterpret_cast<void**>(object.GetAddressOf()));
    } else {
        std::wstring name(WinStr(*machine));
        COSERVERINFO server{};
        server.pwszName = name.data();
        MULTI_QI qi{&iid, nullptr, S_OK};
        hr = CoCreateInstanceEx(cls, nullptr, CLSCTX_REMOTE_SERVER | CLSCTX_LOCAL_SERVER, &server, 1, &qi);
        if (SUCCEEDED(hr)) hr = qi.hr;
        if (SUCCEEDED(hr)) object = win32::Adopt(qi.pItf);
    }
    OleCheck(hr);
    if (!object) OleCheck(E_NOINTERFACE);
    return object;
}

}  // namespace
}  // namespace ax

using namespace ax;

void InitializeDriverActiveXUnit() {
    TUnit& u = Unit();
    if (u.InitCount++ != 0) return;
    RegisterFlashClassStartups();
    // The control lives in this thread's single-threaded apartment, with OLE's clipboard and
    // drag-and-drop as a control expects; a thread that has started COM otherwise keeps it.
    // OLE still running for drivers that outlived the last shut-down is kept as it is.
    if (u.OleEndPending) u.OleEndPending = false;
    else u.OleStarted = SUCCEEDED(OleInitialize(nullptr));
    u.Urlmon.Reset(LoadLibraryW(L"urlmon.dll"));
    if (u.Urlmon)
        u.URLOpenPullStreamW = reinterpret_cast<TURLOpenPullStreamW>(
            reinterpret_cast<void*>(GetProcAddress(u.Urlmon.Get(), "URLOpenPullStreamW")));
    FlashDriverActiveXClass = &TvdFlashDriverActiveX::Class();
    FlashActiveXCheck().Install(&CheckFlashActiveX);
}

void FinalizeDriverActiveXUnit() {
    TUnit& u = Unit();
    if (u.InitCount == 0 || --u.InitCount != 0) return;
    // Controls whose teardown waits for the message loop go before the unit does.
    TvdFlashDriver::RunDeferred();
    // No control is looked for or made once the unit is gone.
    if (!FlashActiveXCheck().Done()) FlashActiveXCheck().Install(nullptr);
    if (FlashDriverActiveXClass == &TvdFlashDriverActiveX::Class()) FlashDriverActiveXClass = nullptr;
    u.URLOpenPullStreamW = nullptr;
    u.Urlmon.Reset();
    // Drivers still alive keep their controls, which need OLE until they go.
    u.OleEndPending = u.OleStarted;
    EndOleWhenUnused();
}

namespace ax {

void EndOleWhenUnused() {
    TUnit& u = Unit();
    if (!u.OleEndPending || u.InitCount != 0 || FlashControlDescription().InstanceCount > 0) return;
    u.OleEndPending = false;
    if (u.OleStarted) OleUninitialize();
    u.OleStarted = false;
}

}  // namespace ax

bool CheckFlashActiveX() {
    win32::ComPtr<IOleObject> object;
    // Only whether an object came back counts, not the result.
    CoCreateInstance(CLASS_vdFlashPlayer, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject,
                     reinterpret_cast<void**>(object.GetAddressOf()));
    // Something else registered under the class (a broken or foreign registration) is not it.
    return object && OffersControlInterfaces(object.Get());
}

bool TvdFlashDriverActiveX::PluginExists() { return FlashActiveXCheck().Available(); }

const TvdFlashDriverClass& TvdFlashDriverActiveX::Class() {
    static const TvdFlashDriverClass cls = MakeFlashDriverClass<TvdFlashDriverActiveX>("TvdFlashDriverActiveX");
    return cls;
}

TControlDescription& FlashControlDescription() {
    static TControlDescription description{
        CLASS_vdFlashPlayer,
        DIID__IvdFlashPlayerEvents,
        4,
        flash::kEventDispIDs,
        0,
        401,
        0,
        nullptr,
        0,
        nullptr,
        0,
        0,
        nullptr,
        0,
    };
    return description;
}

win32::ComPtr<IUnknown> CoFlashProp::Create() { return CreateObject(CLASS_FlashProp, IID_IUnknown, nullptr); }

win32::ComPtr<IUnknown> CoFlashProp::CreateRemote(const WideString& machineName) {
    return CreateObject(CLASS_FlashProp, IID_IUnknown, &machineName);
}

win32::ComPtr<IFlashObjectInterface> CoFlashObjectInterface::Create() {
    win32::ComPtr<IUnknown> object = CreateObject(CLASS_FlashObjectInterface, IID_IFlashObjectInterface, nullptr);
    return win32::Adopt(static_cast<IFlashObjectInterface*>(object.Detach()));
}

win32::ComPtr<IFlashObjectInterface> CoFlashObjectInterface::CreateRemote(const WideString& machineName) {
    win32::ComPtr<IUnknown> object = CreateObject(CLASS_FlashObjectInterface, IID_IFlashObjectInterface, &machineName);
    return win32::Adopt(static_cast<IFlashObjectInterface*>(object.Detach()));
}

}  // namespace vd
