// Visual controls on real Win32 windows: TControl (bounds, parent, colour, mouse),
// TGraphicControl (no window; painted by its parent), TWinControl (a window of its own,
// children, keys, focus), TCustomControl (a window with a canvas), and the pop-up menu a
// control can name. Win32 only.
#pragma once

#include "vd_windows.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vd_classes.h"
#include "vd_geometry.h"
#include "vd_graphics.h"

namespace vd {

class TWinControl;
class TPopupMenu;

// A window message as the controls dispatch it; Result is what the window procedure returns.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// Notifications the framework sends between controls (never to other windows).
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_COLORCHANGED = CM_BASE + 14;
constexpr UINT CM_PARENTSHOWHINTCHANGED = CM_BASE + 16;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 18;
constexpr UINT CM_SHOWHINTCHANGED = CM_BASE + 22;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag>;
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;
enum TDragMode { dmManual, dmAutomatic };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TCursor = int;
constexpr TCursor crDefault = 0, crArrow = -2, crCross = -3, crIBeam = -4, crDrag = -12, crNoDrop = -13,
                  crHandPoint = -21;

const TIdents& AlignIdents();
const TIdents& AnchorIdents();
const TIdents& DragModeIdents();
const TIdentMap& CursorIdents();

// Shift state from the MK_ flags of a mouse message plus the keyboard's Alt key.
TShiftState MouseShiftState(WPARAM keys);
// Shift state of the keyboard now.
TShiftState KeyboardShiftState();

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char16_t& Key)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
using TStartDragEvent = std::function<void(TObject* Sender, TObject*& DragObject)>;

// ---------------------------------------------------------------------------------------

class TControl : public TComponent {
    VD_CLASS(TControl, TComponent)
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    TWinControl* GetParent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);

    int GetLeft() const { return left_; }
    int GetTop() const { return top_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
    void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
    virtual TRect ClientRect() const { return Rect(0, 0, width_, height_); }
    int ClientWidth() const { return ClientRect().Width(); }
    int ClientHeight() const { return ClientRect().Height(); }
    // Between this control's client coordinates and the screen's (needs the parent windows).
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;

    bool GetVisible() const { return visible_; }
    virtual void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible itself and every parent up to a top-level window that is shown.
    bool Showing() const;

    TColor GetColor() const { return color_; }
    void SetColor(TColor value);
    bool GetParentColor() const { return parentColor_; }
    void SetParentColor(bool value);
    bool IsColorStored() const { return !parentColor_; }

    TAlign GetAlign() const { return align_; }
    void SetAlign(TAlign value);
    TAnchors GetAnchors() const { return anchors_; }
    void SetAnchors(TAnchors value) { anchors_ = value; }
    TCursor GetCursor() const { return cursor_; }
    void SetCursor(TCursor value) { cursor_ = value; }
    TCursor GetDragCursor() const { return dragCursor_; }
    void SetDragCursor(TCursor value) { dragCursor_ = value; }
    TDragMode GetDragMode() const { return dragMode_; }
    void SetDragMode(TDragMode value) { dragMode_ = value; }
    TPopupMenu* GetPopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* value);
    bool GetShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    bool GetParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool value);
    bool IsShowHintStored() const { return !parentShowHint_; }
    const std::string& GetHint() const { return hint_; }
    void SetHint(const std::string& value) { hint_ = value; }
    bool GetEnabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }

    const TNotifyEvent& GetOnClick() const { return onClick_; }
    void SetOnClick(const TNotifyEvent& e) { onClick_ = e; }
    const TMouseEvent& GetOnMouseDown() const { return onMouseDown_; }
    void SetOnMouseDown(const TMouseEvent& e) { onMouseDown_ = e; }
    const TMouseMoveEvent& GetOnMouseMove() const { return onMouseMove_; }
    void SetOnMouseMove(const TMouseMoveEvent& e) { onMouseMove_ = e; }
    const TMouseEvent& GetOnMouseUp() const { return onMouseUp_; }
    void SetOnMouseUp(const TMouseEvent& e) { onMouseUp_ = e; }
    const TMouseWheelEvent& GetOnMouseWheel() const { return onMouseWheel_; }
    void SetOnMouseWheel(const TMouseWheelEvent& e) { onMouseWheel_ = e; }
    const TDragDropEvent& GetOnDragDrop() const { return onDragDrop_; }
    void SetOnDragDrop(const TDragDropEvent& e) { onDragDrop_ = e; }
    const TDragOverEvent& GetOnDragOver() const { return onDragOver_; }
    void SetOnDragOver(const TDragOverEvent& e) { onDragOver_ = e; }
    const TEndDragEvent& GetOnEndDrag() const { return onEndDrag_; }
    void SetOnEndDrag(const TEndDragEvent& e) { onEndDrag_ = e; }
    const TStartDragEvent& GetOnStartDrag() const { return onStartDrag_; }
    void SetOnStartDrag(const TStartDragEvent& e) { onStartDrag_ = e; }

    // Repaint soon: the control's area of its window is invalidated.
    virtual void Invalidate();
    // Repaint now (invalidate and let the window paint at once).
    void Repaint();
    // Sends a message straight to this control's message handling.
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    virtual void WndProc(TMessage& message);
    virtual void DefaultHandler(TMessage& message);

    bool Designing() const { return ComponentState().Contains(csDesigning); }
    virtual bool IsWindowed() const { return false; }

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;

