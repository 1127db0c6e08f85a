// A checked render() call rendered: the array's samples into a frame of the
// module's own, rendered in bands on the call's threads with the GIL
// released, and converted into a new array of the input's shape and dtype.
// The render frames are kept for the next call (at most two, those last
// given back), as the OpenFX plug-in keeps its working frames.
#pragma once

#include <pybind11/numpy.h>

#include "python/arguments.h"

namespace corvalin::python {

py::array RenderArray(const RenderCall& call);

}  // namespace corvalin::python
