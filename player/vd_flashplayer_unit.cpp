// The player unit's start-up and shut-down: what an application runs once before it makes
// players. Kept apart from the driver base, which knows nothing of the controls built on it.
#include "vd_flashplayer.h"

namespace vd {

namespace {
int unitInitCount = 0;
}

void RegisterFlashClassStartups() {
    // Every component class of the package, with the start-up that makes forms know it, so a
    // form naming one whose unit was not started says which call was missing.
    static const char* const kPlayerClasses[] = {"TvdFlashPlayer", "TvdCustomFlashPlayerWnd", "TvdFlashPlayerWnd",
                                                 "TvdFlashPlayerComp", "TvdFlashList"};
    for (const char* name : kPlayerClasses)
        RegisterClassStartup(name, "InitializeFlashPlayerUnit() (or InitializeFlashPackage())");
    RegisterClassStartup("TvdFlashLayer", "InitializeLayerUnit() (or InitializeFlashPackage())");
}

void InitializeFlashPlayerUnit() {
    if (unitInitCount++ != 0) return;
    RegisterFlashClassStartups();
    DefaultFlashDriverClass = &TvdFlashDriver::Class();
    // Forms name the players and the movie store by class: make them known to the form reader.
    RegisterClass(TvdFlashPlayer::StaticClassInfo());
    RegisterClass(TvdCustomFlashPlayerWnd::StaticClassInfo());
    RegisterClass(TvdFlashPlayerWnd::StaticClassInfo());
    RegisterClass(TvdFlashPlayerComp::StaticClassInfo());
    RegisterFlashStoreClasses();
    // Movie names that are local files are tested against the real file system, and the
    // 8-bit names of older stored movies are read in the system code page.
    InstallWin32FileExists();
    InstallWin32NarrowNames();
}

void FinalizeFlashPlayerUnit() {
    if (unitInitCount > 0) --unitInitCount;
}

int FlashPlayerUnitInitCount() { return unitInitCount; }

std::string DriverChoiceReport(const TvdDriverOwner& player) {
    const TvdFlashDriver* driver = player.Driver();
    return DescribeDriverChoice(player.GetPlugin(), FlashDriverActiveXClass, FlashDriverNSClass,
                                TvdFlashDriver::Class(), driver ? driver->ClassName() : std::string());
}

}  // namespace vd
