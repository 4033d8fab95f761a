// The player unit's start-up and shut-down: what an application runs once before it makes
// players. Kept apart from the driver base, which knows nothing of the controls built on it.
#include "vd_flashplayer.h"

namespace vd {

namespace {
int unitInitCount = 0;
}

void InitializeFlashPlayerUnit() {
    if (unitInitCount++ != 0) return;
    DefaultFlashDriverClass = &TvdFlashDriver::Class();
    // Forms name the players and the movie store by class: make them known to the form reader.
    RegisterClass(TvdFlashPlayer::StaticClassInfo());
    RegisterClass(TvdCustomFlashPlayerWnd::StaticClassInfo());
    RegisterClass(TvdFlashPlayerWnd::StaticClassInfo());
    RegisterClass(TvdFlashPlayerComp::StaticClassInfo());
    RegisterFlashStoreClasses();
    // Movie names that are local files are tested against the real file system.
    InstallWin32FileExists();
}

void FinalizeFlashPlayerUnit() {
    if (unitInitCount > 0) --unitInitCount;
}

}  // namespace vd
