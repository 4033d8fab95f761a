// Painting the plugin into the buffers (twice in alpha mode, with the shared alpha recovery)
// and forwarding mouse and keys as window messages.
#include "vd_np_unit.h"

#include "vd_pixels.h"

namespace vd {

using namespace np;

void TvdFlashDriverNS::PaintPlugin(HDC dc, const NPRect& rect) {
    win32::TSavedDC saved(dc);
    IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    // NPAPI's windowless paint event on Windows: the DC in wParam, the dirty area in lParam.
    RECT dirty{rect.left, rect.top, rect.right, rect.bottom};
    NPEvent event{WM_PAINT, reinterpret_cast<uintptr_t>(dc), reinterpret_cast<uintptr_t>(&dirty)};
    if (Plugin().event) Plugin().event(Instance, &event);
    GdiFlush();
}

void TvdFlashDriverNS::PaintRect(NPRect& rect) {
    // Without a buffer, or for an instance that failed, nothing is painted or reported.
    if (!BufferDC || !InstanceLive) return;
    if (rect.right > Width) rect.right = static_cast<uint16_t>(Width);
    if (rect.bottom > Height) rect.bottom = static_cast<uint16_t>(Height);
    PaintPasses(Rect(rect.left, rect.top, rect.right, rect.bottom), [this](const TRect& area) { PaintPass(area); });
}

// One pass over `area`. After each call out (the plugin's paint, the application's handlers) it
// goes on only while the driver and the instance it began with are still there.
void TvdFlashDriverNS::PaintPass(const TRect& area) {
    const NPP npp = Instance;
    if (!StillFor(npp) || !Bits) return;
    const NPRect rect{static_cast<uint16_t>(area.Top), static_cast<uint16_t>(area.Left),
                      static_cast<uint16_t>(area.Bottom), static_cast<uint16_t>(area.Right)};
    if (!WhiteBits) {
        if (const TvdEraseBackgroundEvent erase = OnEraseBackground) erase(this, area);
        if (!StillFor(npp) || !BufferDC) return;
        // A change of background mode rebuilds the buffers without a resize, so a plugin that was
        // given a drawable may still hold the old (freed) one: point it at the live buffer first.
        if (BufferDC && PluginWindow.window != BufferDC) {
            FillPluginWindow(BufferDC);
            if (Plugin().setwindow) Plugin().setwindow(npp, &PluginWindow);
            if (!StillFor(npp) || !BufferDC) return;
        }
        PaintPlugin(BufferDC, rect);
        if (!StillFor(npp)) return;
    } else {
        GdiFlush();
        FillLongwordRect(Bits, Width, Height, rect.left, rect.top, rect.right, rect.bottom, 0xFF000000u);
        FillPluginWindow(BufferDC);
        if (Plugin().setwindow) Plugin().setwindow(npp, &PluginWindow);
        if (!StillFor(npp) || !WhiteBits) return;
        PaintPlugin(BufferDC, rect);
        // The plugin may have re-created the buffers (a resize from inside the paint).
        if (!StillFor(npp) || !WhiteBits) return;
        FillLongwordRect(WhiteBits, Width, Height, rect.left, rect.top, rect.right, rect.bottom, 0xFFFFFFFFu);
        FillPluginWindow(WhiteDC);
        if (Plugin().setwindow) Plugin().setwindow(npp, &PluginWindow);
        if (!StillFor(npp) || !WhiteBits) return;
        PaintPlugin(WhiteDC, rect);
        if (!StillFor(npp) || !WhiteBits) return;
        RecoverAlpha(Bits, WhiteBits, Width, Height, rect.left, rect.top, rect.right, rect.bottom);
    }
    if (const TvdPaintEvent paint = OnPaint) paint(this, area);
    if (Detached()) return;
    if (ShowUpdateRects) DrawUpdateRect(area);
}

void TvdFlashDriverNS::ForceUpdate() {
    if (!PluginExists() || !Instance || !InstanceLive || Detached()) return;
    NPRect all{0, 0, static_cast<uint16_t>(Height), static_cast<uint16_t>(Width)};
    PaintRect(all);
}

// ---------------------------------------------------------------------------------------------
// Input

namespace {

uintptr_t PackPoint(int x, int y) {
    return static_cast<uintptr_t>((static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16));
}

}  // namespace

uintptr_t ShiftToPluginKeyFlags(TShiftState Shift) {
    uintptr_t flags = 0;
    if (Shift.Contains(ssCtrl)) flags |= MK_CONTROL;
    if (Shift.Contains(ssShift)) flags |= MK_SHIFT;
    if (Shift.Contains(ssLeft)) flags |= MK_LBUTTON;
    if (Shift.Contains(ssRight)) flags |= MK_RBUTTON;
    return flags;
}

void TvdFlashDriverNS::SendInput(uint16_t message, uintptr_t wParam, uintptr_t lParam) {
    if (!PluginExists() || !Instance || !InstanceLive || !Plugin().event || Detached()) return;
    NPEvent event{message, wParam, lParam};
    const TCallGuard guard(*this, TCallKind::Player);
    Plugin().event(Instance, &event);
}

void TvdFlashDriverNS::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        SendInput(WM_LBUTTONDOWN, ShiftToPluginKeyFlags(Shift), PackPoint(X, Y));
    } else if (Button == mbRight && !DisableFlashMenu) {
        // The plugin opens its menu where it is told: the screen position of the point in the
        // host window's client area (not its frame: border and caption are no part of it).
        const TPoint offset = GetParentOffset();
        POINT at{X + offset.X, Y + offset.Y};
        if (HWND parent = GetParentHandle()) ClientToScreen(parent, &at);
        SendInput(WM_RBUTTONDOWN, ShiftToPluginKeyFlags(Shift), PackPoint(at.x, at.y));
    }
}

