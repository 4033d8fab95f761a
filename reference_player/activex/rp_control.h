// The reference player's ActiveX form: a windowless OLE control implementing the Flash
// control's class, driven by the shared engine. One object per control instance.
//
// The control's files follow its faces: rp_control.cpp (lifetime, QueryInterface, frames, test
// hooks), rp_scripting.cpp (IDispatch and the control interface), rp_embedding.cpp (the OLE
// object: in-place activation, view, persistence, IOleControl, property browsing),
// rp_container.cpp (calls into the container: binding, connection points, events) and
// rp_typeinfo.cpp (the embedded type library).
#pragma once

#include "rp_properties.h"
#include "rp_timer.h"
#include "rp_win.h"
#include "vd_com.h"
#include "vd_flash_control.h"

#include <ocidl.h>
#include <urlmon.h>

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vd::rp {

using vd::win32::ComPtr;

// The server module (rp_server.cpp).
HMODULE ThisModule();
std::wstring ModulePath();
// The live-object and lock counts that decide DllCanUnloadNow.
extern LONG g_objects;
extern LONG g_locks;

// The embedded type library (loaded once per process on first use, not at load time) and the
// type descriptions in it (rp_typeinfo.cpp).
HRESULT TypeLib(ITypeLib** out);
HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** out);
// The interface half of a dual interface: what ITypeInfo::Invoke calls through the vtable.
HRESULT InterfaceTypeInfo(REFGUID guid, ITypeInfo** out);

void InstallControlHooks();

// With the late_release fault: keeps `object`, handed over by the container as `what`, past the
// control's end (the first of each kind), for vdrp_CallKept to call and release.
void KeepLate(const Settings& settings, const char* what, IUnknown* object);

// Shared by the control's files.
inline const wchar_t* const kQualityNames[] = {L"Low", L"High", L"AutoLow", L"AutoHigh", L"Medium", L"Best"};
// "left,top,right,bottom" for the journal; "null" without a rectangle.
std::string RectText(const RECT* r);

class FlashControl;

// One connection point: the sinks advised for one interface.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(FlashControl& owner, const IID& iid) : owner_(owner), iid_(iid) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* piid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

    // A snapshot: a sink may unadvise while being called.
    std::vector<ComPtr<IUnknown>> Sinks() const;

private:
    FlashControl& owner_;
    IID iid_;
    std::map<DWORD, ComPtr<IUnknown>> sinks_;
    DWORD next_ = 1;
};

