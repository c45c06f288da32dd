#include "calibration/quote_filters.h"

#include "numerics/black_scholes.h"

#include <algorithm>
#include <iostream>

int putFlag(double K, double S) { return K <= S ? 1 : 0; }

void sortAndDropRepeats(std::vector<OptionQuote>& quotes)
{
    std::stable_sort(quotes.begin(), quotes.end(), quoteOrder);
    quotes.erase(std::unique(quotes.begin(), quotes.end(), sameExpiryStrikeIV), quotes.end());
}

std::size_t dropCheapOptions(std::vector<OptionQuote>& quotes)
{
    const std::size_t before = quotes.size();
    std::vector<OptionQuote> kept;
    kept.reserve(before);
    for (OptionQuote q : quotes) {
        q.callPut = putFlag(q.K, q.S);
        const double price =
            blackScholesPrice(q.S, q.K, q.r, q.d, q.marketIV, q.T / kDaysPerYear, q.callPut);
        if (price / q.S < kCheapPriceFraction) {
            continue;
        }
        kept.push_back(q);
    }
    quotes.swap(kept);
    return before - quotes.size();
}

void expiriesToYears(std::vector<OptionQuote>& quotes)
{
    for (OptionQuote& q : quotes) {
        q.T /= kDaysPerYear;
    }
}

void preparePricingChain(std::vector<OptionQuote>& quotes)
{
    sortAndDropRepeats(quotes);
    dropCheapOptions(quotes);
    expiriesToYears(quotes);
}

bool holdsMarketCount(const std::vector<OptionQuote>& quotes, int n)
{
    if (n >= 0 && quotes.size() == static_cast<std::size_t>(n)) {
        return true;
    }
    std::cout << "Oops, seems like some more debugging is in order. Press any key to terminate!"
              << std::flush;
    return false;
}
