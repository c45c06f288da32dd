#pragma once

// Guarded solves of one option, or of all strikes of one expiry. A negative safe value
// (results[2]) switches to the fallback scheme 15 and then walks a ladder of larger grids; a safe
// value that is no price (zero, not above the no-price marker, or NaN) and the exceptions of the
// solve lead to retries, restarts or a give-up, each recorded in "SV_PDESolverLog.txt". The grid
// sizes and the price mode in force at the end go back through the pointers.

#include "numerics/array.h"

#include <vector>

// Returns results[4] of the final solve (the price, or its implied volatility when requestIVs is
// non-zero); after a give-up the result of the latest solve with a positive price (0.0 when none
// had one); 0.0 after an unrecovered exception. Exceptions while the option object is built reach
// the caller.
double RobustSvPdeSolve(double S, double K, double T, double r, double d, double v0, double vL,
                        double theta, double volvol, double rho, int* NS, int* Nv, int NT,
                        int callPut, int exerciseType, int* priceMode, int schemeNumber,
                        int requestIVs, double SmaxUser, double VmaxParam, int volvolWidening,
                        bool plainModeOnRetry, int modelCode);

// All strikes in one solve. strikeIVsOut receives the per-strike implied volatilities of the
// final solve, or after a give-up those of the latest solve whose per-strike prices were all
// positive; it is left untouched after an unrecovered exception. Returns the safe value of the
// final solve (0.0 after a give-up or an unrecovered exception).
double RobustSvPdeSolveStrikes(double S, std::vector<double> strikes, Array<double>& strikeIVsOut,
                               double T, double r, double d, double v0, double vL, double theta,
                               double volvol, double rho, int* NS, int* Nv, int NT, int callPut,
                               int exerciseType, int* priceMode, int schemeNumber,
                               int requestIVs, double SmaxUser, double VmaxParam,
                               int volvolWidening, int strikeFlag, bool plainModeOnRetry,
                               int modelCode, double varianceExponent, double vMean);
