#include "exports/per_expiry_calibration.h"

#include "calibration/quote_filters.h"
#include "calibration/work_balance.h"
#include "exports/chain_grid_sizing.h"
#include "exports/chain_variance_bounds.h"
#include "model/robust_solve.h"
#include "numerics/array.h"
#include "numerics/black_scholes.h"
#include "numerics/numerical_error.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

namespace {

// The multi-strike solve picks call or put per strike itself; it is set up as a put.
constexpr int kBucketCallPut = 1;
constexpr double kVarianceExponent = 1.0;
constexpr double kNoMeanVariance = 0.0;
// The error sums run on this many threads, whatever the host's setting; the clause leaves the
// host's own setting alone.
constexpr int kSummingThreads = 8;

bool expiryThenStrike(const QuoteRow& a, const QuoteRow& b)
{
    if (a.T != b.T) {
        return a.T < b.T;
    }
    return a.K < b.K;
}

void takeOptionData(ExpiryBucket& bucket, const QuoteRow& row)
{
    bucket.S = row.S;
    bucket.T = row.T;
    bucket.r = row.r;
    bucket.d = row.d;
    bucket.exerciseType = row.exerciseType;
}

bool hasAmericanRows(const ExpiryBucket& bucket)
{
    return std::find(bucket.exerciseTypes.begin(), bucket.exerciseTypes.end(), 1) !=
           bucket.exerciseTypes.end();
}

// The squared errors of one bucket's strikes, with the number of strikes that got a model implied
// volatility added to priced. A bucket of one strike has nothing for the multi-strike read-out:
// its strike takes the one-strike solve, as a put at or below the spot and a call above it, the
// side the read-out would report. The read-out's parity term for strikes above the spot is a
// European identity, so a bucket with American rows is priced row by row too, each row as the
// contract it quotes (its own side and exercise type).
std::vector<double> bucketSquaredErrors(const ExpiryBucket& bucket, const ChainRequest& request,
                                        const ChainVarianceBounds& bounds, std::size_t& priced)
{
    const double VmaxParam = bounds.vmaxParam(bucket.T, bucket.vmaxMultiplier);
    Array<double> ivs(bucket.strikes.size());
    RobustSolveStatus status;
    // One strike by the one-strike solve, on fresh copies of the sizes and mode it may change.
    auto oneStrike = [&](std::size_t u, int callPut, int exerciseType) {
        int ns = bucket.NS;
        int nv = bucket.Nv;
        int mode = request.priceMode;
        RobustSolveStatus one;
        ivs[u] = RobustSvPdeSolve(bucket.S, bucket.strikes[u], bucket.T, bucket.r, bucket.d,
                                  request.v0, request.vL, request.theta, request.volvol,
                                  request.rho, &ns, &nv, bucket.NT, callPut, exerciseType, &mode,
                                  request.schemeNumber, 1, request.SmaxUser, VmaxParam,
                                  request.spotGridFlag, true, request.modelCode, &one);
        status.strikeFailed.push_back(one.failed);
    };
    if (hasAmericanRows(bucket)) {
        for (std::size_t u = 0; u < bucket.strikes.size(); ++u)
            oneStrike(u, bucket.callPuts[u], bucket.exerciseTypes[u]);
    } else if (bucket.strikes.size() == 1) {
        oneStrike(0, putFlag(bucket.strikes.front(), bucket.S), bucket.exerciseType);
    } else {
        int NS = bucket.NS;
        int Nv = bucket.Nv;
        int priceMode = request.priceMode;
        RobustSvPdeSolveStrikes(bucket.S, bucket.strikes, ivs, bucket.T, bucket.r, bucket.d,
                                request.v0, request.vL, request.theta, request.volvol, request.rho,
                                &NS, &Nv, bucket.NT, kBucketCallPut, bucket.exerciseType,
                                &priceMode, request.schemeNumber, 1, request.SmaxUser, VmaxParam,
                                request.spotGridFlag, request.strikeVectorFlag != 0, true,
                                request.modelCode, kVarianceExponent, kNoMeanVariance, &status);
    }
    std::vector<double> errors;
    errors.reserve(bucket.strikes.size());
    for (std::size_t u = 0; u < bucket.strikes.size(); ++u) {
        const double iv = u < ivs.size() ? ivs[u] : 0.0;
        if (!std::isfinite(iv)) {
            std::ostringstream text;
            text.precision(16);
            text << "The solve gave no implied volatility (option K = " << bucket.strikes[u]
                 << ", T = " << bucket.T << ")";
            throw NumericalError(text.str());
        }
        const double error = iv - bucket.marketIVs[u];
        errors.push_back(error * error);
        const bool failed = u < status.strikeFailed.size() && status.strikeFailed[u];
        priced += failed ? 0 : 1;
    }
    return errors;
}

}  // namespace

