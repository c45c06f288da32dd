#pragma once

#include "heston/analytic_heston_engine.h"
#include "heston/integration.h"

// Semi-analytic European price under the Heston model:
//   S·dD·(P1 ± 1/2) - K·rD·(P2 ± 1/2)   (+ for a call, - for a put),
// with P1, P2 the integrals of the two Fj_Helper integrands over [0, ∞) divided by pi.
// Symbols: theta the mean-reversion rate, vL the long-run variance, volvol the volatility of
// variance, rho the correlation; rD = e^{-rT}, dD = e^{-dT}; type +1 call, -1 put.

// Prices with the engine's Integration and leaves its integrand evaluations in engine.evaluations.
double hestonVanillaPrice(AnalyticHestonEngine& engine, double S, double K, double T, double r,
                          double d, double v0, double vL, double theta, double volvol, double rho,
                          int type);

// The same from the discount factors; the price goes to value, the evaluation count to engine.
void hestonPriceFromDiscounts(double rD, double dD, double S, double K, double T, double theta,
                              double vL, double volvol, double v0, double rho, int type,
                              AnalyticHestonEngine::Integration& integration, double& value,
                              AnalyticHestonEngine& engine);
