// vdflashax.dll as a container hosts it: registered with regsvr32 in a Wine prefix of its own,
// created with CoCreateInstance, activated windowless through a site of ours, fed through our
// bind host, drawn through IViewObject, scripted through the control interface.
#include "rp_engine.h"
#include "rp_test_util.h"
#include "swf_builder.h"
#include "vd_com.h"
#include "vd_flash_control.h"

#include <ocidl.h>
#include <urlmon.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using vd::win32::ComPtr;
using vd::win32::InterfaceRow;
using vd::win32::QueryInterfaceFrom;
using vd::win32::TBstr;
using vd::win32::TExcepInfo;
using vd::win32::TInterfaceRow;
using vd::win32::TVariant;
using vd::win32::WideToUtf8;

namespace {

// ---- The container's site -------------------------------------------------------------------

class Site final : public IOleClientSite,
                   public IOleInPlaceSiteWindowless,
                   public IOleInPlaceFrame,
                   public IServiceProvider,
                   public IBindHost,
                   public IMoniker,
                   public IDispatch {
public:
    std::vector<std::string> calls;
    std::vector<std::string> monikerNames;
    std::vector<RECT> invalid;
    std::map<std::string, std::vector<uint8_t>> files;
    std::string pendingName;
    bool bscHolderFound = false;
    int width = 400, height = 300;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const TInterfaceRow<Site> kInterfaces[] = {
            InterfaceRow<Site, IOleClientSite>(IID_IUnknown),
            InterfaceRow<Site, IOleClientSite>(IID_IOleClientSite),
            InterfaceRow<Site, IOleInPlaceSiteWindowless>(IID_IOleInPlaceSite),
            InterfaceRow<Site, IOleInPlaceSiteWindowless>(IID_IOleInPlaceSiteEx),
            InterfaceRow<Site, IOleInPlaceSiteWindowless>(IID_IOleInPlaceSiteWindowless),
            InterfaceRow<Site, IOleInPlaceFrame>(IID_IOleInPlaceFrame),
            InterfaceRow<Site, IOleInPlaceFrame>(IID_IOleInPlaceUIWindow),
            InterfaceRow<Site, IServiceProvider>(IID_IServiceProvider),
            InterfaceRow<Site, IBindHost>(IID_IBindHost),
            InterfaceRow<Site, IMoniker>(IID_IMoniker),
            InterfaceRow<Site, IDispatch>(IID_IDispatch),
        };
        return QueryInterfaceFrom(this, kInterfaces, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** pp) override {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** pp) override {
        if (pp) *pp = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return S_OK; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* h) override {
        calls.push_back("GetWindow");
        *h = nullptr;
        return E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override {
        calls.push_back("CanInPlaceActivate");
        return S_OK;
    }
    STDMETHODIMP OnInPlaceActivate() override {
        calls.push_back("OnInPlaceActivate");
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        calls.push_back("GetWindowContext");
        if (frame) ComPtr<IOleInPlaceFrame>(this).CopyTo(frame);
        if (doc) *doc = nullptr;
        SetRect(pos, 0, 0, width, height);
        SetRect(clip, 0, 0, 32767, 32767);
        info->fMDIApp = FALSE;
        info->hwndFrame = nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override {
        calls.push_back("OnInPlaceDeactivate");
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    // IOleInPlaceSiteEx
    STDMETHODIMP OnInPlaceActivateEx(BOOL*, DWORD flags) override {
        calls.push_back("OnInPlaceActivateEx " + std::to_string(flags));
        return S_OK;
    }
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override {
        calls.push_back("OnInPlaceDeactivateEx");
        return S_OK;
    }
    STDMETHODIMP RequestUIActivate() override { return S_OK; }
    // IOleInPlaceSiteWindowless
    STDMETHODIMP CanWindowlessActivate() override {
        calls.push_back("CanWindowlessActivate");
        return S_OK;
    }
    STDMETHODIMP GetCapture() override { return S_FALSE; }
    STDMETHODIMP SetCapture(BOOL) override { return S_OK; }
    STDMETHODIMP GetFocus() override { return S_OK; }
    STDMETHODIMP SetFocus(BOOL) override { return S_OK; }
    STDMETHODIMP GetDC(LPCRECT, DWORD, HDC* dc) override {
        *dc = nullptr;
        return E_FAIL;
    }
    STDMETHODIMP ReleaseDC(HDC) override { return S_OK; }
    STDMETHODIMP InvalidateRect(LPCRECT r, BOOL) override {
        invalid.push_back(r ? *r : RECT{0, 0, width, height});
        return S_OK;
    }
    STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return S_OK; }
    STDMETHODIMP AdjustRect(LPRECT) override { return S_OK; }
    STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_OK; }
    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IServiceProvider: the service id is not looked at.
    STDMETHODIMP QueryService(REFGUID, REFIID riid, void** ppv) override {
        calls.push_back(riid == IID_IBindHost ? "QueryService IBindHost" : "QueryService other");
        return QueryInterface(riid, ppv);
    }

    // IBindHost
    STDMETHODIMP CreateMoniker(LPOLESTR name, IBindCtx*, IMoniker** mk, DWORD) override {
        monikerNames.push_back(WideToUtf8(name));
        pendingName = WideToUtf8(name);
        return ComPtr<IMoniker>(this).CopyTo(mk);
    }
    STDMETHODIMP MonikerBindToStorage(IMoniker*, IBindCtx*, IBindStatusCallback*, REFIID, void** pp) override {
        *pp = nullptr;
        return S_OK;
    }
    STDMETHODIMP MonikerBindToObject(IMoniker*, IBindCtx*, IBindStatusCallback*, REFIID, void** pp) override {
        *pp = nullptr;
        return S_OK;
    }

    // IMoniker: the one that matters is BindToStorage, which delivers in one notification.
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDirty() override { return E_NOTIMPL; }
    STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID, void** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP BindToStorage(IBindCtx* bc, IMoniker*, REFIID, void** pp) override {
        if (pp) *pp = nullptr;
        const std::string name = pendingName;
        pendingName.clear();
        if (!bc) return E_FAIL;
        ComPtr<IUnknown> holder;
        if (FAILED(bc->GetObjectParam(const_cast<LPOLESTR>(L"_BSCB_Holder_"), &holder)) || !holder) return E_FAIL;
        ComPtr<IBindStatusCallback> bsc;
        if (FAILED(holder.As(&bsc))) return E_FAIL;
        bscHolderFound = true;
        const auto it = files.find(name);
        if (it == files.end()) return S_OK;
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, it->second.size());
        std::memcpy(GlobalLock(mem), it->second.data(), it->second.size());
        GlobalUnlock(mem);
        ComPtr<IStream> stream;
        CreateStreamOnHGlobal(mem, TRUE, &stream);
        STGMEDIUM med{};
        med.tymed = TYMED_ISTREAM;
        med.pstm = stream.Get();
        bsc->OnStartBinding(0, nullptr);
        bsc->OnProgress(100, 100, BINDSTATUS_ENDDOWNLOADDATA, L"");
        bsc->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION,
                             static_cast<DWORD>(it->second.size()), nullptr, &med);
        bsc->OnStopBinding(S_OK, L"");
        return S_OK;
    }
    STDMETHODIMP Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP ComposeWith(IMoniker*, BOOL, IMoniker** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP Enum(BOOL, IEnumMoniker** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP IsEqual(IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP Hash(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
    STDMETHODIMP Inverse(IMoniker** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP CommonPrefixWith(IMoniker*, IMoniker** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP RelativePathTo(IMoniker*, IMoniker** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP IsSystemMoniker(DWORD*) override { return E_NOTIMPL; }

    // IDispatch: the ambient properties.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        if (id == DISPID_AMBIENT_USERMODE) {
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
            return S_OK;
        }
        if (id == DISPID_AMBIENT_DISPLAYNAME) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(L"Player1");
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
};

// The events sink: records events and answers external calls.
class Events final : public IDispatch {
public:
    std::vector<std::string> received;
    ComPtr<IvdFlashPlayer> control;
    std::string answer = "<string>from host</string>";

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const TInterfaceRow<Events> kInterfaces[] = {
            InterfaceRow<Events, IDispatch>(IID_IUnknown),
            InterfaceRow<Events, IDispatch>(IID_IDispatch),
            InterfaceRow<Events, IDispatch>(vd::flash::DIID__IvdFlashPlayerEvents),
        };
        return QueryInterfaceFrom(this, kInterfaces, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** pp) override {
        *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
        std::string line = std::to_string(id);
        // Arguments arrive last first.
        for (UINT i = p->cArgs; i-- > 0;) {
            const VARIANT& v = p->rgvarg[i];
            line += "|" + (v.vt == VT_BSTR ? TBstr::Utf8Text(v.bstrVal) : "vt" + std::to_string(v.vt));
        }
        received.push_back(line);
        if (id == vd::flash::DISPID_FlashCall && control) control->SetReturnValue(TBstr::FromUtf8(answer).Get());
        return S_OK;
    }
};

// 400 x 300, four frames: a panel (50,37)-(350,263) in 0x2060C0 at half alpha, a dark track
// (100,132)-(300,168) and its orange fill, a quarter longer each frame; the rest untouched.
std::vector<uint8_t> FourFrames() {
    vdtest::SwfBuilder b(400, 300, 24, 4);
    b.Background(0x2060C0).ProgressFrames(0x2060C0, [](vdtest::SwfBuilder& f, int frame) {
        if (frame == 0) f.FSCommand("started", "").Callback("echo");
    });
    return b.Cws();
}

// The engine's premultiplied picture of the movie's first frame at its own size (400 x 300),
// without its background.
std::vector<uint32_t> EnginePicture(const std::vector<uint8_t>& movie, vd::swf::Quality quality) {
    const auto loaded = vd::swf::LoadMovie(movie.data(), movie.size());
    std::vector<uint32_t> px(400 * 300, 0u);
    if (!loaded.movie) return px;
    vd::swf::Stage stage(loaded.movie);
    vd::swf::RenderOptions o;
    o.quality = quality;
    o.fillBackground = false;
    stage.Render(px.data(), 400, 300, 400, o);
    return px;
}

class ComApartment {
public:
    ComApartment() { OleInitialize(nullptr); }
    ~ComApartment() { OleUninitialize(); }
};

// A control created and activated the way a container does it.
struct Hosted {
    Site site;
    Events events;
    ComPtr<IOleObject> ole;
    ComPtr<IvdFlashPlayer> flash;
    ComPtr<IOleInPlaceObjectWindowless> windowless;
    ComPtr<IViewObject> view;
    DWORD eventsCookie = 0;
    HRESULT createResult = E_FAIL;
    vdtest::Hooks hooks;

    explicit Hosted(const char* faults = "", bool activate = true) {
        SetEnvironmentVariableA("VDRP_FAULTS", faults);
        SetEnvironmentVariableA("VDRP_TIMER", "off");
        createResult =
            CoCreateInstance(vd::flash::CLASS_vdFlashPlayer, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                             IID_IOleObject, reinterpret_cast<void**>(ole.GetAddressOf()));
        SetEnvironmentVariableA("VDRP_FAULTS", nullptr);
        if (FAILED(createResult)) return;
        hooks.Load(GetModuleHandleW(L"vdflashax.dll"));
        ole.As(&flash);
        events.control = flash;
        ole->SetClientSite(&site);
        ComPtr<IPersistStreamInit> persist;
        ole.As(&persist);
        persist->InitNew();
        ComPtr<IConnectionPointContainer> cpc;
        ole.As(&cpc);
        ComPtr<IConnectionPoint> cp;
        if (SUCCEEDED(cpc->FindConnectionPoint(vd::flash::DIID__IvdFlashPlayerEvents, &cp)))
            cp->Advise(static_cast<IDispatch*>(&events), &eventsCookie);
        if (!activate) return;
        RECT pos{0, 0, site.width, site.height};
        ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, &pos);
        ole.As(&windowless);
        ole.As(&view);
        if (windowless) windowless->SetObjectRects(&pos, &pos);
    }
    ~Hosted() {
        if (ole) {
            ole->Close(OLECLOSE_NOSAVE);
            ole->SetClientSite(nullptr);
        }
    }
    HRESULT Load(const std::string& url) { return flash->LoadMovie(0, TBstr::FromUtf8(url).Get()); }
};

// ---- Tests ----------------------------------------------------------------------------------

TEST(ActiveXServer, RegisteredAsAnApartmentControlWithItsTypeLibrary) {
    ComApartment com;
    wchar_t clsid[64];
    StringFromGUID2(vd::flash::CLASS_vdFlashPlayer, clsid, 64);
    const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    wchar_t value[MAX_PATH];
    LONG size = sizeof value;
    ASSERT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), value, &size), ERROR_SUCCESS);
    EXPECT_NE(std::wstring(value).find(L"vdflashax.dll"), std::wstring::npos);
    vd::win32::TRegKey h;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.Out()), ERROR_SUCCESS);
    DWORD type = 0, bytes = sizeof value;
    EXPECT_EQ(RegQueryValueExW(h.Get(), L"ThreadingModel", nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(value), L"Apartment");

    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(vd::flash::LIBID_vdFlashPlayerObjects, 1, 0, 0, &lib), S_OK);
    ComPtr<ITypeInfo> events;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(vd::flash::DIID__IvdFlashPlayerEvents, &events), S_OK);

    Hosted control;
    ASSERT_EQ(control.createResult, S_OK);
    ComPtr<IProvideClassInfo> pci;
    ASSERT_EQ(control.ole.As(&pci), S_OK);
    ComPtr<ITypeInfo> cls;
    ASSERT_EQ(pci->GetClassInfo(&cls), S_OK);
    TYPEATTR* attr = nullptr;
    cls->GetTypeAttr(&attr);
    EXPECT_TRUE(IsEqualGUID(attr->guid, vd::flash::CLASS_vdFlashPlayer));
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    cls->ReleaseTypeAttr(attr);
}

