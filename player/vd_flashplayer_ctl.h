// TvdFlashPlayer: the windowless player control. A graphic control (no window of its own)
// that owns one driver, chosen by ChangePlugin, and copies the driver's buffer onto its
// parent's surface. Transparent by default: the parent's own painting shows through
// wherever the movie leaves the background. Win32 only.
#pragma once

#include <memory>
#include <string>

#include "vd_controls.h"
#include "vd_flashdriver.h"

namespace vd {

const TIdents& PluginIdents();

class TvdFlashPlayer : public TGraphicControl, public TvdDriverOwner {
    VD_CLASS(TvdFlashPlayer, TGraphicControl)
public:
    explicit TvdFlashPlayer(TComponent* owner);
    ~TvdFlashPlayer() override;

    bool GetTransparent() const { return transparent_; }
    void SetTransparent(bool value);

    void SetBounds(int left, int top, int width, int height) override;
    void SetParent(TWinControl* parent) override;
    void Loaded() override;

    // What the driver calls: after it re-rendered a rectangle, and to fill one with the
    // background (the parent's image when transparent, the colour otherwise).
    void DoPaint(TObject* ASender, const TRect& ARect);
    void DoEraseBackground(TObject* ASender, const TRect& ARect);

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    bool DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) override;
    void CMColorChanged(TMessage& message) override;

private:
    bool Loading() const { return ComponentState().Contains(csLoading); }
    void RecreateDriver() override;
    // The buffer shows the parent at the control's place; after a move it shows the old place.
    void RefreshTransparentBackground();

    bool transparent_ = true;
};

}  // namespace vd
