// Typed property access by DISPID, method invocation and the enumerated properties' display
// strings from the control's type information.
#include "vd_ax_unit.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "vd_ax_enumdesc.h"
#include "vd_winstr.h"

namespace vd {

using win32::ComPtr;
using win32::TBstr;
using win32::TExcepInfo;
using win32::TVariant;

namespace {

std::wstring WString(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::string AnsiOf(const wchar_t* text) { return text ? WideToAnsi(FromWinStr(text)) : std::string(); }
// A BSTR carries its length: text after an embedded NUL is text too.
std::string AnsiOfBstr(BSTR text) { return WideToAnsi(ax::FromBstr(text)); }

// The control's name of a member, for error messages; its DISPID when the control has none.
std::string MemberName(IDispatch* dispatch, DISPID dispID) {
    ComPtr<ITypeInfo> info;
    TBstr name;
    if (dispatch && SUCCEEDED(dispatch->GetTypeInfo(0, 0, info.GetAddressOf())) && info &&
        SUCCEEDED(info->GetDocumentation(dispID, name.Out(), nullptr, nullptr, nullptr)) && name.Length() > 0)
        return AnsiOfBstr(name.Get());
    return "DISPID " + std::to_string(dispID);
}

// A value the control answered, as the type the caller reads: converted when the control
// answered another type, never read from a field it did not set. What cannot be converted
// raises an OLE error naming the member.
TVariant AsType(IDispatch* dispatch, DISPID dispID, const char* kind, TVariant value, VARTYPE type) {
    if (value.Type() == type) return value;
    TVariant converted;
    const HRESULT hr = VariantChangeType(converted.Ptr(), value.Ptr(), 0, type);
    if (FAILED(hr))
        throw EOleSysError("The Flash control's " + std::string(kind) + " " + MemberName(dispatch, dispID) +
                               " answered a value of type " + std::to_string(value.Type()) +
                               " that cannot be read as type " + std::to_string(type),
                           hr);
    return converted;
}

// A failed Invoke as the framework reports it: the control's own exception when it described
// one, else the result code.
[[noreturn]] void RaiseDispatchError(HRESULT hr, TExcepInfo& info) {
    if (hr == DISP_E_EXCEPTION) throw EOleException::FromExcepInfo(info.Get());
    throw EOleSysError("", hr);
}

void DispatchCall(IDispatch* dispatch, DISPID dispID, WORD kind, DISPPARAMS& params, VARIANT* result) {
    if (!dispatch) throw EOleSysError("The Flash control is not available", E_NOINTERFACE);
    TExcepInfo info;
    const HRESULT hr = dispatch->Invoke(dispID, GUID_NULL, 0, kind, &params, result, info.Out(), nullptr);
    if (hr != S_OK) RaiseDispatchError(hr, info);
}

// Releases what the type information handed out (attributes, variable and function
// descriptions) through the call that belongs to it.
template <class Desc> class TTypeDesc {
public:
    using ReleaseFn = void (STDMETHODCALLTYPE ITypeInfo::*)(Desc*);
    TTypeDesc(ITypeInfo* info, ReleaseFn release) : info_(info), release_(release) {}
    ~TTypeDesc() {
        if (desc_) (info_->*release_)(desc_);
    }
    TTypeDesc(TTypeDesc&& o) noexcept : info_(o.info_), release_(o.release_), desc_(std::exchange(o.desc_, nullptr)) {}
    TTypeDesc& operator=(TTypeDesc&&) = delete;
    Desc** Out() { return &desc_; }
    Desc* operator->() const { return desc_; }

private:
    ITypeInfo* info_;
    ReleaseFn release_;
    Desc* desc_ = nullptr;
};

TTypeDesc<TYPEATTR> TypeAttr(ITypeInfo* info) {
    TTypeDesc<TYPEATTR> attr(info, &ITypeInfo::ReleaseTypeAttr);
    OleCheck(info->GetTypeAttr(attr.Out()));
    return attr;
}

bool Described(const TEnumPropDescList& list, DISPID dispID) {
    return std::any_of(list.begin(), list.end(), [dispID](const auto& d) { return d->DispID == dispID; });
}

// A member whose type is an enumeration is described by that enumeration's constants.
void ConsiderType(ITypeInfo* info, DISPID dispID, const TYPEDESC& type, TEnumPropDescList& list) {
    if (type.vt != VT_USERDEFINED) return;
    ComPtr<ITypeInfo> referenced;
    OleCheck(info->GetRefTypeInfo(type.hreftype, referenced.GetAddressOf()));
    const TTypeDesc<TYPEATTR> attr = TypeAttr(referenced.Get());
    if (attr->typekind == TKIND_ENUM)
        list.push_back(std::make_unique<TEnumPropDesc>(dispID, attr->cVars, referenced.Get()));
}

void DescribeTypeInfo(ITypeInfo* info, TEnumPropDescList& list) {
    const TTypeDesc<TYPEATTR> attr = TypeAttr(info);
    if (IsEqualGUID(attr->guid, IID_IDispatch)) return;
    // A dual or plain interface that cannot grow has its members in the interface it builds on.
    if ((attr->typekind == TKIND_INTERFACE || (attr->wTypeFlags & TYPEFLAG_FDUAL)) &&
        (attr->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE)) {
        HREFTYPE ref = 0;
        OleCheck(info->GetRefTypeOfImplType(0, &ref));
        ComPtr<ITypeInfo> base;
        OleCheck(info->GetRefTypeInfo(ref, base.GetAddressOf()));
        DescribeTypeInfo(base.Get(), list);
    }
    for (UINT i = 0; i < attr->cVars; ++i) {
        TTypeDesc<VARDESC> var(info, &ITypeInfo::ReleaseVarDesc);
        OleCheck(info->GetVarDesc(i, var.Out()));
        ConsiderType(info, var->memid, var->elemdescVar.tdesc, list);
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        TTypeDesc<FUNCDESC> func(info, &ITypeInfo::ReleaseFuncDesc);
        OleCheck(info->GetFuncDesc(i, func.Out()));
        if (Described(list, func->memid)) continue;
        const SHORT params = func->cParams;
        switch (func->invkind) {
            case INVOKE_PROPERTYGET:
                ConsiderType(info, func->memid, func->elemdescFunc.tdesc, list);
                break;
            case INVOKE_PROPERTYPUT:
                if (params > 0) ConsiderType(info, func->memid, func->lprgelemdescParam[params - 1].tdesc, list);
                break;
            case INVOKE_PROPERTYPUTREF:
                if (params > 0 && func->lprgelemdescParam[params - 1].tdesc.vt == VT_PTR)
                    ConsiderType(info, func->memid, *func->lprgelemdescParam[params - 1].tdesc.lptdesc, list);
                break;
            default:
                break;
        }
    }
}

}  // namespace

// ---- Enumeration descriptions ------------------------------------------------------------------

TEnumPropDesc::TEnumPropDesc(DISPID dispID, int valueCount, ITypeInfo* typeInfo)
    : DispID(dispID), ValueCount(valueCount), Values(static_cast<size_t>(std::max(valueCount, 0))) {
    for (int i = 0; i < valueCount; ++i) {
        TTypeDesc<VARDESC> var(typeInfo, &ITypeInfo::ReleaseVarDesc);
        OleCheck(typeInfo->GetVarDesc(static_cast<UINT>(i), var.Out()));
        TBstr name;
        OleCheck(typeInfo->GetDocumentation(var->memid, name.Out(), nullptr, nullptr, nullptr));
        TEnumValue& value = Values[static_cast<size_t>(i)];
        value.Value = var->lpvarValue ? var->lpvarValue->lVal : 0;
        value.Ident = ax::EnumIdentFromName(AnsiOf(name.Get()));
    }
}

TEnumPropDesc::~TEnumPropDesc() = default;

void TEnumPropDesc::GetStrings(const std::function<void(const std::string&)>& proc) const {
    for (const std::string& text : ax::EnumDisplayStrings(Values)) proc(text);
}

int32_t TEnumPropDesc::StringToValue(const std::string& s) const {
    if (const std::optional<int32_t> value = ax::EnumStringToValue(Values, s)) return *value;
    throw EOleError(ax::BadPropertyValueMessage(s));
}

std::string TEnumPropDesc::ValueToString(int32_t v) const { return ax::EnumValueToString(Values, v); }

void TvdFlashDriverActiveX::CreateEnumPropDescs() {
    CreateControl();
    if (!ControlDispatch) throw EOleSysError("The Flash control is not available", E_NOINTERFACE);
    // Built aside and installed whole: a failure leaves no partial cache behind.
    auto list = std::make_unique<TEnumPropDescList>();
    ComPtr<ITypeInfo> info;
    OleCheck(ControlDispatch->GetTypeInfo(0, 0, info.GetAddressOf()));
    DescribeTypeInfo(info.Get(), *list);
    ControlData->EnumPropDescs = std::move(list);
}

void TvdFlashDriverActiveX::DestroyEnumPropDescs() {
    if (ControlData) ControlData->EnumPropDescs.reset();
}

const TEnumPropDesc* TvdFlashDriverActiveX::GetEnumPropDesc(DISPID dispID) {
    if (!ControlData->EnumPropDescs) CreateEnumPropDescs();
    for (const auto& desc : *ControlData->EnumPropDescs)
        if (desc->DispID == dispID) return desc.get();
    return nullptr;
}

// ---- Property get and put ---------------------------------------------------------------------

void TvdFlashDriverActiveX::GetProperty(DISPID dispID, TVariant& value) {
    CreateControl();
    VARIANT* result = value.Out();
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    DispatchCall(ControlDispatch.Get(), dispID, DISPATCH_PROPERTYGET, none, result);
}

void TvdFlashDriverActiveX::SetProperty(DISPID dispID, const VARIANT& value) {
    if (FlashUnavailable) return;
    CreateControl();
    DISPID named = DISPID_PROPERTYPUT;
    VARIANT argument = value;  // borrowed: Invoke leaves its arguments to the caller
    DISPPARAMS params{&argument, &named, 1, 1};
    const WORD kind = value.vt == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    DispatchCall(ControlDispatch.Get(), dispID, kind, params, nullptr);
}

namespace {

// A getter's value as the type it reads.
TVariant Got(TvdFlashDriverActiveX& driver, DISPID dispID, VARTYPE type) {
    TVariant v;
    driver.GetProperty(dispID, v);
    return AsType(driver.ControlDispatch.Get(), dispID, "property", std::move(v), type);
}

// An object property: nothing set reads as no object.
TVariant GotObject(TvdFlashDriverActiveX& driver, DISPID dispID, VARTYPE type) {
    TVariant v;
    driver.GetProperty(dispID, v);
    if (v.Type() == VT_EMPTY || v.Type() == VT_NULL) return TVariant();
    return AsType(driver.ControlDispatch.Get(), dispID, "property", std::move(v), type);
}

}  // namespace

ComPtr<IDispatch> TvdFlashDriverActiveX::GetIDispatchProp(DISPID dispID) {
    return GotObject(*this, dispID, VT_DISPATCH).Get().pdispVal;
}

void TvdFlashDriverActiveX::SetIDispatchProp(DISPID dispID, IDispatch* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = value;  // borrowed for the call
    SetProperty(dispID, v);
}

int32_t TvdFlashDriverActiveX::GetIntegerProp(DISPID dispID) { return Got(*this, dispID, VT_I4).Get().lVal; }

void TvdFlashDriverActiveX::SetIntegerProp(DISPID dispID, int32_t value) {
    SetProperty(dispID, TVariant::Int(value).Get());
}

ComPtr<IUnknown> TvdFlashDriverActiveX::GetIUnknownProp(DISPID dispID) {
    return GotObject(*this, dispID, VT_UNKNOWN).Get().punkVal;
}

void TvdFlashDriverActiveX::SetIUnknownProp(DISPID dispID, IUnknown* value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = value;  // borrowed for the call
    SetProperty(dispID, v);
}

bool TvdFlashDriverActiveX::GetOleBoolProp(DISPID dispID) { return Got(*this, dispID, VT_BOOL).Get().boolVal != 0; }

void TvdFlashDriverActiveX::SetOleBoolProp(DISPID dispID, bool value) {
    SetProperty(dispID, TVariant::Bool(value).Get());
}

bool TvdFlashDriverActiveX::GetWordBoolProp(DISPID dispID) { return Got(*this, dispID, VT_BOOL).Get().boolVal != 0; }

void TvdFlashDriverActiveX::SetWordBoolProp(DISPID dispID, int16_t value) {
    SetProperty(dispID, TVariant::Bool(value != 0).Get());
}

float TvdFlashDriverActiveX::GetSingleProp(DISPID dispID) { return Got(*this, dispID, VT_R4).Get().fltVal; }

void TvdFlashDriverActiveX::SetSingleProp(DISPID dispID, float value) {
    TVariant v;
    v.Get().vt = VT_R4;
    v.Get().fltVal = value;
    SetProperty(dispID, v.Get());
}

std::string TvdFlashDriverActiveX::GetStringProp(DISPID dispID) {
    const TVariant value = GetVariantProp(dispID);
    if (value.Type() == VT_EMPTY || value.Type() == VT_NULL) return {};
    TVariant text;
    const HRESULT hr = VariantChangeType(text.Ptr(), const_cast<VARIANT*>(&value.Get()), VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(hr))
        throw EOleSysError("The Flash control's property " + MemberName(ControlDispatch.Get(), dispID) +
                               " answered a value of type " + std::to_string(value.Type()) + " that has no text",
                           hr);
    return AnsiOfBstr(text.Get().bstrVal);
}

void TvdFlashDriverActiveX::SetStringProp(DISPID dispID, const std::string& value) {
    SetProperty(dispID, TVariant::Bstr(WString(AnsiToWide(value))).Get());
}

WideString TvdFlashDriverActiveX::GetWideStringProp(DISPID dispID) {
    TVariant value;
    GetProperty(dispID, value);
    if (value.Type() == VT_NULL) return {};
    return ax::FromBstr(AsType(ControlDispatch.Get(), dispID, "property", std::move(value), VT_BSTR).Get().bstrVal);
}

void TvdFlashDriverActiveX::SetWideStringProp(DISPID dispID, const WideString& value) {
    // The empty string is the null BSTR, as COM treats it.
    TVariant v;
    v.Get().vt = VT_BSTR;
    v.Get().bstrVal = value.empty() ? nullptr : TBstr::Alloc(WString(value));
    if (!value.empty() && !v.Get().bstrVal) throw EOutOfMemory("Out of memory");
    SetProperty(dispID, v.Get());
}

uint16_t TvdFlashDriverActiveX::GetWordProp(DISPID dispID) { return static_cast<uint16_t>(GetIntegerProp(dispID)); }

void TvdFlashDriverActiveX::SetWordProp(DISPID dispID, uint16_t value) { SetIntegerProp(dispID, value); }

TVariant TvdFlashDriverActiveX::GetOleVariantProp(DISPID dispID) {
    TVariant v;
    GetProperty(dispID, v);
    return v;
}

void TvdFlashDriverActiveX::SetOleVariantProp(DISPID dispID, const VARIANT& value) { SetProperty(dispID, value); }

TVariant TvdFlashDriverActiveX::GetVariantProp(DISPID dispID) { return GetOleVariantProp(dispID); }

void TvdFlashDriverActiveX::SetVariantProp(DISPID dispID, const VARIANT& value) {
    // A copy of our own, so the caller's value is handed over as it is and cleared with ours.
    TVariant copy;
    OleCheck(VariantCopy(copy.Ptr(), const_cast<VARIANT*>(&value)));
    SetOleVariantProp(dispID, copy.Get());
}

// ---- Display strings -----------------------------------------------------------------------------

namespace {

// The predefined strings and cookies the control hands over, freed whatever happens to them.
struct TPredefined {
    CALPOLESTR Strings{0, nullptr};
    CADWORD Cookies{0, nullptr};
    TPredefined() = default;
    TPredefined(const TPredefined&) = delete;
    TPredefined& operator=(const TPredefined&) = delete;
    ~TPredefined() {
        if (Strings.pElems)
            for (ULONG i = 0; i < Strings.cElems; ++i) CoTaskMemFree(Strings.pElems[i]);
        CoTaskMemFree(Strings.pElems);
        CoTaskMemFree(Cookies.pElems);
    }
};

}  // namespace

std::string TvdFlashDriverActiveX::GetPropDisplayString(DISPID dispID) {
    CreateControl();
    if (PropBrowsing) {
        TBstr text;
        if (PropBrowsing->GetDisplayString(dispID, text.Out()) == S_OK) return AnsiOfBstr(text.Get());
    }
    return GetStringProp(dispID);
}

namespace {

struct TPredefinedString {
    std::string Text;
    DWORD Cookie;
};

// The control's predefined strings of a property with their cookies; none without property
// browsing or when the control offers none.
std::vector<TPredefinedString> PredefinedStrings(IPerPropertyBrowsing* browsing, DISPID dispID) {
    std::vector<TPredefinedString> out;
    if (!browsing) return out;
    TPredefined predefined;
    if (browsing->GetPredefinedStrings(dispID, &predefined.Strings, &predefined.Cookies) != S_OK) return out;
    const ULONG count = std::min(predefined.Strings.cElems, predefined.Cookies.cElems);
    for (ULONG i = 0; i < count; ++i)
        out.push_back({AnsiOf(predefined.Strings.pElems[i]), predefined.Cookies.pElems[i]});
    return out;
}

}  // namespace

void TvdFlashDriverActiveX::GetPropDisplayStrings(DISPID dispID, TStringList& strings) {
    CreateControl();
    strings.Clear();
    for (const TPredefinedString& s : PredefinedStrings(PropBrowsing.Get(), dispID)) {
        // The cookie travels as the item's object, as the string list's callers expect.
        strings.AddObject(s.Text, reinterpret_cast<TObject*>(static_cast<uintptr_t>(s.Cookie)));
    }
}

void TvdFlashDriverActiveX::SetPropDisplayString(DISPID dispID, const std::string& value) {
    CreateControl();
    for (const TPredefinedString& s : PredefinedStrings(PropBrowsing.Get(), dispID)) {
        if (!SameText(s.Text, value)) continue;
        TVariant predefined;
        OleCheck(PropBrowsing->GetPredefinedValue(dispID, s.Cookie, predefined.Out()));
        SetProperty(dispID, predefined.Get());
        return;
    }
    SetStringProp(dispID, value);
}

// ---- Methods -------------------------------------------------------------------------------------

void TvdFlashDriverActiveX::InvokeMethod(const TDispInfo& info, void* result, std::span<const VARIANT> args) {
    CreateControl();
    // Invoke wants the arguments last first; they stay the caller's.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = (info.CallKind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put ? &named : nullptr,
                      static_cast<UINT>(reversed.size()), put && !reversed.empty() ? 1u : 0u};
    TVariant answer;
    DispatchCall(ControlDispatch.Get(), info.DispID, info.CallKind, params, answer.Out());
    if (!result) return;
    switch (info.ResultType) {
        case VT_I2:
        case VT_BOOL:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
            answer = AsType(ControlDispatch.Get(), info.DispID, "member", std::move(answer), info.ResultType);
            break;
        default:
            break;
    }
    VARIANT& a = answer.Get();
    switch (info.ResultType) {
        case VT_I2:
        case VT_BOOL:
            std::memcpy(result, &a.iVal, 2);
            break;
        case VT_I4:
        case VT_R4:
            std::memcpy(result, &a.lVal, 4);
            break;
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            std::memcpy(result, &a.dblVal, 8);
            break;
        case VT_BSTR:  // result: a std::string
            *static_cast<std::string*>(result) = AnsiOfBstr(a.bstrVal);
            break;
        case VT_VARIANT:  // result: a TVariant, whose old value goes
            *static_cast<TVariant*>(result) = std::move(answer);
            break;
        default:  // empty, null, dispatch and error results are not stored
            break;
    }
}

}  // namespace vd
