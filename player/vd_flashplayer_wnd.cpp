#include "vd_flashplayer_wnd.h"

#include "vd_flashplayer_ctl.h"

namespace vd {

VD_DEFINE_CLASS(TvdCustomFlashPlayerWnd,
                BoolProp("DisableFlashCursor", &T::GetDisableFlashCursor, &T::SetDisableFlashCursor, false),
                BoolProp("DisableFlashMenu", &T::GetDisableFlashMenu, &T::SetDisableFlashMenu, true),
                EnumProp("Plugin", &T::GetPlugin, &T::SetPlugin, PluginIdents(), vdDefault),
                WStrProp("Movie", &T::GetMovie, &T::SetMovie), StrProp("Skin", &T::GetSkin, &T::SetSkin),
                BoolProp("Pause", &T::GetPause, &T::SetPause), IntProp("Volume", &T::GetVolume, &T::SetVolume),
                EventProp("OnFSCommand", &T::GetOnFSCommand, &T::SetOnFSCommand),
                EventProp("OnFlashCall", &T::GetOnFlashCall, &T::SetOnFlashCall),
                BoolProp("TabStop", &T::GetTabStop, &T::SetTabStop, true))

// TabStop is published once, by the custom class: a form stores it among that class's
// properties, before the framework's.
VD_DEFINE_CLASS(TvdFlashPlayerWnd, EnumProp("Align", &T::GetAlign, &T::SetAlign, AlignIdents(), alNone),
                SetProp("Anchors", &T::GetAnchors, &T::SetAnchors, AnchorIdents(), TAnchors{akLeft, akTop}),
                IntProp("DragCursor", &T::GetDragCursor, &T::SetDragCursor, crDrag, &CursorIdents()),
                EnumProp("DragMode", &T::GetDragMode, &T::SetDragMode, DragModeIdents(), dmManual),
                ColorProp("Color", &T::GetColor, &T::SetColor, clWindow).StoredBy(&TControl::IsColorStored),
                BoolProp("ParentColor", &T::GetParentColor, &T::SetParentColor, true),
                BoolProp("ParentShowHint", &T::GetParentShowHint, &T::SetParentShowHint, true),
                CompProp("PopupMenu", &T::GetPopupMenu, &T::SetPopupMenu),
                BoolProp("ShowHint", &T::GetShowHint, &T::SetShowHint, false).StoredBy(&TControl::IsShowHintStored),
                BoolProp("Visible", &T::GetVisible, &T::SetVisible, true),
                EventProp("OnDragDrop", &T::GetOnDragDrop, &T::SetOnDragDrop),
                EventProp("OnDragOver", &T::GetOnDragOver, &T::SetOnDragOver),
                EventProp("OnEndDrag", &T::GetOnEndDrag, &T::SetOnEndDrag),
                EventProp("OnStartDrag", &T::GetOnStartDrag, &T::SetOnStartDrag),
                EventProp("OnClick", &T::GetOnClick, &T::SetOnClick))

TvdCustomFlashPlayerWnd::TvdCustomFlashPlayerWnd(TComponent* owner) : TvdCustomFlashPlayerWnd(owner, 0xFFFFFFFF) {}

TvdCustomFlashPlayerWnd::TvdCustomFlashPlayerWnd(TComponent* owner, uint32_t backgroundMask) : TCustomControl(owner) {
    CheckFlashPlugins();
    backgroundMask_ = backgroundMask;
    TCustomControl::SetBounds(GetLeft(), GetTop(), 100, 100);
    SetTabStop(true);
    RecreateDriver();
}

// The driver goes first, while the control it paints for is still whole.
TvdCustomFlashPlayerWnd::~TvdCustomFlashPlayerWnd() { driver_.reset(); }

void TvdCustomFlashPlayerWnd::RecreateDriver() {
    // The same choice ChangePlugin makes, remembered so Paint can ask the class whether a
    // real Flash Player stands behind the driver.
    driverClass_ = &ChooseFlashDriverClass(plugin_, DefaultFlashDriverClass, FlashDriverActiveXClass,
                                           FlashDriverNSClass, TvdFlashDriver::Class());
    // The masked colour, as every later erase and colour change: a driver of a control whose
    // mask clears the alpha byte works in alpha mode from the start, also after a Plugin change.
    ChangePlugin(
        driver_, plugin_, movie_, GetWidth(), GetHeight(), BackgroundPixel(), this,
        [this](TObject* s, const TRect& r) { DoPaint(s, r); },
        [this](TObject* s, const TRect& r) { DoEraseBackground(s, r); }, onFSCommand_, onFlashCall_);
}

void TvdCustomFlashPlayerWnd::BindDriverHandlers() {
    driver_->OnPaint = [this](TObject* s, const TRect& r) { DoPaint(s, r); };
    driver_->OnEraseBackground = [this](TObject* s, const TRect& r) { DoEraseBackground(s, r); };
}

void TvdCustomFlashPlayerWnd::Loaded() {
    TCustomControl::Loaded();
    LoadStoredMovie();
}

void TvdCustomFlashPlayerWnd::SetBounds(int left, int top, int width, int height) {
    TCustomControl::SetBounds(left, top, width, height);
    if (driver_) driver_->Resize(GetWidth(), GetHeight());
}

void TvdCustomFlashPlayerWnd::CreateHandle() {
    TCustomControl::CreateHandle();
    if (!HandleAllocated()) return;
    HWND wnd = Handle();
    // The procedure read the ANSI way and written back the wide way: the window is Unicode
    // from then on, so WM_CHAR brings UTF-16 code units whatever made the window.
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, GetWindowLongPtrA(wnd, GWLP_WNDPROC));
}

