#include "heston/heston_pricer.h"

#include <algorithm>
#include <cmath>

#include "heston/fj_helper.h"
#include "heston/heston_failure.h"

namespace {
const double pi = 3.141592653589793;
}

void hestonPriceFromDiscounts(double rD, double dD, double S, double K, double T, double theta,
                              double vL, double volvol, double v0, double rho, int type,
                              AnalyticHestonEngine::Integration& integration, double& value,
                              AnalyticHestonEngine& engine) {
    const double ratio = rD / dD;
    // Scale of the substitution onto (0, 1]: about the decay rate of the integrands in phi.
    // std::max(0.0001, NaN) is 0.0001, which keeps |rho| > 1 from poisoning the scale.
    const double c_inf =
        std::min(0.1, std::max(0.0001, std::sqrt(1 - rho * rho) / volvol)) * (v0 + theta * vL * T);

    engine.evaluations = 0;
    // Outside this domain the substitution maps nothing (a scale that is not positive makes both
    // integrals vanish) or the integrands are meaningless, and a number would still come out.
    if (!(v0 >= 0.0) || !(vL >= 0.0) || !(T >= 0.0))
        throw hestonFailure("Negative variance or expiry");
    if (!(c_inf > 0.0) || !std::isfinite(c_inf))
        throw hestonFailure("No positive scale for the integration");

    const double logStrike = std::log(K);
    const double logForward = std::log(S) - std::log(ratio);

    const double p1 = integration.evaluateIntegral(
                          c_inf, AnalyticHestonEngine::Fj_Helper(1, theta, vL, volvol, v0, rho, T,
                                                                 logStrike, logForward)) /
                      pi;
    engine.evaluations += integration.numberOfEvaluations();

    const double p2 = integration.evaluateIntegral(
                          c_inf, AnalyticHestonEngine::Fj_Helper(2, theta, vL, volvol, v0, rho, T,
                                                                 logStrike, logForward)) /
                      pi;
    engine.evaluations += integration.numberOfEvaluations();

    double price;
    if (type == -1)
        price = S * dD * (p1 - 0.5) - K * rD * (p2 - 0.5);
    else if (type == 1)
        price = S * dD * (p1 + 0.5) - K * rD * (p2 + 0.5);
    else
        throw hestonFailure("Unknown option type");

    // A price that is not a number is a failure, not a result (an infinite tolerance lets the
    // integrator accept any estimate at once).
    if (!std::isfinite(price)) throw hestonFailure("The price is not a finite number");
    value = price;
}

double hestonVanillaPrice(AnalyticHestonEngine& engine, double S, double K, double T, double r,
                          double d, double v0, double vL, double theta, double volvol, double rho,
                          int type) {
    if (!engine.integration) throw hestonFailure("Neither Integrator nor GaussianQuadrature given");
    const double rD = std::exp(-(T * r));
    const double dD = std::exp(-(T * d));
    double value = 0.0;
    hestonPriceFromDiscounts(rD, dD, S, K, T, theta, vL, volvol, v0, rho, type,
                             *engine.integration, value, engine);
    return value;
}
