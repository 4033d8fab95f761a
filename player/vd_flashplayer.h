// The player core: applications include this one header.
#pragma once

#include "vd_driver_choice.h"
#include "vd_pixels.h"

#ifdef _WIN32
#include "vd_flashdriver.h"
#include "vd_flashplayer_ctl.h"
#endif
