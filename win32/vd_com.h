// COM ownership and plumbing shared by the library, the reference player and the tests:
// ComPtr for interface pointers, owners for BSTR, VARIANT and EXCEPINFO, and QueryInterface
// answered from a table. Header-only, no framework dependency.
#pragma once

#include "vd_windows.h"

#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "vd_wtext.h"

namespace vd::win32 {

using Microsoft::WRL::ComPtr;

// Takes over a reference the caller already owns (a new object's first one) without adding
// one. Not ComPtr::Attach: mingw-w64's Attach adds a reference where the Windows SDK's does not,
// so code using it would leak under one compiler or free early under the other.
template <class T> ComPtr<T> Adopt(T* object) {
    ComPtr<T> owner;
    *owner.GetAddressOf() = object;
    return owner;
}

// ---------------------------------------------------------------------------------------
// An owned BSTR. Null is the empty string, as COM treats it.
class TBstr {
public:
    TBstr() = default;
    explicit TBstr(std::wstring_view text) : b_(Alloc(text)) {}
    explicit TBstr(const wchar_t* text) : b_(text ? SysAllocString(text) : nullptr) {}
    static TBstr FromUtf8(std::string_view text) { return TBstr(Utf8ToWide(text)); }
    // Takes ownership of a BSTR someone handed us.
    static TBstr Attach(BSTR b) {
        TBstr t;
        t.b_ = b;
        return t;
    }
    ~TBstr() { SysFreeString(b_); }
    TBstr(TBstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    TBstr& operator=(TBstr&& o) noexcept {
        if (this != &o) {
            SysFreeString(b_);
            b_ = std::exchange(o.b_, nullptr);
        }
        return *this;
    }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;

    BSTR Get() const { return b_; }
    UINT Length() const { return SysStringLen(b_); }
    std::wstring Str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }
    std::string Utf8() const { return WideToUtf8(Str()); }
    // Gives the string up (to a caller's [out] parameter, say).
    [[nodiscard]] BSTR Detach() { return std::exchange(b_, nullptr); }
    // For [out] BSTR* parameters: frees what is held first.
    BSTR* Out() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }

    // The text of a BSTR we do not own.
    static std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
    static std::string Utf8Text(BSTR b) { return WideToUtf8(Text(b)); }
    static BSTR Alloc(std::wstring_view text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

private:
    BSTR b_ = nullptr;
};

// Fills an [out] BSTR* with a fresh copy of `text`: E_POINTER without a place to put it,
// E_OUTOFMEMORY when the allocation fails.
inline HRESULT OutBstr(std::wstring_view text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = TBstr::Alloc(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// ---------------------------------------------------------------------------------------
// An owned VARIANT: initialised empty, cleared when it goes or is reassigned.
class TVariant {
public:
    TVariant() { VariantInit(&v_); }
    ~TVariant() { VariantClear(&v_); }
    TVariant(TVariant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    TVariant& operator=(TVariant&& o) noexcept {
        if (this != &o) {
            VariantClear(&v_);
            v_ = o.v_;
            VariantInit(&o.v_);
        }
        return *this;
    }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;

    static TVariant Bstr(std::wstring_view text) {
        TVariant v;
        v.v_.vt = VT_BSTR;
        v.v_.bstrVal = TBstr::Alloc(text);
        return v;
    }
    static TVariant Int(LONG value) {
        TVariant v;
        v.v_.vt = VT_I4;
        v.v_.lVal = value;
        return v;
    }
    static TVariant Bool(bool value) {
        TVariant v;
        v.v_.vt = VT_BOOL;
        v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }

    VARIANT& Get() { return v_; }
    const VARIANT& Get() const { return v_; }
    VARIANT* Ptr() { return &v_; }
    // For [out] VARIANT* parameters: clears what is held first.
    VARIANT* Out() {
        VariantClear(&v_);
        return &v_;
    }
    VARTYPE Type() const { return v_.vt; }
    // Moves the value to a caller's VARIANT (which must hold nothing that needs freeing).
    void Detach(VARIANT* to) {
        *to = v_;
        VariantInit(&v_);
    }

private:
    VARIANT v_;
};

// ---------------------------------------------------------------------------------------
// An EXCEPINFO an Invoke may fill: zeroed, its strings freed when it goes.
class TExcepInfo {
public:
    TExcepInfo() { Zero(); }
    ~TExcepInfo() { Clear(); }
    TExcepInfo(const TExcepInfo&) = delete;
    TExcepInfo& operator=(const TExcepInfo&) = delete;

    EXCEPINFO* Out() {
        Clear();
        return &e_;
    }
    EXCEPINFO& Get() { return e_; }
    // Runs a deferred fill-in, as the caller of Invoke must before reading the texts.
    void FillIn() {
        if (e_.pfnDeferredFillIn) {
            e_.pfnDeferredFillIn(&e_);
            e_.pfnDeferredFillIn = nullptr;
        }
    }
    std::wstring Description() const { return TBstr::Text(e_.bstrDescription); }
    std::wstring Source() const { return TBstr::Text(e_.bstrSource); }
    std::wstring HelpFile() const { return TBstr::Text(e_.bstrHelpFile); }
    void Clear() {
        SysFreeString(e_.bstrSource);
        SysFreeString(e_.bstrDescription);
        SysFreeString(e_.bstrHelpFile);
        Zero();
    }

private:
    void Zero() { e_ = EXCEPINFO{}; }
    EXCEPINFO e_;
};

// ---------------------------------------------------------------------------------------
// QueryInterface from a table: the interfaces a class answers, in its order, one row each.
// A row may carry a predicate on the object (a fault switch, a state) that must hold for the
// row to answer.
template <class Impl> struct TInterfaceRow {
    const IID* Iid;
    IUnknown* (*Cast)(Impl*);
    bool (*Answers)(const Impl*);
};

// The row answering `iid` with the object seen as interface I.
template <class Impl, class I>
constexpr TInterfaceRow<Impl> InterfaceRow(const IID& iid, bool (*answers)(const Impl*) = nullptr) {
    return {&iid, [](Impl* self) -> IUnknown* { return static_cast<I*>(self); }, answers};
}

// Answers from the first row matching riid whose predicate holds; AddRefs what it hands out.
template <class Impl, std::size_t N>
HRESULT QueryInterfaceFrom(Impl* self, const TInterfaceRow<Impl> (&rows)[N], REFIID riid, void** object) {
    if (!object) return E_POINTER;
    for (const TInterfaceRow<Impl>& row : rows) {
        if (IsEqualIID(riid, *row.Iid) && (!row.Answers || row.Answers(self))) {
            IUnknown* answer = row.Cast(self);
            answer->AddRef();
            *object = answer;
            return S_OK;
        }
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

}  // namespace vd::win32
