// The control's scripting surface: IDispatch (the type library does the dispatching) and the
// control interface's properties and methods. The plain properties come from one list
// (rp_properties.h); the members here act on the player or tell the container.
#include "rp_control.h"

namespace vd::rp {

using win32::OutBstr;
using win32::TBstr;
using win32::Utf8ToWide;

// ---- IDispatch: the type library does the dispatching ---------------------------------------

STDMETHODIMP FlashControl::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}
STDMETHODIMP FlashControl::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** pp) {
    Journal("IDispatch::GetTypeInfo " + std::to_string(iTInfo));
    if (!pp) return E_POINTER;
    *pp = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    // The dispatch view: property functions show their value types, and the enumerated
    // property is there as a variable too.
    return TypeInfoOf(vd::flash::DIID_DvdFlashPlayer, pp);
}
STDMETHODIMP FlashControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ComPtr<ITypeInfo> ti;
    const HRESULT hr = InterfaceTypeInfo(__uuidof(IvdFlashPlayerEx), &ti);
    if (FAILED(hr)) return hr;
    return DispGetIDsOfNames(ti.Get(), names, count, ids);
}
STDMETHODIMP FlashControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* excep, UINT* argErr) {
    Journal("IDispatch::Invoke dispid=" + std::to_string(id) + " flags=" + std::to_string(flags) +
            " args=" + std::to_string(params ? params->cArgs : 0));
    ComPtr<ITypeInfo> ti;
    HRESULT hr = InterfaceTypeInfo(__uuidof(IvdFlashPlayerEx), &ti);
    if (FAILED(hr)) return hr;
    hr = DispInvoke(static_cast<IvdFlashPlayerEx*>(this), ti.Get(), id, flags, params, result, excep, argErr);
    // An object property is set by reference or by value alike: the control keeps the object.
    if (hr == DISP_E_MEMBERNOTFOUND && flags == DISPATCH_PROPERTYPUTREF)
        hr = DispInvoke(static_cast<IvdFlashPlayerEx*>(this), ti.Get(), id, DISPATCH_PROPERTYPUT, params, result, excep,
                        argErr);
    if (settings_.faults.wrongTypes && SUCCEEDED(hr) && result) Mistype(*result);
    return hr;
}

void FlashControl::Mistype(VARIANT& result) {
    // As a careless control answers: numbers as their text, booleans as 4-byte numbers, texts
    // as an object (its own), which has no value a caller could read as anything else.
    const VARTYPE was = result.vt;
    win32::TVariant answer;
    switch (was) {
        case VT_I2:
        case VT_I4:
        case VT_INT:
        case VT_R4:
        case VT_R8:
            VariantChangeType(answer.Ptr(), &result, 0, VT_BSTR);
            break;
        case VT_BOOL:
            answer = win32::TVariant::Int(result.boolVal);
            break;
        case VT_BSTR:
            answer.Get().vt = VT_UNKNOWN;
            answer.Get().punkVal = static_cast<IvdFlashPlayerEx*>(this);
            answer.Get().punkVal->AddRef();
            break;
        default:
            return;
    }
    win32::TVariant original;  // the true answer goes with it
    *original.Ptr() = result;
    answer.Detach(&result);
    Journal("wrong type: answered vt=" + std::to_string(result.vt) + " for vt=" + std::to_string(was));
}

// ---- Scripting gate: the fault switches for scripting calls ---------------------------------

HRESULT FlashControl::ScriptGate(const char* what) {
    if (settings_.faults.scriptFails) return E_FAIL;
    if (settings_.faults.handlerRaises) {
        if (settings_.faults.raisesOnce) settings_.faults.handlerRaises = false;
        ComPtr<ICreateErrorInfo> create;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            create->SetGUID(__uuidof(IvdFlashPlayer));
            create->SetSource(const_cast<LPOLESTR>(L"Reference Player"));
            const std::wstring text = L"reference player: " + Utf8ToWide(what) + L" raised";
            create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
            ComPtr<IErrorInfo> info;
            if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
        }
        return DISP_E_EXCEPTION;
    }
    return S_OK;
}

