#include "vd_controls.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

#include "vd_controls_internal.h"
#include "vd_forms.h"
#include "vd_winstr.h"

namespace vd {

const TIdents& AlignIdents() {
    static const TIdents idents{"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"};
    return idents;
}

const TIdents& AnchorIdents() {
    static const TIdents idents{"akLeft", "akTop", "akRight", "akBottom"};
    return idents;
}

const TIdents& DragModeIdents() {
    static const TIdents idents{"dmManual", "dmAutomatic"};
    return idents;
}

const TIdentMap& CursorIdents() {
    static const TIdentMap map{{"crDefault", crDefault},    {"crArrow", crArrow}, {"crCross", crCross},
                               {"crIBeam", crIBeam},        {"crDrag", crDrag},   {"crNoDrop", crNoDrop},
                               {"crHandPoint", crHandPoint}};
    return map;
}

TShiftState MouseShiftState(WPARAM keys) {
    TShiftState s;
    if (keys & MK_SHIFT) s.Include(ssShift);
    if (keys & MK_CONTROL) s.Include(ssCtrl);
    if (keys & MK_LBUTTON) s.Include(ssLeft);
    if (keys & MK_RBUTTON) s.Include(ssRight);
    if (keys & MK_MBUTTON) s.Include(ssMiddle);
    if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
    return s;
}

TShiftState KeyboardShiftState() {
    TShiftState s;
    if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
    if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
    if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
    return s;
}

// ---------------------------------------------------------------------------------------
// TControl

VD_DEFINE_CLASS(TControl, IntProp("Left", &T::GetLeft, &T::SetLeft), IntProp("Top", &T::GetTop, &T::SetTop),
                IntProp("Width", &T::GetWidth, &T::SetWidth), IntProp("Height", &T::GetHeight, &T::SetHeight),
                IntProp("Cursor", &T::GetCursor, &T::SetCursor, crDefault, &CursorIdents()),
                StrProp("Hint", &T::GetHint, &T::SetHint))

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
    if (parent_) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent == this) throw EComponentError("A control cannot have itself as its parent");
    for (TWinControl* p = parent; p; p = p->parent_)
        if (p == this) throw EComponentError("A control cannot be placed inside its own child");
    if (parent_) parent_->RemoveControl(this);
    if (parent) parent->InsertControl(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    if (parent_) parent_->InvalidateRect(BoundsRect());
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (parent_) {
        parent_->InvalidateRect(BoundsRect());
        if (align_ != alNone && !parent_->aligning_) parent_->Realign();
    }
}

TPoint TControl::ClientToScreen(TPoint p) const {
    if (IsWindowed()) {
        auto* self = static_cast<const TWinControl*>(this);
        if (self->handle_) {
            POINT pt{p.X, p.Y};
            ::ClientToScreen(self->handle_, &pt);
            return {pt.x, pt.y};
        }
    }
    if (parent_) return parent_->ClientToScreen({p.X + left_, p.Y + top_});
    return {p.X + left_, p.Y + top_};
}

TPoint TControl::ScreenToClient(TPoint p) const {
    const TPoint origin = ClientToScreen({0, 0});
    return {p.X - origin.X, p.Y - origin.Y};
}

void TControl::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    Perform(CM_VISIBLECHANGED, value ? 1 : 0);
}

bool TControl::Showing() const {
    if (!visible_) return false;
    if (parent_) return parent_->Showing();
    if (IsWindowed()) {
        auto* self = static_cast<const TWinControl*>(this);
        return self->handle_ && IsWindowVisible(self->handle_);
    }
    return false;
}

