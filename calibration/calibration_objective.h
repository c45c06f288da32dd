#pragma once

// The least-squares objective of the console calibrator, in levmar's objective form: for a trial
// vector of the five model parameters it answers one model implied volatility per option of the
// chain in "OptionsData.txt", in (expiry, strike) order, the order of main's market IVs.
//
// Each call stands alone: range checks, a fresh read of the chain, one critical variance per
// expiry (first parallel loop), then one multi-strike finite-difference solve per expiry, the
// solves dealt by estimated cost into at most 20 lists (second parallel loop). The Heston model
// (code 3) is priced semi-analytically instead.

#include "calibration/calibration_settings.h"
#include "calibration/expiry_buckets.h"
#include "calibration/option_quote.h"

#include <string>
#include <vector>

// p: v0 (a volatility for codes 5 and 6), vBar, kappa, xi, rho. hx: n model IVs. m is not read.
// adata: the CalibrationSettings.
//
// A parameter outside its range sets optimizationStopped and throws std::runtime_error
// ("kappa is out of range. Stopping optimization.", ...), leaving hx as it was; NaN fails the
// range checks too. An option without a model IV at p (its solve gave up, was refused or threw,
// or no volatility reproduces its price; on the Heston path a failed or negative price) gets 0.0
// and the evaluation goes on. A failure of the whole evaluation fills hx with NaN, so that the
// search stops (reason 7) instead of going on with stale values: an error while reading the
// chain or outside the strike solves (recorded in "SV_PDESolverLog.txt": a line of 85 '*', the
// message, 85 '*', an empty line), or a chain that does not hold n options after filtering (the
// message "Oops, seems like some more debugging is in order. Press any key to terminate!" on
// standard output; nothing is read from standard input). The Heston path lets the spot-line
// conversion errors of the chain reader through.
void CalibrationObjective(double* p, double* hx, int m, int n, void* adata);

// Throws (after setting optimizationStopped) for the first parameter out of its range for the
// model code: xi, rho, v0, vBar, kappa in that order. Bounds are inclusive.
void checkParameterRanges(const double* p, int modelCode);

// What the objective derives from the settings for the finite-difference models.
struct ObjectiveSetup {
    double varianceExponent = 1.0;
    int pdeModelType = 1;         // model selector of the option objects
    double spotGridStretch = 1.0; // SmaxUser of the solves
    double vmaxQuantileLevel = 0.999999;  // 1 or more: no critical variances
    int priceMode = 4;
};
ObjectiveSetup objectiveSetup(const CalibrationSettings& settings);

// True for ORV-X1 and XGBM vol, which several steps treat apart.
bool isVolatilityOfVarianceGroup(int modelCode);

// Sizes every bucket from the base grid of the settings and sets its variance-grid bound inputs;
// kappa is p[2].
void sizeExpiryBuckets(std::vector<ExpiryBucket>& buckets, const CalibrationSettings& settings,
                       const ObjectiveSetup& setup, double kappa);

// The critical variances of the expiries (first loop and its post-processing).
struct CriticalVariances {
    std::vector<double> expiries;       // distinct, ascending
    std::vector<double> vcrits;         // per expiry
    std::vector<double> meanVariances;  // per expiry (codes 4 and 6; else 0)
    double stationaryVcrit = 0.0;
};

// Runs the first loop (when vmaxQuantileLevel < 1) and the adjustments for codes 4 and 6. A
// failure in any iteration is thrown after the loop (the lowest expiry's first).
CriticalVariances vcritPerExpiryLoop(const std::vector<double>& expiries, const double* p,
                                     int modelCode, double vmaxQuantileLevel);

// The upper end of the variance grid of a bucket's solve (the VmaxParam of the solve): negative
// (a fixed Vmax from the critical variances) when they are on, else the bucket's vmaxLevel.
// Throws when the bucket's expiry is not among the expiries.
double bucketVmaxParam(const ExpiryBucket& bucket, const CriticalVariances& cv, int modelCode,
                       double vmaxQuantileLevel, double* meanArg);

// Prices the buckets of each list (second loop) and returns one IV per strike of every bucket,
// bucket after bucket in the order of buckets, 0.0 for every strike without a model IV (see
// modelIVOrZero). A bucket whose solve throws gets 0.0 for all its strikes and one record in the
// log.
std::vector<double> modelIVPerExpiryLoop(const std::vector<ExpiryBucket>& buckets,
                                         const std::vector<std::vector<std::size_t>>& lists,
                                         const CriticalVariances& cv, const double* p,
                                         const CalibrationSettings& settings,
                                         const ObjectiveSetup& setup);