TEST(ActiveXServer, UnregistersAndRegistersAgain) {
    ComApartment com;
    const vd::win32::TModule dll(LoadLibraryW((vdtest::ExeDir() + L"vdflashax.dll").c_str()));
    ASSERT_TRUE(dll);
    using Fn = HRESULT(WINAPI*)();
    auto unreg = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll.Get(), "DllUnregisterServer")));
    auto reg = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll.Get(), "DllRegisterServer")));
    ASSERT_TRUE(unreg && reg);
    ASSERT_EQ(unreg(), S_OK);
    ComPtr<IOleObject> ole;
    EXPECT_EQ(CoCreateInstance(vd::flash::CLASS_vdFlashPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                               reinterpret_cast<void**>(ole.GetAddressOf())),
              REGDB_E_CLASSNOTREG);
    ComPtr<ITypeLib> lib;
    EXPECT_NE(LoadRegTypeLib(vd::flash::LIBID_vdFlashPlayerObjects, 1, 0, 0, &lib), S_OK);
    ASSERT_EQ(reg(), S_OK);
    EXPECT_EQ(CoCreateInstance(vd::flash::CLASS_vdFlashPlayer, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                               reinterpret_cast<void**>(ole.GetAddressOf())),
              S_OK);
    EXPECT_EQ(LoadRegTypeLib(vd::flash::LIBID_vdFlashPlayerObjects, 1, 0, 0, &lib), S_OK);
    ole.Reset();
    lib.Reset();
}

