#pragma once

// Guarded solves of one option, or of all strikes of one expiry. A negative safe value
// (results[2]) switches to the fallback scheme 15 and then walks a ladder of larger grids; a safe
// value that is no price (zero, not above the no-price marker, or NaN) and the exceptions of the
// solve lead to retries, restarts or a give-up, each recorded in "SV_PDESolverLog.txt". The grid
// sizes and the price mode in force at the end go back through the pointers.

#include "numerics/array.h"

#include <string>
#include <vector>

// How a robust solve ended, for callers that must tell a price from a failure. The return values
// keep their meaning (0.0 where no price was found), but 0.0 alone cannot tell a failure from a
// price of zero: pass a status and read it.
//
// failed is set, with the reason in message, when the call has no usable price:
//   - inputs no model can price (see model/input_checks.h: non-finite values, negative v0, vL,
//     theta or volvol, |rho| > 1, unknown callPut, exerciseType or modelCode, grid sizes that
//     cannot be laid), refused before any solve, with an exception record in the log;
//   - an exception that was not retried (the exception record is in the log);
//   - a give-up without any positive price (the "Failed to get a positive value" or memory
//     give-up record is in the log);
//   - a price outside the bounds that every model obeys (below zero, above max(S, S e^(-dT))
//     for a call or max(K, K e^(-rT)) for a put, by more than kPriceBoundTolerance of the
//     bound; an exception record with the price is in the log);
//   - implied volatilities were asked for and none reproduces the price.
// The one-strike solve then returns 0.0. The strikes solve flags each strike in strikeFailed (one
// entry per strike, in the ascending order of strikeIVsOut): a strike whose price is out of
// bounds, or has no implied volatility when they were asked for, or every strike when the call
// as a whole failed; failed is set when any strike is flagged. strikeIVsOut is written as without
// a status (a flagged strike's entry holds 0.0 or a value that is no price). strikeWithoutIV
// marks, among the flagged strikes, those whose price is usable but has no implied volatility
// (a price at or below the reach of the volatility search, say): the model's answer, not a
// failed solve.
struct RobustSolveStatus {
    bool failed = false;
    std::string message;
    std::vector<bool> strikeFailed;
    std::vector<bool> strikeWithoutIV;
};

// Returns results[4] of the final solve (the price, or its implied volatility when requestIVs is
// non-zero); after a give-up the result of the latest solve with a positive price (0.0 when none
// had one); 0.0 after an unrecovered exception. Exceptions while the option object is built reach
// the caller. status, when given, tells whether the result is a usable price (see above).
double RobustSvPdeSolve(double S, double K, double T, double r, double d, double v0, double vL,
                        double theta, double volvol, double rho, int* NS, int* Nv, int NT,
                        int callPut, int exerciseType, int* priceMode, int schemeNumber,
                        int requestIVs, double SmaxUser, double VmaxParam, int volvolWidening,
                        bool plainModeOnRetry, int modelCode,
                        RobustSolveStatus* status = nullptr);

// All strikes in one solve. strikeIVsOut receives the per-strike implied volatilities of the
// final solve, or after a give-up those of the latest solve whose per-strike prices were all
// positive; it is left untouched after an unrecovered exception. Returns the safe value of the
// final solve (0.0 after a give-up or an unrecovered exception). status, when given, flags the
// strikes without a usable price (see above).
double RobustSvPdeSolveStrikes(double S, std::vector<double> strikes, Array<double>& strikeIVsOut,
                               double T, double r, double d, double v0, double vL, double theta,
                               double volvol, double rho, int* NS, int* Nv, int NT, int callPut,
                               int exerciseType, int* priceMode, int schemeNumber,
                               int requestIVs, double SmaxUser, double VmaxParam,
                               int volvolWidening, int strikeFlag, bool plainModeOnRetry,
                               int modelCode, double varianceExponent, double vMean,
                               RobustSolveStatus* status = nullptr);
