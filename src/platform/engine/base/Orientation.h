#pragma once
// How a stream's pictures are to be turned to stand as they were filmed, read from its
// display matrix. Pure functions: any thread.
#include <cstdint>

#include "platform/engine/base/Types.h"

struct AVStream;

namespace plim::engine {

// The turn a display matrix (9 values, 16.16 and 2.30 fixed point) asks for; none for a
// null matrix or a turn that is not a quarter.
Orientation orientationOf(const int32_t* matrix);
// The stream's, from its display matrix.
Orientation orientationOf(const AVStream* st);

}  // namespace plim::engine
