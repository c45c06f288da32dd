#pragma once

// What no model can price, refused before any grid is laid: the checks that the exported pricers
// and the robust solves run on their inputs, the limits on grid sizes and step counts, and the
// bounds that every option price obeys whatever the model and the exercise style. Each check
// returns the text of the first failure, naming the argument, or an empty string.

#include <string>

// Spot or variance intervals of one grid. Far beyond any useful grid, and small enough that the
// sizes the solves derive from it (doubled for Richardson, 10/23 or 4/3 of it in the retries)
// stay within int.
constexpr int kMaxGridIntervals = 1000000;
// Nodes of one spot x variance grid. Doubled in both directions by the Richardson modes it still
// leaves the operator's rows and non-zeros within the int indices of the sparse solves, and each
// node array within what a 32-bit process can hope to allocate.
constexpr long long kMaxGridNodes = 1LL << 25;
// Time steps of one solve, after any rounding to exercise periods.
constexpr int kMaxTimeSteps = 1000000;

// Spot, strike and expiry positive, rate and dividend yield finite, and e^(-r T) and e^(-d T)
// normal numbers (else the discounting alone loses the price).
std::string contractInputError(double S, double K, double T, double r, double d);

// v0, vL, theta (mean-reversion rate) and volvol finite and not negative, rho in [-1, 1].
std::string modelInputError(double v0, double vL, double theta, double volvol, double rho);

// callPut 0 or 1, exerciseType 0 (European), 1 (American) or 2.
std::string contractCodeError(int callPut, int exerciseType);

// The option object's model selectors 0 to 4; modelCodeValueError takes the double that the
// object rounds half away from zero (NaN and values that round outside 0 to 4 are refused).
std::string modelCodeError(int modelCode);
std::string modelCodeValueError(double modelCode);

// A finite double argument; name is printed in the message.
std::string finiteError(const char* name, double value);

// Sizes that can be represented and laid: NS and Nv in [0, kMaxGridIntervals], NT in
// [0, kMaxTimeSteps], (NS + 1)(Nv + 1) at most kMaxGridNodes. Zero sizes pass: the solves
// refuse them with their own messages.
std::string gridSizeError(int NS, int Nv, int NT);

// Everything above for the inputs of one solve of a robust-solve pricer (K of the first strike).
std::string solveInputError(double S, double K, double T, double r, double d, double v0, double vL,
                            double theta, double volvol, double rho, int NS, int Nv, int NT,
                            int callPut, int exerciseType, int modelCode, double SmaxUser,
                            double VmaxParam);

// Largest price an option can have: max(S, S e^(-d T)) for a call (callPut 0),
// max(K, K e^(-r T)) for a put.
double optionPriceUpperBound(double S, double K, double T, double r, double d, int callPut);

// Slack allowed beyond the bounds, relative to the upper bound: a solve on a coarse grid may
// overshoot a little near them, anything more is no price.
constexpr double kPriceBoundTolerance = 1e-3;

// The price lies in [-tol, upper + tol], tol = kPriceBoundTolerance * upper; empty when it does.
std::string priceBoundsError(double price, double S, double K, double T, double r, double d,
                             int callPut);
