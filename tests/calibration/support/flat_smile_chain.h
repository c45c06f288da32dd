#pragma once

// Strikes 70 to 130 by 5, expiries 1 to 24 months, spot 100, r 3%, d 1%, every IV 25% (the IVs only
// pick the options kept and the grid floors), filtered and sorted as the objective does; T in years.
// On it, at the parameters of the variance-bound tests, doubling the variance-grid top
// kGenerousVarianceTop or refining 200/100/100 to 400/200/200 moves no IV by more than 0.4 bp.

#include "calibration/quote_filters.h"

#include <vector>

namespace fixtures {

constexpr double kGenerousVarianceTop = 3.0;

inline std::vector<OptionQuote> flatSmileChain()
{
    std::vector<OptionQuote> quotes;
    for (double days : {30.0, 91.0, 182.0, 365.0, 730.0})
        for (double K = 70.0; K <= 130.0; K += 5.0) quotes.push_back({0, 0.25, 100.0, K, days, 0.03, 0.01, 0});
    preparePricingChain(quotes);
    return quotes;
}

}  // namespace fixtures
