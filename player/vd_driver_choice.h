// Which driver class a player gets: the choice over driver classes as values, and the
// once-per-process ActiveX availability check. The driver classes themselves (and the
// routine that builds and wires the driver, ChangePlugin) are in vd_flashdriver.h; this part
// knows them only as class values, so it is platform-free and drivers plug in as values.
#pragma once

#include <cstdint>
#include <string>

namespace vd {

class TvdFlashDriver;

// Requested driver form; stored in one byte.
enum TvdPlugin : uint8_t { vdDefault, vdNetscape, vdActiveX };

// A driver class as a value: its name, its class operation PluginExists and its constructor
// Create(Width, Height, Background).
struct TvdFlashDriverClass {
    const char* Name;
    bool (*PluginExists)();
    TvdFlashDriver* (*Create)(int width, int height, uint32_t background);
};

// True when the class is given and answers PluginExists with True.
bool DriverAvailable(const TvdFlashDriverClass* cls);

// The first class whose condition holds:
//   1. vdDefault and defaultClass available: defaultClass;
//   2. (vdActiveX and activeX available) or (activeX available and netscape not): activeX;
//   3. netscape available: netscape;
//   4. otherwise the inert class.
// A request is a preference: a missing form falls back to the other, then to the inert one.
const TvdFlashDriverClass& ChooseFlashDriverClass(TvdPlugin plugin, const TvdFlashDriverClass* defaultClass,
                                                  const TvdFlashDriverClass* activeX,
                                                  const TvdFlashDriverClass* netscape,
                                                  const TvdFlashDriverClass& inert);

// One line saying which driver a player asked for, which one it got and, when it did not get
// the one it asked for, why: the asked-for form's unit was not started (its class was never
// registered, so selection cannot see it; the line names the start-up that registers it), or
// the unit is started but finds no player of that form. `got` is the class name of the driver
// the player holds ("" when it has none); `inert` the class that plays nothing.
std::string DescribeDriverChoice(TvdPlugin plugin, const TvdFlashDriverClass* activeX,
                                 const TvdFlashDriverClass* netscape, const TvdFlashDriverClass& inert,
                                 const std::string& got);

// The ActiveX availability check, done once per process: the first Run with a probe asks it
// whether the Flash control can be created; when it can, the ActiveX class is marked available
// and becomes the default driver class. Later runs change nothing. Runs while no probe is
// installed (the ActiveX driver installs it) do nothing and do not use up the check.
class TvdActiveXCheck {
public:
    using TProbe = bool (*)();
    void Install(TProbe probe) { probe_ = probe; }
    bool Installed() const { return probe_ != nullptr; }
    // Returns true when this call made ActiveX the default.
    bool Run(const TvdFlashDriverClass*& defaultClass, const TvdFlashDriverClass* activeXClass);
    bool Done() const { return done_; }
    bool Available() const { return available_; }

private:
    TProbe probe_ = nullptr;
    bool done_ = false;
    bool available_ = false;
};

}  // namespace vd
