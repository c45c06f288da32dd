#pragma once

// The law of the square-root variance dv = kappa (vL - v) dt + xi sqrt(v) dW started at v0. At a
// horizon T the variance is scale * χ′²(df, ncp), a scaled non-central chi-square variable, with
// e = exp(-kappa T):
//   df = 4 kappa vL / xi^2,   ncp = 4 kappa e v0 / (xi^2 (1 - e)),   scale = xi^2 (1 - e) / (4 kappa);
// as T grows it tends to the stationary gamma law of shape 2 kappa vL / xi^2 and rate 2 kappa / xi^2.
// These quantiles bound the variance grids of the square-root model wherever it is priced by PDE:
// unlike the variance-density solver they stay exact where the Feller condition fails.
struct SquareRootVariance {
    double v0 = 0.0;
    double vL = 0.0;
    double kappa = 0.0;
    double xi = 0.0;

    // The level-quantile of v_T, T > 0. Where the series of the non-central law cannot reach (a
    // non-centrality of many thousands: short horizons, small xi) the Wilson-Hilferty form of the
    // law stands in, which is then close to exact. 0 when the parameters give no square-root law
    // (v0 < 0, vL, kappa, xi or T not positive, anything not finite): the grid's own floor then
    // bounds it. Throws NumericalError "bad p in Gammadist" for a level outside (0, 1).
    double quantile(double T, double level) const;

    // The level-quantile of the stationary gamma law; 0 and the failure as above.
    double stationaryQuantile(double level) const;

private:
    bool valid() const;
};
