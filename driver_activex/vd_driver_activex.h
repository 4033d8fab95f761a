// The ActiveX driver: plays movies through the Flash ActiveX control, hosted windowless in the
// container role, drawing into the driver base's buffers. Win32 only.
//
// The driver owns the control and does the work of its whole container site: client, control,
// in-place (plain, extended, windowless) and frame sites, the ambient properties, the
// property-change sink, the service provider, the bind host and the moniker the control binds
// its data through. What the control is handed is not the driver but a counted site object
// that passes each call on (vd_ax_siteobj.h): the control may keep it past the driver's end,
// and then it answers E_UNEXPECTED. The player that created the driver owns it.
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
// control can be created (in-process or local server, as IOleObject) and offers its main
// interface; the object is released at once. The unit installs it into FlashActiveXCheck().
bool CheckFlashActiveX();
// True when `object` offers every interface the driver uses of the control: its main
// interface, IDispatch, IPersistStreamInit and IOleControl.
bool OffersControlInterfaces(IUnknown* object);

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

// What a generated method wrapper hands to InvokeMethod.
struct TDispInfo {
    DISPID DispID;
    VARTYPE ResultType;  // 0..12: where and how the result is stored
    WORD CallKind;       // DISPATCH_METHOD, DISPATCH_PROPERTYGET, ...
};

namespace ax {
class TSiteObject;
}  // namespace ax

// ---------------------------------------------------------------------------------------------
class TvdFlashDriverActiveX : public TvdFlashDriver {
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
    // The site handed to the control, with its faces and the event sink (one reference is
    // the driver's); cut off from the driver when the driver goes.
    win32::ComPtr<ax::TSiteObject> Site;
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
    // Closes the control, its window and storage, and lets its site go (OleObject released).
    void CloseControl();
    // Releases the interfaces the control handed out besides OleObject.
    void DropControlFaces();
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

    // ---- The site's methods: the control reaches them through Site, which passes each on
    // while the driver lives. None raises.
    // ---- IServiceProvider ----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object);

    // ---- IBindHost -----------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE CreateMoniker(LPOLESTR name, IBindCtx* bindCtx, IMoniker** moniker, DWORD reserved);
    HRESULT STDMETHODCALLTYPE MonikerBindToStorage(IMoniker* moniker, IBindCtx* bindCtx, IBindStatusCallback* callback,
                                                   REFIID riid, void** object);
    HRESULT STDMETHODCALLTYPE MonikerBindToObject(IMoniker* moniker, IBindCtx* bindCtx, IBindStatusCallback* callback,
                                                  REFIID riid, void** object);

