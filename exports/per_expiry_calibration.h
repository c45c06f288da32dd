#pragma once

// The chain priced expiry by expiry: the rows of one expiry form a bucket whose strikes are all
// priced by one robust multi-strike solve (a bucket of one strike by the one-strike solve), the
// buckets one after the other in the calling thread.

#include "calibration/count_first_chain.h"
#include "calibration/expiry_buckets.h"
#include "exports/chain_request.h"

#include <vector>

// The buckets of the rows (at least one), in ascending expiry: the rows sorted by expiry, then
// strike, consecutive rows of equal expiry forming one bucket. A bucket takes its spot, expiry,
// rate, dividend yield and exercise type from its last row, the final bucket of two or more rows
// from its last-but-one; they differ only when the rows of one expiry disagree on them. Sizes and
// costs by the per-expiry bands of the smallest price, calls and puts alike (the objective's bands,
// but a bucket outside them costs 1 here: see exports/chain_grid_sizing.h).
std::vector<ExpiryBucket> expiryBuckets(std::vector<QuoteRow> rows, const ChainRequest& request);

// The squared IV errors of the rows. A strike without a model implied volatility counts with model
// IV 0 (its record is in the solver log); a bucket of one strike is priced by the one-strike solve.
// Throws NumericalError before any solve when a bucket's grid cannot be laid; exceptions of the
// solves (which run in the calling thread) reach the caller. The summing loop runs on 8 threads of
// its own. The scheme must price every strike of a solve (schemeReadsEveryStrike).
ChainErrors perExpirySquaredErrors(const std::vector<QuoteRow>& rows, const ChainRequest& request);
