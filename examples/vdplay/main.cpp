// vdplay: puts a transparent and an opaque TvdFlashPlayer on a form with a patterned
// background, has each play a built-in movie when a Flash Player is found (the build puts the
// reference player's plugin library beside the EXE), shows the form, renders it (the form
// painting itself and its controls into a memory DC) into a PNG and says what it did.
//
//   vdplay [OUTPUT.png]        (default: form.png)
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "vd_driver_netscape.h"
#include "vd_flashplayer.h"
#include "vd_vcl.h"

using namespace vd;

namespace {

constexpr int kCell = 16;
constexpr COLORREF kLight = RGB(236, 226, 198);
constexpr COLORREF kDark = RGB(70, 110, 150);

// The form's background: a checkerboard, so what shows through a player is easy to see.
void PaintPattern(TCanvas& canvas, int width, int height) {
    canvas.Pen.Style = psClear;
    for (int y = 0; y < height; y += kCell)
        for (int x = 0; x < width; x += kCell) {
            canvas.Brush.Color = static_cast<TColor>(((x / kCell + y / kCell) % 2) ? kDark : kLight);
            canvas.FillRect(Rect(x, y, x + kCell, y + kCell));
        }
}

std::string DriverName(const TvdFlashPlayer& p) { return p.Driver() ? p.Driver()->ClassName() : "(none)"; }

bool WritePng(const TDibSection& dib, const std::string& path) {
    std::vector<unsigned char> rgba(static_cast<size_t>(dib.Width()) * dib.Height() * 4);
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            const uint32_t p = dib.Pixel(x, y);
            unsigned char* o = &rgba[(static_cast<size_t>(y) * dib.Width() + x) * 4];
            o[0] = static_cast<unsigned char>(p >> 16);
            o[1] = static_cast<unsigned char>(p >> 8);
            o[2] = static_cast<unsigned char>(p);
            o[3] = 255;
        }
    return stbi_write_png(path.c_str(), dib.Width(), dib.Height(), 4, rgba.data(), dib.Width() * 4) != 0;
}

uint32_t Rgb(uint32_t pixel) { return pixel & 0xFFFFFF; }

}  // namespace

