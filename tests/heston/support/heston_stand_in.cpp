// A stand-in for the outside library heston.dll, built for the tests only: the exported function
// HestonCall_exact with the nine doubles the system passes, pricing by the system's own
// semi-analytic pricer. It returns the Heston call for interest rate b and no dividend yield,
// which is what the caller discounts by e^{-dT} into the call for rate r = b + d and yield d.

#include "heston/analytic_heston_engine.h"
#include "heston/heston_pricer.h"
#include "platform/export_api.h"

#include <limits>

SARNEX_EXPORT double SARNEX_CALL HestonCall_exact(double S, double K, double T, double b,
                                                  double v0, double vL, double theta,
                                                  double volvol, double rho)
{
    try {
        AnalyticHestonEngine engine = createGaussLobatto(1e-14, 10000000);
        return hestonVanillaPrice(engine, S, K, T, b, 0.0, v0, vL, theta, volvol, rho, 1);
    } catch (...) {
        // A C function has no way to throw; a price that is no number tells the caller.
        return std::numeric_limits<double>::quiet_NaN();
    }
}
