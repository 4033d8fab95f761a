// The event sink and event delivery: each of the control's events reaches its typed handler
// with its arguments decoded from the dispatch argument list.
#include "vd_ax_unit.h"

namespace vd {

using namespace ax;

namespace {

// The event's i-th declared parameter (the argument list holds them last first); null when
// the control passed fewer.
const VARIANT* Argument(const DISPPARAMS& params, UINT i) {
    if (!params.rgvarg || i >= params.cArgs) return nullptr;
    return &params.rgvarg[params.cArgs - 1 - i];
}

int32_t IntArgument(const DISPPARAMS& params, UINT i) {
    const VARIANT* v = Argument(params, i);
    if (!v) return 0;
    if (v->vt == VT_I4 || v->vt == VT_INT) return v->lVal;
    win32::TVariant converted;
    if (FAILED(VariantChangeType(converted.Ptr(), const_cast<VARIANT*>(v), 0, VT_I4))) return 0;
    return converted.Get().lVal;
}

// Texts pass whole: the BSTR's own length, on any pointer size.
WideString TextArgument(const DISPPARAMS& params, UINT i) {
    const VARIANT* v = Argument(params, i);
    if (!v) return {};
    if (v->vt == VT_BSTR) return FromBstr(v->bstrVal);
    if (v->vt == (VT_BSTR | VT_BYREF)) return v->pbstrVal ? FromBstr(*v->pbstrVal) : WideString();
    win32::TVariant converted;
    if (FAILED(VariantChangeType(converted.Ptr(), const_cast<VARIANT*>(v), 0, VT_BSTR))) return {};
    return FromBstr(converted.Get().bstrVal);
}

}  // namespace

// ---- Delivery -------------------------------------------------------------------------------

void TvdFlashDriverActiveX::GetEventMethod(DISPID dispID, int& slot) const {
    slot = -1;
    for (int i = 0; i < ControlData->EventCount; ++i)
        if (ControlData->EventDispIDs[i] == dispID) {
            slot = static_cast<int>(ControlData->FirstEventSlot) + i;
            return;
        }
}

void TvdFlashDriverActiveX::InvokeEvent(DISPID dispID, DISPPARAMS& params) {
    int slot = -1;
    GetEventMethod(dispID, slot);
    // A driver freed inside a call (or being destroyed) passes nothing on.
    if (Detached()) return;
    // The handlers run from copies: one may free the driver, which clears them.
    const TCallGuard guard(*this, TCallKind::FromPlayer);
    // A raising handler is the application's to report; the control is told nothing of it.
    try {
        switch (slot) {
            case 0:
                if (const auto handler = OnReadyStateChange) handler(this, IntArgument(params, 0));
                break;
            case 1:
                if (const auto handler = OnProgress) handler(this, IntArgument(params, 0));
                break;
            case 2:
                if (const auto handler = OnFSCommandEvent)
                    handler(this, TextArgument(params, 0), TextArgument(params, 1));
                break;
            case 3:
                if (const auto handler = OnFlashCallEvent) handler(this, TextArgument(params, 0));
                break;
            default:
                break;  // not one of the control's events: dropped
        }
    } catch (...) {
        ReportHandlerException(this);
    }
}

void TvdFlashDriverActiveX::IntfFSCommand(TObject*, const WideString& command, const WideString& args) {
    DoFSCommand(command, args);
}

void TvdFlashDriverActiveX::IntfFlashPlayerFlashCall(TObject*, const WideString& request) { DoFlashCall(request); }

}  // namespace vd
