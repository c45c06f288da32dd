#include "calibration/heston_model_ivs.h"

#include "calibration/fit_iv.h"
#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"
#include "heston/vanilla_heston_export.h"
#include "numerics/implied_vol.h"

#include <cmath>
#include <cstddef>
#include <fstream>
#include <limits>

namespace {

constexpr double kIvLow = 1e-15;
constexpr double kIvHigh = 2.0;
constexpr double kIvTolerance = 1e-16;
const double kNaN = std::numeric_limits<double>::quiet_NaN();


double modelIV(const OptionQuote& q, double v0, double vL, double theta, double volvol,
               double rho)
{
    const double price =
        VanillaHeston(q.S, q.K, q.r, q.d, v0, vL, theta, volvol, rho, q.T, q.callPut);
    // A failed price (-999.0) or a negative one has no IV; neither has a price outside the reach
    // of the volatility search, for which Brent throws.
    if (!(std::isfinite(price) && price >= 0.0)) {
        return 0.0;
    }
    const ImpliedVolTarget target{q.S, q.K, q.T, q.r, q.d, price, q.callPut};
    try {
        return modelIVOrZero(false, brentImpliedVol(&target, kIvLow, kIvHigh, kIvTolerance));
    } catch (...) {
        return 0.0;
    }
}

}  // namespace

std::vector<double> calcHestonModelIVsLoop(const std::vector<OptionQuote>& chain, double v0,
                                           double vL, double theta, double volvol, double rho)
{
    const long count = static_cast<long>(chain.size());
    std::vector<double> ivs(chain.size(), kNaN);
#pragma omp parallel for schedule(static)
    for (long i = 0; i < count; ++i) {
        // Nothing may leave the parallel region: an option that cannot be priced at all has no
        // model IV, like one whose price has none.
        try {
            ivs[static_cast<std::size_t>(i)] =
                modelIV(chain[static_cast<std::size_t>(i)], v0, vL, theta, volvol, rho);
        } catch (...) {
            ivs[static_cast<std::size_t>(i)] = 0.0;
        }
    }
    return ivs;
}

void calcHestonModelIVs(double* out, int n, double v0, double vL, double theta, double volvol,
                        double rho)
{
    std::ifstream in(optionsDataPath());
    if (!in) {
        markEvaluationFailed(out, n);
        return;
    }
    HeaderChain chain = readHeaderChain(in);
    if (!(std::isfinite(chain.spot) && chain.spot > 0.0)) {
        markEvaluationFailed(out, n);
        return;
    }
    preparePricingChain(chain.quotes);
    if (!holdsMarketCount(chain.quotes, n)) {
        markEvaluationFailed(out, n);
        return;
    }
    const std::vector<double> ivs = calcHestonModelIVsLoop(chain.quotes, v0, vL, theta, volvol, rho);
    for (std::size_t i = 0; i < ivs.size(); ++i) {
        out[i] = ivs[i];
    }
}