    // ---- IMoniker (with IPersistStream) --------------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classID);
    HRESULT STDMETHODCALLTYPE IsDirty();
    HRESULT STDMETHODCALLTYPE Load(IStream* stream);
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty);
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size);
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* bindCtx, IMoniker* left, REFIID riid, void** object);
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* bindCtx, IMoniker* left, REFIID riid, void** object);
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx* bindCtx, DWORD howFar, IMoniker** toLeft, IMoniker** reduced);
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric, IMoniker** composite);
    HRESULT STDMETHODCALLTYPE Enum(BOOL forward, IEnumMoniker** enumMoniker);
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other);
    HRESULT STDMETHODCALLTYPE Hash(DWORD* hash);
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx* bindCtx, IMoniker* left, IMoniker* newlyRunning);
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx* bindCtx, IMoniker* left, FILETIME* time);
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker** inverse);
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker* other, IMoniker** prefix);
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker* other, IMoniker** relPath);
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* bindCtx, IMoniker* left, LPOLESTR* displayName);
    // The moniker's ParseDisplayName.
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* bindCtx, IMoniker* left, LPOLESTR displayName, ULONG* eaten,
                                               IMoniker** out);
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* mksys);

    // ---- IPropertyNotifySink ---------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID dispID);
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID dispID);

    // ---- IDispatch: the ambient properties -----------------------------------------------------
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count);
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info);
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispID, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

    // ---- IOleWindow of the windowless site: a window only during an allowed menu press -------
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window);
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode);
    // ---- IOleInPlaceSite ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate();
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate();
    HRESULT STDMETHODCALLTYPE OnUIActivate();
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT posRect,
                                               LPRECT clipRect, LPOLEINPLACEFRAMEINFO frameInfo);
    HRESULT STDMETHODCALLTYPE Scroll(SIZE extent);
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable);
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate();
    HRESULT STDMETHODCALLTYPE DiscardUndoState();
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo();
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT posRect);
    // ---- IOleInPlaceSiteEx ----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags);
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL noRedraw);
    HRESULT STDMETHODCALLTYPE RequestUIActivate();
    // ---- IOleInPlaceSiteWindowless --------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE CanWindowlessActivate();
    HRESULT STDMETHODCALLTYPE GetCapture();
    HRESULT STDMETHODCALLTYPE SetCapture(BOOL capture);
    HRESULT STDMETHODCALLTYPE GetFocus();
    HRESULT STDMETHODCALLTYPE SetFocus(BOOL focus);
    HRESULT STDMETHODCALLTYPE GetDC(LPCRECT rect, DWORD flags, HDC* dc);
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc);
    HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT rect, BOOL erase);
    HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN region, BOOL erase);
    HRESULT STDMETHODCALLTYPE ScrollRect(INT dx, INT dy, LPCRECT scroll, LPCRECT clip);
    HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT rect);
    HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // ---- IOleControlSite -----------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE OnControlInfoChanged();
    HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL lock);
    HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** control);
    HRESULT STDMETHODCALLTYPE TransformCoords(POINTL* himetric, POINTF* container, DWORD flags);
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg, DWORD modifiers);
    HRESULT STDMETHODCALLTYPE OnFocus(BOOL gotFocus);
    HRESULT STDMETHODCALLTYPE ShowPropertyFrame();

    // ---- IOleClientSite ------------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SaveObject();
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker);
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container);
    HRESULT STDMETHODCALLTYPE ShowObject();
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show);
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout();

    // The in-place UI window's and frame's methods, served through the frame face.
    HRESULT SetActiveObject(IOleInPlaceActiveObject* activeObject);

    // The site as the control is handed it, and the sink its events reach.
    IOleClientSite* ClientSite() const;
    IDispatch* EventSink() const;
    // The references the control holds on the site (its faces and the sink included).
    LONG SiteReferences() const;

protected:
    // The control's own events stop reaching the application too.
    void Detach() override;

private:
    // Raises EOleSysError on a thread of the multithreaded apartment.
    static void RequireSingleThreadedApartment();
    // The control's set-up after its creation; raises what the control refuses.
    void SetUpControl();
    // Lets go of a control that could not be set up; the driver is then without Flash.
    void DiscardControl();
    // One pass of Repaint (see PaintPasses).
    void RepaintPass(const TRect& rect);
    // Takes the control's in-place interfaces (activation, plain or extended).
    void TakeInPlaceInterfaces();
    // Sends one window message to the windowless control; true when it consumed it.
    bool SendMessageToControl(UINT msg, WPARAM wParam, LPARAM lParam);
    void MouseMessage(UINT msg, WPARAM wParam, int X, int Y, bool menuPress);
    // Raises an OLE error for a failed result of a call through the control interface: the
    // control's own description when it supports error information, else the code's.
    static void Check(IUnknown* control, HRESULT hr);
    // Runs the drawing call into one device context, clipped to `rect`; false when it failed.
    bool DrawInto(IViewObject* view, HDC dc, const TRect& rect);
    void Connect(IUnknown* sink, const IID& iid, DWORD& cookie);
    void Disconnect(const IID& iid, DWORD& cookie);
};

// Key-state bits of a shift state, as mouse and key messages carry them.
WPARAM ShiftToKeyFlags(TShiftState Shift);

}  // namespace vd
