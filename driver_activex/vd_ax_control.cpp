#include "vd_ax_unit.h"

namespace vd {}  // namespace vd
