#pragma once

// The grid-refinement rule of the bounded calibration runs. After every iteration of the bounded
// search the current parameters are compared with thresholds beyond which the PDE grids of the
// settings are too coarse; a crossed threshold raises its refinement level in the settings and
// ends the run with stop reason gridRefinementStop, so that main can enlarge the grids and run
// again from the parameters reached. Levels only rise, so one crossing stops one run only.
//
// main's call:
//   LevmarIterationHook hook = gridRefinementHook(settings);
//   dlevmar_bc_dif_hooked(CalibrationObjective, p, x, 5, n, lb, ub, nullptr, 1000, opts, info,
//                         nullptr, nullptr, &settings, &hook);
//   while (info[6] == gridRefinementStop) { enlarge the grids from the levels; run again }

#include "calibration/calibration_settings.h"
#include "levmar/levmar.h"

constexpr int gridRefinementStop = levmarHookStopReason;

// Applies the rule to the five parameters p after iteration k (0-based, counted from the start of
// the run): raises the levels of every threshold crossed, in table order on the levels as they
// stand, and returns whether any level rose.
bool gridRefinementCheck(CalibrationSettings& settings, const double* p, int k);

// The iteration hook that applies gridRefinementCheck to settings (which must outlive the run).
LevmarIterationHook gridRefinementHook(CalibrationSettings& settings);
