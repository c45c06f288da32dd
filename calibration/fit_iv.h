#pragma once

// The model implied volatilities with which the options enter the fit, and how an evaluation
// that has none tells the search.

#include <cmath>
#include <limits>

// 0.0 when the option has no model IV at the parameters tried: its solve gave up or was refused,
// its price was no price, or no volatility reproduces it. Its residual is then its whole market
// IV, which steers the search away from such parameters; a NaN would end the search on the first
// corner of the box where a far wing cannot be priced.
inline double modelIVOrZero(bool failed, double iv)
{
    return !failed && std::isfinite(iv) && iv > 0.0 ? iv : 0.0;
}

// A failed evaluation as a whole: NaN in all n entries, so that the search stops (reason 7)
// instead of going on with stale values.
inline void markEvaluationFailed(double* hx, int n)
{
    for (int i = 0; hx && i < n; ++i) {
        hx[i] = std::numeric_limits<double>::quiet_NaN();
    }
}