class FlashControl final : public IvdFlashPlayerEx,
                           public IOleObject,
                           public IOleInPlaceObjectWindowless,
                           public IOleInPlaceActiveObject,
                           public IViewObjectEx,
                           public IPersistStreamInit,
                           public IOleControl,
                           public IConnectionPointContainer,
                           public IPerPropertyBrowsing,
                           public IProvideClassInfo,
                           public ISupportErrorInfo,
                           private PlayerHost {
public:
    explicit FlashControl(const Settings& settings);
    ~FlashControl();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;

    // IvdFlashPlayer
    STDMETHODIMP get_ReadyState(long* pVal) override;
    STDMETHODIMP get_TotalFrames(long* pVal) override;
    STDMETHODIMP get_Playing(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_Playing(VARIANT_BOOL pVal) override;
    STDMETHODIMP get_Quality(int* pVal) override;
    STDMETHODIMP put_Quality(int pVal) override;
    STDMETHODIMP get_Loop(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_Loop(VARIANT_BOOL pVal) override;
    STDMETHODIMP get_Movie(BSTR* pVal) override;
    STDMETHODIMP put_Movie(BSTR pVal) override;
    STDMETHODIMP get_FrameNum(long* pVal) override;
    STDMETHODIMP put_FrameNum(long pVal) override;
    STDMETHODIMP SetZoomRect(long left, long top, long right, long bottom) override;
    STDMETHODIMP Zoom(int factor) override;
    STDMETHODIMP Pan(long x, long y, int mode) override;
    STDMETHODIMP Play() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Back() override;
    STDMETHODIMP Forward() override;
    STDMETHODIMP Rewind() override;
    STDMETHODIMP StopPlay() override;
    STDMETHODIMP GotoFrame(long FrameNum) override;
    STDMETHODIMP CurrentFrame(long* FrameNum) override;
    STDMETHODIMP IsPlaying(VARIANT_BOOL* Playing) override;
    STDMETHODIMP PercentLoaded(long* percent) override;
    STDMETHODIMP FrameLoaded(long FrameNum, VARIANT_BOOL* loaded) override;
    STDMETHODIMP FlashVersion(long* version) override;
    STDMETHODIMP get_WMode(BSTR* pVal) override;
    STDMETHODIMP put_WMode(BSTR pVal) override;
    STDMETHODIMP get_Quality2(BSTR* pVal) override;
    STDMETHODIMP put_Quality2(BSTR pVal) override;
    STDMETHODIMP LoadMovie(int layer, BSTR url) override;
    STDMETHODIMP TGotoFrame(BSTR target, long FrameNum) override;
    STDMETHODIMP TGotoLabel(BSTR target, BSTR label) override;
    STDMETHODIMP TCurrentFrame(BSTR target, long* FrameNum) override;
    STDMETHODIMP TCurrentLabel(BSTR target, BSTR* pVal) override;
    STDMETHODIMP TPlay(BSTR target) override;
    STDMETHODIMP TStopPlay(BSTR target) override;
    STDMETHODIMP SetVariable(BSTR name, BSTR value) override;
    STDMETHODIMP GetVariable(BSTR name, BSTR* pVal) override;
    STDMETHODIMP TSetProperty(BSTR target, int property, BSTR value) override;
    STDMETHODIMP TGetProperty(BSTR target, int property, BSTR* pVal) override;
    STDMETHODIMP TCallFrame(BSTR target, int FrameNum) override;
    STDMETHODIMP TCallLabel(BSTR target, BSTR label) override;
    STDMETHODIMP TSetPropertyNum(BSTR target, int property, double value) override;
    STDMETHODIMP TGetPropertyNum(BSTR target, int property, double* pVal) override;
    STDMETHODIMP TGetPropertyAsNumber(BSTR target, int property, double* pVal) override;
    STDMETHODIMP EnforceLocalSecurity() override;
    STDMETHODIMP CallFunction(BSTR request, BSTR* response) override;
    STDMETHODIMP SetReturnValue(BSTR returnValue) override;
    STDMETHODIMP DisableLocalSecurity() override;
    // The plain properties (rp_properties.h).
    RP_PLAIN_PROPERTIES(RP_DECLARE_PLAIN_PROPERTY)
    // IvdFlashPlayerEx
    STDMETHODIMP get_QualityLevel(enum vdQualityLevel* pVal) override;
    STDMETHODIMP put_QualityLevel(enum vdQualityLevel pVal) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* pmk) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** ppmk) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG lindex, HWND parent, LPCRECT pos) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override;

    // IOleWindow (both in-place faces)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    // IOleInPlaceObjectWindowless
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHODIMP GetDropTarget(IDropTarget** ppDropTarget) override;
    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* ui, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IViewObjectEx
    STDMETHODIMP Draw(DWORD aspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd, HDC hdcTargetDev, HDC hdcDraw,
                      LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR),
                      ULONG_PTR dwContinue) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                             LOGPALETTE** ppColorSet) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) override;
    STDMETHODIMP Unfreeze(DWORD dwFreeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    STDMETHODIMP GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;
    STDMETHODIMP GetRect(DWORD aspect, LPRECTL pRect) override;
    STDMETHODIMP GetViewStatus(DWORD* pdwStatus) override;
    STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT pRectBounds, POINT ptlLoc, LONG lCloseHint,
                               DWORD* pHitResult) override;
    STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG lCloseHint,
                              DWORD* pHitResult) override;
    STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG lindex, DVTARGETDEVICE* ptd, HDC hicTargetDev,
                                  DVEXTENTINFO* pExtentInfo, LPSIZEL pSizel) override;

    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM pStm) override;
    STDMETHODIMP Save(LPSTREAM pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pCbSize) override;
    STDMETHODIMP InitNew() override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
    STDMETHODIMP OnMnemonic(MSG* pMsg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispID) override;
    STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IPerPropertyBrowsing
    STDMETHODIMP GetDisplayString(DISPID dispID, BSTR* pBstr) override;
    STDMETHODIMP MapPropertyToPage(DISPID dispID, CLSID* pClsid) override;
    STDMETHODIMP GetPredefinedStrings(DISPID dispID, CALPOLESTR* pCaStringsOut, CADWORD* pCaCookiesOut) override;
    STDMETHODIMP GetPredefinedValue(DISPID dispID, DWORD dwCookie, VARIANT* pVarOut) override;

    // IProvideClassInfo
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;

    // ISupportErrorInfo: the scripting interfaces set the thread's error object when they raise
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // Test hooks on the current control.
    Player& Engine() { return player_; }
    void Tick();
    void SetTimers(bool on) {
        settings_.timers = on;
        UpdateTimer();
    }
    void SetFaults(const std::string& list) {
        settings_.faults = Faults::Parse(list);
        paintInvalidations_ = 2;
    }

