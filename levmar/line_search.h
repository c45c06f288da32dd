#pragma once

// Backtracking line search of the bounded iteration (quadratic, then cubic interpolation of the
// half sum of squares along the step, every trial point projected into the box).

#include "levmar/run_state.h"

// Searches along s from p (m values) for a point with sufficient decrease of f = error / 2 along
// the gradient g of that half sum of squares. s is shortened to stepMax when longer. On return
// trial holds the last point tried, residual its residual and trialError its sum of squares.
// False when no acceptable point was found.
bool boxedLineSearch(ResidualEvaluator& evaluate, const double* p, double error, const double* g,
                     double* s, double* trial, double* residual, double& trialError, int m,
                     double stepMax, double stepTolerance, const double* lb, const double* ub);
