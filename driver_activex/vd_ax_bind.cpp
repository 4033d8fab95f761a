// Movie loading: LoadMovie and LoadMovieFromStream, the bind host, the moniker and the delivery
// of movie data to the control.
#include "vd_ax_unit.h"

namespace vd {}  // namespace vd