// The control interface's members in their published order, with their DISPIDs.
struct Member {
    const char* name;
    DISPID id;
    INVOKEKIND kind;
};
const Member kMembers[] = {
    {"ReadyState", -525, INVOKE_PROPERTYGET},
    {"TotalFrames", 124, INVOKE_PROPERTYGET},
    {"Playing", 125, INVOKE_PROPERTYGET},
    {"Playing", 125, INVOKE_PROPERTYPUT},
    {"Quality", 105, INVOKE_PROPERTYGET},
    {"Quality", 105, INVOKE_PROPERTYPUT},
    {"ScaleMode", 120, INVOKE_PROPERTYGET},
    {"ScaleMode", 120, INVOKE_PROPERTYPUT},
    {"AlignMode", 121, INVOKE_PROPERTYGET},
    {"AlignMode", 121, INVOKE_PROPERTYPUT},
    {"BackgroundColor", 123, INVOKE_PROPERTYGET},
    {"BackgroundColor", 123, INVOKE_PROPERTYPUT},
    {"Loop", 106, INVOKE_PROPERTYGET},
    {"Loop", 106, INVOKE_PROPERTYPUT},
    {"Movie", 102, INVOKE_PROPERTYGET},
    {"Movie", 102, INVOKE_PROPERTYPUT},
    {"FrameNum", 107, INVOKE_PROPERTYGET},
    {"FrameNum", 107, INVOKE_PROPERTYPUT},
    {"SetZoomRect", 109, INVOKE_FUNC},
    {"Zoom", 118, INVOKE_FUNC},
    {"Pan", 119, INVOKE_FUNC},
    {"Play", 112, INVOKE_FUNC},
    {"Stop", 113, INVOKE_FUNC},
    {"Back", 114, INVOKE_FUNC},
    {"Forward", 115, INVOKE_FUNC},
    {"Rewind", 116, INVOKE_FUNC},
    {"StopPlay", 126, INVOKE_FUNC},
    {"GotoFrame", 127, INVOKE_FUNC},
    {"CurrentFrame", 128, INVOKE_FUNC},
    {"IsPlaying", 129, INVOKE_FUNC},
    {"PercentLoaded", 130, INVOKE_FUNC},
    {"FrameLoaded", 131, INVOKE_FUNC},
    {"FlashVersion", 132, INVOKE_FUNC},
    {"WMode", 133, INVOKE_PROPERTYGET},
    {"WMode", 133, INVOKE_PROPERTYPUT},
    {"SAlign", 134, INVOKE_PROPERTYGET},
    {"SAlign", 134, INVOKE_PROPERTYPUT},
    {"Menu", 135, INVOKE_PROPERTYGET},
    {"Menu", 135, INVOKE_PROPERTYPUT},
    {"Base", 136, INVOKE_PROPERTYGET},
    {"Base", 136, INVOKE_PROPERTYPUT},
    {"Scale", 137, INVOKE_PROPERTYGET},
    {"Scale", 137, INVOKE_PROPERTYPUT},
    {"DeviceFont", 138, INVOKE_PROPERTYGET},
    {"DeviceFont", 138, INVOKE_PROPERTYPUT},
    {"EmbedMovie", 139, INVOKE_PROPERTYGET},
    {"EmbedMovie", 139, INVOKE_PROPERTYPUT},
    {"BGColor", 140, INVOKE_PROPERTYGET},
    {"BGColor", 140, INVOKE_PROPERTYPUT},
    {"Quality2", 141, INVOKE_PROPERTYGET},
    {"Quality2", 141, INVOKE_PROPERTYPUT},
    {"LoadMovie", 142, INVOKE_FUNC},
    {"TGotoFrame", 143, INVOKE_FUNC},
    {"TGotoLabel", 144, INVOKE_FUNC},
    {"TCurrentFrame", 145, INVOKE_FUNC},
    {"TCurrentLabel", 146, INVOKE_FUNC},
    {"TPlay", 147, INVOKE_FUNC},
    {"TStopPlay", 148, INVOKE_FUNC},
    {"SetVariable", 151, INVOKE_FUNC},
    {"GetVariable", 152, INVOKE_FUNC},
    {"TSetProperty", 153, INVOKE_FUNC},
    {"TGetProperty", 154, INVOKE_FUNC},
    {"TCallFrame", 155, INVOKE_FUNC},
    {"TCallLabel", 156, INVOKE_FUNC},
    {"TSetPropertyNum", 157, INVOKE_FUNC},
    {"TGetPropertyNum", 158, INVOKE_FUNC},
    {"TGetPropertyAsNumber", 172, INVOKE_FUNC},
    {"SWRemote", 159, INVOKE_PROPERTYGET},
    {"SWRemote", 159, INVOKE_PROPERTYPUT},
    {"FlashVars", 170, INVOKE_PROPERTYGET},
    {"FlashVars", 170, INVOKE_PROPERTYPUT},
    {"AllowScriptAccess", 171, INVOKE_PROPERTYGET},
    {"AllowScriptAccess", 171, INVOKE_PROPERTYPUT},
    {"MovieData", 190, INVOKE_PROPERTYGET},
    {"MovieData", 190, INVOKE_PROPERTYPUT},
    {"InlineData", 191, INVOKE_PROPERTYGET},
    {"InlineData", 191, INVOKE_PROPERTYPUT},
    {"SeamlessTabbing", 192, INVOKE_PROPERTYGET},
    {"SeamlessTabbing", 192, INVOKE_PROPERTYPUT},
    {"EnforceLocalSecurity", 193, INVOKE_FUNC},
    {"Profile", 194, INVOKE_PROPERTYGET},
    {"Profile", 194, INVOKE_PROPERTYPUT},
    {"ProfileAddress", 195, INVOKE_PROPERTYGET},
    {"ProfileAddress", 195, INVOKE_PROPERTYPUT},
    {"ProfilePort", 196, INVOKE_PROPERTYGET},
    {"ProfilePort", 196, INVOKE_PROPERTYPUT},
    {"CallFunction", 198, INVOKE_FUNC},
    {"SetReturnValue", 199, INVOKE_FUNC},
    {"DisableLocalSecurity", 200, INVOKE_FUNC},
    {"AllowNetworking", 201, INVOKE_PROPERTYGET},
    {"AllowNetworking", 201, INVOKE_PROPERTYPUT},
    {"AllowFullScreen", 202, INVOKE_PROPERTYGET},
    {"AllowFullScreen", 202, INVOKE_PROPERTYPUT},
};