void TvdCustomFlashPlayerWnd::DoEraseBackground(TObject*, const TRect& ARect) {
    if (!driver_ || !driver_->Bits) return;
    FillLongwordRect(driver_->Bits, driver_->Width, driver_->Height, ARect.Left, ARect.Top, ARect.Right, ARect.Bottom,
                     BackgroundPixel());
}

// The copy waits for the paint message: a burst of rectangles costs one copy.
void TvdCustomFlashPlayerWnd::DoPaint(TObject*, const TRect&) {
    if (Designing() || !HandleAllocated()) return;
    ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TvdCustomFlashPlayerWnd::Paint() {
    // With the inert driver nothing is drawn at all: the window keeps what the system had.
    if (!driver_ || !driverClass_ || !driverClass_->PluginExists()) return;
    if (Designing()) BindDriverHandlers();
    HDC dc = Canvas()->Handle();
    if (!dc || !driver_->BufferDC) return;
    BitBlt(dc, 0, 0, driver_->Width, driver_->Height, driver_->BufferDC, 0, 0, SRCCOPY);
}

// The buffer covers the whole client area.
void TvdCustomFlashPlayerWnd::WMEraseBkgnd(TMessage& message) { message.Result = 1; }

void TvdCustomFlashPlayerWnd::CMColorChanged(TMessage& message) {
    TCustomControl::CMColorChanged(message);
    if (driver_) {
        driver_->SetBackground(BackgroundPixel());
        driver_->ForceUpdate();
    }
}

void TvdCustomFlashPlayerWnd::WMGetDlgCode(TMessage& message) {
    TCustomControl::WMGetDlgCode(message);
    message.Result = DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
}

void TvdCustomFlashPlayerWnd::WMKeyDown(TMessage& message) {
    WORD key = static_cast<WORD>(message.WParam);
    if (driver_) driver_->KeyDown(key, KeyboardShiftState());
    message.WParam = key;
    // A key the driver took goes no further: the control's own key events do not see it.
    if (key == 0) {
        message.Result = 0;
        return;
    }
    TCustomControl::WMKeyDown(message);
}

void TvdCustomFlashPlayerWnd::WMKeyUp(TMessage& message) {
    WORD key = static_cast<WORD>(message.WParam);
    if (driver_) driver_->KeyUp(key, KeyboardShiftState());
    message.WParam = key;
    if (key == 0) {
        message.Result = 0;
        return;
    }
    TCustomControl::WMKeyUp(message);
}

// Control characters (Enter, Backspace, Tab, Escape) reach the driver as keys only.
void TvdCustomFlashPlayerWnd::WMChar(TMessage& message) {
    char16_t key = static_cast<char16_t>(message.WParam);
    if (driver_ && key >= 32) driver_->KeyPress(key, KeyboardShiftState());
    TCustomControl::WMChar(message);
}

void TvdCustomFlashPlayerWnd::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseDown(button, shift, x, y);
    SetFocus();
    if (driver_) driver_->MouseDown(button, shift, x, y);
}

void TvdCustomFlashPlayerWnd::MouseMove(TShiftState shift, int x, int y) {
    TCustomControl::MouseMove(shift, x, y);
    if (driver_) driver_->MouseMove(shift, x, y);
}

void TvdCustomFlashPlayerWnd::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseUp(button, shift, x, y);
    if (driver_) driver_->MouseUp(button, shift, x, y);
}

bool TvdCustomFlashPlayerWnd::DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) {
    bool result = TCustomControl::DoMouseWheel(shift, wheelDelta, mousePos);
    if (driver_) driver_->MouseWheel(shift, mousePos.X, mousePos.Y, wheelDelta, result);
    return result;
}

}  // namespace vd
