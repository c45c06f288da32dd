#include "numerics/implied_vol.h"

#include "numerics/black_scholes.h"

double brentImpliedVol(const ImpliedVolTarget* target, double x1, double x2, double tol)
{
    if (target == nullptr) {
        throw NumericalError("No option given to the implied volatility search");
    }
    const ImpliedVolTarget& t = *target;
    const auto priceGap = [&t](double sigma) {
        if (sigma <= 0.0) {
            return 0.0;
        }
        return blackScholesPrice(t.S, t.K, t.r, t.d, sigma, t.T, t.callPut) - t.price;
    };
    return brentRoot(priceGap, x1, x2, tol);
}
