// The ActiveX driver: plays movies through the Flash ActiveX control, hosted windowless in the
// container role, drawing into the driver base's buffers. Win32 only.
//
// The driver is at once the owner of the control and its whole container site: client,
// control, in-place (plain, extended, windowless) and frame sites, the ambient properties, the
// property-change sink, the service provider, the bind host and the moniker the control binds
// its data through. Its reference count is COM's only: the player that created it owns it.
//
// The unit is started and stopped explicitly (never from a static initializer: it loads a
// library and starts OLE): InitializeDriverActiveXUnit() registers the driver class for driver
// selection and installs the probe that looks for the control; FinalizeDriverActiveXUnit()
// undoes it. Both are counted.
#pragma once

#include "vd_com.h"
#include "vd_windows.h"

#include <ocidl.h>
#include <olectl.h>
#include <urlmon.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "vd_ax_enumdesc.h"
#include "vd_comobj.h"
#include "vd_flash_control.h"
#include "vd_flashdriver.h"
#include "vd_stringlist.h"
#include "vd_win32_owners.h"

namespace vd {

// ---------------------------------------------------------------------------------------------
// The control's public identifiers.
using flash::CLASS_FlashObjectInterface;
using flash::CLASS_FlashProp;
using flash::CLASS_vdFlashPlayer;
using flash::DIID__IvdFlashPlayerEvents;
using flash::IID_IFlashFactory;
using flash::IID_IFlashObjectInterface;
using flash::IID_IvdFlashPlayer;
using flash::LIBID_vdFlashPlayerObjects;
// These three are the platform's own; the unit names them again for its users.
inline constexpr GUID IID_IDispatchEx_ = flash::IID_IDispatchEx;
inline constexpr GUID IID_IServiceProvider_ = flash::IID_IServiceProvider;
inline constexpr GUID IID_IBindHost_ = flash::IID_IBindHost;

// The object interface of CLASS_FlashObjectInterface; the driver uses none of its members.
struct IFlashObjectInterface : public IDispatch {};

void InitializeDriverActiveXUnit();
void FinalizeDriverActiveXUnit();

// The ActiveX availability probe driver selection runs once per process: true when the Flash
// control can be created (in-process or local server, as IOleObject); the object is released
// at once. The unit installs it into FlashActiveXCheck().
bool CheckFlashActiveX();

// Creation classes of the type library's two other classes; not used by the driver. Both raise
// EOleSysError when the object cannot be created or lacks the interface.
struct CoFlashProp {
    static win32::ComPtr<IUnknown> Create();
    static win32::ComPtr<IUnknown> CreateRemote(const WideString& machineName);
};
struct CoFlashObjectInterface {
    static win32::ComPtr<IFlashObjectInterface> Create();
    static win32::ComPtr<IFlashObjectInterface> CreateRemote(const WideString& machineName);
};

class TvdFlashDriverActiveX;

// Movable global memory (GlobalAlloc), freed when its owner goes.
struct TGlobalMemoryTraits {
    static void Close(HGLOBAL memory) { GlobalFree(memory); }
};
using TGlobalMemory = win32::TUniqueHandle<HGLOBAL, TGlobalMemoryTraits>;

// ---------------------------------------------------------------------------------------------
// Enumerated properties: the constants of a property whose type is an enumeration, from the
// control's type information.
// TEnumValue and TEnumValueList (one constant, the constants in order) are the platform-free
// text side's (vd_ax_enumdesc.h).

class TEnumPropDesc {
public:
    TEnumPropDesc(DISPID dispID, int valueCount, ITypeInfo* typeInfo);
    ~TEnumPropDesc();
    TEnumPropDesc(const TEnumPropDesc&) = delete;
    TEnumPropDesc& operator=(const TEnumPropDesc&) = delete;

    DISPID DispID;
    int32_t ValueCount;
    TEnumValueList Values;

