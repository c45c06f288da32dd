#pragma once

// One option of a chain as the chain readers fill it, and the order and equality tests that the
// objective, the Heston model-IV function and main share.

#include <cstdint>

struct OptionQuote {
    std::int32_t index = 0;  // row number in the file, from 0
    double marketIV = 0.0;
    double S = 0.0;          // spot
    double K = 0.0;          // strike
    double T = 0.0;          // expiry: days as read, years after division by 365
    double r = 0.0;          // interest rate
    double d = 0.0;          // dividend yield
    std::int32_t callPut = 0;  // 1 put, 0 call
};

// Ascending by expiry, then strike; exact comparisons (quotes are compared as read, never
// computed, so a tolerance would only merge options the user meant to keep apart).
bool quoteOrder(const OptionQuote& a, const OptionQuote& b);

// Equal expiry, strike and market IV: an exact repeat of a row.
bool sameExpiryStrikeIV(const OptionQuote& a, const OptionQuote& b);

// Equal expiry and strike: two quotes for one option.
bool sameExpiryStrike(const OptionQuote& a, const OptionQuote& b);
