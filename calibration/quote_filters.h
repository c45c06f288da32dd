#pragma once

// The steps that every reader of the header-layout chain takes between reading and pricing:
// order the records, drop exact repeats, drop options too cheap to calibrate on, and turn
// expiries from days into years. main, the calibration objective and the Heston model IVs apply
// the same steps (main adds its refusals between them), so the measurement vector of the search
// and the model IVs of the objective line up record for record.

#include "calibration/option_quote.h"

#include <cstddef>
#include <vector>

// 1 (put) or 0 (call): a strike at or below the spot is a put. Every reader of a chain takes the
// side from here, so that the cheap-option filter drops the same options for main's market IVs as
// for the model IVs of the objective and the Heston path; with two rules an at-the-money option
// cheap on one side only made the counts differ and every evaluation fail.
int putFlag(double K, double S);

// Sorts ascending by (T, K) and keeps the first of every run of exact (T, K, market IV) repeats.
// The sort is stable, so records equal in (T, K) keep their file order and every reader orders a
// chain the same way.
void sortAndDropRepeats(std::vector<OptionQuote>& quotes);

// Options whose Black-Scholes price at their market IV is below this fraction of the spot carry
// no usable information for the fit.
constexpr double kCheapPriceFraction = 1e-5;

// Sets callPut of every record by putFlag and removes, in order, each record whose
// Black-Scholes price (S, K, r, d, market IV, T / 365, callPut) divided by S is below
// kCheapPriceFraction. T must still be in days. Returns the number removed.
std::size_t dropCheapOptions(std::vector<OptionQuote>& quotes);

constexpr double kDaysPerYear = 365.0;

// T from days to years.
void expiriesToYears(std::vector<OptionQuote>& quotes);

// Whether the prepared chain holds the n options of main's market IVs; when it does not, prints
// "Oops, seems like some more debugging is in order. Press any key to terminate!" (the chain file
// changed under the calibration).
bool holdsMarketCount(const std::vector<OptionQuote>& quotes, int n);

// The steps of the objective and of the Heston model IVs in one: sort and drop exact repeats,
// drop cheap options, expiries to years.
void preparePricingChain(std::vector<OptionQuote>& quotes);
