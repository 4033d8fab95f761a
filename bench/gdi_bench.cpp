// The Win32 paths, run under Wine by `./run bench`: the host's work for one full 1080p repaint in
// alpha mode (both fills, both draws of an empty picture by the plugin, alpha recovery and the
// player's copy to its canvas) against one full-frame BitBlt, and a stored 100 MB movie handed to
// the plugin (store to NPP_Write) against memcpy of 100 MB, with the memory the host allocates on
// the way. The plugin is the reference player's npswf32.dll beside the EXE. Times are the best of
// several repetitions (wall clock, QueryPerformanceCounter); memory comes from the counting
// operator new. Prints PASS or MISS per goal; exits 1 on a MISS.
#include "vd_windows.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "vd_driver_netscape.h"
#include "vd_flashplayer.h"
#include "vd_flashstore.h"
#include "vd_np_unit.h"
#include "vd_pixels.h"
#include "vd_pixels_simd.h"

#include "alloc_counter.inc"

namespace {

using namespace vd;
using namespace vd::np;

double Now() {
    static const double unit = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return 1.0 / static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * unit;
}

template <class F> double BestOf(int repetitions, F&& f) {
    double best = 1e30;
    for (int i = 0; i < repetitions; ++i) {
        const double t0 = Now();
        f();
        best = std::min(best, Now() - t0);
    }
    return best;
}

// A 32-bit top-down DIB section selected into a memory DC: the canvas the player copies to.
struct TDibCanvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    TDibCanvas(int w, int h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~TDibCanvas() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    TDibCanvas(const TDibCanvas&) = delete;
    TDibCanvas& operator=(const TDibCanvas&) = delete;
};

// ---- One full repaint in alpha mode ---------------------------------------------------------------

std::vector<vdbench::Row> PaintRows() {
    constexpr int kW = 1920, kH = 1080;
    vdbench::Row row{"host paint work, full 1080p repaint in alpha mode", "one full-frame BitBlt", 0, 0, 4.0, "s"};
    if (!TvdFlashDriverNS::PluginExists()) {
        row.Measured = false;
        return {row};
    }
    std::unique_ptr<TvdFlashDriverNS> driver(TvdFlashDriver::NewDriver<TvdFlashDriverNS>(kW, kH, 0x00000000u));
    TDibCanvas canvas(kW, kH);
    // The player's copy to its canvas, as its paint handler does it.
    driver->OnPaint = [&](TObject*, const TRect&) {
        BitBlt(canvas.dc, 0, 0, kW, kH, driver->BufferDC, 0, 0, SRCCOPY);
        GdiFlush();
    };
    driver->ForceUpdate();  // warm up: every page of both buffers touched once
    row.Value = BestOf(15, [&] { driver->ForceUpdate(); });
    row.Base = BestOf(15, [&] {
        BitBlt(canvas.dc, 0, 0, kW, kH, driver->BufferDC, 0, 0, SRCCOPY);
        GdiFlush();
    });
    // Where the time goes, for the notes: the parts the host does itself, timed alone.
    const double fills = BestOf(15, [&] {
        FillLongwordRect(driver->Bits, kW, kH, 0, 0, kW, kH, 0xFF000000u);
        FillLongwordRect(driver->WhiteBits, kW, kH, 0, 0, kW, kH, 0xFFFFFFFFu);
    });
    const double recovery = BestOf(15, [&] { RecoverAlpha(driver->Bits, driver->WhiteBits, kW, kH, 0, 0, kW, kH); });
    std::printf(
        "repaint parts: both fills %s, recovery (%s) %s, copy to the canvas %s, the rest (two plugin "
        "paints, window updates) %s\n",
        vdbench::Figure(fills, "s").c_str(), PixelPathName(ActivePixelPath()), vdbench::Figure(recovery, "s").c_str(),
        vdbench::Figure(row.Base, "s").c_str(), vdbench::Figure(row.Value - fills - recovery - row.Base, "s").c_str());
    return {row};
}

// ---- A stored 100 MB movie delivered ----------------------------------------------------------------

NPP_WriteProcPtr g_pluginWrite = nullptr;
double g_writeEntered = 0;
size_t g_peakAtWrite = 0;

int32_t VD_NP_CDECL TimedWrite(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer) {
    g_writeEntered = Now();
    g_peakAtWrite = vdbench::g_peakBytes.load();
    return g_pluginWrite(instance, stream, offset, len, buffer);
}

std::vector<vdbench::Row> DeliveryRows() {
    constexpr size_t kMovie = size_t{100} * 1024 * 1024;
    vdbench::Row time{"stored 100 MB movie, store -> NPP_Write: time", "memcpy of 100 MB", 0, 0, 2.0, "s"};
    vdbench::Row memory{"stored 100 MB movie delivered: host memory above the store",
                        "the movie's size",
                        0,
                        static_cast<double>(kMovie),
                        1.1,
                        "B"};
    if (!TvdFlashDriverNS::PluginExists() || !np::Unit().PluginFuncs.Funcs.write) {
        time.Measured = memory.Measured = false;
        return {time, memory};
    }
    TvdFlashList list(nullptr);
    TvdFlashStream* item = list.GetFlashs()->Add();
    item->Data().SetSize(static_cast<int64_t>(kMovie));
    std::memset(item->Data().Memory(), 0x5A, kMovie);
    item->SetFlashStore(u"big.swf");
    std::unique_ptr<TvdFlashDriverNS> driver(TvdFlashDriver::NewDriver<TvdFlashDriverNS>(64, 64, 0xFF000000u));

    g_pluginWrite = np::Unit().PluginFuncs.Funcs.write;
    np::Unit().PluginFuncs.Funcs.write = &TimedWrite;
    double best = 1e30, peak = 0;
    for (int i = 0; i < 7; ++i) {
        const size_t before = vdbench::g_liveBytes.load();
        vdbench::g_peakBytes.store(before);
        g_writeEntered = 0;
        const double t0 = Now();
        driver->CreateStream(u"big.swf", nullptr);
        if (g_writeEntered == 0) break;  // the plugin refused the stream: nothing to time
        best = std::min(best, g_writeEntered - t0);
        peak = std::max(peak, static_cast<double>(vdbench::g_peakBytes.load() - before));
    }
    np::Unit().PluginFuncs.Funcs.write = g_pluginWrite;
    if (best >= 1e30) {
        time.Measured = memory.Measured = false;
        return {time, memory};
    }
    time.Value = best;
    memory.Value = peak;
    std::vector<char> from(kMovie, 1), to(kMovie, 2);
    time.Base = BestOf(7, [&] {
        std::memcpy(to.data(), from.data(), kMovie);
        from[0] = to[kMovie / 2];  // keep the copy observable
    });
    return {time, memory};
}

}  // namespace

int main() {
    SetEnvironmentVariableA("VDRP_TIMER", "off");  // the reference player draws only when asked
    InitializeFlashPlayerUnit();
    InitializeDriverNetscapeUnit();
    RegisterFlashStoreClasses();
    std::vector<vdbench::Row> rows = PaintRows();
    for (vdbench::Row& r : DeliveryRows()) rows.push_back(r);
    const int missed = vdbench::PrintRows("Win32 paths under Wine (best of the repetitions, wall clock)", rows);
    FinalizeDriverNetscapeUnit();
    FinalizeFlashPlayerUnit();
    return missed == 0 ? 0 : 1;
}