TEST(ActiveXTypeInfo, TheControlInterfaceHasThePublishedOrderAndAnEnumeratedProperty) {
    ComApartment com;
    Hosted control("", false);
    ASSERT_EQ(control.createResult, S_OK);
    ComPtr<IDispatch> disp;
    ASSERT_EQ(control.ole.As(&disp), S_OK);
    // What the control's IDispatch describes: a dispatch view listing the control interface's
    // members in order, then a property of an enumeration type, which is also a variable.
    ComPtr<ITypeInfo> ti;
    ASSERT_EQ(disp->GetTypeInfo(0, 0, &ti), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(ti->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    const UINT funcs = attr->cFuncs, vars = attr->cVars;
    ti->ReleaseTypeAttr(attr);
    ASSERT_EQ(funcs, std::size(kMembers) + 2);
    for (UINT i = 0; i < std::size(kMembers); ++i) {
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(ti->GetFuncDesc(i, &fd), S_OK);
        TBstr name;
        ti->GetDocumentation(fd->memid, name.Out(), nullptr, nullptr, nullptr);
        EXPECT_EQ(name.Utf8(), kMembers[i].name) << "member " << i;
        EXPECT_EQ(fd->memid, kMembers[i].id) << kMembers[i].name;
        EXPECT_EQ(fd->invkind, kMembers[i].kind) << kMembers[i].name;
        ti->ReleaseFuncDesc(fd);
    }

    // The vtable of the control interface: its slots follow IDispatch's seven, in that order.
    ComPtr<ITypeLib> lib;
    UINT index = 0;
    ASSERT_EQ(ti->GetContainingTypeLib(&lib, &index), S_OK);
    ComPtr<ITypeInfo> dual;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(vd::flash::IID_IvdFlashPlayer, &dual), S_OK);
    HREFTYPE ref;
    ASSERT_EQ(dual->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    ComPtr<ITypeInfo> base;
    ASSERT_EQ(dual->GetRefTypeInfo(ref, &base), S_OK);
    ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    ASSERT_EQ(attr->cFuncs, std::size(kMembers));
    base->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < std::size(kMembers); ++i) {
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(base->GetFuncDesc(i, &fd), S_OK);
        EXPECT_EQ(fd->memid, kMembers[i].id) << kMembers[i].name;
        EXPECT_EQ(fd->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << kMembers[i].name;
        base->ReleaseFuncDesc(fd);
    }

    // The enumerated property: as a variable and as a property-get function, same DISPID,
    // and its type resolves to an enumeration (not an alias).
    auto expectEnum = [&](const TYPEDESC& td) {
        ASSERT_EQ(td.vt, VT_USERDEFINED);
        ComPtr<ITypeInfo> et;
        ASSERT_EQ(ti->GetRefTypeInfo(td.hreftype, &et), S_OK);
        TYPEATTR* ea = nullptr;
        et->GetTypeAttr(&ea);
        EXPECT_EQ(ea->typekind, TKIND_ENUM);
        EXPECT_EQ(ea->cVars, 7);
        et->ReleaseTypeAttr(ea);
        VARDESC* vd = nullptr;
        et->GetVarDesc(0, &vd);
        TBstr cname;
        et->GetDocumentation(vd->memid, cname.Out(), nullptr, nullptr, nullptr);
        EXPECT_EQ(cname.Utf8(), "__vdLowQuality");
        EXPECT_EQ(vd->lpvarValue->lVal, 0);
        et->ReleaseVarDesc(vd);
    };
    ASSERT_EQ(vars, 1u);
    VARDESC* var = nullptr;
    ASSERT_EQ(ti->GetVarDesc(0, &var), S_OK);
    EXPECT_EQ(var->memid, vd::flash::DISPID_QualityLevel);
    expectEnum(var->elemdescVar.tdesc);
    ti->ReleaseVarDesc(var);
    FUNCDESC* get = nullptr;
    ASSERT_EQ(ti->GetFuncDesc(static_cast<UINT>(std::size(kMembers)), &get), S_OK);
    EXPECT_EQ(get->memid, vd::flash::DISPID_QualityLevel);
    EXPECT_EQ(get->invkind, INVOKE_PROPERTYGET);
    expectEnum(get->elemdescFunc.tdesc);
    ti->ReleaseFuncDesc(get);

    // And the property works through IDispatch.
    TVariant v = TVariant::Int(5);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS dp{v.Ptr(), &put, 1, 1};
    EXPECT_EQ(
        disp->Invoke(vd::flash::DISPID_QualityLevel, IID_NULL, 0, DISPATCH_PROPERTYPUT, &dp, nullptr, nullptr, nullptr),
        S_OK);
    TBstr quality;
    control.flash->get_Quality2(quality.Out());
    EXPECT_EQ(quality.Utf8(), "Best");
}

TEST(ActiveXControl, ActivatesWindowlessThroughTheSiteAndLoadsThroughTheBindHost) {
    ComApartment com;
    Hosted control;
    ASSERT_EQ(control.createResult, S_OK);
    EXPECT_EQ(control.site.calls.front(), "CanInPlaceActivate");
    EXPECT_NE(std::find(control.site.calls.begin(), control.site.calls.end(), "CanWindowlessActivate"),
              control.site.calls.end());
    EXPECT_NE(std::find(control.site.calls.begin(), control.site.calls.end(), "OnInPlaceActivateEx 1"),
              control.site.calls.end());
    EXPECT_NE(std::find(control.site.calls.begin(), control.site.calls.end(), "GetWindowContext"),
              control.site.calls.end());
    ASSERT_TRUE(control.windowless);
    ASSERT_TRUE(control.view);
    DWORD misc = 0;
    control.ole->GetMiscStatus(DVASPECT_CONTENT, &misc);
    EXPECT_EQ(misc & (OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME), 0u);

    control.site.files["http://vdhost/movies/m.swf"] = FourFrames();
    ASSERT_EQ(control.Load("http://vdhost/movies/m.swf"), S_OK);
    EXPECT_EQ(control.site.monikerNames, std::vector<std::string>{"http://vdhost/movies/m.swf"});
    EXPECT_TRUE(control.site.bscHolderFound);
    long frames = 0;
    control.flash->get_TotalFrames(&frames);
    EXPECT_EQ(frames, 4);
    long ready = 0;
    control.flash->get_ReadyState(&ready);
    EXPECT_EQ(ready, 4);
    // The movie's first frame speaks first; then the control reports the whole movie in
    // (progress 100) and complete (ready state 4).
    EXPECT_EQ(control.events.received, (std::vector<std::string>{"150|started|", "1958|vt3", "-609|vt3"}));
    ASSERT_FALSE(control.site.invalid.empty());
    EXPECT_EQ(control.site.invalid.back().right, 400);

    // Frames advance on the step hook and each change repaints the object's rectangle.
    control.site.invalid.clear();
    EXPECT_EQ(control.hooks.step(2), 2);
    ASSERT_EQ(control.site.invalid.size(), 2u);
    EXPECT_EQ(control.site.invalid[1].right - control.site.invalid[1].left, 400);
    long cur = 0;
    control.flash->CurrentFrame(&cur);
    EXPECT_EQ(cur, 2);
    control.flash->put_Loop(VARIANT_FALSE);
    VARIANT_BOOL loop = VARIANT_TRUE;
    control.flash->get_Loop(&loop);
    EXPECT_EQ(loop, VARIANT_FALSE);
    control.flash->put_FrameNum(1);
    control.flash->CurrentFrame(&cur);
    EXPECT_EQ(cur, 1);
    control.flash->Rewind();
    VARIANT_BOOL playing = VARIANT_TRUE;
    control.flash->IsPlaying(&playing);
    EXPECT_EQ(playing, VARIANT_FALSE);
    long version = 0;
    control.flash->FlashVersion(&version);
    EXPECT_EQ(version >> 16, 10);

    // A relative skin name reaches the bind host as given.
    vdtest::SwfBuilder player(320, 240, 30, 1);
    player.Label("flvplayback").ShowFrame();
    control.site.files["flvplayback.swf"] = player.Cws();
    control.Load("flvplayback.swf");
    const TBstr skin(L"flv.skin"), skinName(L"ClearOverAll.swf");
    control.flash->SetVariable(skin.Get(), skinName.Get());
    EXPECT_EQ(control.site.monikerNames.back(), "ClearOverAll.swf");
}

TEST(ActiveXControl, GoesAwayWithItsLastReferenceAfterLoadingThroughTheBindHost) {
    ComApartment com;
    vdtest::Hooks hooks;
    {
        Hosted control;
        ASSERT_EQ(control.createResult, S_OK);
        hooks = control.hooks;
        control.site.files["m.swf"] = FourFrames();
        ASSERT_EQ(control.Load("m.swf"), S_OK);
        hooks.clearJournal();
    }
    const std::vector<std::string> journal = hooks.Journal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "ActiveX destroyed"), journal.end());
}

