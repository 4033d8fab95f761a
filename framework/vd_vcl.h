// The visual half of the component framework: applications include this one header.
// Win32 only.
#pragma once

#include "vd_classes.h"
#include "vd_comobj.h"
#include "vd_controls.h"
#include "vd_filer.h"
#include "vd_forms.h"
#include "vd_geometry.h"
#include "vd_graphics.h"
#include "vd_winstr.h"
