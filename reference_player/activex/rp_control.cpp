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
    // The fault switches take faces away: a container must cope without them.
    const auto windowless = [](const FlashControl* c) { return !c->settings_.faults.noWindowless; };
    const auto viewObject = [](const FlashControl* c) { return !c->settings_.faults.noViewObject; };
    // IOleWindow is a base of both in-place faces; it is answered by the in-place object.
    static const TInterfaceRow<FlashControl> kInterfaces[] = {
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(IID_IUnknown),
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(IID_IDispatch),
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(__uuidof(IvdFlashPlayer)),
        InterfaceRow<FlashControl, IvdFlashPlayerEx>(__uuidof(IvdFlashPlayerEx)),
        InterfaceRow<FlashControl, IOleObject>(IID_IOleObject),
        InterfaceRow<FlashControl, IOleInPlaceObjectWindowless>(IID_IOleWindow),
        InterfaceRow<FlashControl, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObject),
        InterfaceRow<FlashControl, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless, windowless),
        InterfaceRow<FlashControl, IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject),
        InterfaceRow<FlashControl, IViewObjectEx>(IID_IViewObject, viewObject),
        InterfaceRow<FlashControl, IViewObjectEx>(IID_IViewObject2, viewObject),
        InterfaceRow<FlashControl, IViewObjectEx>(IID_IViewObjectEx, viewObject),
        InterfaceRow<FlashControl, IPersistStreamInit>(IID_IPersistStreamInit),
        InterfaceRow<FlashControl, IPersistStreamInit>(IID_IPersist),
        InterfaceRow<FlashControl, IOleControl>(IID_IOleControl),
        InterfaceRow<FlashControl, IConnectionPointContainer>(IID_IConnectionPointContainer),
        InterfaceRow<FlashControl, IPerPropertyBrowsing>(IID_IPerPropertyBrowsing),
        InterfaceRow<FlashControl, IProvideClassInfo>(IID_IProvideClassInfo),
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