TEST(ActiveXControl, ScriptingAndTheExternalInterfaceBothWays) {
    ComApartment com;
    Hosted control;
    ASSERT_EQ(control.createResult, S_OK);
    control.site.files["m.swf"] = FourFrames();
    control.Load("m.swf");
    const TBstr name(L"level.score"), value(L"42");
    ASSERT_EQ(control.flash->SetVariable(name.Get(), value.Get()), S_OK);
    TBstr got;
    ASSERT_EQ(control.flash->GetVariable(name.Get(), got.Out()), S_OK);
    EXPECT_EQ(got.Utf8(), "42");
    const TBstr req(L"<invoke name=\"echo\" returntype=\"xml\"><arguments><string>ping</string></arguments></invoke>");
    ASSERT_EQ(control.flash->CallFunction(req.Get(), got.Out()), S_OK);
    EXPECT_EQ(got.Utf8(), "<string>ping</string>");
    const TBstr unknown(L"<invoke name=\"nobody\" returntype=\"xml\"></invoke>");
    ASSERT_EQ(control.flash->CallFunction(unknown.Get(), got.Out()), S_OK);
    EXPECT_EQ(got.Utf8(), "");

    // The same through IDispatch, as a host's typed property access does it.
    ComPtr<IDispatch> disp;
    control.ole.As(&disp);
    TVariant v = TVariant::Bstr(L"Transparent");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS dp{v.Ptr(), &put, 1, 1};
    EXPECT_EQ(disp->Invoke(vd::flash::DISPID_WMode, IID_NULL, 0, DISPATCH_PROPERTYPUT, &dp, nullptr, nullptr, nullptr),
              S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    TVariant r;
    EXPECT_EQ(
        disp->Invoke(vd::flash::DISPID_WMode, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, r.Out(), nullptr, nullptr),
        S_OK);
    EXPECT_EQ(r.Type(), VT_BSTR);
    EXPECT_EQ(TBstr::Utf8Text(r.Get().bstrVal), "Transparent");

    // The movie calls the host: a FlashCall event with a well-formed request; the answer is
    // what the host passed to SetReturnValue during the event.
    control.events.received.clear();
    EXPECT_EQ(control.hooks.CallHost("sendData", "<string>a&amp;b</string><number>12</number>"),
              "<string>from host</string>");
    ASSERT_EQ(control.events.received.size(), 1u);
    EXPECT_EQ(control.events.received[0],
              "197|<invoke name=\"sendData\" "
              "returntype=\"xml\"><arguments><string>a&amp;b</string><number>12</number></arguments></invoke>");
    EXPECT_EQ(control.hooks.fireFSCommand("quit", "now"), 1);
    EXPECT_EQ(control.events.received.back(), "150|quit|now");

    // Input: consumed mouse messages; a right-button press asks the site for a menu window.
    LRESULT lr = 1;
    EXPECT_EQ(control.windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6), &lr), S_OK);
    EXPECT_EQ(control.windowless->OnWindowMessage(0, 0, 0, &lr), S_FALSE);
    control.site.calls.clear();
    control.windowless->OnWindowMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 6), &lr);
    EXPECT_EQ(control.site.calls, std::vector<std::string>{"GetWindow"});
    EXPECT_EQ(control.hooks.Lines("IOleInPlaceObjectWindowless::OnWindowMessage msg=0x204").size(), 1u);

    // Quality through its enumerated names.
    ComPtr<IPerPropertyBrowsing> ppb;
    ASSERT_EQ(control.ole.As(&ppb), S_OK);
    CALPOLESTR strings{};
    CADWORD cookies{};
    ASSERT_EQ(ppb->GetPredefinedStrings(vd::flash::DISPID_Quality, &strings, &cookies), S_OK);
    ASSERT_EQ(strings.cElems, 6u);
    EXPECT_EQ(WideToUtf8(strings.pElems[5]), "Best");
    TVariant best;
    ppb->GetPredefinedValue(vd::flash::DISPID_Quality, cookies.pElems[5], best.Out());
    for (ULONG i = 0; i < strings.cElems; ++i) CoTaskMemFree(strings.pElems[i]);
    CoTaskMemFree(strings.pElems);
    CoTaskMemFree(cookies.pElems);
    control.flash->put_Quality(best.Get().lVal);
    TBstr display;
    ppb->GetDisplayString(vd::flash::DISPID_Quality, display.Out());
    EXPECT_EQ(display.Utf8(), "Best");
}

