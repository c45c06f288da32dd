#include "calibration/heston_model_ivs.h"

#include "calibration/fit_iv.h"
#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"
#include "heston/vanilla_heston_export.h"
#include "numerics/implied_vol.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace {

constexpr double kIvLow = 1e-15;
constexpr double kIvHigh = 2.0;
constexpr double kIvTolerance = 1e-16;
constexpr double kVanillaHestonFailed = -999.0;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double hestonFitIV(double S, double K, double T, double r, double d, int callPut, double v0,
                   double vL, double theta, double volvol, double rho)
{
    const double price = VanillaHeston(S, K, r, d, v0, vL, theta, volvol, rho, T, callPut);
    if (price == kVanillaHestonFailed || !std::isfinite(price)) {
        throw std::runtime_error("no Heston price");
    }
    const ImpliedVolTarget target{S, K, T, r, d, std::max(price, kHestonPriceNoiseFloor * S),
                                  callPut};
    return brentImpliedVol(&target, kIvLow, kIvHigh, kIvTolerance);
}


std::vector<double> calcHestonModelIVsLoop(const std::vector<OptionQuote>& chain, double v0,
                                           double vL, double theta, double volvol, double rho)
{
    const long count = static_cast<long>(chain.size());
    std::vector<double> ivs(chain.size(), kNaN);
#pragma omp parallel for schedule(static)
    for (long i = 0; i < count; ++i) {
        // Nothing may leave the parallel region: an option without a price, or whose price no
        // volatility reproduces, has no model IV.
        try {
            const OptionQuote& q = chain[static_cast<std::size_t>(i)];
            ivs[static_cast<std::size_t>(i)] = modelIVOrZero(
                false, hestonFitIV(q.S, q.K, q.T, q.r, q.d, q.callPut, v0, vL, theta, volvol, rho));
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
