#include "exports/chain_variance_bounds.h"

#include "calibration/expiry_buckets.h"
#include "density/square_root_variance.h"

#include <algorithm>

namespace {

// The exports' model codes whose variance laws differ from GARCH diffusion's.
constexpr int kSquareRootCode = 0;
constexpr int kOrvX1Code = 2;

// The objective's model codes whose critical variances the exports share: ORV-X1's for ORV-X1,
// GARCH diffusion's (800 nodes, 50 steps) for GARCH diffusion and the two volatility models. The
// grid bound of every export is held to at least a tenth of the stationary value, as GARCH
// diffusion's is in the objective.
constexpr int kObjectiveOrvX1Code = 4;
constexpr int kGarchDiffusionCode = 1;

// The square-root variance's own laws: its quantile at each expiry and the stationary quantile.
CriticalVariances squareRootCriticalVariances(const std::vector<double>& expiries,
                                              const ChainRequest& request)
{
    CriticalVariances cv;
    cv.expiries = expiries;
    cv.vcrits.assign(expiries.size(), 0.0);
    cv.meanVariances.assign(expiries.size(), 0.0);
    if (!(request.vcritQuantile < 1.0)) {
        return cv;
    }
    const SquareRootVariance law{request.v0, request.vL, request.theta, request.volvol};
    cv.stationaryVcrit = law.stationaryQuantile(request.vcritQuantile);
    for (std::size_t j = 0; j < expiries.size(); ++j) {
        cv.vcrits[j] = law.quantile(expiries[j], request.vcritQuantile);
    }
    return cv;
}

}  // namespace

double vmaxMultiplier(double theta, double T) { return std::max(1.0, 3.0 - 0.5 * theta * T); }

ChainVarianceBounds::ChainVarianceBounds(std::vector<double> expiries, const ChainRequest& request)
    : level_(request.vcritQuantile)
{
    std::sort(expiries.begin(), expiries.end());
    expiries.erase(std::unique(expiries.begin(), expiries.end()), expiries.end());
    if (request.modelCode == kSquareRootCode) {
        variances_ = squareRootCriticalVariances(expiries, request);
        return;
    }
    const double p[5] = {request.v0, request.vL, request.theta, request.volvol, request.rho};
    const int lawOf = request.modelCode == kOrvX1Code ? kObjectiveOrvX1Code : kGarchDiffusionCode;
    variances_ = vcritPerExpiryLoop(expiries, p, lawOf, level_);
}

double ChainVarianceBounds::vmaxParam(double T, double multiplier) const
{
    ExpiryBucket solve;
    solve.T = T;
    solve.vmaxMultiplier = multiplier;
    solve.vmaxLevel = level_;
    double unusedMean = 0.0;
    return bucketVmaxParam(solve, variances_, kGarchDiffusionCode, level_, &unusedMean);
}
