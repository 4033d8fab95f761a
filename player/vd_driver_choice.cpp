#include "vd_driver_choice.h"

namespace vd {

bool DriverAvailable(const TvdFlashDriverClass* cls) { return cls && cls->PluginExists && cls->PluginExists(); }

const TvdFlashDriverClass& ChooseFlashDriverClass(TvdPlugin plugin, const TvdFlashDriverClass* defaultClass,
                                                  const TvdFlashDriverClass* activeX,
                                                  const TvdFlashDriverClass* netscape,
                                                  const TvdFlashDriverClass& inert) {
    const bool haveActiveX = DriverAvailable(activeX);
    const bool haveNetscape = DriverAvailable(netscape);
    if (plugin == vdDefault && DriverAvailable(defaultClass)) return *defaultClass;
    if ((plugin == vdActiveX && haveActiveX) || (haveActiveX && !haveNetscape)) return *activeX;
    if (haveNetscape) return *netscape;
    return inert;
}

namespace {

const char* PluginName(TvdPlugin plugin) {
    switch (plugin) {
        case vdNetscape:
            return "vdNetscape";
        case vdActiveX:
            return "vdActiveX";
        default:
            return "vdDefault";
    }
}

// Why `cls` (the class of a form the player asked for) did not serve: its unit never
// registered it, or the unit found no player of that form.
std::string WhyMissing(const TvdFlashDriverClass* cls, const char* form, const char* startup) {
    if (!cls)
        return std::string(" (the ") + form + " driver unit is not started: " + startup +
               " or InitializeFlashPackage() registers it)";
    return std::string(" (the ") + form + " driver unit is started but finds no " + form + " player)";
}

}  // namespace

std::string DescribeDriverChoice(TvdPlugin plugin, const TvdFlashDriverClass* activeX,
                                 const TvdFlashDriverClass* netscape, const TvdFlashDriverClass& inert,
                                 const std::string& got) {
    std::string text = std::string("asked for ") + PluginName(plugin) + ", got " + (got.empty() ? "no driver" : got);
    const auto served = [&](const TvdFlashDriverClass* cls) { return cls && got == cls->Name; };
    if (plugin == vdNetscape && !served(netscape)) {
        text += WhyMissing(netscape, "Netscape", "InitializeDriverNetscapeUnit()");
    } else if (plugin == vdActiveX && !served(activeX)) {
        text += WhyMissing(activeX, "ActiveX", "InitializeDriverActiveXUnit()");
    } else if (plugin == vdDefault && got == inert.Name) {
        // The default takes whatever form is there; with neither driver unit started none is.
        text += !netscape && !activeX ? " (no driver unit is started: InitializeFlashPackage() starts both)"
                                      : " (the driver units started find no Flash Player)";
    }
    if (got == inert.Name) text += "; the inert driver plays no movie";
    return text;
}

bool TvdActiveXCheck::Run(const TvdFlashDriverClass*& defaultClass, const TvdFlashDriverClass* activeXClass) {
    if (done_ || !probe_) return false;
    done_ = true;
    if (!probe_()) return false;
    available_ = true;
    if (activeXClass) defaultClass = activeXClass;
    return true;
}

}  // namespace vd
