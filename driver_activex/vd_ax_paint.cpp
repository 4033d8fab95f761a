// Rendering into the buffers through the control's view, and the player's input forwarded to
// the windowless control as window messages.
#include "vd_ax_unit.h"

#include <algorithm>

namespace vd {

using namespace ax;
using win32::ComPtr;

WPARAM ShiftToKeyFlags(TShiftState Shift) {
    WPARAM flags = 0;
    if (Shift.Contains(ssShift)) flags |= MK_SHIFT;
    if (Shift.Contains(ssCtrl)) flags |= MK_CONTROL;
    if (Shift.Contains(ssAlt)) flags |= 0x20;  // MK_ALT
    if (Shift.Contains(ssLeft)) flags |= MK_LBUTTON;
    if (Shift.Contains(ssRight)) flags |= MK_RBUTTON;
    return flags;
}

namespace {

LPARAM PackPoint(int x, int y) {
    return static_cast<LPARAM>(static_cast<uint32_t>(x & 0xFFFF) | (static_cast<uint32_t>(y & 0xFFFF) << 16));
}

}  // namespace

// ---- Buffers --------------------------------------------------------------------------------

void TvdFlashDriverActiveX::CreateBuffer() {
    TvdFlashDriver::CreateBuffer();
    if (!WindowlessObject) return;
    const RECT area{0, 0, Width, Height};
    WindowlessObject->SetObjectRects(&area, &area);
    Repaint(TRect{0, 0, Width, Height});
}

void TvdFlashDriverActiveX::FreeBuffer() { TvdFlashDriver::FreeBuffer(); }

void TvdFlashDriverActiveX::ResizeBuffer() {
    TvdFlashDriver::ResizeBuffer();
    if (!WindowlessObject) return;
    const RECT area{0, 0, Width, Height};
    WindowlessObject->SetObjectRects(&area, &area);
}

void TvdFlashDriverActiveX::ForceUpdate() { Repaint(TRect{0, 0, Width, Height}); }

bool TvdFlashDriverActiveX::DrawInto(IViewObject* view, HDC dc, const TRect& rect) {
    const win32::TSavedDC saved(dc);
    IntersectClipRect(dc, rect.Left, rect.Top, rect.Right, rect.Bottom);
    // The whole picture from the buffer's origin; the clip keeps it to the rectangle.
    const RECTL bounds{0, 0, rect.Right, rect.Bottom};
    return SUCCEEDED(view->Draw(DVASPECT_OPAQUE, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0));
}

void TvdFlashDriverActiveX::Repaint(const TRect& rect) {
    if (Detached() || !BufferDC) return;  // no buffer: nothing to paint, nothing to report
    PaintPasses(rect, [this](const TRect& area) { RepaintPass(area); });
}

// After each call out (the control's drawing, the application's handlers) the pass goes on
// only while the driver is still its owner's.
void TvdFlashDriverActiveX::RepaintPass(const TRect& rect) {
    // The control may let go of its view while drawing; hold it for this pass.
    const ComPtr<IViewObject> view = ViewObject;
    if (BufferDC && view) {
        if (WhiteBits) {
            // Twice, over opaque black and over opaque white; the difference is the coverage.
            GdiFlush();
            FillLongwordRect(Bits, Width, Height, rect.Left, rect.Top, rect.Right, rect.Bottom, 0xFF000000u);
            bool drawn = DrawInto(view.Get(), BufferDC, rect);
            if (Detached() || !WhiteBits) return;
            FillLongwordRect(WhiteBits, Width, Height, rect.Left, rect.Top, rect.Right, rect.Bottom, 0xFFFFFFFFu);
            drawn = DrawInto(view.Get(), WhiteDC, rect) && drawn;
            if (Detached() || !WhiteBits) return;
            GdiFlush();
            // A failed draw may have left anything behind: the rectangle stays clear instead.
            if (drawn) RecoverAlpha(Bits, WhiteBits, Width, Height, rect.Left, rect.Top, rect.Right, rect.Bottom);
            else FillLongwordRect(Bits, Width, Height, rect.Left, rect.Top, rect.Right, rect.Bottom, 0);
        } else {
            if (const TvdEraseBackgroundEvent erase = OnEraseBackground) erase(this, rect);
            if (Detached() || !BufferDC) return;
            const bool drawn = DrawInto(view.Get(), BufferDC, rect);
            if (Detached()) return;
            GdiFlush();
            // A failed draw may have left anything behind: what lies under the movie instead.
            if (!drawn) {
                if (const TvdEraseBackgroundEvent erase = OnEraseBackground) erase(this, rect);
                if (Detached() || !BufferDC) return;
            }
        }
        DrawUpdateRect(rect);
    }
    if (const TvdPaintEvent paint = OnPaint) paint(this, rect);
}

// ---- Input ----------------------------------------------------------------------------------

bool TvdFlashDriverActiveX::SendMessageToControl(UINT msg, WPARAM wParam, LPARAM lParam) {
    const ComPtr<IOleInPlaceObjectWindowless> control = WindowlessObject;
    if (!control || Detached()) return false;
    const TCallGuard guard(*this, TCallKind::Player);
    LRESULT result = 0;
    return control->OnWindowMessage(msg, wParam, lParam, &result) == S_OK;
}

void TvdFlashDriverActiveX::MouseMessage(UINT msg, WPARAM wParam, int X, int Y, bool menuPress) {
    const ComPtr<IOleInPlaceObjectWindowless> control = WindowlessObject;
    if (!control || Detached()) return;
    const TCallGuard guard(*this, TCallKind::Player);
    if (menuPress) {
        // The coordinates become those of the window the menu is shown for.
        MenuWindowRequest = true;
        const TPoint offset = GetParentOffset();
        X = (X & 0xFFFF) + offset.X;
        Y = (Y & 0xFFFF) + offset.Y;
    }
    LRESULT result = 0;
    const HRESULT hr = control->OnWindowMessage(msg, wParam, PackPoint(X, Y), &result);
    if (Detached()) return;
    if (hr == S_OK && msg >= WM_MOUSEFIRST && msg <= WM_MOUSEWHEEL) {
        result = 0;
        // A consumed mouse message lets the control set its cursor.
        if (!DisableFlashCursor) control->OnWindowMessage(WM_SETCURSOR, 0, PackPoint(HTCLIENT, WM_MOUSEMOVE), &result);
    }
}

void TvdFlashDriverActiveX::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    const UINT msg = Button == mbLeft ? WM_LBUTTONDOWN : Button == mbRight ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
    // Held so the flag below is ours to clear even when a handler freed the driver.
    const TCallGuard guard(*this, TCallKind::Player);
    try {
        MouseMessage(msg, ShiftToKeyFlags(Shift), X, Y, Button == mbRight && !DisableFlashMenu);
    } catch (...) {
        MenuWindowRequest = false;
        throw;
    }
    MenuWindowRequest = false;
}

