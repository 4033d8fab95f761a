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
// How many start-ups the unit has not yet seen matched by a shut-down.
int FlashPlayerUnitInitCount();
// Names every component class of the package with the start-up that registers it, for the
// EClassNotFound a form naming one raises while its unit is not started. Every unit's start-up
// calls it.
void RegisterFlashClassStartups();

// The player's driver choice in one line: what its Plugin asked for, the driver it holds
// (Driver()) and, when that is not the one asked for, why: the driver unit was not started
// (naming the start-up that registers it) or the unit found no Flash Player of that form.
std::string DriverChoiceReport(const TvdDriverOwner& player);

}  // namespace vd
#endif