int main(int argc, char** argv) {
    const std::string output = argc > 1 ? argv[1] : "form.png";
    InitializeFlashPlayerUnit();
    InitializeDriverNetscapeUnit();
    int status = 0;
    try {
        auto form = std::make_unique<TForm>(nullptr);
        form->SetName("DemoForm");
        form->SetCaption("vdplay");
        form->SetBounds(80, 60, 400, 260);
        form->SetClientWidth(360);
        form->SetClientHeight(200);
        TForm* f = form.get();
        form->SetOnPaint([f](TObject*) { PaintPattern(*f->Canvas(), f->ClientWidth(), f->ClientHeight()); });
        form->HandleNeeded();

        auto* clear = new TvdFlashPlayer(f);
        clear->SetName("TransparentPlayer");
        clear->SetParent(f);
        clear->SetBounds(24, 24, 144, 152);

        auto* solid = new TvdFlashPlayer(f);
        solid->SetName("OpaquePlayer");
        solid->SetTransparent(false);
        solid->SetColor(clTeal);
        solid->SetParent(f);
        solid->SetBounds(192, 24, 144, 152);

        // Built-in movies (resources of this EXE), so the demo needs no files of its own.
        clear->SetMovie(u"ArcticOverAll.swf");
        solid->SetMovie(u"SteelOverAll.swf");

        Application().MainForm = f;
        f->Show();
        Application().ProcessMessages();

        std::printf("Form %s: client area %dx%d, checkerboard background, shown.\n", f->GetName().c_str(),
                    f->ClientWidth(), f->ClientHeight());
        const bool netscape = DriverAvailable(FlashDriverNSClass);
        const bool anyFlash = netscape || DriverAvailable(FlashDriverActiveXClass);
        if (netscape) std::printf("Flash Player: Netscape plugin %s\n", WideToUtf8(NetscapePluginPath()).c_str());
        else
            std::printf("Flash Player: %s\n",
                        anyFlash ? "found" : "none available, so every player gets the inert driver (no movie plays)");
        for (TvdFlashPlayer* p : {clear, solid})
            std::printf("  %s at (%d,%d) %dx%d: driver %s, %s, movie %s\n", p->GetName().c_str(), p->GetLeft(),
                        p->GetTop(), p->GetWidth(), p->GetHeight(), DriverName(*p).c_str(),
                        p->GetTransparent() ? "transparent (the form shows through)" : "opaque (its colour, teal)",
                        p->GetMovie().empty() ? "none" : WideToUtf8(p->GetMovie()).c_str());

        TDibSection picture(f->ClientWidth(), f->ClientHeight());
        if (!picture.Valid()) throw Exception("Cannot create the picture buffer");
        f->PaintTo(picture.DC(), 0, 0);
        GdiFlush();

        // Read the picture back: the transparent player's area must show the pattern, the
        // opaque one its colour.
        const int cx = clear->GetLeft() + kCell / 2, cy = clear->GetTop() + kCell / 2;
        const uint32_t expectedPattern = (((cx / kCell + cy / kCell) % 2) ? kDark : kLight);
        const uint32_t seenClear = Rgb(picture.Pixel(cx, cy));
        const uint32_t seenSolid = Rgb(picture.Pixel(solid->GetLeft() + 10, solid->GetTop() + 10));
        // The player's own buffer holds the form's image under it (not just the form showing
        // around a player that drew nothing).
        const TvdFlashDriver* d = clear->Driver();
        const uint32_t buffered = d && d->Bits ? Rgb(d->Bits[(kCell / 2) * d->Width + kCell / 2]) : 0xFFFFFFFFu;
        const bool clearOk =
            seenClear == Rgb(ColorToOpaquePixel(static_cast<TColor>(expectedPattern))) && buffered == seenClear;
        const bool solidOk = seenSolid == Rgb(ColorToOpaquePixel(clTeal));
        std::printf("Check: transparent player's buffer holds the pattern under it: %s (pixel #%06X, buffer #%06X)\n",
                    clearOk ? "yes" : "NO", static_cast<unsigned>(seenClear), static_cast<unsigned>(buffered));
        std::printf("Check: opaque player shows its colour: %s (pixel #%06X)\n", solidOk ? "yes" : "NO",
                    static_cast<unsigned>(seenSolid));
        // A movie plays when the player knows its frames and its picture shows on the form: the
        // reference player draws an opaque progress bar across the middle (track, or the part
        // of it the frames played so far fill).
        bool moviesOk = true;
        for (TvdFlashPlayer* p : {clear, solid}) {
            const int frames = p->GetTotalFrames();
            const int tx = p->GetLeft() + p->GetWidth() - p->GetWidth() / 4 - 2, ty = p->GetTop() + p->GetHeight() / 2;
            const uint32_t track = Rgb(picture.Pixel(tx, ty));
            const bool plays = frames > 0 && (track == 0x202020 || track == 0xF0A030);
            if (anyFlash) moviesOk = moviesOk && plays;
            std::printf("Check: %s %s (%d frames, track pixel #%06X)\n", p->GetName().c_str(),
                        plays ? "plays its movie" : "plays no movie", frames, static_cast<unsigned>(track));
        }
        if (!WritePng(picture, output)) throw Exception("Cannot write " + output);
        std::printf("Picture of the form: %s (%dx%d)\n", output.c_str(), picture.Width(), picture.Height());
        if (!clearOk || !solidOk || !moviesOk) status = 1;
        Application().MainForm = nullptr;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vdplay: %s\n", e.what());
        status = 1;
    }
    FinalizeDriverNetscapeUnit();
    FinalizeFlashPlayerUnit();
    return status;
}
