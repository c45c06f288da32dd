#pragma once

#include <cstdint>

#include "heston/analytic_heston_engine.h"

// The integrand of the Heston probability P_j (j = 1 under the stock measure, j = 2 under the
// risk-neutral one): phi -> Im(f_j(phi)·e^{-i·phi·log K}) / phi, with its limit at phi = 0.
// The variance follows dv = theta·(vL - v)dt + volvol·sqrt(v)dW, correlated by rho with the spot.
class AnalyticHestonEngine::Fj_Helper {
public:
    // j is 1 or 2; logForward = log S - log(rD/dD).
    Fj_Helper(std::uint64_t j, double theta, double vL, double volvol, double v0, double rho,
              double T, double logStrike, double logForward);

    double operator()(double phi) const;

private:
    std::uint64_t j;
    double theta;
    double vL;
    double volvol;
    double v0;
    double T;
    double logStrike;
    double logForward;
    double volvol2;
    double rhoVolvol;
    double t0;
};