void TvdFlashDriverActiveX::MouseMove(TShiftState Shift, int X, int Y) {
    MouseMessage(WM_MOUSEMOVE, ShiftToKeyFlags(Shift), X, Y, false);
}

void TvdFlashDriverActiveX::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    const UINT msg = Button == mbLeft ? WM_LBUTTONUP : Button == mbRight ? WM_RBUTTONUP : WM_MBUTTONUP;
    MouseMessage(msg, ShiftToKeyFlags(Shift), X, Y, false);
}

void TvdFlashDriverActiveX::MouseWheel(TShiftState Shift, int X, int Y, int WheelDelta, bool& /*Handled*/) {
    const WPARAM wParam = (ShiftToKeyFlags(Shift) & 0xFFFF) | (static_cast<WPARAM>(WheelDelta & 0xFFFF) << 16);
    MouseMessage(WM_MOUSEWHEEL, wParam, X, Y, false);
}

void TvdFlashDriverActiveX::KeyDown(WORD& Key, TShiftState Shift) {
    if (SendMessageToControl(WM_KEYDOWN, Key, static_cast<LPARAM>(ShiftToKeyFlags(Shift)))) Key = 0;
}

void TvdFlashDriverActiveX::KeyUp(WORD& Key, TShiftState Shift) {
    if (SendMessageToControl(WM_KEYUP, Key, static_cast<LPARAM>(ShiftToKeyFlags(Shift)))) Key = 0;
}

void TvdFlashDriverActiveX::KeyPress(char16_t& Key, TShiftState Shift) {
    // The control reads characters in the system code page, a double-byte one byte by byte.
    const wchar_t unit = static_cast<wchar_t>(Key);
    char bytes[10];
    const int n = WideCharToMultiByte(CP_ACP, 0, &unit, 1, bytes, sizeof bytes, nullptr, nullptr);
    const LPARAM flags = static_cast<LPARAM>(ShiftToKeyFlags(Shift));
    const TCallGuard guard(*this, TCallKind::Player);
    for (int i = 0; i < n && !Detached(); ++i)
        if (SendMessageToControl(WM_CHAR, static_cast<unsigned char>(bytes[i]), flags)) Key = 0;
}

}  // namespace vd
