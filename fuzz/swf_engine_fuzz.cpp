// The SWF engine on arbitrary bytes: load, play a few frames forward and back, draw at every
// quality and at a scale. Never crashes or leaks; the pictures stay premultiplied.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vd_swf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vd::swf::LoadResult r = vd::swf::LoadMovie(data, size);
    if (!r.movie) {
        if (r.error.empty()) __builtin_trap();
        return 0;
    }
    vd::swf::Stage stage(r.movie);
    constexpr int kW = 48, kH = 32;
    std::vector<uint32_t> px(kW * kH);
    const vd::swf::Quality qualities[] = {vd::swf::Quality::Low, vd::swf::Quality::Medium, vd::swf::Quality::High,
                                          vd::swf::Quality::Best};
    for (int step = 0; step < 4; ++step) {
        vd::swf::RenderOptions o;
        o.quality = qualities[step];
        o.fillBackground = false;
        o.scaleX = 0.1 + step * 0.5;
        o.scaleY = 0.1 + step * 0.3;
        o.offsetX = step - 1.5;
        std::fill(px.begin(), px.end(), 0u);
        stage.Render(px.data(), kW, kH, kW, o);
        for (uint32_t c : px) {
            uint32_t a = c >> 24;
            if (((c >> 16) & 255) > a || ((c >> 8) & 255) > a || (c & 255) > a) __builtin_trap();
        }
        stage.NextFrame();
    }
    stage.GotoFrame(0);
    stage.GotoFrame(r.movie->FrameCount() - 1);
    stage.GotoFrame(1);
    return 0;
}