protected:
    void Notification(TComponent* component, TOperation operation) override;

    // Mouse handling; X and Y are client coordinates. The base calls the On... events.
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    // MousePos is in screen coordinates. True when a handler took the wheel.
    virtual bool DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos);
    // After a left press and release inside the control.
    virtual void Click();

    virtual void CMColorChanged(TMessage& message);
    virtual void CMParentColorChanged(TMessage& message);
    virtual void CMParentShowHintChanged(TMessage& message);
    virtual void CMVisibleChanged(TMessage& message);
    // Mouse messages, LParam in client coordinates.
    virtual void WMMouse(TMessage& message);
    virtual void WMMouseWheel(TMessage& message);

    // Set while this control's bounds change, so that alignment does not run into itself.
    bool settingBounds_ = false;

private:
    friend class TWinControl;
    TWinControl* parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    TColor color_ = clWindow;
    bool parentColor_ = true;
    TAlign align_ = alNone;
    TAnchors anchors_{akLeft, akTop};
    TCursor cursor_ = crDefault;
    TCursor dragCursor_ = crDrag;
    TDragMode dragMode_ = dmManual;
    TPopupMenu* popupMenu_ = nullptr;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    std::string hint_;
    bool clicked_ = false;

    TNotifyEvent onClick_;
    TMouseEvent onMouseDown_;
    TMouseMoveEvent onMouseMove_;
    TMouseEvent onMouseUp_;
    TMouseWheelEvent onMouseWheel_;
    TDragDropEvent onDragDrop_;
    TDragOverEvent onDragOver_;
    TEndDragEvent onEndDrag_;
    TStartDragEvent onStartDrag_;
};

// The canvas of a control: borrows a device context of the control's window (a graphic
// control's parent window, offset and clipped to the control) when asked for one outside a
// paint message, and gives it back in FreeHandle.
class TControlCanvas : public TCanvas {
public:
    explicit TControlCanvas(TControl* control) : control_(control) {}
    ~TControlCanvas() override { FreeHandle(); }
    void FreeHandle();

    // Lends a paint DC to the canvas for one Paint call and then gives the canvas back what it
    // held before: a paint nested in another (a transparent player repainting its parent into
    // its buffer) leaves the outer paint its DC, and a DC fetched during the loan is released.
    class TPaintLoan {
    public:
        TPaintLoan(TControlCanvas& canvas, HDC dc);
        ~TPaintLoan();
        TPaintLoan(const TPaintLoan&) = delete;
        TPaintLoan& operator=(const TPaintLoan&) = delete;

    private:
        TControlCanvas& canvas_;
        HDC dc_;
        HWND window_;
    };

protected:
    void CreateHandle() override;

private:
    TControl* control_;
    HWND window_ = nullptr;  // set while dc_ is borrowed from GetDCEx
};

class TGraphicControl : public TControl {
    VD_CLASS(TGraphicControl, TControl)
public:
    explicit TGraphicControl(TComponent* owner);
    ~TGraphicControl() override;
    TCanvas* Canvas() const { return canvas_.get(); }

protected:
    void WndProc(TMessage& message) override;
    // Draws the control on Canvas; Canvas's origin is the control's top left corner.
    virtual void Paint() {}
    virtual void WMPaint(TMessage& message);

private:
    std::unique_ptr<TControlCanvas> canvas_;
};

// Parameters of the window a TWinControl creates.
struct TCreateParams {
    std::wstring Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
};

class TWinControl : public TControl {
    VD_CLASS(TWinControl, TControl)
public:
    explicit TWinControl(TComponent* owner);
    // Owned components go first, then the window, then children that are still here.
    ~TWinControl() override;

    // The window, created on demand (with the parents' windows it needs).
    HWND Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded() { Handle(); }
    // Destroys and creates the window again (state kept in the control carries over).
    void RecreateWnd();
    bool IsWindowed() const override { return true; }

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
    // The visible, enabled graphic child under a client point (topmost first), or nullptr.
    TControl* ControlAtPos(TPoint p) const;
    // The control that receives this window's mouse messages while a button is held.
    TControl* CaptureControl() const { return captureControl_; }

