// Register and the unit's start-up: Win32 only, since they name the player classes.
#include "vd_flashreg.h"

#include "vd_flashplayer.h"
#include "vd_layer.h"

namespace vd {

namespace {
int unitInitCount = 0;
}

void InitializeFlashRegUnit() { ++unitInitCount; }

void FinalizeFlashRegUnit() {
    if (unitInitCount > 0) --unitInitCount;
}

int FlashRegUnitInitCount() { return unitInitCount; }

void Register() {
    RegisterComponents(kVidoraPalettePage, {&TvdFlashList::StaticClassInfo(), &TvdFlashPlayer::StaticClassInfo(),
                                            &TvdFlashPlayerWnd::StaticClassInfo(),
                                            &TvdFlashPlayerComp::StaticClassInfo(), &TvdFlashLayer::StaticClassInfo()});
    RegisterPropertyEditor(TPropKind::WideString, &TvdFlashStream::StaticClassInfo(), "FlashStore",
                           FlashStreamPropertyClass());
    // Not TvdFlashLayer: it does not descend from TvdFlashPlayerWnd and keeps the ordinary
    // string editor for its Skin.
    RegisterPropertyEditor(TPropKind::String, &TvdFlashPlayer::StaticClassInfo(), "Skin", SkinPropertyClass());
    RegisterPropertyEditor(TPropKind::String, &TvdFlashPlayerWnd::StaticClassInfo(), "Skin", SkinPropertyClass());
    RegisterPropertyEditor(TPropKind::String, &TvdFlashPlayerComp::StaticClassInfo(), "Skin", SkinPropertyClass());
}

}  // namespace vd
