// Scripting and playback: the driver's movie operations as calls on the control interface.
#include "vd_ax_unit.h"

namespace vd {

using namespace ax;
using win32::ComPtr;

namespace {

// External-interface calls need a control of major version 8 or later.
bool ScriptsExternally(IvdFlashPlayer* control) {
    long version = 0;
    const HRESULT hr = control->FlashVersion(&version);
    if (FAILED(hr)) OleCheck(hr);
    return (static_cast<uint32_t>(version) >> 16) >= 8;
}

}  // namespace

void TvdFlashDriverActiveX::Check(IUnknown* control, HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    // A control that describes its failure is quoted; otherwise the system's text for the code.
    // The thread's error object is the control's only when the control says it sets one for
    // its interface: else it may be left from any earlier call and tell of something else.
    ComPtr<ISupportErrorInfo> support;
    ComPtr<IErrorInfo> info;
    if (control &&
        SUCCEEDED(control->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.GetAddressOf()))) &&
        support && support->InterfaceSupportsErrorInfo(IID_IvdFlashPlayer) == S_OK && GetErrorInfo(0, &info) == S_OK &&
        info) {
        win32::TBstr description, source, helpFile;
        DWORD helpContext = 0;
        info->GetDescription(description.Out());
        info->GetSource(source.Out());
        info->GetHelpFile(helpFile.Out());
        info->GetHelpContext(&helpContext);
        if (description.Length() > 0)
            throw EOleException(description.Utf8(), hr, source.Utf8(), helpFile.Utf8(), static_cast<int>(helpContext));
    }
    OleCheck(hr);
}

win32::ComPtr<IvdFlashPlayer> TvdFlashDriverActiveX::GetControlInterface() {
    CreateControl();
    return ControlInterface;
}

WideString TvdFlashDriverActiveX::CallFunction(const WideString& Request) {
    if (FlashUnavailable || Detached()) return {};
    const TCallGuard guard(*this, TCallKind::Player);
    const ComPtr<IvdFlashPlayer> control = GetControlInterface();
    if (!control || !ScriptsExternally(control.Get())) return {};
    const win32::TBstr request = ToBstr(Request);
    win32::TBstr response;
    Check(control.Get(), control->CallFunction(request.Get(), response.Out()));
    return FromBstr(response.Get());
}

void TvdFlashDriverActiveX::SetReturnValue(const WideString& Value) {
    if (FlashUnavailable || Detached()) return;
    const TCallGuard guard(*this, TCallKind::Player);
    const ComPtr<IvdFlashPlayer> control = GetControlInterface();
    if (!control || !ScriptsExternally(control.Get())) return;
    const win32::TBstr value = ToBstr(Value);
    Check(control.Get(), control->SetReturnValue(value.Get()));
}

void TvdFlashDriverActiveX::SetVariable(const WideString& Name, const WideString& Value) {
    if (FlashUnavailable || Detached()) return;
    const TCallGuard guard(*this, TCallKind::Player);
    const ComPtr<IvdFlashPlayer> control = GetControlInterface();
    if (!control) return;
    const win32::TBstr name = ToBstr(Name), value = ToBstr(Value);
    Check(control.Get(), control->SetVariable(name.Get(), value.Get()));
}

WideString TvdFlashDriverActiveX::GetVariable(const WideString& Name) {
    if (FlashUnavailable || Detached()) return {};
    const TCallGuard guard(*this, TCallKind::Player);
    const ComPtr<IvdFlashPlayer> control = GetControlInterface();
    if (!control) return {};
    const win32::TBstr name = ToBstr(Name);
    win32::TBstr value;
    Check(control.Get(), control->GetVariable(name.Get(), value.Out()));
    return FromBstr(value.Get());
}

// One call on the control interface; nothing while the control is unavailable.
#define VD_AX_CONTROL_CALL(call)                                       \
    do {                                                               \
        if (FlashUnavailable || Detached()) return;                    \
        const TCallGuard guard_(*this, TCallKind::Player);             \
        const ComPtr<IvdFlashPlayer> control_ = GetControlInterface(); \
        if (control_) Check(control_.Get(), control_->call);           \
    } while (0)

void TvdFlashDriverActiveX::Play() { VD_AX_CONTROL_CALL(Play()); }
void TvdFlashDriverActiveX::StopPlay() { VD_AX_CONTROL_CALL(StopPlay()); }
void TvdFlashDriverActiveX::Rewind() { VD_AX_CONTROL_CALL(Rewind()); }
void TvdFlashDriverActiveX::Forward() { VD_AX_CONTROL_CALL(Forward()); }
void TvdFlashDriverActiveX::Back() { VD_AX_CONTROL_CALL(Back()); }
void TvdFlashDriverActiveX::SetLoop(bool Value) { VD_AX_CONTROL_CALL(put_Loop(Value ? VARIANT_TRUE : VARIANT_FALSE)); }
void TvdFlashDriverActiveX::SetCurrentFrame(int Frame) { VD_AX_CONTROL_CALL(put_FrameNum(Frame)); }

#undef VD_AX_CONTROL_CALL

// One query of the control interface; `fallback` while the control is unavailable.
template <class T, class Call> static T Query(TvdFlashDriverActiveX& d, T fallback, Call call) {
    if (d.FlashUnavailable || d.Detached()) return fallback;
    const TvdFlashDriver::TCallGuard guard(d, TvdFlashDriver::TCallKind::Player);
    const ComPtr<IvdFlashPlayer> control = d.GetControlInterface();
    if (!control) return fallback;
    return call(control.Get());
}

bool TvdFlashDriverActiveX::GetLoop() {
    return Query(*this, false, [](IvdFlashPlayer* c) {
        VARIANT_BOOL v = VARIANT_FALSE;
        Check(c, c->get_Loop(&v));
        return v != 0;
    });
}

bool TvdFlashDriverActiveX::GetIsPlaying() {
    return Query(*this, false, [](IvdFlashPlayer* c) {
        VARIANT_BOOL v = VARIANT_FALSE;
        Check(c, c->IsPlaying(&v));
        return v != 0;
    });
}

int TvdFlashDriverActiveX::GetCurrentFrame() {
    return Query(*this, 0, [](IvdFlashPlayer* c) {
        long n = 0;
        Check(c, c->CurrentFrame(&n));
        return static_cast<int>(n);
    });
}

int TvdFlashDriverActiveX::GetTotalFrames() {
    return Query(*this, 0, [](IvdFlashPlayer* c) {
        long n = 0;
        Check(c, c->get_TotalFrames(&n));
        return static_cast<int>(n);
    });
}

}  // namespace vd
