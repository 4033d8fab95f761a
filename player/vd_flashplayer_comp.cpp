#include "vd_flashplayer_comp.h"

#include "vd_flashplayer_ctl.h"

namespace vd {

VD_DEFINE_CLASS(TvdFlashPlayerComp, EnumProp("Plugin", &T::GetPlugin, &T::SetPlugin, PluginIdents(), vdDefault),
                WStrProp("Movie", &T::GetMovie, &T::SetMovie), StrProp("Skin", &T::GetSkin, &T::SetSkin),
                BoolProp("Pause", &T::GetPause, &T::SetPause), IntProp("Volume", &T::GetVolume, &T::SetVolume),
                IntProp("Width", &T::GetWidth, &T::SetWidth), IntProp("Height", &T::GetHeight, &T::SetHeight),
                EventProp("OnPaint", &T::GetOnPaint, &T::SetOnPaint),
                EventProp("OnFSCommand", &T::GetOnFSCommand, &T::SetOnFSCommand),
                EventProp("OnFlashCall", &T::GetOnFlashCall, &T::SetOnFlashCall))

TvdFlashPlayerComp::TvdFlashPlayerComp(TComponent* owner) : TComponent(owner) {
    CheckFlashPlugins();
    width_ = 100;
    height_ = 100;
    RecreateDriver();
}

TvdFlashPlayerComp::~TvdFlashPlayerComp() { driver_.reset(); }

// Background 0: alpha mode, so the application gets per-pixel alpha where the movie draws.
void TvdFlashPlayerComp::RecreateDriver() {
    ChangePlugin(
        driver_, plugin_, movie_, width_, height_, 0, nullptr, [this](TObject* s, const TRect& r) { DoPaint(s, r); },
        [this](TObject* s, const TRect& r) { DoEraseBackground(s, r); }, onFSCommand_, onFlashCall_);
}

uint32_t* TvdFlashPlayerComp::GetBuffer() const { return driver_ ? driver_->Bits : nullptr; }

// Rows are as wide as the buffer really is, which is at least 1 whatever Width says.
uint32_t* TvdFlashPlayerComp::GetScanline(int Row) const {
    if (!driver_ || !driver_->Bits || Row < 0 || Row >= driver_->Height) return nullptr;
    return driver_->Bits + static_cast<size_t>(Row) * static_cast<size_t>(driver_->Width);
}

void TvdFlashPlayerComp::CallMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (driver_) driver_->MouseDown(Button, Shift, X, Y);
}
void TvdFlashPlayerComp::CallMouseMove(TShiftState Shift, int X, int Y) {
    if (driver_) driver_->MouseMove(Shift, X, Y);
}
void TvdFlashPlayerComp::CallMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (driver_) driver_->MouseUp(Button, Shift, X, Y);
}
void TvdFlashPlayerComp::CallMouseWheel(TShiftState Shift, int X, int Y, int WheelDelta, bool& Handled) {
    if (driver_) driver_->MouseWheel(Shift, X, Y, WheelDelta, Handled);
}
void TvdFlashPlayerComp::CallKeyDown(WORD& Key, TShiftState Shift) {
    if (driver_) driver_->KeyDown(Key, Shift);
}
void TvdFlashPlayerComp::CallKeyPress(char16_t& Key, TShiftState Shift) {
    if (driver_) driver_->KeyPress(Key, Shift);
}
void TvdFlashPlayerComp::CallKeyUp(WORD& Key, TShiftState Shift) {
    if (driver_) driver_->KeyUp(Key, Shift);
}

void TvdFlashPlayerComp::SetWidth(int value) {
    if (value == width_) return;
    width_ = value;
    if (driver_) driver_->Resize(width_, height_);
}

void TvdFlashPlayerComp::SetHeight(int value) {
    if (value == height_) return;
    height_ = value;
    if (driver_) driver_->Resize(width_, height_);
}

void TvdFlashPlayerComp::Loaded() {
    TComponent::Loaded();
    LoadStoredMovie();
}

void TvdFlashPlayerComp::DoEraseBackground(TObject*, const TRect& ARect) {
    if (!driver_ || !driver_->Bits) return;
    FillLongwordRect(driver_->Bits, driver_->Width, driver_->Height, ARect.Left, ARect.Top, ARect.Right, ARect.Bottom,
                     0);
}

// The handler is read at each call, so one assigned a moment ago is the one called.
void TvdFlashPlayerComp::DoPaint(TObject* ASender, const TRect& ARect) {
    if (Designing()) return;
    if (const TvdPaintEvent handler = onPaint_) handler(ASender, ARect);
}

}  // namespace vd
