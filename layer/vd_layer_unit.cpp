// The layer unit's start-up and shut-down: the layered-window update is looked up here, once,
// and never from a static initializer (that would load a library under the loader lock).
#include "vd_layer.h"

#include <utility>

#include "vd_win32_owners.h"

namespace vd {

namespace {
int unitInitCount = 0;
// user32 stays loaded for the life of the process: layers may be updated until the end.
win32::TModule userLibrary;
TUpdateLayeredWindowProc updateLayeredWindow = nullptr;
}  // namespace

TUpdateLayeredWindowProc LayeredWindowUpdate() { return updateLayeredWindow; }

TUpdateLayeredWindowProc SetLayeredWindowUpdate(TUpdateLayeredWindowProc proc) {
    return std::exchange(updateLayeredWindow, proc);
}

void InitializeLayerUnit() {
    if (unitInitCount++ != 0) return;
    InitializeFlashPlayerUnit();
    userLibrary.Reset(LoadLibraryA("user32.dll"));
    if (userLibrary)
        updateLayeredWindow = reinterpret_cast<TUpdateLayeredWindowProc>(
            reinterpret_cast<void*>(GetProcAddress(userLibrary.Get(), "UpdateLayeredWindow")));
    RegisterClass(TvdFlashLayer::StaticClassInfo());
}

// Only counts down: the library stays loaded and the update stays known. The last one lets
// go of the player unit the first one started.
void FinalizeLayerUnit() {
    if (unitInitCount > 0 && --unitInitCount == 0) FinalizeFlashPlayerUnit();
}

}  // namespace vd
