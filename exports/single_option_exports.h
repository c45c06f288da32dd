#pragma once

// The single-option functions that other programs load from the module: the finite-difference
// pricer with its per-node solution and sensitivities, one guarded price or implied volatility,
// and the Black-Scholes implied volatility. None of them lets an exception reach the caller:
// failures come back as a message string (OrvOptionPricer) or as -999.0 (the other two).

#include "platform/export_api.h"
#include "platform/platform.h"

// Builds one option object (scheme 1), solves it and copies the solution along the spot grid into
// the six caller arrays, each of which must hold *NS + 1 values (*NS as passed in). params holds
// volvol, v0, vL, theta, rho and the model code on entry and the six results on return; params[0]
// is first rescaled to exp(log(1 + rootT) * (params[0] - 5 r)). A negative *cpuTime on entry asks
// for the implied volatility in params[4]; on return it holds the CPU seconds of all solves.
// Returns an empty string on success, else the failure's message: null pointers, more than 50000
// spot intervals (the message names the limit; nothing is solved), inputs that no model can
// price (non-finite values, negative v0, vL, theta, |rho| > 1, callPut other than 0 and 1,
// exerciseType other than 0 to 2, a model code that does not round to 0 to 4, sizes that cannot be
// laid), a failed solve, or a price outside the bounds of every option price (model/input_checks.h).
// The message names the argument; nothing is logged. Release the result with the platform's BSTR
// free function (SysFreeString on Windows).
SARNEX_EXPORT platform::Bstr SARNEX_CALL OrvOptionPricer(
    double* spotNodes, double* values, double* firstDerivative, double* secondDerivative,
    double* fifthOutput, double* vegaOutput, double* cpuTime, double S, double K, int NT,
    double rootT, double* params, double r, double d, double reservedValue, int* NS, int* Nv,
    int callPut, int exerciseType, int priceMode, int reservedInt, double* firstFiveArray,
    double* secondFiveArray, double tolExp, double SmaxUser, double VmaxParam, bool bumpMaturity,
    bool bumpVariance, bool nonUniformSGrid, bool reservedFlag, int exercisePeriods);

// One price (or, with returnImpliedVol non-zero, its implied volatility) through the robust
// single-strike solve. priceModeSelector 1 -> one solve, 2 -> Richardson in space, any other
// value -> Richardson in time. Returns -999.0 whenever there is no usable price: inputs that no
// model can price (as for OrvOptionPricer, with modelCode 0 to 4 and a scheme number 1 to 15), a
// solve that failed or gave up, a price outside the bounds of every option price, or no implied
// volatility for it. Every failure leaves a record, naming the argument or the reason, in
// "SV_PDESolverLog.txt" beside the module. 0.0 is a price of zero.
SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDESolver(
    double S, double K, double T, double r, double d, double v0, double vL, double theta,
    double volvol, double rho, int NS, int Nv, int NT, int callPut, int exerciseType,
    int priceModeSelector, int schemeNumber, int returnImpliedVol, double SmaxUser,
    double VmaxParam, int spotGridFlag, int modelCode);

// The Black-Scholes volatility in [1e-15, 2] that reproduces price (callPut 0 call, any other
// value put), or -999.0 when there is none or the inputs are unusable.
SARNEX_EXPORT double SARNEX_CALL ImpliedVol(double price, double S, double K, double T, double r,
                                            double d, int callPut);
