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
// Results other than the error, each with a record in "SV_PDESolverLog.txt" beside the module:
//   10000.0 when the file cannot be opened;
//   -999.0 when the call as a whole has no error to give, that is
//     - arguments refused before any solve: grid sizes not positive or too large to be laid, a
//       scheme number outside 1 to 15, or (per expiry) one whose routine prices a single strike per
//       solve (6 to 9, 11); v0, vL, theta, volvol not finite and non-negative, rho outside
//       [-1, 1], modelCode outside 0 to 4, SmaxUser not finite, vcritQuantile not a positive
//       number (model/input_checks.h);
//     - a chain refused before any solve: a count below 1, a counted row missing or unreadable, a
//       row that is no valid option (market IV, S, K, T not positive numbers, r or d not finite,
//       callPut not 0 or 1, exerciseType not 0 to 2), market IVs so large that their squared
//       errors overflow, an expiry whose time steps cannot be laid;
//     - an exception that reached the export (a failed critical variance, say);
//     - no option of the chain priced to an implied volatility.
// Within a call that prices, an option whose solve fails or whose price has no implied volatility
// counts with model IV 0, a large error, and the solves leave their own records. No exception
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
