#pragma once

// What one call of a chain calibration export asks for: one set of model parameters and the grid
// and solver settings that every solve of the chain shares.

#include <cstddef>

struct ChainRequest {
    double v0 = 0.0;      // initial variance
    double vL = 0.0;      // long-run variance
    double theta = 0.0;   // mean-reversion rate
    double volvol = 0.0;  // volatility of variance
    double rho = 0.0;     // correlation of spot and variance
    int NS = 0;           // base spot intervals
    int Nv = 0;           // base variance intervals
    int NT = 0;           // base time steps
    int schemeNumber = 0;
    int priceMode = 0;    // the option objects' price mode (from the caller's selector)
    double SmaxUser = 0.0;
    double vcritQuantile = 1.0;  // below 1: level of the critical variances; else the grid bound
    int spotGridFlag = 0;
    int modelCode = 0;
    int strikeVectorFlag = 0;    // per-expiry pricing only
};

// What the solves of one call gave: the sum over the chain's options of (model IV - market IV)^2,
// an option without a model implied volatility counted with model IV 0, and the number of options
// that had one.
struct ChainErrors {
    double sum = 0.0;
    std::size_t priced = 0;
};
