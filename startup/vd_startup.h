// The package's start-up in one call: every unit an application needs, in order. Applications
// include this one header and start the package once before they make players:
//
//     vd::TvdFlashPackage package;   // or InitializeFlashPackage() ... FinalizeFlashPackage()
//
// Win32 only. Never from DllMain or a static constructor: the start-up loads libraries (the
// plugin library, urlmon) and starts OLE, which must not happen under the loader lock.
#pragma once

#include "vd_driver_activex.h"
#include "vd_driver_netscape.h"
#include "vd_flashplayer.h"
#include "vd_layer.h"

namespace vd {

// Starts the player unit, the Netscape driver unit, the ActiveX driver unit and the layer
// unit, in that order; counted like the units (only the first start-up starts them). The
// per-unit calls stay for a program that wants part of the package only.
void InitializeFlashPackage();
// The matching last shut-down stops the four units in the reverse order.
void FinalizeFlashPackage();
// How many start-ups the package has not yet seen matched by a shut-down.
int FlashPackageInitCount();

// The package started for the life of the object.
class TvdFlashPackage {
public:
    TvdFlashPackage() { InitializeFlashPackage(); }
    ~TvdFlashPackage() { FinalizeFlashPackage(); }
    TvdFlashPackage(const TvdFlashPackage&) = delete;
    TvdFlashPackage& operator=(const TvdFlashPackage&) = delete;
};

}  // namespace vd
