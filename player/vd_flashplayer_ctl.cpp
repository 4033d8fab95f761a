#include "vd_flashplayer_ctl.h"

#include "vd_winstr.h"

namespace vd {

const TIdents& PluginIdents() {
    static const TIdents idents{"vdDefault", "vdNetscape", "vdActiveX"};
    return idents;
}

VD_DEFINE_CLASS(TvdFlashPlayer, EnumProp("Align", &T::GetAlign, &T::SetAlign, AlignIdents(), alNone),
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
                EventProp("OnClick", &T::GetOnClick, &T::SetOnClick),
                BoolProp("DisableFlashCursor", &T::GetDisableFlashCursor, &T::SetDisableFlashCursor, false),
                BoolProp("DisableFlashMenu", &T::GetDisableFlashMenu, &T::SetDisableFlashMenu, true),
                EnumProp("Plugin", &T::GetPlugin, &T::SetPlugin, PluginIdents(), vdDefault),
                WStrProp("Movie", &T::GetMovie, &T::SetMovie), StrProp("Skin", &T::GetSkin, &T::SetSkin),
                BoolProp("Pause", &T::GetPause, &T::SetPause), IntProp("Volume", &T::GetVolume, &T::SetVolume),
                EventProp("OnFSCommand", &T::GetOnFSCommand, &T::SetOnFSCommand),
                EventProp("OnFlashCall", &T::GetOnFlashCall, &T::SetOnFlashCall),
                BoolProp("Transparent", &T::GetTransparent, &T::SetTransparent, true))

TvdFlashPlayer::TvdFlashPlayer(TComponent* owner) : TGraphicControl(owner) {
    CheckFlashPlugins();
    transparent_ = true;
    TGraphicControl::SetBounds(GetLeft(), GetTop(), 100, 100);
    RecreateDriver();
}

// The driver goes first, while the control it paints for is still whole.
TvdFlashPlayer::~TvdFlashPlayer() { driver_.reset(); }

void TvdFlashPlayer::RecreateDriver() {
    ChangePlugin(
        driver_, plugin_, movie_, GetWidth(), GetHeight(), ColorToOpaquePixel(GetColor()), this,
        [this](TObject* s, const TRect& r) { DoPaint(s, r); },
        [this](TObject* s, const TRect& r) { DoEraseBackground(s, r); }, onFSCommand_, onFlashCall_);
}

void TvdFlashPlayer::SetTransparent(bool value) {
    if (value == transparent_) return;
    transparent_ = value;
    if (driver_) {
        driver_->SetBackground(ColorToOpaquePixel(GetColor()));
        driver_->ForceUpdate();
    }
}

void TvdFlashPlayer::Loaded() {
    TGraphicControl::Loaded();
    DoEraseBackground(driver_.get(), Rect(0, 0, GetWidth(), GetHeight()));
    LoadStoredMovie();
}

void TvdFlashPlayer::SetBounds(int left, int top, int width, int height) {
    const bool moved = left != GetLeft() || top != GetTop();
    TGraphicControl::SetBounds(left, top, width, height);
    if (!driver_) return;
    const int oldWidth = driver_->Width, oldHeight = driver_->Height;
    driver_->Resize(GetWidth(), GetHeight());
    const bool resized = driver_->Width != oldWidth || driver_->Height != oldHeight;
    if (moved && !resized) RefreshTransparentBackground();
}

void TvdFlashPlayer::SetParent(TWinControl* parent) {
    const bool changed = parent != GetParent();
    TGraphicControl::SetParent(parent);
    if (changed) RefreshTransparentBackground();
}

void TvdFlashPlayer::RefreshTransparentBackground() {
    if (driver_ && transparent_ && !Loading() && GetParent() && GetParent()->HandleAllocated()) driver_->ForceUpdate();
}

void TvdFlashPlayer::DoEraseBackground(TObject*, const TRect& ARect) {
    if (!driver_) return;
    if (transparent_) {
        TWinControl* parent = GetParent();
        if (!parent || !parent->HandleAllocated() || !driver_->BufferDC) return;
        HDC dc = driver_->BufferDC;
        {
            TSavedDC saved(dc);
            TGdiObject region(CreateRectRgn(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom));
            SelectClipRgn(dc, static_cast<HRGN>(region.Get()));
            region.Reset();
            parent->PaintTo(dc, -GetLeft(), -GetTop());
        }
        GdiFlush();
    } else if (driver_->Bits) {
        FillLongwordRect(driver_->Bits, driver_->Width, driver_->Height, ARect.Left, ARect.Top, ARect.Right,
                         ARect.Bottom, ColorToOpaquePixel(GetColor()));
    }
}

void TvdFlashPlayer::DoPaint(TObject*, const TRect&) {
    // A hidden player (its own Visible, or a hidden parent) has nothing on the screen: its
    // window DC is the parent's, so a copy now would draw over the parent.
    if (Designing() || !Showing()) return;
    TCanvas* canvas = Canvas();
    // A DC the canvas fetches for this paint goes back to the system even if Paint raises.
    struct Release {
        TControlCanvas* canvas;
        ~Release() {
            if (canvas) canvas->FreeHandle();
        }
    } release{canvas->HandleAllocated() ? nullptr : static_cast<TControlCanvas*>(canvas)};
    Paint();
}

void TvdFlashPlayer::Paint() {
    if (!driver_) return;
    if (Designing()) {
        driver_->OnPaint = [this](TObject* s, const TRect& r) { DoPaint(s, r); };
        driver_->OnEraseBackground = [this](TObject* s, const TRect& r) { DoEraseBackground(s, r); };
    }
    HDC dc = Canvas()->Handle();
    if (!dc || !driver_->BufferDC) return;
    BitBlt(dc, 0, 0, driver_->Width, driver_->Height, driver_->BufferDC, 0, 0, SRCCOPY);
}

void TvdFlashPlayer::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseDown(button, shift, x, y);
    if (driver_) driver_->MouseDown(button, shift, x, y);
}

void TvdFlashPlayer::MouseMove(TShiftState shift, int x, int y) {
    TGraphicControl::MouseMove(shift, x, y);
    if (driver_) driver_->MouseMove(shift, x, y);
}

void TvdFlashPlayer::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TGraphicControl::MouseUp(button, shift, x, y);
    if (driver_) driver_->MouseUp(button, shift, x, y);
}

bool TvdFlashPlayer::DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) {
    bool result = TGraphicControl::DoMouseWheel(shift, wheelDelta, mousePos);
    if (driver_) driver_->MouseWheel(shift, mousePos.X, mousePos.Y, wheelDelta, result);
    return result;
}

void TvdFlashPlayer::CMColorChanged(TMessage& message) {
    TGraphicControl::CMColorChanged(message);
    if (driver_) {
        driver_->SetBackground(ColorToOpaquePixel(GetColor()));
        driver_->ForceUpdate();
    }
}

}  // namespace vd