TEST(ActiveXControl, DrawsIntoTheBoundsAndClipItIsGiven) {
    ComApartment com;
    Hosted control;
    ASSERT_EQ(control.createResult, S_OK);
    control.site.files["m.swf"] = FourFrames();
    control.Load("m.swf");
    RECTL bounds{0, 0, 400, 300};
    // The window mode decides whether the movie's background is painted.
    vdtest::Canvas opaque(400, 300);
    opaque.Fill(0xFF000000);
    control.view->Draw(DVASPECT_OPAQUE, -1, nullptr, nullptr, nullptr, opaque.dc(), &bounds, nullptr, nullptr, 0);
    EXPECT_EQ(opaque.At(2, 2) & 0xFFFFFF, 0x2060C0u);
    control.flash->put_WMode(TBstr(L"Transparent").Get());

    vdtest::Canvas black(400, 300), white(400, 300);
    black.Fill(0xFF000000);
    white.Fill(0xFFFFFFFF);
    ASSERT_EQ(
        control.view->Draw(DVASPECT_OPAQUE, -1, nullptr, nullptr, nullptr, black.dc(), &bounds, nullptr, nullptr, 0),
        S_OK);
    control.view->Draw(DVASPECT_OPAQUE, -1, nullptr, nullptr, nullptr, white.dc(), &bounds, nullptr, nullptr, 0);
    // Over black and over white, every pixel gives back the engine's premultiplied picture.
    std::string why;
    EXPECT_EQ(vdtest::DisagreeWithPremultiplied(black.Pixels(), white.Pixels(),
                                                EnginePicture(FourFrames(), vd::swf::Quality::High), 400, &why),
              0)
        << why;
    EXPECT_EQ(black.At(2, 2), 0xFF000000u);
    EXPECT_EQ(white.At(397, 297), 0xFFFFFFFFu);
    const uint32_t pb = black.At(60, 60), pw = white.At(60, 60);
    EXPECT_EQ(vdtest::RecoveredAlpha(pb, pw), 128);
    EXPECT_NEAR(vdtest::Blue(pb), 0xC0 * 128 / 255, 1);
    EXPECT_EQ(black.At(101, 150) & 0xFFFFFF, 0xF0A030u);
    EXPECT_EQ(white.At(101, 150) & 0xFFFFFF, 0xF0A030u);

    // A partial repaint with bounds (0, 0, right, bottom) and a clip: the same picture, only
    // inside the clip.
    const auto full = black.Pixels();
    black.Fill(0xFF000000);
    {
        const vd::win32::TSavedDC saved(black.dc());
        IntersectClipRect(black.dc(), 100, 100, 200, 200);
        RECTL partial{0, 0, 200, 200};
        control.view->Draw(DVASPECT_OPAQUE, -1, nullptr, nullptr, nullptr, black.dc(), &partial, nullptr, nullptr, 0);
    }
    EXPECT_EQ(black.At(150, 150), full[150 * 400 + 150]);
    EXPECT_EQ(black.At(60, 60), 0xFF000000u);
    EXPECT_EQ(black.At(250, 150), 0xFF000000u);

    // Low quality: the engine's picture without anti-aliasing, drawn as it is.
    control.flash->put_Quality(0);
    black.Fill(0xFF000000);
    white.Fill(0xFFFFFFFF);
    control.view->Draw(DVASPECT_OPAQUE, -1, nullptr, nullptr, nullptr, black.dc(), &bounds, nullptr, nullptr, 0);
    control.view->Draw(DVASPECT_OPAQUE, -1, nullptr, nullptr, nullptr, white.dc(), &bounds, nullptr, nullptr, 0);
    EXPECT_EQ(vdtest::DisagreeWithPremultiplied(black.Pixels(), white.Pixels(),
                                                EnginePicture(FourFrames(), vd::swf::Quality::Low), 400, &why),
              0)
        << why;
}

