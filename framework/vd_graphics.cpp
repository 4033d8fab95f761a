#include "vd_graphics.h"

#include <cstring>

namespace vd {

COLORREF ColorToRGB(TColor color) {
    if (color < 0) return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color) & 0x00FFFFFFu;
}

TDibSection::TDibSection(int width, int height) : width_(width < 1 ? 1 : width), height_(height < 1 ? 1 : height) {
    info_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info_.bmiHeader.biWidth = width_;
    info_.bmiHeader.biHeight = -height_;  // rows top-down
    info_.bmiHeader.biPlanes = 1;
    info_.bmiHeader.biBitCount = 32;
    info_.bmiHeader.biCompression = BI_RGB;
    bitmap_.Reset(CreateDIBSection(nullptr, &info_, DIB_RGB_COLORS, &bits_, nullptr, 0));
    if (!bitmap_) {
        bits_ = nullptr;
        return;
    }
    dc_.Reset(CreateCompatibleDC(nullptr));
    if (dc_) selected_.emplace(dc_.Get(), bitmap_.Get());
}

HDC TCanvas::Handle() {
    if (!dc_) CreateHandle();
    return dc_;
}

namespace {

TGdiObject MakePen(const TPen& pen) {
    if (pen.Style == psClear) return TGdiObject(CreatePen(PS_NULL, 0, 0));
    const int style = pen.Style == psDash ? PS_DASH : pen.Style == psDot ? PS_DOT : PS_SOLID;
    return TGdiObject(CreatePen(style, pen.Width, ColorToRGB(pen.Color)));
}

}  // namespace

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    HDC dc = Handle();
    if (!dc) return;
    TGdiObject pen = MakePen(Pen);
    TGdiObject brush(Brush.Style == bsClear ? nullptr : CreateSolidBrush(ColorToRGB(Brush.Color)));
    TSelectObject selPen(dc, pen.Get());
    // The hollow stock brush is not ours to delete.
    TSelectObject selBrush(dc, Brush.Style == bsClear ? GetStockObject(HOLLOW_BRUSH) : brush.Get());
    ::Rectangle(dc, x1, y1, x2, y2);
}

void TCanvas::FillRect(const TRect& r) {
    HDC dc = Handle();
    if (!dc || Brush.Style == bsClear) return;
    TGdiObject brush(CreateSolidBrush(ColorToRGB(Brush.Color)));
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    ::FillRect(dc, &rc, static_cast<HBRUSH>(brush.Get()));
}

void TCanvas::CopyRect(const TRect& dest, HDC source, const TRect& sourceRect) {
    HDC dc = Handle();
    if (!dc || !source) return;
    if (dest.Width() == sourceRect.Width() && dest.Height() == sourceRect.Height())
        BitBlt(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), source, sourceRect.Left, sourceRect.Top, SRCCOPY);
    else
        StretchBlt(dc, dest.Left, dest.Top, dest.Width(), dest.Height(), source, sourceRect.Left, sourceRect.Top,
                   sourceRect.Width(), sourceRect.Height(), SRCCOPY);
}

COLORREF TCanvas::GetPixel(int x, int y) {
    HDC dc = Handle();
    return dc ? ::GetPixel(dc, x, y) : CLR_INVALID;
}

}  // namespace vd
