// The player core: applications include this one header.
#pragma once

#include "vd_driver_choice.h"
#include "vd_flashstore.h"
#include "vd_movienames.h"
#include "vd_pixels.h"

#ifdef _WIN32
#include "vd_flashdriver.h"
#include "vd_flashplayer_ctl.h"
#include "vd_movieres.h"
#endif
