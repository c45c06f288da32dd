#pragma once

// Stationary quantiles of the one-factor variance dynamics of the variance-density solver,
//   dv = kappa (vL - v) dt + xi v^power dW           (power law; power 1: GARCH diffusion)
//   dv = kappa sqrt(v) (vL - v) dt + xi v^power dW   (mean reversion scaled by the volatility)
// from their speed densities: the stationary density of v is proportional to
// v^(-2 power) exp(2 kappa / xi^2 * integral of drift(v) / v^(2 power) dv), which here has a closed
// form but, outside the GARCH and square-root cases, no quantile function.
struct StationaryVarianceLaw {
    double vL = 0.0;
    double kappa = 0.0;
    double xi = 0.0;
    double power = 1.0;
    bool sqrtScaledDrift = false;  // the second dynamics

    // The level-quantile of the stationary law, level in (0, 1), by the end-corrected trapezoid
    // rule on a uniform log-variance grid of 8000 steps over the range that holds all but a
    // negligible part of the law (relative accuracy about 1e-6). 0 when the parameters give no
    // stationary law (vL, kappa or xi not positive, anything not finite) or the level is outside
    // (0, 1).
    double quantile(double level) const;

    // Logarithm of the stationary density of x = log v, up to a constant; -infinity where it
    // underflows.
    double logDensity(double x) const;
};