void TControl::SetColor(TColor value) {
    if (value == color_) return;
    color_ = value;
    parentColor_ = false;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool value) {
    if (value == parentColor_) return;
    parentColor_ = value;
    if (value && parent_ && !ComponentState().Contains(csReading)) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::SetAlign(TAlign value) {
    if (value == align_) return;
    align_ = value;
    if (parent_) parent_->Realign();
}

void TControl::SetPopupMenu(TPopupMenu* value) {
    if (value == popupMenu_) return;
    if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
    popupMenu_ = value;
    if (value) value->FreeNotification(this);
}

void TControl::SetShowHint(bool value) {
    if (value == showHint_) return;
    showHint_ = value;
    parentShowHint_ = false;
    if (IsWindowed()) static_cast<TWinControl*>(this)->NotifyControls(CM_PARENTSHOWHINTCHANGED);
}

void TControl::SetParentShowHint(bool value) {
    if (value == parentShowHint_) return;
    parentShowHint_ = value;
    if (value && parent_ && !ComponentState().Contains(csReading)) Perform(CM_PARENTSHOWHINTCHANGED);
}

void TControl::Invalidate() {
    if (parent_) parent_->InvalidateRect(BoundsRect());
}

void TControl::Repaint() {
    Invalidate();
    if (IsWindowed()) {
        auto* self = static_cast<TWinControl*>(this);
        if (self->handle_) UpdateWindow(self->handle_);
    } else if (parent_ && parent_->handle_) {
        UpdateWindow(parent_->handle_);
    }
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage m{msg, wParam, lParam, 0};
    WndProc(m);
    return m.Result;
}

void TControl::WndProc(TMessage& m) {
    if (detail::IsMouseButtonMessage(m.Msg) || m.Msg == WM_MOUSEMOVE) {
        WMMouse(m);
        return;
    }
    switch (m.Msg) {
        case WM_MOUSEWHEEL:
            WMMouseWheel(m);
            return;
        case CM_COLORCHANGED:
            CMColorChanged(m);
            return;
        case CM_PARENTCOLORCHANGED:
            CMParentColorChanged(m);
            return;
        case CM_PARENTSHOWHINTCHANGED:
            CMParentShowHintChanged(m);
            return;
        case CM_VISIBLECHANGED:
            CMVisibleChanged(m);
            return;
        default:
            DefaultHandler(m);
    }
}

void TControl::DefaultHandler(TMessage& m) { m.Result = 0; }

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* parent) {
    auto* w = dynamic_cast<TWinControl*>(parent);
    // A control stored under anything but a windowed control would be read without a parent
    // and then silently left out when the form is written again.
    if (!w && parent && parent != GetOwner())
        throw EReadError(parent->ClassName() + " cannot be the parent of " + GetName());
    if (w || !parent) SetParent(w);
}

void TControl::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component && component == popupMenu_) popupMenu_ = nullptr;
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (onMouseDown_) onMouseDown_(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
    if (onMouseMove_) onMouseMove_(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (onMouseUp_) onMouseUp_(this, button, shift, x, y);
}

bool TControl::DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) {
    bool handled = false;
    if (onMouseWheel_) onMouseWheel_(this, shift, wheelDelta, mousePos, handled);
    return handled;
}

void TControl::Click() {
    if (onClick_) onClick_(this);
}

void TControl::CMColorChanged(TMessage&) { Invalidate(); }

void TControl::CMParentColorChanged(TMessage&) {
    if (!parentColor_ || !parent_) return;
    SetColor(parent_->color_);
    parentColor_ = true;
}

void TControl::CMParentShowHintChanged(TMessage&) {
    if (parentShowHint_ && parent_) showHint_ = parent_->showHint_;
}

void TControl::CMVisibleChanged(TMessage&) {
    if (!parent_) return;
    parent_->InvalidateRect(BoundsRect());
    if (align_ != alNone) parent_->Realign();
}

