// The control's core: lifetime, the interfaces it answers, its frames and the test hooks.
#include "rp_control.h"

namespace vd::rp {

using win32::InterfaceRow;
using win32::TInterfaceRow;

namespace {
FlashControl* g_current = nullptr;  // the newest live control, for the test hooks
}  // namespace

std::string RectText(const RECT* r) {
    if (!r) return "null";
    return std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) + "," +
           std::to_string(r->bottom);
}

FlashControl::FlashControl(const Settings& settings)
    : settings_(settings),
      player_(*this, settings.faults.version7 ? 7 : 10),
      propertyPoint_(*this, IID_IPropertyNotifySink),
      eventPoint_(*this, vd::flash::DIID__IvdFlashPlayerEvents) {
    InterlockedIncrement(&g_objects);
    g_current = this;
    Journal("created");
}

FlashControl::~FlashControl() {
    timer_.Stop();
    OrphanBinds();
    if (g_current == this) g_current = nullptr;
    Log("ActiveX destroyed");
    InterlockedDecrement(&g_objects);
}

void FlashControl::Journal(const std::string& line) { Log(line); }

STDMETHODIMP FlashControl::QueryInterface(REFIID riid, void** ppv) {
    // The fault switches take faces away: a container must cope without them. A control that
    // answers only IOleObject has none of the others.
    const auto any = [](const FlashControl* c) { return !c->settings_.faults.onlyOleObject; };
    const auto main = [](const FlashControl* c) {
        return !c->settings_.faults.onlyOleObject && !c->settings_.faults.noMainInterface;
    };
    const auto windowless = [](const FlashControl* c) {
        return !c->settings_.faults.onlyOleObject && !c->settings_.faults.noWindowless;
    };
    const auto viewObject = [](const FlashControl* c) {
        return !c->settings_.faults.onlyOleObject && !c->settings_.faults.noViewObject;
    };
    const auto errorInfo = [](const FlashControl* c) {
        return !c->settings_.faults.onlyOleObject && !c->settings_.faults.noErrorInfo;
    };
    // IOleWindow is a base of both in-place faces; it is answered by the in-place object.
    static const TInterfaceRow<FlashControl> kInterfaces[] = {
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(IID_IUnknown),
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(IID_IDispatch, any),
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(__uuidof(IvdFlashPlayer), main),
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(__uuidof(IvdFlashPlayerEx), main),
        InterfaceRow<FlashControl, IOleObject>(IID_IOleObject),
        InterfaceRow<FlashControl, IOleInPlaceObjectWindowless>(IID_IOleWindow, any),
        InterfaceRow<FlashControl, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObject, any),
        InterfaceRow<FlashControl, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless, windowless),
        InterfaceRow<FlashControl, IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject, any),
        InterfaceRow<FlashControl, IViewObjectEx>(IID_IViewObject, viewObject),
        InterfaceRow<FlashControl, IViewObjectEx>(IID_IViewObject2, viewObject),
        InterfaceRow<FlashControl, IViewObjectEx>(IID_IViewObjectEx, viewObject),
        InterfaceRow<FlashControl, IPersistStreamInit>(IID_IPersistStreamInit, any),
        InterfaceRow<FlashControl, IPersistStreamInit>(IID_IPersist, any),
        InterfaceRow<FlashControl, IOleControl>(IID_IOleControl, any),
        InterfaceRow<FlashControl, IConnectionPointContainer>(IID_IConnectionPointContainer, any),
        InterfaceRow<FlashControl, IPerPropertyBrowsing>(IID_IPerPropertyBrowsing, any),
        InterfaceRow<FlashControl, IProvideClassInfo>(IID_IProvideClassInfo, any),
        InterfaceRow<FlashControl, ISupportErrorInfo>(IID_ISupportErrorInfo, errorInfo),
    };
    return win32::QueryInterfaceFrom(this, kInterfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) FlashControl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
STDMETHODIMP_(ULONG) FlashControl::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

// ---- Frames ---------------------------------------------------------------------------------

void FlashControl::UpdateTimer() {
    const bool want = active_ && settings_.timers && player_.HasMovie() && player_.IsPlaying();
    timer_.Follow(want, player_.FrameInterval(), [this] { Tick(); });
}

void FlashControl::Tick() {
    ComPtr<FlashControl> keep(this);
    if (player_.Step()) UpdateTimer();
}

STDMETHODIMP FlashControl::InterfaceSupportsErrorInfo(REFIID riid) {
    const bool scripting = IsEqualIID(riid, __uuidof(IvdFlashPlayer)) || IsEqualIID(riid, __uuidof(IvdFlashPlayerEx)) ||
                           IsEqualIID(riid, IID_IDispatch);
    return scripting ? S_OK : S_FALSE;
}