    bool GetTabStop() const { return tabStop_; }
    void SetTabStop(bool value);
    void SetFocus();
    bool Focused() const;

    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool value) override;
    void Invalidate() override;
    // Invalidates a rectangle of the client area (graphic children use it).
    void InvalidateRect(const TRect& r);

    // Paints this control and its children into `dc` with the client's top left corner at
    // (x, y), limited by the clip region `dc` has: background, own painting, graphic children
    // in z-order, then windowed children the same way. Works whether or not windows exist.
    void PaintTo(HDC dc, int x, int y);
    // Paints the visible graphic children into `dc` (origin = this control's client area).
    void PaintControls(HDC dc);
    // Lays out aligned children in the client area.
    void Realign();

    const TKeyEvent& GetOnKeyDown() const { return onKeyDown_; }
    void SetOnKeyDown(const TKeyEvent& e) { onKeyDown_ = e; }
    const TKeyEvent& GetOnKeyUp() const { return onKeyUp_; }
    void SetOnKeyUp(const TKeyEvent& e) { onKeyUp_ = e; }
    const TKeyPressEvent& GetOnKeyPress() const { return onKeyPress_; }
    void SetOnKeyPress(const TKeyPressEvent& e) { onKeyPress_ = e; }

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void WndProc(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

protected:
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateHandle();
    virtual void DestroyHandle();
    // What the control draws itself in a paint (TCustomControl: its Paint through Canvas).
    virtual void PaintWindow(HDC dc);

    // Key handling; the base calls the On... events. A key set to 0 is consumed: it goes no
    // further (not to the default window procedure, nor to a subclass that checks it).
    virtual void KeyDown(WORD& key, TShiftState shift);
    virtual void KeyUp(WORD& key, TShiftState shift);
    virtual void KeyPress(char16_t& key);

    virtual void WMPaint(TMessage& message);
    virtual void WMEraseBkgnd(TMessage& message);
    virtual void WMKeyDown(TMessage& message);
    virtual void WMKeyUp(TMessage& message);
    // WM_SYSKEYDOWN / WM_SYSKEYUP (Alt combinations, F10): the control's key events see them,
    // then the system's handling (window menu, Alt+F4, mnemonics) unless an event took the key.
    // Not WMKeyDown / WMKeyUp: what a control forwards of ordinary keys it does not forward
    // of these.
    virtual void WMSysKeyDown(TMessage& message);
    virtual void WMSysKeyUp(TMessage& message);
    virtual void WMChar(TMessage& message);
    virtual void WMGetDlgCode(TMessage& message);
    virtual void WMSetFocus(TMessage& message);
    virtual void WMKillFocus(TMessage& message);
    virtual void WMWindowPosChanged(TMessage& message);
    virtual void WMNCDestroy(TMessage& message);
    void CMColorChanged(TMessage& message) override;
    void CMParentShowHintChanged(TMessage& message) override;
    void WMMouseWheel(TMessage& message) override;

    // Sends a framework notification to every child.
    void NotifyControls(UINT msg);
    // The window this control's window is a child of (nullptr for a top-level window).
    virtual HWND ParentWindow();

private:
    friend class TControl;
    static LRESULT CALLBACK StdWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    // Mouse messages of this window that belong to a graphic child; true when forwarded.
    bool ForwardMouse(TMessage& message);
    void AdjustAnchors(int oldWidth, int oldHeight);
    void UpdateBoundsFromWindow();

    HWND handle_ = nullptr;
    bool destroyingHandle_ = false;
    std::vector<TControl*> controls_;  // children in z-order, bottom first
    TControl* captureControl_ = nullptr;
    bool tabStop_ = false;
    bool aligning_ = false;
    TKeyEvent onKeyDown_;
    TKeyEvent onKeyUp_;
    TKeyPressEvent onKeyPress_;
};

class TCustomControl : public TWinControl {
    VD_CLASS(TCustomControl, TWinControl)
public:
    explicit TCustomControl(TComponent* owner);
    ~TCustomControl() override;
    TCanvas* Canvas() const { return canvas_.get(); }

protected:
    // Draws the control on Canvas (set to the paint's device context).
    virtual void Paint() {}
    void PaintWindow(HDC dc) override;

private:
    std::unique_ptr<TControlCanvas> canvas_;
};

// A pop-up menu a control names in its PopupMenu property: its items' captions and the
// event raised before it opens.
class TPopupMenu : public TComponent {
    VD_CLASS(TPopupMenu, TComponent)
public:
    explicit TPopupMenu(TComponent* owner) : TComponent(owner) {}
    std::vector<std::string> Items;
    const TNotifyEvent& GetOnPopup() const { return onPopup_; }
    void SetOnPopup(const TNotifyEvent& e) { onPopup_ = e; }
    // Raises OnPopup and shows the menu at a screen point; returns the chosen item's index or
    // -1. The menu runs modally until closed.
    int Popup(int x, int y, HWND owner);

private:
    TNotifyEvent onPopup_;
};

}  // namespace vd
