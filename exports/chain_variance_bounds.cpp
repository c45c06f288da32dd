#include "exports/chain_variance_bounds.h"

#include "calibration/expiry_buckets.h"

#include <algorithm>

namespace {

// The objective's model code whose critical variances the exports share: GARCH-diffusion
// densities (800 nodes, 50 steps) and a grid bound of at least a tenth of the stationary one.
constexpr int kGarchDiffusionCode = 1;

}  // namespace

double vmaxMultiplier(double theta, double T) { return std::max(1.0, 3.0 - 0.5 * theta * T); }

ChainVarianceBounds::ChainVarianceBounds(std::vector<double> expiries, const ChainRequest& request)
    : level_(request.vcritQuantile)
{
    std::sort(expiries.begin(), expiries.end());
    expiries.erase(std::unique(expiries.begin(), expiries.end()), expiries.end());
    const double p[5] = {request.v0, request.vL, request.theta, request.volvol, request.rho};
    variances_ = vcritPerExpiryLoop(expiries, p, kGarchDiffusionCode, level_);
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
