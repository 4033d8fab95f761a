// The COM in-process server around the reference player's control: class factory,
// registration (class, threading model, type library) and unloading.
#include "rp_control.h"
#include "vd_win32_owners.h"

#include <string>

namespace vd::rp {

LONG g_objects = 0;
LONG g_locks = 0;

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

}  // namespace vd::rp

using namespace vd::rp;
using vd::win32::ComPtr;

namespace {

bool g_started = false;
Settings g_settings;

// The fault switches are read by the entry points, never in DllMain: once when the server is
// first asked for its class, and again for every control created, so that a host process can
// meet several kinds of control without unloading the DLL.
const Settings& CurrentSettings(bool reread = false) {
    if (!g_started || reread) {
        g_settings = ReadSettings();
        if (!g_started) InstallControlHooks();
        g_started = true;
    }
    return g_settings;
}

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        using vd::win32::InterfaceRow;
        static const vd::win32::TInterfaceRow<Factory> kInterfaces[] = {
            InterfaceRow<Factory, IClassFactory>(IID_IUnknown),
            InterfaceRow<Factory, IClassFactory>(IID_IClassFactory),
        };
        return vd::win32::QueryInterfaceFrom(this, kInterfaces, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // static object
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        Log("IClassFactory::CreateInstance");
        if (outer) return CLASS_E_NOAGGREGATION;
        const ComPtr<FlashControl> control = vd::win32::Adopt(new FlashControl(CurrentSettings(true)));
        return control->QueryInterface(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};
Factory g_factory;

std::wstring GuidString(const GUID& g) {
    wchar_t buf[64];
    StringFromGUID2(g, buf, 64);
    return buf;
}

LONG SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    vd::win32::TRegKey h;
    const LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, h.Out(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExW(h.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

const wchar_t kProgId[] = L"VdReference.FlashPlayer.1";
const wchar_t kName[] = L"Reference Flash Player control";

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CurrentSettings();
    if (!IsEqualCLSID(clsid, vd::flash::CLASS_vdFlashPlayer)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
    const std::wstring clsid = L"CLSID\\" + GuidString(vd::flash::CLASS_vdFlashPlayer);
    const std::wstring path = ModulePath();
    const std::wstring lib = GuidString(vd::flash::LIBID_vdFlashPlayerObjects);
    LONG rc = SetValue(HKEY_CLASSES_ROOT, clsid, nullptr, kName);
    if (rc == ERROR_SUCCESS) rc = SetValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", nullptr, path);
    if (rc == ERROR_SUCCESS)
        rc = SetValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (rc == ERROR_SUCCESS) rc = SetValue(HKEY_CLASSES_ROOT, clsid + L"\\ProgID", nullptr, kProgId);
    if (rc == ERROR_SUCCESS) rc = SetValue(HKEY_CLASSES_ROOT, clsid + L"\\TypeLib", nullptr, lib);
    if (rc == ERROR_SUCCESS) rc = SetValue(HKEY_CLASSES_ROOT, clsid + L"\\Version", nullptr, L"1.0");
    if (rc == ERROR_SUCCESS) rc = SetValue(HKEY_CLASSES_ROOT, clsid + L"\\Control", nullptr, L"");
    if (rc == ERROR_SUCCESS) rc = SetValue(HKEY_CLASSES_ROOT, kProgId, nullptr, kName);
    if (rc == ERROR_SUCCESS)
        rc = SetValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr,
                      GuidString(vd::flash::CLASS_vdFlashPlayer));
    if (rc != ERROR_SUCCESS) return SELFREG_E_CLASS;
    ComPtr<ITypeLib> tlb;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &tlb);
    std::wstring regPath = path;
    if (SUCCEEDED(hr)) hr = RegisterTypeLib(tlb.Get(), regPath.data(), nullptr);
    return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    const std::wstring clsid = L"CLSID\\" + GuidString(vd::flash::CLASS_vdFlashPlayer);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    UnRegisterTypeLib(vd::flash::LIBID_vdFlashPlayerObjects, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    return S_OK;
}
