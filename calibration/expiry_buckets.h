#pragma once

// One expiry of a chain as one multi-strike solve prices it, with the grid it gets and the
// estimated cost by which the solves are dealt to threads.

#include "calibration/option_quote.h"

#include <cstdint>
#include <vector>

struct ExpiryBucket {
    std::int32_t index = 0;         // position in creation (= ascending expiry) order
    double smallestPrice = 1e10;    // smallest Black-Scholes price at the market IVs
    double S = 0.0;                 // spot, expiry, rate and dividend of the last record
    std::vector<double> strikes;    // ascending
    std::vector<double> marketIVs;  // in the order of the strikes
    double T = 0.0;                 // years
    double r = 0.0;
    double d = 0.0;
    std::int32_t callPut = 1;       // the multi-strike read-out picks call or put per strike
    std::int32_t exerciseType = 0;  // European
    // The rows' own sides and exercise types, in the order of the strikes, where the chain gives
    // them (the chain exports): an expiry with American rows is priced row by row.
    std::vector<std::int32_t> callPuts;
    std::vector<std::int32_t> exerciseTypes;
    std::int32_t NS = 0;
    std::int32_t Nv = 0;
    std::int32_t NT = 0;
    double cost = 1.0;
    double vmaxLevel = 0.0;         // the variance-grid bound used when critical variances are off
    double vmaxMultiplier = 1.0;    // multiplier of the expiry's critical variance
};

// One bucket per distinct expiry of a chain sorted by (T, K) with T in years, in ascending expiry
// order, from the records in their order.
std::vector<ExpiryBucket> formExpiryBuckets(const std::vector<OptionQuote>& chain);

// The grid of one solve. Options that are cheap against the spot need finer grids to be priced
// to a usable IV; expiries beyond a year get proportionally more time steps.
struct BucketGrid {
    int NS = 0;
    int Nv = 0;
    int NT = 0;
    double cost = 1.0;  // relative to a solve on the base grid
};

// The grid for a bucket of smallest price m at spot S and expiry T (years), from the base sizes.
// The cost counts spot and variance intervals linearly (both quotients over the base NS, as the
// balancing has always weighed them) and time steps as 1 + 0.015 NT.
BucketGrid bucketGrid(double m, double S, double T, int baseNS, int baseNv, int baseNT);
