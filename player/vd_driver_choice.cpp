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

bool TvdActiveXCheck::Run(const TvdFlashDriverClass*& defaultClass, const TvdFlashDriverClass* activeXClass) {
    if (done_ || !probe_) return false;
    done_ = true;
    if (!probe_()) return false;
    available_ = true;
    if (activeXClass) defaultClass = activeXClass;
    return true;
}

}  // namespace vd