// ---- What a hostile control keeps of its container ------------------------------------------

namespace {

struct KeptObject {
    std::string what;
    ComPtr<IUnknown> object;
};
std::vector<KeptObject>& Kept() {
    static std::vector<KeptObject> kept;
    return kept;
}

// One call on a kept object, as a control that outlived its container would make it.
HRESULT CallKept(const KeptObject& kept) {
    const std::string& what = kept.what;
    IUnknown* object = kept.object.Get();
    if (what == "client site") return static_cast<IOleClientSite*>(object)->ShowObject();
    if (what == "in-place site") return static_cast<IOleInPlaceSite*>(object)->CanInPlaceActivate();
    if (what == "windowless site")
        return static_cast<IOleInPlaceSiteWindowless*>(object)->InvalidateRect(nullptr, FALSE);
    if (what == "frame") return static_cast<IOleInPlaceFrame*>(object)->SetStatusText(const_cast<LPOLESTR>(L"late"));
    if (what == "ambient properties") {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        win32::TVariant value;
        return static_cast<IDispatch*>(object)->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET,
                                                       &none, value.Out(), nullptr, nullptr);
    }
    if (what == "event sink") {
        win32::TVariant args[] = {win32::TVariant::Bstr(L""), win32::TVariant::Bstr(L"late")};
        VARIANT rev[] = {args[0].Get(), args[1].Get()};
        DISPPARAMS params{rev, nullptr, 2, 0};
        return static_cast<IDispatch*>(object)->Invoke(vd::flash::DISPID_FSCommand, IID_NULL, 0, DISPATCH_METHOD,
                                                       &params, nullptr, nullptr, nullptr);
    }
    if (what == "property sink") return static_cast<IPropertyNotifySink*>(object)->OnChanged(133);
    if (what == "bind host") {
        ComPtr<IBindCtx> bc;
        ComPtr<IMoniker> mk;
        CreateBindCtx(0, &bc);
        return static_cast<IBindHost*>(object)->CreateMoniker(const_cast<LPOLESTR>(L"late.swf"), bc.Get(), &mk, 0);
    }
    if (what == "moniker") {
        ComPtr<IBindCtx> bc;
        ComPtr<IUnknown> out;
        CreateBindCtx(0, &bc);
        return static_cast<IMoniker*>(object)->BindToStorage(bc.Get(), nullptr, IID_IStream,
                                                             reinterpret_cast<void**>(out.GetAddressOf()));
    }
    if (what == "delivered stream") {
        char buf[16];
        ULONG got = 0;
        return static_cast<IStream*>(object)->Read(buf, sizeof buf, &got);
    }
    return E_NOTIMPL;
}

}  // namespace

void KeepLate(const Settings& settings, const char* what, IUnknown* object) {
    if (!settings.faults.lateRelease || !object) return;
    for (const KeptObject& kept : Kept())
        if (kept.what == what) return;
    Kept().push_back({what, object});
    Log(std::string("kept ") + what);
}

}  // namespace vd::rp

// Calls every object kept under late_release once (journal "late <what> hr=..."), then lets
// them all go; the number of objects.
extern "C" __declspec(dllexport) int vdrp_CallKept() {
    using namespace vd::rp;
    std::vector<KeptObject> kept = std::move(Kept());
    Kept().clear();
    for (const KeptObject& k : kept) Log("late " + k.what + " hr=" + Hex(static_cast<uint32_t>(CallKept(k))));
    const int n = static_cast<int>(kept.size());
    kept.clear();
    Log("late objects released");
    return n;
}

namespace vd::rp {

// ---- Test hooks -----------------------------------------------------------------------------

void InstallControlHooks() {
    Hooks().step = [](int frames) {
        if (!g_current) return -1;
        for (int i = 0; i < frames; ++i) g_current->Tick();
        return g_current->Engine().CurrentFrame();
    };
    Hooks().fsCommand = [](const std::string& c, const std::string& a) {
        if (!g_current) return false;
        g_current->Engine().FireFSCommand(c, a);
        return true;
    };
    Hooks().callHost = [](const std::string& name, const std::vector<ExtValue>& args, std::string& answer) {
        if (!g_current) return false;
        ComPtr<FlashControl> keep(g_current);
        answer = keep->Engine().CallHost(name, args);
        return true;
    };
    Hooks().setTimers = [](bool on) {
        if (g_current) g_current->SetTimers(on);
    };
    Hooks().setFaults = [](const std::string& list) {
        if (g_current) g_current->SetFaults(list);
    };
}

}  // namespace vd::rp
