// The player core: applications include this one header.
#pragma once

#include "vd_driver_choice.h"
#include "vd_flashstore.h"
#include "vd_movienames.h"
#include "vd_pixels.h"

#ifdef _WIN32
#include "vd_flashdriver.h"
#include "vd_flashplayer_comp.h"
#include "vd_flashplayer_ctl.h"
#include "vd_flashplayer_wnd.h"
#include "vd_movieres.h"

namespace vd {

// Player unit start-up and shut-down (counted: only the first initialization acts). Sets the
// default driver class, registers the players and the movie store's classes for form files and
// installs the file-existence test the movie names use. Applications call it before making
// players; never from DllMain or a static constructor (it may come to load the hosted player).
void InitializeFlashPlayerUnit();
void FinalizeFlashPlayerUnit();

}  // namespace vd
#endif
