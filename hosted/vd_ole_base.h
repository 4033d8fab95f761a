// Stands in for the header of vd_ole_base.idl: the generated control header includes it, and
// the real declarations of IUnknown, IDispatch and the OLE Automation types come from here.
#pragma once
#include "vd_windows.h"

#include <oaidl.h>
#include <ole2.h>