void TControl::WMMouse(TMessage& m) {
    const int x = GET_X_LPARAM(m.LParam);
    const int y = GET_Y_LPARAM(m.LParam);
    TShiftState shift = MouseShiftState(m.WParam);
    HWND own = IsWindowed() ? static_cast<TWinControl*>(this)->handle_ : nullptr;
    switch (m.Msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (m.Msg == WM_LBUTTONDBLCLK) shift.Include(ssDouble);
            if (own) SetCapture(own);
            clicked_ = true;
            MouseDown(mbLeft, shift, x, y);
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            if (m.Msg == WM_RBUTTONDBLCLK) shift.Include(ssDouble);
            MouseDown(mbRight, shift, x, y);
            break;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            if (m.Msg == WM_MBUTTONDBLCLK) shift.Include(ssDouble);
            MouseDown(mbMiddle, shift, x, y);
            break;
        case WM_LBUTTONUP:
            if (own && GetCapture() == own) ReleaseCapture();
            if (clicked_) {
                clicked_ = false;
                if (ClientRect().Contains({x, y})) Click();
            }
            MouseUp(mbLeft, shift, x, y);
            break;
        case WM_RBUTTONUP:
            MouseUp(mbRight, shift, x, y);
            break;
        case WM_MBUTTONUP:
            MouseUp(mbMiddle, shift, x, y);
            break;
        case WM_MOUSEMOVE:
            MouseMove(shift, x, y);
            break;
        default:
            break;
    }
    DefaultHandler(m);
}

void TControl::WMMouseWheel(TMessage& m) {
    const TShiftState shift = MouseShiftState(GET_KEYSTATE_WPARAM(m.WParam));
    const int delta = GET_WHEEL_DELTA_WPARAM(m.WParam);
    const TPoint pos{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    if (DoMouseWheel(shift, delta, pos)) m.Result = 0;
    else DefaultHandler(m);
}

// ---------------------------------------------------------------------------------------
// TControlCanvas, TGraphicControl

void TControlCanvas::CreateHandle() {
    if (!control_) return;
    TWinControl* owner = control_->IsWindowed() ? static_cast<TWinControl*>(control_) : control_->GetParent();
    if (!owner || !owner->HandleAllocated()) return;
    HWND wnd = owner->Handle();
    HDC dc = GetDCEx(wnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (!dc) return;
    if (!control_->IsWindowed()) {
        SetViewportOrgEx(dc, control_->GetLeft(), control_->GetTop(), nullptr);
        IntersectClipRect(dc, 0, 0, control_->GetWidth(), control_->GetHeight());
    }
    dc_ = dc;
    window_ = wnd;
}

void TControlCanvas::FreeHandle() {
    if (window_ && dc_) ReleaseDC(window_, dc_);
    window_ = nullptr;
    dc_ = nullptr;
}

TControlCanvas::TPaintLoan::TPaintLoan(TControlCanvas& canvas, HDC dc)
    : canvas_(canvas), dc_(canvas.dc_), window_(canvas.window_) {
    canvas.dc_ = dc;
    canvas.window_ = nullptr;
}

TControlCanvas::TPaintLoan::~TPaintLoan() {
    canvas_.FreeHandle();
    canvas_.dc_ = dc_;
    canvas_.window_ = window_;
}

VD_DEFINE_CLASS(TGraphicControl)

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& m) {
    if (m.Msg == WM_PAINT) WMPaint(m);
    else TControl::WndProc(m);
}

void TGraphicControl::WMPaint(TMessage& m) {
    if (!m.WParam) return;
    TControlCanvas::TPaintLoan loan(*canvas_, reinterpret_cast<HDC>(m.WParam));
    Paint();
}

// ---------------------------------------------------------------------------------------

VD_DEFINE_CLASS(TPopupMenu, EventProp("OnPopup", &T::GetOnPopup, &T::SetOnPopup))

int TPopupMenu::Popup(int x, int y, HWND owner) {
    if (onPopup_) onPopup_(this);
    const win32::TMenu menu(CreatePopupMenu());
    if (!menu) return -1;
    for (size_t i = 0; i < Items.size(); ++i) AppendMenuW(menu.Get(), MF_STRING, i + 1, WinStr(AnsiToWide(Items[i])));
    const int cmd = static_cast<int>(
        TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr));
    return cmd - 1;
}

}  // namespace vd