    // Each value's display string "%d - %s", in order.
    void GetStrings(const std::function<void(const std::string&)>& proc) const;
    // A leading number (digits and '-') must be one of the values; text without one is looked
    // up by name (case-insensitive). Anything else raises EOleError.
    int32_t StringToValue(const std::string& s) const;
    // The display string of the first equal value; the number alone when none is equal.
    std::string ValueToString(int32_t v) const;
};
using TEnumPropDescList = std::vector<std::unique_ptr<TEnumPropDesc>>;

// What the driver knows of the control class, shared by every driver.
struct TControlDescription {
    GUID ClassID;
    GUID EventIID;
    int32_t EventCount;
    const DISPID* EventDispIDs;
    uint32_t Flags;
    int32_t Version;
    int32_t FontCount;
    const DISPID* FontIDs;
    int32_t PictureCount;
    const DISPID* PictureIDs;
    uint32_t Reserved;  // 1: set the client site early; 2: never early
    int32_t InstanceCount;
    std::unique_ptr<TEnumPropDescList> EnumPropDescs;  // built on demand; null until then
    uint32_t FirstEventSlot;                           // index of the driver's first event slot
};
// The one description of the Flash control.
TControlDescription& FlashControlDescription();

// ---------------------------------------------------------------------------------------------
// Event handlers of the control's four events, in the event table's order. Each is typed, so
// texts and numbers reach it at full width on every pointer size.
using TvdFlashPlayerOnReadyStateChange = std::function<void(TObject* ASender, int32_t newState)>;
using TvdFlashPlayerOnProgress = std::function<void(TObject* ASender, int32_t percentDone)>;
using TvdFlashPlayerFSCommand =
    std::function<void(TObject* ASender, const WideString& command, const WideString& args)>;
using TvdFlashPlayerFlashCall = std::function<void(TObject* ASender, const WideString& request)>;

// The sink connected to the control's events: every Invoke becomes the driver's InvokeEvent.
// Its reference count is the driver's; the driver owns and frees it.
class TEventDispatch final : public IDispatch {
public:
    explicit TEventDispatch(TvdFlashDriverActiveX& driver) : Driver(driver) {}
    TvdFlashDriverActiveX& Driver;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    // Always S_OK, whether a handler ran, was missing or raised.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispID, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;
};

// What a generated method wrapper hands to InvokeMethod.
struct TDispInfo {
    DISPID DispID;
    VARTYPE ResultType;  // 0..12: where and how the result is stored
    WORD CallKind;       // DISPATCH_METHOD, DISPATCH_PROPERTYGET, ...
};

namespace ax {
// Faces of the driver whose IOleWindow answers differ from the windowless site's: the plain
// in-place site and the frame (with its UI window) each answer GetWindow with no window,
// while the windowless site's GetWindow hands out the parent window during a menu press. Each
// forwards everything else to the driver and shares its reference count.
class TInPlaceSiteFace final : public IOleInPlaceSite {
public:
    explicit TInPlaceSiteFace(TvdFlashDriverActiveX& driver) : driver_(driver) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT posRect,
                                               LPRECT clipRect, LPOLEINPLACEFRAMEINFO frameInfo) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT posRect) override;

private:
    TvdFlashDriverActiveX& driver_;
};

class TFrameFace final : public IOleInPlaceFrame {
public:
    explicit TFrameFace(TvdFlashDriverActiveX& driver) : driver_(driver) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT border) override;
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR name) override;
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU shared, HOLEMENU oleMenu, HWND activeObject) override;
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU shared) override;
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, WORD id) override;

private:
    TvdFlashDriverActiveX& driver_;
};
}  // namespace ax

