#pragma once

// The calibration objective of a whole option chain in one call, for other programs' optimisers:
// the chain is read from "OptionsData.txt" beside the module (count-first layout, see
// calibration/count_first_chain.h), every option is priced by the finite-difference solves at the
// given parameters, and the result is the root mean square of (model IV - market IV) over the
// options of the file.
//
// Common arguments: v0, vL, theta (mean-reversion rate), volvol, rho; NS, Nv, NT the base grid
// sizes (cheap options and long expiries get more); schemeNumber (1 to 15); priceModeSelector
// (1 one solve, 2 Richardson in space, any other value Richardson in time); SmaxUser the spot-grid
// upper end (values above 0 take effect); vcritQuantile q: below 1 the probability level of the
// critical variances that bound the variance grids, from 1 on the grid bound itself; spotGridFlag
// forwarded to the option objects.
//
// Results other than the error: 10000.0 when the file cannot be opened; -999.0 when its count is
// below 1, a counted row is missing or unreadable (or has no positive spot, strike and expiry), a
// grid size is not positive or the scheme number unknown; 0.0 when a solve or a critical variance
// failed. Each of them leaves a record in "SV_PDESolverLog.txt" beside the module. No exception
// reaches the caller.

#include "platform/export_api.h"

// Option by option, the options dealt by cost over the threads. modelCode: 0 square-root variance,
// 1 GARCH diffusion, 2 ORV-X1, 3 inverse-gamma vol, 4 XGBM vol.
SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int modelCode);

// Expiry by expiry, all strikes of an expiry in one solve, in the calling thread; strikeVectorFlag
// (non-zero: set) switches on the per-strike negative-value check of the multi-strike solve.
SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDECalibrationM(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int strikeVectorFlag, int modelCode);

// GARCH_VanillaPDECalibration with model code 0.
SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag);

// GARCH_VanillaPDECalibrationM with strikeVectorFlag 0 and model code 0.
SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaPDECalibrationM(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag);

// variantSelector 3: GARCH_VanillaPDECalibration; any other value: GARCH_VanillaPDECalibrationM
// with variantSelector as its strikeVectorFlag.
SARNEX_EXPORT double SARNEX_CALL SVPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int variantSelector, int modelCode);
