#pragma once

// The chain priced expiry by expiry: the rows of one expiry form a bucket whose strikes are all
// priced by one robust multi-strike solve, the buckets one after the other in the calling thread.

#include "calibration/count_first_chain.h"
#include "exports/chain_request.h"

#include <vector>

// All rows of one expiry.
struct ExpiryBucket {
    double smallestPrice = 1e10;  // smallest Black-Scholes price of the rows at their market IVs
    double S = 0.0;
    std::vector<double> strikes;    // ascending
    std::vector<double> marketIVs;  // in the order of the strikes
    double T = 0.0;
    double r = 0.0;
    double d = 0.0;
    int exerciseType = 0;
    int NS = 0;
    int Nv = 0;
    int NT = 0;
    double cost = 1.0;
    double vmaxLevel = 1.0;
    double vmaxMultiplier = 1.0;
};

// The buckets of the rows (at least one), in ascending expiry: the rows sorted by expiry, then
// strike, consecutive rows of equal expiry forming one bucket. A bucket takes its spot, expiry,
// rate, dividend yield and exercise type from its last row, the final bucket of two or more rows
// from its last-but-one; they differ only when the rows of one expiry disagree on them. Sizes and
// costs by the per-expiry bands of the smallest price, calls and puts alike.
std::vector<ExpiryBucket> expiryBuckets(std::vector<QuoteRow> rows, const ChainRequest& request);

// Sum over the rows of (model IV - market IV)^2. Exceptions of the solves (which run in the
// calling thread) reach the caller; the summing loop runs on 8 threads of its own.
double perExpirySquaredErrors(const std::vector<QuoteRow>& rows, const ChainRequest& request);