// A property sink of the container's.
class PropertySink final : public IPropertyNotifySink {
public:
    std::vector<DISPID> changed;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const TInterfaceRow<PropertySink> kInterfaces[] = {
            InterfaceRow<PropertySink, IPropertyNotifySink>(IID_IUnknown),
            InterfaceRow<PropertySink, IPropertyNotifySink>(IID_IPropertyNotifySink),
        };
        return QueryInterfaceFrom(this, kInterfaces, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnChanged(DISPID id) override {
        changed.push_back(id);
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
};

TEST(ActiveXControl, KeepsItsStateTellsTheContainerAndJournalsWhatItIsTold) {
    ComApartment com;
    HGLOBAL saved = nullptr;
    {
        Hosted control;
        ASSERT_EQ(control.createResult, S_OK);
        const auto journal = control.hooks.Journal();
        auto has = [&](const std::string& prefix) {
            return std::any_of(journal.begin(), journal.end(),
                               [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        };
        EXPECT_TRUE(has("IOleObject::SetClientSite site"));
        EXPECT_TRUE(has("IPersistStreamInit::InitNew"));
        EXPECT_TRUE(has("IOleObject::DoVerb verb=-5 site=given lindex=0"));
        EXPECT_TRUE(has("IOleInPlaceObject::SetObjectRects pos=0,0,400,300 clip=0,0,400,300"));

        // Ambient properties are read from the site when the container says they changed.
        ComPtr<IOleControl> oc;
        ASSERT_EQ(control.ole.As(&oc), S_OK);
        control.hooks.clearJournal();
        oc->OnAmbientPropertyChange(DISPID_UNKNOWN);
        EXPECT_EQ(control.hooks.Lines("ambient"),
                  (std::vector<std::string>{"ambient UserMode true", "ambient DisplayName \"Player1\""}));

        // Property changes reach a connected property sink.
        PropertySink sink;
        ComPtr<IConnectionPointContainer> cpc;
        control.ole.As(&cpc);
        ComPtr<IConnectionPoint> cp;
        ASSERT_EQ(cpc->FindConnectionPoint(IID_IPropertyNotifySink, &cp), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(cp->Advise(&sink, &cookie), S_OK);
        control.flash->put_WMode(TBstr(L"Transparent").Get());
        EXPECT_EQ(sink.changed, std::vector<DISPID>{vd::flash::DISPID_WMode});
        EXPECT_EQ(cp->Unadvise(cookie), S_OK);
        EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);

        // Its state goes into a stream...
        control.flash->put_Loop(VARIANT_FALSE);
        ComPtr<IPersistStreamInit> persist;
        control.ole.As(&persist);
        ComPtr<IStream> stream;
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, FALSE, &stream), S_OK);
        ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
        GetHGlobalFromStream(stream.Get(), &saved);
    }
    // ...and comes back into a new control.
    Hosted again("", false);
    ASSERT_EQ(again.createResult, S_OK);
    ComPtr<IPersistStreamInit> persist;
    again.ole.As(&persist);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(saved, FALSE, &stream), S_OK);
    ASSERT_EQ(persist->Load(stream.Get()), S_OK);
    VARIANT_BOOL loop = VARIANT_TRUE;
    again.flash->get_Loop(&loop);
    EXPECT_EQ(loop, VARIANT_FALSE);
    TBstr wmode;
    again.flash->get_WMode(wmode.Out());
    EXPECT_EQ(wmode.Utf8(), "Transparent");

    // A cut-off state is refused rather than half read.
    STATSTG st{};
    stream->Stat(&st, STATFLAG_NONAME);
    ComPtr<IStream> cut;
    CreateStreamOnHGlobal(nullptr, TRUE, &cut);
    std::vector<char> bytes(static_cast<size_t>(st.cbSize.QuadPart) - 3);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    cut->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    cut->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(persist->Load(cut.Get()), E_FAIL);
    stream.Reset();
    GlobalFree(saved);
}

TEST(ActiveXFaults, EachSwitchGivesTheFailureAHostMustSurvive) {
    ComApartment com;
    {
        Hosted c("setclientsitefirst,invisible", false);
        ASSERT_EQ(c.createResult, S_OK);
        DWORD misc = 0;
        c.ole->GetMiscStatus(DVASPECT_CONTENT, &misc);
        EXPECT_TRUE(misc & OLEMISC_SETCLIENTSITEFIRST);
        EXPECT_TRUE(misc & OLEMISC_INVISIBLEATRUNTIME);
    }
    {
        Hosted c("no_windowless,no_viewobject");
        ASSERT_EQ(c.createResult, S_OK);
        EXPECT_FALSE(c.windowless);
        EXPECT_FALSE(c.view);
        EXPECT_NE(std::find(c.site.calls.begin(), c.site.calls.end(), "OnInPlaceActivate"), c.site.calls.end());
        EXPECT_EQ(std::find(c.site.calls.begin(), c.site.calls.end(), "CanWindowlessActivate"), c.site.calls.end());
    }
    {
        Hosted c("loadmovie_hr=0x80070002,version7");
        ASSERT_EQ(c.createResult, S_OK);
        EXPECT_EQ(c.Load("m.swf"), static_cast<HRESULT>(0x80070002));
        EXPECT_TRUE(c.site.monikerNames.empty());
        long version = 0;
        c.flash->FlashVersion(&version);
        EXPECT_EQ(version >> 16, 7);
    }
    {
        Hosted c("script_fails");
        ASSERT_EQ(c.createResult, S_OK);
        TBstr got;
        EXPECT_EQ(c.flash->GetVariable(TBstr(L"x").Get(), got.Out()), E_FAIL);
        EXPECT_EQ(c.flash->Play(), E_FAIL);
    }
    {
        Hosted c("handler_raises");
        ASSERT_EQ(c.createResult, S_OK);
        ComPtr<IDispatch> disp;
        c.ole.As(&disp);
        TVariant arg = TVariant::Bstr(L"x");
        DISPPARAMS dp{arg.Ptr(), nullptr, 1, 0};
        TVariant r;
        TExcepInfo ei;
        const HRESULT hr = disp->Invoke(152, IID_NULL, 0, DISPATCH_METHOD, &dp, r.Out(), ei.Out(), nullptr);
        EXPECT_EQ(hr, DISP_E_EXCEPTION);
        EXPECT_NE(WideToUtf8(ei.Description()).find("GetVariable raised"), std::string::npos);
    }
    // A healthy control again afterwards: the switches are read per control.
    Hosted c;
    ASSERT_EQ(c.createResult, S_OK);
    EXPECT_TRUE(c.windowless);
}

}  // namespace
