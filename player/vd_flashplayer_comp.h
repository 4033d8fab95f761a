// TvdFlashPlayerComp: a movie played off-screen. A non-visual component whose driver runs in
// alpha mode; OnPaint names each re-rendered rectangle and the application reads the pixels
// in place (GetBuffer, GetScanline) and feeds input back through the Call... operations, in
// buffer coordinates. Win32 only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vd_flashdriver.h"

namespace vd {

class TvdFlashPlayerComp : public TComponent, public TvdDriverOwner {
    VD_CLASS(TvdFlashPlayerComp, TComponent)
public:
    explicit TvdFlashPlayerComp(TComponent* owner);
    ~TvdFlashPlayerComp() override;

    // The first pixel of the buffer (32 bits each: blue, green, red, alpha; rows top-down),
    // nullptr without one. Valid until the next size or Plugin change.
    uint32_t* GetBuffer() const;
    // The first pixel of a row, nullptr for a row outside the buffer or without a buffer.
    uint32_t* GetScanline(int Row) const;

    void CallMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    void CallMouseMove(TShiftState Shift, int X, int Y);
    void CallMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    void CallMouseWheel(TShiftState Shift, int X, int Y, int WheelDelta, bool& Handled);
    void CallKeyDown(WORD& Key, TShiftState Shift);
    void CallKeyPress(char16_t& Key, TShiftState Shift);
    void CallKeyUp(WORD& Key, TShiftState Shift);

    // The size asked for; a value <= 0 is kept here while the buffer is 1 pixel wide or high.
    int GetWidth() const { return width_; }
    void SetWidth(int value);
    int GetHeight() const { return height_; }
    void SetHeight(int value);
    const TvdPaintEvent& GetOnPaint() const { return onPaint_; }
    void SetOnPaint(const TvdPaintEvent& value) { onPaint_ = value; }
    void Loaded() override;

    // What the driver calls: after it re-rendered a rectangle, and to clear one.
    void DoPaint(TObject* ASender, const TRect& ARect);
    void DoEraseBackground(TObject* ASender, const TRect& ARect);

private:
    // The off-screen player leaves these at the driver's defaults (menu disabled, cursor not,
    // no outlines).
    using TvdDriverOwner::GetDisableFlashCursor;
    using TvdDriverOwner::GetDisableFlashMenu;
    using TvdDriverOwner::GetShowUpdateRects;
    using TvdDriverOwner::SetDisableFlashCursor;
    using TvdDriverOwner::SetDisableFlashMenu;
    using TvdDriverOwner::SetShowUpdateRects;

    bool Designing() const { return ComponentState().Contains(csDesigning); }
    void RecreateDriver() override;

    int width_ = 100;
    int height_ = 100;
    TvdPaintEvent onPaint_;
};

}  // namespace vd
