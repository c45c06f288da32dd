#pragma once

// Model implied volatilities of the Heston model over the chain in "OptionsData.txt" (header
// layout), priced semi-analytically by the exported VanillaHeston. The objective takes them in
// place of the finite-difference IVs for model code 3.

#include "calibration/option_quote.h"

#include <vector>

// Semi-analytic prices below this fraction of the spot are the integration's noise (the cheapest
// option a chain keeps costs 1e-5 of the spot, the pricer's own noise is near 1e-15 of it). Such
// a price is taken at the floor before its IV is sought, so that it enters a fit with one fixed IV
// under any small change of the parameters instead of a jumping one that the search would read
// as a slope.
constexpr double kHestonPriceNoiseFloor = 1e-10;

// The IV with which the semi-analytic Heston price of one option (T in years, callPut 0 call, any
// other value put) enters a fit: the Black-Scholes volatility in [1e-15, 2] of that price, taken
// at kHestonPriceNoiseFloor x S when it is below. Throws std::runtime_error "no Heston price" when
// VanillaHeston fails, and the volatility search's NumericalError when no volatility in the
// bracket reproduces the price. The objective's Heston path and HESTON_VanillaCalibration both
// take their IVs from here, so that they agree at every point.
double hestonFitIV(double S, double K, double T, double r, double d, int callPut, double v0,
                   double vL, double theta, double volvol, double rho);

// Reads the chain at optionsDataPath(), sorts it, drops exact repeats and cheap options (a strike
// at the spot is a put here) and writes one model IV per remaining option into out[0 .. n-1], in
// (expiry, strike) order. theta is the mean-reversion rate, volvol the volatility of variance.
//
// A failed evaluation never leaves numbers that look like IVs: when the file cannot be opened,
// its spot is not a positive number, or the chain does not hold n options (which also prints
// "Oops, seems like some more debugging is in order. Press any key to terminate!"), all n entries
// become NaN. An option without a fit IV (hestonFitIV throws) gets 0.0 (see modelIVOrZero) and
// the others are still priced. The standard
// exceptions of the spot conversion ("invalid stod argument", "stod argument out of range")
// reach the caller.
void calcHestonModelIVs(double* out, int n, double v0, double vL, double theta, double volvol,
                        double rho);

// The loop of calcHestonModelIVs over a prepared chain (T in years, callPut set): one IV per
// option, in chain order, 0.0 where the price or its IV fails. Parallel over the options.
std::vector<double> calcHestonModelIVsLoop(const std::vector<OptionQuote>& chain, double v0,
                                           double vL, double theta, double volvol, double rho);
