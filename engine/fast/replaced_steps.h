// Every plain function that the fast engine replaces, listed in one place,
// with a compile-time check that a fast context gets the fast form.
//
// The steps call these functions unqualified, so a fast context reaches the
// fast form by argument-dependent lookup. An overload whose signature no
// longer matches the calls would not be found, and the plain form would run
// instead: the same bytes, every test green, the speed gone. Here each
// function's form (its signature over the context) is written once; the
// check fails to compile when the plain form has changed (the list is then
// out of date), when the fast form is no longer of that form, or when the
// form a call resolves to for a fast context is not the fast one.
// CheckReplacedSteps<Pixel, Destination>() runs the checks; the engine's one
// dispatch point instantiates it for every fast context it makes.
#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/fast/scan_rows_fast.h"

namespace corvalin::fast {

namespace replaced_steps_detail {

// What an unqualified call inside the steps sees: both forms of each name.
using corvalin::BlendPixelsByWeight;
using corvalin::BufferRamp;
using corvalin::CrossCentre;
using corvalin::DifferingOfFour;
using corvalin::MeasureJunctionRuns;
using corvalin::MeasureRun;
using corvalin::PixelsDiffer;
using corvalin::RampCrossSides;
using corvalin::ScanRows;
using corvalin::WriteRamp;
using corvalin::WriteStagedRamps;
using corvalin::corner_ramp_detail::ArmRampCount;
using corvalin::straight_run_detail::RunLengthCap;
using fast::ArmRampCount;
using fast::BlendPixelsByWeight;
using fast::BufferRamp;
using fast::CrossCentre;
using fast::DifferingOfFour;
using fast::MeasureJunctionRuns;
using fast::MeasureRun;
using fast::PixelsDiffer;
using fast::RampCrossSides;
using fast::RunLengthCap;
using fast::ScanRows;
using fast::WriteRamp;
using fast::WriteStagedRamps;

// True when `chosen` and `fastForm` are the same function.
template <class Form, Form chosen, Form fastForm>
constexpr bool kIsFastForm =
    std::is_same_v<std::integral_constant<Form, chosen>, std::integral_constant<Form, fastForm>>;

// Compiles only where a function of this form exists.
template <class Form, Form>
constexpr bool kHasForm = true;

// The forms, as functions of the context type.
template <class Ctx>
using P = typename Ctx::Pixel;
template <class Ctx>
using PixelsDifferForm = bool (*)(const Ctx&, const P<Ctx>&, const P<Ctx>&);
template <class Ctx>
using DifferingOfFourForm = uint32_t (*)(const Ctx&, const P<Ctx>&, const P<Ctx>&, const P<Ctx>&,
                                         const P<Ctx>&, const P<Ctx>&);
template <class Ctx>
using BlendPixelsByWeightForm = P<Ctx> (*)(const Ctx&, const P<Ctx>&, const P<Ctx>&, uint32_t);
template <class Ctx>
using ArmRampCountForm = int32_t (*)(const Ctx&, double);
template <class Ctx>
using TraceAndBlendForm = void (*)(Ctx&);
template <class Ctx>
using RunLengthCapForm = int32_t (*)(const Ctx&);
template <class Ctx>
using MeasureRunForm = RunLength (*)(const Ctx&, int32_t, int32_t, int32_t, int32_t, int32_t,
                                     int32_t, int32_t);
template <class Ctx>
using WriteRampForm = void (*)(const Ctx&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                               bool);
template <class Ctx>
using BufferRampForm = void (*)(RampBuffer<P<Ctx>>&, int32_t, const Ctx&, int32_t, int32_t, int32_t,
                                int32_t);
template <class Ctx>
using MeasureJunctionRunsForm = SideRunLengths (*)(const Ctx&, int32_t, int32_t, int32_t, int32_t,
                                                   int32_t);
template <class Ctx>
using WriteStagedRampsForm = void (*)(const Ctx&, const RampBuffer<P<Ctx>>&, int32_t, int32_t,
                                      int32_t, int32_t, SideRunLengths);
template <class Ctx>
using CrossCentreForm = uint32_t (*)(const Ctx&, const P<Ctx>&, const P<Ctx>&, const P<Ctx>&,
                                     const P<Ctx>&, const P<Ctx>&, uint32_t, P<Ctx>&);
template <class Ctx>
using RampCrossSidesForm = void (*)(const Ctx&, uint32_t);
template <class Ctx>
using ScanRowsForm = void (*)(Ctx&, const ProcessRect&, int32_t, int32_t);

}  // namespace replaced_steps_detail

// One line per replaced function: the plain form exists as listed, and an
// unqualified call with a fast context resolves to the fast form.
#define CORVALIN_REPLACED_STEP(Form, plainName, name)                                            \
  static_assert(replaced_steps_detail::kHasForm<replaced_steps_detail::Form<Plain>, &plainName>, \
                "the plain " #name " is no longer of the listed form");                          \
  static_assert(replaced_steps_detail::kIsFastForm<replaced_steps_detail::Form<Fast>,            \
                                                   &replaced_steps_detail::name, &fast::name>,   \
                "a fast context no longer reaches the fast " #name)

template <class Pixel, class Destination>
constexpr bool CheckReplacedSteps() {
  using Plain = EdgeContext<Pixel, Destination, PlainSteps>;
  using Fast = FastContext<Pixel, Destination>;
  constexpr CornerFamily upper = CornerFamily::upper, lower = CornerFamily::lower;
  CORVALIN_REPLACED_STEP(PixelsDifferForm, corvalin::PixelsDiffer, PixelsDiffer);
  CORVALIN_REPLACED_STEP(DifferingOfFourForm, corvalin::DifferingOfFour, DifferingOfFour);
  CORVALIN_REPLACED_STEP(BlendPixelsByWeightForm, corvalin::BlendPixelsByWeight,
                         BlendPixelsByWeight);
  CORVALIN_REPLACED_STEP(ArmRampCountForm, corvalin::corner_ramp_detail::ArmRampCount,
                         ArmRampCount);
  // gcc finds the address of a template named with explicit arguments
  // ambiguous where the call is not, so here both forms are checked alone:
  // of the same form, the fast one is the more specialised and is chosen.
  static_assert(replaced_steps_detail::kHasForm<replaced_steps_detail::TraceAndBlendForm<Plain>,
                                                &corvalin::TraceAndBlend<upper>> &&
                    replaced_steps_detail::kHasForm<replaced_steps_detail::TraceAndBlendForm<Plain>,
                                                    &corvalin::TraceAndBlend<lower>>,
                "the plain TraceAndBlend is no longer of the listed form");
  static_assert(replaced_steps_detail::kHasForm<replaced_steps_detail::TraceAndBlendForm<Fast>,
                                                &fast::TraceAndBlend<upper>> &&
                    replaced_steps_detail::kHasForm<replaced_steps_detail::TraceAndBlendForm<Fast>,
                                                    &fast::TraceAndBlend<lower>>,
                "the fast TraceAndBlend is no longer of the listed form");
  CORVALIN_REPLACED_STEP(RunLengthCapForm, corvalin::straight_run_detail::RunLengthCap,
                         RunLengthCap);
  CORVALIN_REPLACED_STEP(MeasureRunForm, corvalin::MeasureRun, MeasureRun);
  CORVALIN_REPLACED_STEP(WriteRampForm, corvalin::WriteRamp, WriteRamp);
  CORVALIN_REPLACED_STEP(BufferRampForm, corvalin::BufferRamp, BufferRamp);
  CORVALIN_REPLACED_STEP(MeasureJunctionRunsForm, corvalin::MeasureJunctionRuns,
                         MeasureJunctionRuns);
  CORVALIN_REPLACED_STEP(WriteStagedRampsForm, corvalin::WriteStagedRamps, WriteStagedRamps);
  CORVALIN_REPLACED_STEP(CrossCentreForm, corvalin::CrossCentre, CrossCentre);
  CORVALIN_REPLACED_STEP(RampCrossSidesForm, corvalin::RampCrossSides, RampCrossSides);
  CORVALIN_REPLACED_STEP(ScanRowsForm, corvalin::ScanRows, ScanRows);
  return true;
}

#undef CORVALIN_REPLACED_STEP

}  // namespace corvalin::fast
