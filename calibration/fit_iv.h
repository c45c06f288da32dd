#pragma once

// The model implied volatility with which one option enters the fit.

#include <cmath>

// 0.0 when the option has no model IV at the parameters tried: its solve gave up or was refused,
// its price was no price, or no volatility reproduces it. Its residual is then its whole market
// IV, which steers the search away from such parameters; a NaN would end the search on the first
// corner of the box where a far wing cannot be priced.
inline double modelIVOrZero(bool failed, double iv)
{
    return !failed && std::isfinite(iv) && iv > 0.0 ? iv : 0.0;
}
