#include "vd_layer.h"

namespace vd {

VD_DEFINE_CLASS(TvdFlashLayer,
                SetProp("Anchors", &T::GetAnchors, &T::SetAnchors, AnchorIdents(), TAnchors{akLeft, akTop}),
                IntProp("DragCursor", &T::GetDragCursor, &T::SetDragCursor, crDrag, &CursorIdents()),
                EnumProp("DragMode", &T::GetDragMode, &T::SetDragMode, DragModeIdents(), dmManual),
                BoolProp("ParentColor", &T::GetParentColor, &T::SetParentColor, true),
                BoolProp("ParentShowHint", &T::GetParentShowHint, &T::SetParentShowHint, true),
                CompProp("PopupMenu", &T::GetPopupMenu, &T::SetPopupMenu),
                BoolProp("ShowHint", &T::GetShowHint, &T::SetShowHint, false).StoredBy(&TControl::IsShowHintStored),
                BoolProp("TabStop", &T::GetTabStop, &T::SetTabStop, false),
                BoolProp("Visible", &T::GetVisible, &T::SetVisible, true),
                EventProp("OnDragDrop", &T::GetOnDragDrop, &T::SetOnDragDrop),
                EventProp("OnDragOver", &T::GetOnDragOver, &T::SetOnDragOver),
                EventProp("OnEndDrag", &T::GetOnEndDrag, &T::SetOnEndDrag),
                EventProp("OnStartDrag", &T::GetOnStartDrag, &T::SetOnStartDrag),
                EventProp("OnClick", &T::GetOnClick, &T::SetOnClick),
                BoolProp("AllowDrag", &T::GetAllowDrag, &T::SetAllowDrag, true),
                IntProp("MasterAlpha", &T::GetMasterAlpha, &T::SetMasterAlpha, 255),
                BoolProp("DisableFlashCursor", &T::GetDisableFlashCursor, &T::SetDisableFlashCursor, false),
                BoolProp("DisableFlashMenu", &T::GetDisableFlashMenu, &T::SetDisableFlashMenu, true),
                EnumProp("Plugin", &T::GetPlugin, &T::SetPlugin, PluginIdents(), vdDefault),
                WStrProp("Movie", &T::GetMovie, &T::SetMovie))

TvdFlashLayer::TvdFlashLayer(TComponent* owner) : TCustomControl(owner) {
    CheckFlashPlugins();
    TCustomControl::SetBounds(GetLeft(), GetTop(), 100, 100);
    RecreateDriver();
    SetAlign(alClient);
}

// The driver goes first, while the control it paints for is still whole.
TvdFlashLayer::~TvdFlashLayer() { driver_.reset(); }

// Every driver starts with the masked background, so it is in alpha mode from the start and
// stays there after a Plugin change, whatever colour the layer has.
void TvdFlashLayer::RecreateDriver() {
    ChangePlugin(
        driver_, plugin_, movie_, GetWidth(), GetHeight(), ColorToOpaquePixel(GetColor()) & BackgroundMask, this,
        [this](TObject* s, const TRect& r) { DoPaint(s, r); },
        [this](TObject* s, const TRect& r) { DoEraseBackground(s, r); }, nullptr, nullptr);
}

void TvdFlashLayer::SetMasterAlpha(int value) { masterAlpha_ = value < 0 ? 0 : value > 255 ? 255 : value; }

void TvdFlashLayer::SetPlugin(TvdPlugin value) {
    if (value == plugin_) return;
    plugin_ = value;
    // A form stores DisableFlashCursor and DisableFlashMenu before Plugin: carried over while
    // it is read, or the stored values would be lost with the old driver.
    const bool carry = Loading() && driver_;
    const bool cursor = GetDisableFlashCursor(), menu = GetDisableFlashMenu();
    RecreateDriver();
    if (carry && driver_) {
        driver_->DisableFlashCursor = cursor;
        driver_->DisableFlashMenu = menu;
    }
}

void TvdFlashLayer::SetMovie(const WideString& value) {
    movie_ = value;
    if (!driver_ || Loading()) return;
    driver_->LoadMovie(movie_);
    if (Designing()) driver_->SetPause(true);
}

void TvdFlashLayer::SetDisableFlashCursor(bool value) {
    if (driver_) driver_->DisableFlashCursor = value;
}

void TvdFlashLayer::SetDisableFlashMenu(bool value) {
    if (driver_) driver_->DisableFlashMenu = value;
}

void TvdFlashLayer::Loaded() {
    TCustomControl::Loaded();
    SetMovie(movie_);
}

void TvdFlashLayer::SetBounds(int left, int top, int width, int height) {
    TCustomControl::SetBounds(left, top, width, height);
    if (driver_) driver_->Resize(GetWidth(), GetHeight());
}

void TvdFlashLayer::CreateHandle() {
    TCustomControl::CreateHandle();
    if (driver_) driver_->Resize(GetWidth(), GetHeight());
    if (Designing() || !dynamic_cast<TCustomForm*>(GetParent())) return;
    HWND form = GetParent()->Handle();
    SetWindowLongA(form, GWL_EXSTYLE, GetWindowLongA(form, GWL_EXSTYLE) | WS_EX_LAYERED);
    UpdateLayer();
}

void TvdFlashLayer::UpdateLayer() {
    if (Designing()) return;
    TWinControl* parent = GetParent();
    if (!dynamic_cast<TWinControl*>(GetOwner()) || !parent) return;
    HWND wnd = parent->Handle();
    if (!wnd) return;
    // Looked up once; a system without it shows nothing rather than calling address 0.
    const TUpdateLayeredWindowProc update = LayeredWindowUpdate();
    if (!update || !driver_ || !driver_->BufferDC) return;
    POINT dest{parent->GetLeft() + GetLeft(), parent->GetTop() + GetTop()};
    SIZE size{GetWidth(), GetHeight()};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(masterAlpha_ & 0xFF), AC_SRC_ALPHA};
    update(wnd, nullptr, &dest, &size, driver_->BufferDC, &source, 0, &blend, ULW_ALPHA);
}

void TvdFlashLayer::DoPaint(TObject*, const TRect&) { UpdateLayer(); }

void TvdFlashLayer::DoEraseBackground(TObject*, const TRect& ARect) {
    if (!driver_ || !driver_->Bits) return;
    FillLongwordRect(driver_->Bits, driver_->Width, driver_->Height, ARect.Left, ARect.Top, ARect.Right, ARect.Bottom,
                     ColorToOpaquePixel(GetColor()) & BackgroundMask);
}

void TvdFlashLayer::CMColorChanged(TMessage& message) {
    TCustomControl::CMColorChanged(message);
    if (driver_) {
        driver_->SetBackground(ColorToOpaquePixel(GetColor()) & BackgroundMask);
        driver_->ForceUpdate();
    }
}

void TvdFlashLayer::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseDown(button, shift, x, y);
    if (driver_) driver_->MouseDown(button, shift, x, y);
}

void TvdFlashLayer::MouseMove(TShiftState shift, int x, int y) {
    TCustomControl::MouseMove(shift, x, y);
    if (driver_) driver_->MouseMove(shift, x, y);
}

void TvdFlashLayer::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomControl::MouseUp(button, shift, x, y);
    if (driver_) driver_->MouseUp(button, shift, x, y);
}

}  // namespace vd