#define RP_GATE(name)                           \
    do {                                        \
        Journal(name);                          \
        const HRESULT gate_ = ScriptGate(name); \
        if (FAILED(gate_)) return gate_;        \
    } while (0)

// ---- IvdFlashPlayer -------------------------------------------------------------------------

// The playback members: journal, pass the scripting gate, act, and let the frame timer follow.
HRESULT FlashControl::Playback(const char* name, void (Player::*op)()) {
    RP_GATE(name);
    (player_.*op)();
    UpdateTimer();
    Hostile("invoke");
    return S_OK;
}

STDMETHODIMP FlashControl::get_ReadyState(long* p) {
    return OutValue(p, player_.HasMovie() ? 4 : (player_.PendingMovieUrl().empty() ? 0 : 1));
}
STDMETHODIMP FlashControl::get_TotalFrames(long* p) {
    Journal("get_TotalFrames");
    return OutValue(p, player_.TotalFrames());
}
STDMETHODIMP FlashControl::get_Playing(VARIANT_BOOL* p) { return OutValue(p, VariantBool(player_.IsPlaying())); }
STDMETHODIMP FlashControl::put_Playing(VARIANT_BOOL v) {
    Journal("put_Playing " + std::to_string(v));
    if (v) player_.Play();
    else player_.StopPlay();
    UpdateTimer();
    return S_OK;
}
STDMETHODIMP FlashControl::get_Quality(int* p) { return OutValue(p, quality_); }
STDMETHODIMP FlashControl::put_Quality(int v) {
    Journal("put_Quality " + std::to_string(v));
    if (v < 0 || v > 5) return E_INVALIDARG;
    quality_ = v;
    quality2_ = kQualityNames[v];
    ApplyDrawSettings();
    NotifyChanged(105);
    return S_OK;
}
STDMETHODIMP FlashControl::get_Loop(VARIANT_BOOL* p) {
    Journal("get_Loop");
    return OutValue(p, VariantBool(player_.Loop()));
}
STDMETHODIMP FlashControl::put_Loop(VARIANT_BOOL v) {
    Journal("put_Loop " + std::to_string(v));
    player_.SetLoop(v != 0);
    UpdateTimer();
    return S_OK;
}
STDMETHODIMP FlashControl::get_Movie(BSTR* p) { return OutBstr(movie_, p); }
STDMETHODIMP FlashControl::put_Movie(BSTR v) { return LoadMovie(0, v); }
STDMETHODIMP FlashControl::get_FrameNum(long* p) { return OutValue(p, player_.CurrentFrame()); }
STDMETHODIMP FlashControl::put_FrameNum(long v) {
    Journal("put_FrameNum " + std::to_string(v));
    player_.GotoFrame(static_cast<int>(v));
    return S_OK;
}
STDMETHODIMP FlashControl::SetZoomRect(long, long, long, long) { return S_OK; }
STDMETHODIMP FlashControl::Zoom(int) { return S_OK; }
STDMETHODIMP FlashControl::Pan(long, long, int) { return S_OK; }
STDMETHODIMP FlashControl::Play() { return Playback("Play", &Player::Play); }
STDMETHODIMP FlashControl::Stop() { return Playback("Stop", &Player::StopPlay); }
STDMETHODIMP FlashControl::Back() { return Playback("Back", &Player::Back); }
STDMETHODIMP FlashControl::Forward() { return Playback("Forward", &Player::Forward); }
STDMETHODIMP FlashControl::Rewind() { return Playback("Rewind", &Player::Rewind); }
STDMETHODIMP FlashControl::StopPlay() { return Playback("StopPlay", &Player::StopPlay); }
STDMETHODIMP FlashControl::GotoFrame(long n) {
    RP_GATE("GotoFrame");
    player_.GotoFrame(static_cast<int>(n));
    return S_OK;
}
STDMETHODIMP FlashControl::CurrentFrame(long* p) {
    RP_GATE("CurrentFrame");
    return OutValue(p, player_.CurrentFrame());
}
STDMETHODIMP FlashControl::IsPlaying(VARIANT_BOOL* p) {
    RP_GATE("IsPlaying");
    return OutValue(p, VariantBool(player_.IsPlaying()));
}
STDMETHODIMP FlashControl::PercentLoaded(long* p) { return OutValue(p, player_.HasMovie() ? 100 : 0); }
STDMETHODIMP FlashControl::FrameLoaded(long n, VARIANT_BOOL* p) {
    return OutValue(p, VariantBool(player_.HasMovie() && n >= 0 && n < player_.TotalFrames()));
}
STDMETHODIMP FlashControl::FlashVersion(long* p) {
    Journal("FlashVersion");
    return OutValue(p, player_.FlashVersion());
}
STDMETHODIMP FlashControl::get_WMode(BSTR* p) { return OutBstr(wmode_, p); }
STDMETHODIMP FlashControl::put_WMode(BSTR v) {
    wmode_ = TBstr::Text(v);
    Journal("put_WMode " + JournalQuote(TBstr::Utf8Text(v)) + (v ? "" : " (null)"));
    ApplyDrawSettings();
    NotifyChanged(133);
    return S_OK;
}
STDMETHODIMP FlashControl::get_Quality2(BSTR* p) { return OutBstr(quality2_, p); }
STDMETHODIMP FlashControl::put_Quality2(BSTR v) {
    const std::wstring q = TBstr::Text(v);
    for (int i = 0; i < 6; ++i)
        if (lstrcmpiW(q.c_str(), kQualityNames[i]) == 0) {
            quality_ = i;
            quality2_ = kQualityNames[i];
            ApplyDrawSettings();
            return S_OK;
        }
    return E_INVALIDARG;
}
STDMETHODIMP FlashControl::LoadMovie(int layer, BSTR url) {
    const std::string u = TBstr::Utf8Text(url);
    Journal("LoadMovie layer=" + std::to_string(layer) + " url=" + JournalQuote(u));
    if (settings_.faults.loadMovieHr) return static_cast<HRESULT>(settings_.faults.loadMovieHr);
    if (layer == 0) {
        movie_ = TBstr::Text(url);
        loadReported_ = false;
    }
    player_.LoadMovie(layer, u);
    UpdateTimer();
    Hostile("invoke");
    return S_OK;
}
STDMETHODIMP FlashControl::TGotoFrame(BSTR, long n) { return GotoFrame(n); }
STDMETHODIMP FlashControl::TGotoLabel(BSTR, BSTR label) {
    const int f = player_.Movie().FrameOfLabel(TBstr::Utf8Text(label));
    if (f >= 0) player_.GotoFrame(f);
    return S_OK;
}
STDMETHODIMP FlashControl::TCurrentFrame(BSTR, long* p) { return CurrentFrame(p); }
STDMETHODIMP FlashControl::TCurrentLabel(BSTR, BSTR* p) {
    std::string label;
    for (const auto& [frame, name] : player_.Movie().labels)
        if (frame <= player_.CurrentFrame()) label = name;
    return OutBstr(Utf8ToWide(label), p);
}
STDMETHODIMP FlashControl::TPlay(BSTR) { return Play(); }
STDMETHODIMP FlashControl::TStopPlay(BSTR) { return StopPlay(); }
STDMETHODIMP FlashControl::SetVariable(BSTR name, BSTR value) {
    Journal("SetVariable " + JournalQuote(TBstr::Utf8Text(name)) + " " + JournalQuote(TBstr::Utf8Text(value)));
    const HRESULT gate = ScriptGate("SetVariable");
    if (FAILED(gate)) return gate;
    player_.SetVariable(TBstr::Utf8Text(name), TBstr::Utf8Text(value));
    return S_OK;
}
STDMETHODIMP FlashControl::GetVariable(BSTR name, BSTR* p) {
    Journal("GetVariable " + JournalQuote(TBstr::Utf8Text(name)));
    const HRESULT gate = ScriptGate("GetVariable");
    if (FAILED(gate)) return gate;
    return OutBstr(Utf8ToWide(player_.GetVariable(TBstr::Utf8Text(name))), p);
}
STDMETHODIMP FlashControl::TSetProperty(BSTR, int, BSTR) { return S_OK; }
STDMETHODIMP FlashControl::TGetProperty(BSTR, int, BSTR* p) { return OutBstr(L"", p); }
STDMETHODIMP FlashControl::TCallFrame(BSTR, int) { return S_OK; }
STDMETHODIMP FlashControl::TCallLabel(BSTR, BSTR) { return S_OK; }
STDMETHODIMP FlashControl::TSetPropertyNum(BSTR, int, double) { return S_OK; }
STDMETHODIMP FlashControl::TGetPropertyNum(BSTR, int, double* p) { return OutValue(p, 0.0); }
STDMETHODIMP FlashControl::TGetPropertyAsNumber(BSTR t, int i, double* p) { return TGetPropertyNum(t, i, p); }
STDMETHODIMP FlashControl::EnforceLocalSecurity() {
    Journal("EnforceLocalSecurity");
    return S_OK;
}
STDMETHODIMP FlashControl::CallFunction(BSTR request, BSTR* response) {
    Journal("CallFunction " + JournalQuote(TBstr::Utf8Text(request)));
    const HRESULT gate = ScriptGate("CallFunction");
    if (FAILED(gate)) return gate;
    return OutBstr(Utf8ToWide(player_.CallFunction(TBstr::Utf8Text(request))), response);
}
STDMETHODIMP FlashControl::SetReturnValue(BSTR value) {
    Journal("SetReturnValue " + JournalQuote(TBstr::Utf8Text(value)) + (flashCallDepth_ ? "" : " (no call pending)"));
    returnValue_ = TBstr::Text(value);
    return S_OK;
}
STDMETHODIMP FlashControl::DisableLocalSecurity() {
    Journal("DisableLocalSecurity");
    return S_OK;
}

