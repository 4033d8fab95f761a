// The layered-window player: TvdFlashLayer turns the form it sits on into a per-pixel-alpha
// top-level window showing the movie. Applications include this one header. Win32 only.
#pragma once

#include "vd_windows.h"

#include "vd_flashplayer.h"
#include "vd_forms.h"

namespace vd {

// The system's layered-window update, as user32 exports it.
using TUpdateLayeredWindowProc = BOOL(WINAPI*)(HWND wnd, HDC dstDC, POINT* dstPos, SIZE* size, HDC srcDC, POINT* srcPos,
                                               COLORREF key, BLENDFUNCTION* blend, DWORD flags);

// The update every layer calls: looked up once by the unit's first initialization; nullptr
// before that and where the system has none, and then layers show nothing.
TUpdateLayeredWindowProc LayeredWindowUpdate();
// Puts another update in its place (nullptr: none); answers the one it replaced. For systems
// with their own compositor, and for tests.
TUpdateLayeredWindowProc SetLayeredWindowUpdate(TUpdateLayeredWindowProc proc);

// Layer unit start-up and shut-down (counted: only the first initialization acts). Starts the
// player unit, looks the layered-window update up and registers TvdFlashLayer for form files.
// Applications call it before making layers; never from DllMain or a static constructor.
void InitializeLayerUnit();
void FinalizeLayerUnit();

// A windowed player that fills its form's client area and hands its driver's whole buffer to
// the layered-window update after every re-rendered rectangle instead of painting its own
// window: wherever the movie is transparent the desktop shows through, and MasterAlpha fades
// the whole picture. Its background mask is 0, so its driver always works in alpha mode
// (background 0), from construction on and after every Plugin change. Driver, movie,
// settings, movie events and input are the windowed player's.
class TvdFlashLayer : public TvdCustomFlashPlayerWnd {
    VD_CLASS(TvdFlashLayer, TvdCustomFlashPlayerWnd)
public:
    explicit TvdFlashLayer(TComponent* owner);

    int GetMasterAlpha() const { return masterAlpha_; }
    // Kept in 0..255; used from the next UpdateLayer on, the window is not updated at once.
    void SetMasterAlpha(int value);
    // Stored with the form; nothing reads it.
    bool GetAllowDrag() const { return allowDrag_; }
    void SetAllowDrag(bool value) { allowDrag_ = value; }

    // Hands the whole buffer to the layered-window update of the parent's window, at the
    // layer's place on the screen, faded by MasterAlpha. Nothing at design time, without a
    // windowed owner or a parent window, or where the system has no such update.
    void UpdateLayer();

    // After the driver re-rendered a rectangle: the whole buffer is sent.
    void DoPaint(TObject* ASender, const TRect& ARect) override;

protected:
    void CreateHandle() override;
    // The layer's own window is never drawn: the form shows only what UpdateLayer gives it.
    void Paint() override {}

private:
    int masterAlpha_ = 255;
    bool allowDrag_ = true;
};

}  // namespace vd