void TvdFlashDriverNS::MouseMove(TShiftState Shift, int X, int Y) {
    SendInput(WM_MOUSEMOVE, ShiftToPluginKeyFlags(Shift), PackPoint(X, Y));
}

void TvdFlashDriverNS::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) SendInput(WM_LBUTTONUP, ShiftToPluginKeyFlags(Shift), PackPoint(X, Y));
    else if (Button == mbRight) SendInput(WM_RBUTTONUP, ShiftToPluginKeyFlags(Shift), PackPoint(X, Y));
}

void TvdFlashDriverNS::MouseWheel(TShiftState Shift, int X, int Y, int WheelDelta, bool& /*Handled*/) {
    const uintptr_t wParam =
        (ShiftToPluginKeyFlags(Shift) & 0xFFFFu) | ((static_cast<uint32_t>(WheelDelta) & 0xFFFFu) << 16);
    SendInput(WM_MOUSEWHEEL, wParam, PackPoint(X, Y));
}

void TvdFlashDriverNS::KeyDown(WORD& Key, TShiftState Shift) {
    SendInput(WM_KEYDOWN, Key, ShiftToPluginKeyFlags(Shift));
}

void TvdFlashDriverNS::KeyUp(WORD& Key, TShiftState Shift) { SendInput(WM_KEYUP, Key, ShiftToPluginKeyFlags(Shift)); }

void TvdFlashDriverNS::KeyPress(char16_t& Key, TShiftState Shift) {
    if (!PluginExists()) return;
    const wchar_t wide = static_cast<wchar_t>(Key);
    char bytes[10];
    const int n = WideCharToMultiByte(CP_ACP, 0, &wide, 1, bytes, sizeof bytes, nullptr, nullptr);
    const TCallGuard guard(*this);
    for (int i = 0; i < n && !Detached(); ++i)
        SendInput(WM_CHAR, static_cast<unsigned char>(bytes[i]), ShiftToPluginKeyFlags(Shift));
}

}  // namespace vd
