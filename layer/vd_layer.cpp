#include "vd_layer.h"

namespace vd {

// In a form file the windowed player's own properties come first (TabStop among them).
VD_DEFINE_CLASS(TvdFlashLayer,
                SetProp("Anchors", &T::GetAnchors, &T::SetAnchors, AnchorIdents(), TAnchors{akLeft, akTop}),
                IntProp("DragCursor", &T::GetDragCursor, &T::SetDragCursor, crDrag, &CursorIdents()),
                EnumProp("DragMode", &T::GetDragMode, &T::SetDragMode, DragModeIdents(), dmManual),
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
                BoolProp("AllowDrag", &T::GetAllowDrag, &T::SetAllowDrag, true),
                IntProp("MasterAlpha", &T::GetMasterAlpha, &T::SetMasterAlpha, 255))

// Mask 0: every background the layer gives its driver is fully transparent black, so the
// driver is born in alpha mode whatever the colour, and stays there.
TvdFlashLayer::TvdFlashLayer(TComponent* owner) : TvdCustomFlashPlayerWnd(owner, 0) {
    SetAlign(alClient);
    masterAlpha_ = 255;
    allowDrag_ = true;
}

void TvdFlashLayer::SetMasterAlpha(int value) { masterAlpha_ = value < 0 ? 0 : value > 255 ? 255 : value; }

void TvdFlashLayer::CreateHandle() {
    TvdCustomFlashPlayerWnd::CreateHandle();
    if (driver_) driver_->Resize(GetWidth(), GetHeight());
    if (Designing() || !dynamic_cast<TCustomForm*>(GetParent())) return;
    HWND form = GetParent()->Handle();
    SetWindowLongA(form, GWL_EXSTYLE, GetWindowLongA(form, GWL_EXSTYLE) | WS_EX_LAYERED);
    // The window system gives the form the size of the image it is handed: the layer must
    // already fill the client area, or its first image (still the size it was made with)
    // would shrink the form to that size for good.
    GetParent()->Realign();
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

}  // namespace vd
