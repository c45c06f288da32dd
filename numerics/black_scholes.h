#pragma once

// Black-Scholes price of a European option with continuous dividend yield d; T in years.
// callPut 0 prices a call, any other value a put. A volatility of exactly 0 is priced as 1e-10, which
// gives the discounted intrinsic value. No checks: a zero expiry or a non-positive spot or strike gives
// infinities or NaNs.
double blackScholesPrice(double S, double K, double r, double d, double sigma, double T, int callPut);