// ---------------------------------------------------------------------------------------------
class TvdFlashDriverActiveX : public TvdFlashDriver,
                              public IServiceProvider,
                              public IBindHost,
                              public IMoniker,
                              public IPropertyNotifySink,
                              public IDispatch,
                              public IOleInPlaceSiteWindowless,
                              public IOleControlSite,
                              public IOleClientSite {
    VD_CLASS(TvdFlashDriverActiveX, TvdFlashDriver)
public:
    // Settings only; AfterConstruction makes the buffer (base) and then the control.
    TvdFlashDriverActiveX(int width, int height, uint32_t background);
    ~TvdFlashDriverActiveX() override;
    // The buffer first (base), then the control: created, set transparent, activated
    // windowless in place, its object rectangles set and its events routed to the driver.
    void AfterConstruction() override;

    static const TvdFlashDriverClass& Class();
    // True once the availability check found the control.
    static bool PluginExists();

    // ---- State -------------------------------------------------------------------------------
    TControlDescription* ControlData = nullptr;
    LONG RefCount = 0;
    std::unique_ptr<TEventDispatch> EventDispatch;
    TGlobalMemory SavedState;  // the control's saved state
    win32::ComPtr<IOleObject> OleObject;
    win32::ComPtr<IPersistStreamInit> PersistStream;
    win32::ComPtr<IDispatch> ControlDispatch;
    win32::ComPtr<IPerPropertyBrowsing> PropBrowsing;
    win32::ComPtr<IViewObject> ViewObject;
    DWORD PropConnection = 0;
    DWORD EventsConnection = 0;
    DWORD MiscStatus = 0;
    win32::ComPtr<IOleInPlaceObjectWindowless> WindowlessObject;
    win32::ComPtr<IOleControl> OleControl;
    win32::ComPtr<IOleWindow> ControlWindow;
    win32::ComPtr<IOleInPlaceObject> InPlaceObject;
    win32::ComPtr<IOleInPlaceActiveObject> InPlaceActiveObject;
    bool FlashUnavailable = false;
    bool MenuWindowRequest = false;
    // Event handler slots, in the event table's order.
    TvdFlashPlayerOnReadyStateChange OnReadyStateChange;
    TvdFlashPlayerOnProgress OnProgress;
    TvdFlashPlayerFSCommand OnFSCommandEvent;
    TvdFlashPlayerFlashCall OnFlashCallEvent;
    win32::ComPtr<IvdFlashPlayer> ControlInterface;
    // The pending bind target: set by CreateMoniker, consumed by BindToStorage.
    WideString FBindTarget;

    // ---- Control lifecycle -------------------------------------------------------------------
    virtual void InitControlData();
    void CreateInstance();
    // Idempotent: completes the control's set-up and connections, obtains ControlInterface.
    void CreateControl();
    void DestroyControl();
    // Saves the control's state into SavedState (restored by the next CreateControl).
    void CreateStorage();
    void DestroyStorage();
    win32::TVariant GetOleObject();
    win32::ComPtr<IDispatch> GetDefaultDispatch();
    void SetName(const std::string& name) override;
    // True for the OLE errors of failed HRESULTs.
    virtual bool SuppressException(const Exception& e) const;
    bool GetIsFlashAvailable() const { return !FlashUnavailable; }
    win32::ComPtr<IvdFlashPlayer> GetControlInterface();

    // ---- Property and method dispatch --------------------------------------------------------
    void GetProperty(DISPID dispID, win32::TVariant& value);
    void SetProperty(DISPID dispID, const VARIANT& value);
    win32::ComPtr<IDispatch> GetIDispatchProp(DISPID dispID);
    void SetIDispatchProp(DISPID dispID, IDispatch* value);
    int32_t GetIntegerProp(DISPID dispID);
    void SetIntegerProp(DISPID dispID, int32_t value);
    win32::ComPtr<IUnknown> GetIUnknownProp(DISPID dispID);
    void SetIUnknownProp(DISPID dispID, IUnknown* value);
    bool GetOleBoolProp(DISPID dispID);
    void SetOleBoolProp(DISPID dispID, bool value);
    bool GetWordBoolProp(DISPID dispID);
    void SetWordBoolProp(DISPID dispID, int16_t value);
    float GetSingleProp(DISPID dispID);
    void SetSingleProp(DISPID dispID, float value);
    std::string GetStringProp(DISPID dispID);
    void SetStringProp(DISPID dispID, const std::string& value);
    WideString GetWideStringProp(DISPID dispID);
    void SetWideStringProp(DISPID dispID, const WideString& value);
    uint16_t GetWordProp(DISPID dispID);
    void SetWordProp(DISPID dispID, uint16_t value);
    win32::TVariant GetOleVariantProp(DISPID dispID);
    void SetOleVariantProp(DISPID dispID, const VARIANT& value);
    win32::TVariant GetVariantProp(DISPID dispID);
    void SetVariantProp(DISPID dispID, const VARIANT& value);
    std::string GetPropDisplayString(DISPID dispID);
    // Each predefined string with its cookie as the item's object.
    void GetPropDisplayStrings(DISPID dispID, TStringList& strings);
    void SetPropDisplayString(DISPID dispID, const std::string& value);
    void CreateEnumPropDescs();
    void DestroyEnumPropDescs();
    // The description of an enumerated property, the shared cache built first when there is
    // none; nullptr when the property is not enumerated.
    const TEnumPropDesc* GetEnumPropDesc(DISPID dispID);
    // Calls a control method for a generated wrapper: args in declaration order; the result is
    // stored at `result` by info.ResultType (a string result into a std::string, a variant
    // into a win32::TVariant, numbers and booleans as their 2, 4 or 8 bytes).
    void InvokeMethod(const TDispInfo& info, void* result, std::span<const VARIANT> args = {});

    // ---- Events ------------------------------------------------------------------------------
    void GetEventMethod(DISPID dispID, int& slot) const;  // slot -1 when not in the table
    virtual void InvokeEvent(DISPID dispID, DISPPARAMS& params);
    void IntfFSCommand(TObject* sender, const WideString& command, const WideString& args);
    void IntfFlashPlayerFlashCall(TObject* sender, const WideString& request);

    // ---- Rendering and input -----------------------------------------------------------------
    void CreateBuffer() override;
    void FreeBuffer() override;
    void ResizeBuffer() override;
    void ForceUpdate() override;
    // Renders a rectangle of the buffer through the control's view and reports it painted.
    void Repaint(const TRect& rect);
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseWheel(TShiftState Shift, int X, int Y, int WheelDelta, bool& Handled) override;
    void KeyDown(WORD& Key, TShiftState Shift) override;
    void KeyPress(char16_t& Key, TShiftState Shift) override;
    void KeyUp(WORD& Key, TShiftState Shift) override;

    // ---- Movies, scripting and playback -------------------------------------------------------
    void LoadMovie(const WideString& URL) override;
    void LoadMovieFromStream(TStream* Stream) override;
    WideString GetVariable(const WideString& Name) override;
    void SetVariable(const WideString& Name, const WideString& Value) override;
    WideString CallFunction(const WideString& Request) override;
    void SetReturnValue(const WideString& Value) override;
    void Play() override;
    void StopPlay() override;
    void Rewind() override;
    void Forward() override;
    void Back() override;
    bool GetLoop() override;
    bool GetIsPlaying() override;
    int GetCurrentFrame() override;
    int GetTotalFrames() override;
    void SetLoop(bool Value) override;
    void SetCurrentFrame(int Frame) override;

    // ---- IUnknown: one table for every face; counts only ------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ---- IServiceProvider ----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) override;

    // ---- IBindHost -----------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE CreateMoniker(LPOLESTR name, IBindCtx* bindCtx, IMoniker** moniker,
                                            DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE MonikerBindToStorage(IMoniker* moniker, IBindCtx* bindCtx, IBindStatusCallback* callback,
                                                   REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE MonikerBindToObject(IMoniker* moniker, IBindCtx* bindCtx, IBindStatusCallback* callback,
                                                  REFIID riid, void** object) override;

    // ---- IMoniker (with IPersistStream) --------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classID) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* bindCtx, IMoniker* left, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* bindCtx, IMoniker* left, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx* bindCtx, DWORD howFar, IMoniker** toLeft, IMoniker** reduced) override;
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric, IMoniker** composite) override;
    HRESULT STDMETHODCALLTYPE Enum(BOOL forward, IEnumMoniker** enumMoniker) override;
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override;
    HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) override;
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx* bindCtx, IMoniker* left, IMoniker* newlyRunning) override;
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx* bindCtx, IMoniker* left, FILETIME* time) override;
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker** inverse) override;
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker* other, IMoniker** prefix) override;
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker* other, IMoniker** relPath) override;
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* bindCtx, IMoniker* left, LPOLESTR* displayName) override;
    // The moniker's ParseDisplayName.
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* bindCtx, IMoniker* left, LPOLESTR displayName, ULONG* eaten,
                                               IMoniker** out) override;
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* mksys) override;

    // ---- IPropertyNotifySink ---------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID dispID) override;
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID dispID) override;

    // ---- IDispatch: the ambient properties -----------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispID, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // ---- IOleWindow of the windowless site: a window only during an allowed menu press -------
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    // ---- IOleInPlaceSite ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT posRect,
                                               LPRECT clipRect, LPOLEINPLACEFRAMEINFO frameInfo) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT posRect) override;
    // ---- IOleInPlaceSiteEx ----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL noRedraw) override;
    HRESULT STDMETHODCALLTYPE RequestUIActivate() override;
    // ---- IOleInPlaceSiteWindowless --------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override;
    HRESULT STDMETHODCALLTYPE GetCapture() override;
    HRESULT STDMETHODCALLTYPE SetCapture(BOOL capture) override;
    HRESULT STDMETHODCALLTYPE GetFocus() override;
    HRESULT STDMETHODCALLTYPE SetFocus(BOOL focus) override;
    HRESULT STDMETHODCALLTYPE GetDC(LPCRECT rect, DWORD flags, HDC* dc) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override;
    HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT rect, BOOL erase) override;
    HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN region, BOOL erase) override;
    HRESULT STDMETHODCALLTYPE ScrollRect(INT dx, INT dy, LPCRECT scroll, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT rect) override;
    HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // ---- IOleControlSite -----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override;
    HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL lock) override;
    HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** control) override;
    HRESULT STDMETHODCALLTYPE TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg, DWORD modifiers) override;
    HRESULT STDMETHODCALLTYPE OnFocus(BOOL gotFocus) override;
    HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override;

    // ---- IOleClientSite ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SaveObject() override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

    // The in-place UI window's and frame's methods, served through the frame face.
    HRESULT SetActiveObject(IOleInPlaceActiveObject* activeObject);

    // The driver seen as its client site: what the control is handed.
    IOleClientSite* ClientSite() { return static_cast<IOleClientSite*>(this); }

protected:
    // The control's own events stop reaching the application too.
    void Detach() override;

private:
    friend class ax::TInPlaceSiteFace;
    // One pass of Repaint (see PaintPasses).
    void RepaintPass(const TRect& rect);
    friend class ax::TFrameFace;
    ax::TInPlaceSiteFace inPlaceSiteFace_{*this};
    ax::TFrameFace frameFace_{*this};
    // Takes the control's in-place interfaces (activation, plain or extended).
    void TakeInPlaceInterfaces();
    // Sends one window message to the windowless control; true when it consumed it.
    bool SendMessageToControl(UINT msg, WPARAM wParam, LPARAM lParam);
    void MouseMessage(UINT msg, WPARAM wParam, int X, int Y, bool menuPress);
    // Raises EOleSysError for a failed result of a call through the control interface.
    static void Check(HRESULT hr);
    // Runs the drawing call into one device context, clipped to `rect`.
    void DrawInto(HDC dc, const TRect& rect);
    void Connect(IUnknown* sink, const IID& iid, DWORD& cookie);
    void Disconnect(const IID& iid, DWORD& cookie);
};

// Key-state bits of a shift state, as mouse and key messages carry them.
WPARAM ShiftToKeyFlags(TShiftState Shift);

}  // namespace vd
