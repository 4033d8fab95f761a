// The control's type information: the type library embedded in the DLL describes the class,
// its dispatch view and the dual interface IDispatch::Invoke calls through.
#include "rp_control.h"

namespace vd::rp {

HRESULT TypeLib(ITypeLib** out) {
    static ComPtr<ITypeLib> lib;
    if (!lib) {
        const HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib);
        if (FAILED(hr)) return hr;
    }
    return lib.CopyTo(out);
}

HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** out) {
    ComPtr<ITypeLib> lib;
    const HRESULT hr = TypeLib(&lib);
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(guid, out);
}

HRESULT InterfaceTypeInfo(REFGUID guid, ITypeInfo** out) {
    ComPtr<ITypeInfo> ti;
    HRESULT hr = TypeInfoOf(guid, &ti);
    if (FAILED(hr)) return hr;
    TYPEATTR* attr = nullptr;
    hr = ti->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    const TYPEKIND kind = attr->typekind;
    ti->ReleaseTypeAttr(attr);
    if (kind == TKIND_INTERFACE) {
        *out = ti.Detach();
        return S_OK;
    }
    HREFTYPE ref;
    hr = ti->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (FAILED(hr)) return hr;
    return ti->GetRefTypeInfo(ref, out);
}

// ---- IProvideClassInfo ----------------------------------------------------------------------

STDMETHODIMP FlashControl::GetClassInfo(ITypeInfo** pp) {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    return TypeInfoOf(vd::flash::CLASS_vdFlashPlayer, pp);
}

}  // namespace vd::rp
