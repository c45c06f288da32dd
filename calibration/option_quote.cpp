#include "calibration/option_quote.h"

bool quoteOrder(const OptionQuote& a, const OptionQuote& b) {
    if (a.T != b.T) return a.T < b.T;
    return a.K < b.K;
}

// A NaN field makes the records unequal, which the plain == comparisons give for free.
bool sameExpiryStrikeIV(const OptionQuote& a, const OptionQuote& b) {
    return a.T == b.T && a.K == b.K && a.marketIV == b.marketIV;
}

bool sameExpiryStrike(const OptionQuote& a, const OptionQuote& b) {
    return a.T == b.T && a.K == b.K;
}