std::vector<ExpiryBucket> expiryBuckets(std::vector<QuoteRow> rows, const ChainRequest& request)
{
    std::stable_sort(rows.begin(), rows.end(), expiryThenStrike);
    std::vector<ExpiryBucket> buckets;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QuoteRow& row = rows[i];
        if (i == 0 || row.T != rows[i - 1].T) {
            buckets.emplace_back();
        }
        ExpiryBucket& bucket = buckets.back();
        bucket.strikes.push_back(row.K);
        bucket.marketIVs.push_back(row.marketIV);
        bucket.callPuts.push_back(row.callPut);
        bucket.exerciseTypes.push_back(row.exerciseType);
        bucket.smallestPrice =
            std::min(bucket.smallestPrice, blackScholesPrice(row.S, row.K, row.r, row.d,
                                                             row.marketIV, row.T, row.callPut));
        const bool lastOfBucket = i + 1 == rows.size() || rows[i + 1].T != row.T;
        if (lastOfBucket) {
            const bool finalBucket = i + 1 == rows.size();
            const bool lastButOne = finalBucket && bucket.strikes.size() >= 2;
            takeOptionData(bucket, lastButOne ? rows[i - 1] : row);
        }
    }
    for (ExpiryBucket& bucket : buckets) {
        const ChainGridSize size =
            chainGridSize(PriceBands::perExpiry, true, bucket.smallestPrice, bucket.S, bucket.T,
                          request.NS, request.Nv, request.NT);
        bucket.NS = size.NS;
        bucket.Nv = size.Nv;
        bucket.NT = size.NT;
        bucket.cost = size.cost;
        bucket.vmaxLevel = request.vcritQuantile;
        bucket.vmaxMultiplier = vmaxMultiplier(request.theta, bucket.T);
    }
    return buckets;
}

ChainErrors perExpirySquaredErrors(const std::vector<QuoteRow>& rows, const ChainRequest& request)
{
    const std::vector<ExpiryBucket> buckets = expiryBuckets(rows, request);
    std::vector<double> costs;
    std::vector<double> expiries;
    for (const ExpiryBucket& bucket : buckets) {
        refuseUnlaidGrid(bucket.NS, bucket.Nv, bucket.NT, bucket.T);
        costs.push_back(bucket.cost);
        expiries.push_back(bucket.T);
    }
    const ChainVarianceBounds bounds(expiries, request);
    const WorkDeal deal = dealByCost(costs, workSlotCount());

    // One error vector per bucket, list by list in dealing order.
    std::vector<std::vector<std::vector<double>>> listErrors(deal.slots.size());
    ChainErrors total;
    for (std::size_t list = 0; list < deal.slots.size(); ++list) {
        for (const std::size_t index : deal.slots[list]) {
            listErrors[list].push_back(
                bucketSquaredErrors(buckets[index], request, bounds, total.priced));
        }
    }

    const int lists = static_cast<int>(listErrors.size());
    std::vector<double> listSums(listErrors.size(), 0.0);
#pragma omp parallel for schedule(static) num_threads(kSummingThreads)
    for (int s = 0; s < lists; ++s) {
        double sum = 0.0;
        for (const std::vector<double>& errors : listErrors[static_cast<std::size_t>(s)]) {
            for (const double e : errors) {
                sum += e;
            }
        }
        listSums[static_cast<std::size_t>(s)] = sum;
    }
    // Added in list order, so the result does not depend on how the threads met.
    for (const double sum : listSums) {
        total.sum += sum;
    }
    return total;
}
