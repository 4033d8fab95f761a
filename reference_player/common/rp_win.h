// Windows side shared by the reference player's two DLLs: drawing a frame with GDI, the
// fault switches and timer setting read from the environment, and the test hooks each DLL
// exports (journal, frame stepping, triggers).
#pragma once

#include "rp_engine.h"

#include "vd_windows.h"

#include <functional>
#include <string>

namespace vd::rp {

// Draws one frame of `player` laid out in width x height at (x, y) of dc, inside the dc's
// own clip region and never outside that rectangle. Deterministic: the same frame gives the
// same pixels. A movie the engine draws is composited with its per-pixel alpha (AlphaBlend of
// the premultiplied picture), so drawn over black and over white it gives back the engine's
// colours and alpha exactly; other media get the stand-in picture (a panel blended at 50%
// coverage and an opaque bar).
void DrawFrame(HDC dc, int x, int y, int width, int height, Player& player);

// VDRP_FAULTS and VDRP_TIMER ("off" switches frame timers off), read by the DLL's first entry
// point after it loads (never from DllMain).
struct Settings {
    Faults faults;
    bool timers = true;
};
Settings ReadSettings();

// The process-wide journal of the DLL.
Journal& TheJournal();
void Log(const std::string& line);

std::string Hex(uintptr_t v);

// Test hooks: the front end registers how to reach its current instance.
struct TestHooks {
    std::function<int(int frames)> step;  // -1 without an instance
    std::function<bool(const std::string&, const std::string&)> fsCommand;
    // false without an instance; answer receives the host's answer
    std::function<bool(const std::string& name, const std::vector<ExtValue>& args, std::string& answer)> callHost;
    std::function<void(bool)> setTimers;
    // Switches the faults of the DLL's instances (the control: the current one) to `list`.
    std::function<void(const std::string& list)> setFaults;
};
TestHooks& Hooks();

}  // namespace vd::rp
