// Typed property access by DISPID, method invocation and the enumerated properties' display
// strings from the control's type information.
#include "vd_ax_unit.h"

namespace vd {}  // namespace vd