// ---- The plain properties (rp_properties.h) ------------------------------------------------

#define RP_DEFINE_PLAIN_PROPERTY(Name, member, Kind, initial)                            \
    STDMETHODIMP FlashControl::get_##Name(Kind::Arg* p) { return Kind::Get(member, p); } \
    STDMETHODIMP FlashControl::put_##Name(Kind::Arg v) {                                 \
        Kind::Put(member, v);                                                            \
        ApplyDrawSettings();                                                             \
        return S_OK;                                                                     \
    }
RP_PLAIN_PROPERTIES(RP_DEFINE_PLAIN_PROPERTY)
#undef RP_DEFINE_PLAIN_PROPERTY

// The properties that say how the movie is drawn, handed to the engine: the quality by name,
// the scale mode (ScaleMode when set to other than show-all, else the Scale text) and the
// transparent window mode, where the movie's background is left out.
void FlashControl::ApplyDrawSettings() {
    player_.SetQuality(QualityOf(win32::WideToUtf8(kQualityNames[quality_])));
    static constexpr ScaleMode kModes[] = {ScaleMode::ShowAll, ScaleMode::NoBorder, ScaleMode::ExactFit,
                                           ScaleMode::NoScale};
    player_.SetScaleMode(scaleMode_ > 0 && scaleMode_ < 4 ? kModes[scaleMode_]
                                                          : ScaleModeOf(win32::WideToUtf8(scale_)));
    player_.SetTransparent(lstrcmpiW(wmode_.c_str(), L"Transparent") == 0);
}

// ---- IvdFlashPlayerEx -----------------------------------------------------------------------

STDMETHODIMP FlashControl::get_QualityLevel(enum vdQualityLevel* p) {
    return OutValue(p, static_cast<enum vdQualityLevel>(quality_));
}
STDMETHODIMP FlashControl::put_QualityLevel(enum vdQualityLevel v) { return put_Quality(static_cast<int>(v)); }

}  // namespace vd::rp
