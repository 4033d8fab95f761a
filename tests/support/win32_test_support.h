// Helpers shared by the Win32 tests: reading pixels back from real DIB sections, and a form
// whose background is a known pattern.
#pragma once

#include "vd_windows.h"

#include <cstdint>
#include <memory>

#include "vd_vcl.h"

namespace vdtest {

// RGB of a DIB pixel (the alpha byte is ignored: GDI leaves it 0).
inline uint32_t Rgb(uint32_t pixel) { return pixel & 0xFFFFFFu; }
// RGB, as a DIB stores it, of a COLORREF.
inline uint32_t RgbOf(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// Renders a control (and its children) into a fresh DIB section of the given size.
inline std::unique_ptr<vd::TDibSection> Render(vd::TWinControl& control, int width, int height,
                                               uint32_t fill = 0x123456) {
    auto dib = std::make_unique<vd::TDibSection>(width, height);
    for (int i = 0; i < width * height; ++i) dib->Bits()[i] = fill;
    control.PaintTo(dib->DC(), 0, 0);
    GdiFlush();
    return dib;
}

// Vertical stripes 4 pixels wide: stripe colour is a function of x only, easy to predict.
constexpr COLORREF kStripeA = RGB(200, 40, 10);
constexpr COLORREF kStripeB = RGB(10, 90, 220);
inline COLORREF StripeAt(int x) { return ((x / 4) % 2) ? kStripeB : kStripeA; }

class TStripedForm : public vd::TForm {
public:
    explicit TStripedForm(vd::TComponent* owner) : vd::TForm(owner) {
        SetOnPaint([this](vd::TObject*) {
            vd::TCanvas& c = *Canvas();
            c.Pen.Style = vd::psClear;
            for (int x = 0; x < ClientWidth(); x += 4) {
                c.Brush.Color = static_cast<vd::TColor>(StripeAt(x));
                c.FillRect(vd::Rect(x, 0, x + 4, ClientHeight()));
            }
        });
    }
};

// A shown form with the given client size and its window created.
template <class F = vd::TForm> std::unique_ptr<F> MakeForm(int clientWidth, int clientHeight) {
    auto f = std::make_unique<F>(nullptr);
    f->SetBounds(10, 10, 300, 200);
    f->HandleNeeded();
    f->SetClientWidth(clientWidth);
    f->SetClientHeight(clientHeight);
    return f;
}

}  // namespace vdtest
