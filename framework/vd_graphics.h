// Colours, GDI object ownership and the canvas. Win32 only.
#pragma once

#include "vd_win32_owners.h"
#include "vd_windows.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "vd_classes.h"
#include "vd_geometry.h"

namespace vd {

// ---------------------------------------------------------------------------------------
// Colours: 0x00BBGGRR, or a system colour 0xFF0000nn resolved through GetSysColor.
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080, clNavy = 0x800000,
                 clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF,
                 clLime = 0x00FF00, clYellow = 0x00FFFF, clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00,
                 clWhite = 0xFFFFFF, clNone = 0x1FFFFFFF, clDefault = 0x20000000;
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0xFF000000u | static_cast<uint32_t>(index)); }
constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR), clBackground = SystemColor(COLOR_BACKGROUND),
                 clWindow = SystemColor(COLOR_WINDOW), clWindowText = SystemColor(COLOR_WINDOWTEXT),
                 clBtnFace = SystemColor(COLOR_BTNFACE), clBtnShadow = SystemColor(COLOR_BTNSHADOW),
                 clBtnText = SystemColor(COLOR_BTNTEXT), clHighlight = SystemColor(COLOR_HIGHLIGHT),
                 clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT), clGrayText = SystemColor(COLOR_GRAYTEXT),
                 clInfoBk = SystemColor(COLOR_INFOBK), clInfoText = SystemColor(COLOR_INFOTEXT);

// The COLORREF a colour stands for now: system colours are looked up, others kept.
COLORREF ColorToRGB(TColor color);

// ---------------------------------------------------------------------------------------
// Ownership of GDI objects: the project's Win32 owners, under the framework's names.
using win32::TGdiObject;
using win32::TSavedDC;
using win32::TSelectObject;

// A 32-bit top-down DIB section selected into a memory DC of its own. GDI drawing through
// DC() and direct access through Bits() share the same memory.
class TDibSection {
public:
    TDibSection(int width, int height);
    TDibSection(const TDibSection&) = delete;
    TDibSection& operator=(const TDibSection&) = delete;

    bool Valid() const { return bits_ != nullptr; }
    HDC DC() const { return dc_.Get(); }
    HBITMAP Bitmap() const { return static_cast<HBITMAP>(bitmap_.Get()); }
    uint32_t* Bits() const { return static_cast<uint32_t*>(bits_); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const BITMAPINFO& Info() const { return info_; }
    uint32_t Pixel(int x, int y) const {
        return Bits()[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
    }

private:
    BITMAPINFO info_{};
    int width_;
    int height_;
    void* bits_ = nullptr;
    // Declared in this order so the bitmap leaves the DC before either is deleted.
    TGdiObject bitmap_;
    win32::TMemoryDC dc_;
    std::optional<TSelectObject> selected_;
};

// ---------------------------------------------------------------------------------------

enum TPenStyle { psSolid, psDash, psDot, psClear };
enum TBrushStyle { bsSolid, bsClear };

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
};

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

// Drawing on a device context. The pen and brush are made into GDI objects for each
// operation and deselected and deleted after it, so the canvas never leaves objects of its
// own selected in a context it only borrows.
class TCanvas : public TObject {
public:
    std::string ClassName() const override { return "TCanvas"; }
    ~TCanvas() override = default;

    // The device context; a canvas that can get one itself (a control's) does so here.
    HDC Handle();
    void SetHandle(HDC dc) { dc_ = dc; }
    bool HandleAllocated() const { return dc_ != nullptr; }

    TPen Pen;
    TBrush Brush;

    // Outline with the pen and fill with the brush, as GDI's Rectangle draws it (the right
    // and bottom edges are outside).
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    // Fills with the brush, no outline.
    void FillRect(const TRect& r);
    // Copies a rectangle of another context into one of this canvas (stretched when sizes differ).
    void CopyRect(const TRect& dest, HDC source, const TRect& sourceRect);
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
        CopyRect(dest, source.Handle(), sourceRect);
    }
    COLORREF GetPixel(int x, int y);

protected:
    virtual void CreateHandle() {}
    HDC dc_ = nullptr;
};

}  // namespace vd
