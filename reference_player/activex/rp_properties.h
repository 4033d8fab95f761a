// The control's plain properties: a container sets them and reads them back, and nothing else
// happens. One list, RP_PLAIN_PROPERTIES, gives each its member (rp_control.h) and its get_/put_
// pair (rp_scripting.cpp). Members with side effects (Movie, Quality, Playing, Loop, FrameNum,
// WMode, ...) are written by hand.
#pragma once

#include "vd_com.h"

#include <string>
#include <type_traits>

namespace vd::rp {

// Fills an [out] value: E_POINTER without a place to put it.
template <class T> HRESULT OutValue(T* out, std::type_identity_t<T> value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

constexpr VARIANT_BOOL VariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// How a plain property's value crosses the control interface: Value is what the control
// keeps, Arg what the interface passes.
template <class T> struct NumberProperty {
    using Value = T;
    using Arg = T;
    static HRESULT Get(const Value& value, Arg* out) { return OutValue(out, value); }
    static void Put(Value& value, Arg in) { value = in; }
};
using IntProperty = NumberProperty<int>;
using LongProperty = NumberProperty<long>;

struct BoolProperty {
    using Value = bool;
    using Arg = VARIANT_BOOL;
    static HRESULT Get(const Value& value, Arg* out) { return OutValue(out, VariantBool(value)); }
    static void Put(Value& value, Arg in) { value = in != 0; }
};

// A null BSTR is the empty text.
struct TextProperty {
    using Value = std::wstring;
    using Arg = BSTR;
    static HRESULT Get(const Value& value, Arg* out) { return win32::OutBstr(value, out); }
    static void Put(Value& value, Arg in) { value = win32::TBstr::Text(in); }
};

// An object handed over by the container; the caller of get_ gets a reference of its own.
struct ObjectProperty {
    using Value = win32::ComPtr<IUnknown>;
    using Arg = IUnknown*;
    static HRESULT Get(const Value& value, Arg* out) {
        if (!out) return E_POINTER;
        return value.CopyTo(out);
    }
    static void Put(Value& value, Arg in) { value = in; }
};

}  // namespace vd::rp

// X(Name, member, Kind, initial value), in the control interface's order.
#define RP_PLAIN_PROPERTIES(X)                                            \
    X(ScaleMode, scaleMode_, IntProperty, 0)                              \
    X(AlignMode, alignMode_, IntProperty, 0)                              \
    X(BackgroundColor, backgroundColor_, LongProperty, -1)                \
    X(SAlign, salign_, TextProperty, {})                                  \
    X(Menu, menu_, BoolProperty, true)                                    \
    X(Base, base_, TextProperty, {})                                      \
    X(Scale, scale_, TextProperty, L"ShowAll")                            \
    X(DeviceFont, deviceFont_, BoolProperty, false)                       \
    X(EmbedMovie, embedMovie_, BoolProperty, false)                       \
    X(BGColor, bgcolor_, TextProperty, {})                                \
    X(SWRemote, swremote_, TextProperty, {})                              \
    X(FlashVars, flashvars_, TextProperty, {})                            \
    X(AllowScriptAccess, allowScriptAccess_, TextProperty, L"sameDomain") \
    X(MovieData, movieData_, TextProperty, {})                            \
    X(InlineData, inlineData_, ObjectProperty, {})                        \
    X(SeamlessTabbing, seamlessTabbing_, BoolProperty, true)              \
    X(Profile, profile_, BoolProperty, false)                             \
    X(ProfileAddress, profileAddress_, TextProperty, {})                  \
    X(ProfilePort, profilePort_, LongProperty, 0)                         \
    X(AllowNetworking, allowNetworking_, TextProperty, L"all")            \
    X(AllowFullScreen, allowFullScreen_, TextProperty, L"false")

// Inside FlashControl: the interface's get_/put_ pair of one plain property.
#define RP_DECLARE_PLAIN_PROPERTY(Name, member, Kind, initial) \
    STDMETHODIMP get_##Name(Kind::Arg* pVal) override;         \
    STDMETHODIMP put_##Name(Kind::Arg pVal) override;

// Inside FlashControl: the member that holds one plain property.
#define RP_PLAIN_PROPERTY_MEMBER(Name, member, Kind, initial) Kind::Value member = initial;
