// Coverage ramps along the traced arms of a two-sided corner.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <CornerFamily family, class Pixel>
void RampLeftArm(const EdgeContext<Pixel>& ctx) { (void)ctx; }

template <CornerFamily family, class Pixel>
void RampRightArm(const EdgeContext<Pixel>& ctx) { (void)ctx; }

template <CornerFamily family, class Pixel>
void RampUpArm(const EdgeContext<Pixel>& ctx) { (void)ctx; }

template <CornerFamily family, class Pixel>
void RampDownArm(const EdgeContext<Pixel>& ctx) { (void)ctx; }

}  // namespace corvalin
