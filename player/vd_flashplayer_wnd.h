// TvdCustomFlashPlayerWnd and TvdFlashPlayerWnd: the player as a control with a window of its
// own. It takes the keyboard focus, forwards keys as well as the mouse to the driver, and
// paints through its window's paint cycle. Always opaque: the buffer is filled with the
// control's colour (masked by BackgroundMask), never with the parent's image. Win32 only.
#pragma once

#include <memory>
#include <string>

#include "vd_controls.h"
#include "vd_flashdriver.h"

namespace vd {

class TvdCustomFlashPlayerWnd : public TCustomControl, public TvdDriverOwner {
    VD_CLASS(TvdCustomFlashPlayerWnd, TCustomControl)
public:
    explicit TvdCustomFlashPlayerWnd(TComponent* owner);
    ~TvdCustomFlashPlayerWnd() override;

    // ANDed with the colour's pixel whenever the buffer is erased or the driver is given a
    // background (a new driver included).
    uint32_t GetBackgroundMask() const { return backgroundMask_; }
    void SetBackgroundMask(uint32_t value) { backgroundMask_ = value; }

    void SetBounds(int left, int top, int width, int height) override;
    void Loaded() override;

    // What the driver calls: after it re-rendered a rectangle (the window is invalidated and
    // the next paint message copies the buffer), and to fill one with the background.
    // Virtual: a descendant's overrides are the handlers the driver gets.
    virtual void DoPaint(TObject* ASender, const TRect& ARect);
    virtual void DoEraseBackground(TObject* ASender, const TRect& ARect);

protected:
    // For descendants that want their driver born with a masked background.
    TvdCustomFlashPlayerWnd(TComponent* owner, uint32_t backgroundMask);

    void CreateHandle() override;
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    bool DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) override;
    void WMGetDlgCode(TMessage& message) override;
    // WM_KEYDOWN / WM_KEYUP only: system keys (WM_SYSKEYDOWN / WM_SYSKEYUP) never reach the
    // driver and keep the system's handling (Alt+F4, F10, menu mnemonics).
    void WMKeyDown(TMessage& message) override;
    void WMKeyUp(TMessage& message) override;
    void WMChar(TMessage& message) override;
    void WMEraseBkgnd(TMessage& message) override;
    void CMColorChanged(TMessage& message) override;

    uint32_t BackgroundPixel() const { return ColorToOpaquePixel(GetColor()) & backgroundMask_; }

private:
    void RecreateDriver() override;
    void BindDriverHandlers();

    // The class the driver was made from: only a real Flash Player's driver is ever drawn.
    const TvdFlashDriverClass* driverClass_ = nullptr;
    uint32_t backgroundMask_ = 0xFFFFFFFF;
};

// The windowed player with the usual framework properties published.
class TvdFlashPlayerWnd : public TvdCustomFlashPlayerWnd {
    VD_CLASS(TvdFlashPlayerWnd, TvdCustomFlashPlayerWnd)
public:
    explicit TvdFlashPlayerWnd(TComponent* owner) : TvdCustomFlashPlayerWnd(owner) {}
};

}  // namespace vd
