#include "numerics/gamma_distribution.h"

#include "numerics/numerical_error.h"

#include <cmath>

// The failure is an ordinary NumericalError so that the callers' std::exception handlers (the
// fallbacks of the variance-grid bound) see it; a bare C string would end the process instead.
Gammadist::Gammadist(double alph_, double bet_) : alph(alph_), bet(bet_), logNorm(0.0)
{
    if (!(alph > 0.0) || !(bet > 0.0)) {
        throw NumericalError("bad alph,bet in Gammadist");
    }
    logNorm = alph * std::log(bet) - gammln(alph);
}

double Gammadist::quantile(double p)
{
    if (!(p >= 0.0 && p < 1.0)) {
        throw NumericalError("bad p in Gammadist");
    }
    return invgammap(p, alph) / bet;
}