private:
    // PlayerHost: what the engine asks of the container.
    void RequestUrl(const std::string& url) override;
    void Invalidate(const Rect& area) override;
    void FSCommand(const std::string& command, const std::string& args) override;
    std::string ExternalCall(const std::string& name, const std::vector<ExtValue>& args) override;

    void Fire(DISPID id, std::span<const win32::TVariant> argsInOrder);
    // The wrong_types fault: the answer in another type than the member's.
    void Mistype(VARIANT& result);
    void NotifyChanged(DISPID id);
    // The movie's progress and ready-state events, once it is all in.
    void ReportLoaded();
    HRESULT ActivateInPlace(IOleClientSite* site, LPCRECT pos);
    void Deactivate();
    void UpdateTimer();
    // Binds still running lose their way back to this control (rp_container.cpp).
    void OrphanBinds();
    HRESULT ScriptGate(const char* what);
    HRESULT Playback(const char* name, void (Player::*op)());
    // What a hostile movie does inside the container's call of `kind` (fscommand_in,
    // flashcall_in): an FSCommand or an external call, while the call is still running.
    void Hostile(const char* kind);
    void Journal(const std::string& line);
    void ApplyDrawSettings();
    void ReadAmbient(DISPID id, const char* name);

    friend class ConnectionPoint;
    friend class BindCallback;
    friend void KeepLate(const Settings&, const char*, IUnknown*);

    LONG refs_ = 1;
    Settings settings_;
    Player player_;
    ComPtr<IOleClientSite> clientSite_;
    ComPtr<IOleInPlaceSite> inPlaceSite_;
    ComPtr<IOleInPlaceSiteWindowless> windowlessSite_;
    ComPtr<IAdviseSink> viewSink_;
    bool active_ = false;
    bool windowless_ = false;
    RECT pos_{0, 0, 0, 0};
    SIZEL extentHimetric_{0, 0};
    ConnectionPoint propertyPoint_;
    ConnectionPoint eventPoint_;
    FrameTimer timer_;
    std::wstring movie_, wmode_ = L"Window", quality2_ = L"High";
    int quality_ = 1;
    RP_PLAIN_PROPERTIES(RP_PLAIN_PROPERTY_MEMBER)
    std::wstring returnValue_;
    int flashCallDepth_ = 0;
    int hostile_ = 0;             // hostile calls into the container running
    int painting_ = 0;            // draws running (more than one: drawn inside a draw)
    int paintInvalidations_ = 2;  // invalidate_in_paint: how many more draws invalidate inside
    bool dirty_ = false;
    bool loadReported_ = false;                       // ReportLoaded ran for the current movie
    std::vector<ComPtr<IBindStatusCallback>> binds_;  // kept until their data is in
};

}  // namespace vd::rp
