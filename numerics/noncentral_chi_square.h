#pragma once

// The non-central chi-square law χ′²(df, ncp) as the objective of a quantile search.
struct NcChiSquareTarget {
    double df;      // degrees of freedom (0 gives the law with an atom at zero)
    double ncp;     // non-centrality parameter, >= 0
    double target;  // probability whose quantile is sought; 0 gives the plain distribution function
};

// Coefficients of the six-term Lanczos series that ncChiSquareCdf hands to logGamma.
inline constexpr double ncChiSquareGammaCoefficients[6] = {
    76.18009172947146,     -86.50532032941678,     24.01409824083091,
    -1.231739572450155,    0.001208650973866179,   -5.395239384953e-06};

// ln Γ(x) by the six-term Lanczos series with the given coefficients (about 1e-10 accurate with the
// ones above). Throws NumericalError "Non-positive argumet provided to gamma function evaluation"
// for x <= 0 or NaN.
double logGamma(const double coefficients[6], double x);

// P(χ′²(df, ncp) <= x) - target, by the series of Poisson-weighted central chi-square terms with error
// bound 1e-12 and at most 10000 further terms. Returns -target for x <= 0 and 1 - target for x = +inf.
// Throws NumericalError "Non-central chi-square distribuion didn't converge." when the bound is not met
// (also when x lies so far above df that the bound never starts to apply), and "bad args in
// ncChiSquareCdf" for a negative or non-finite df or ncp, or a NaN x or target.
double ncChiSquareCdf(const NcChiSquareTarget& record, double x);

// The x in [x1, x2] with ncChiSquareCdf(record, x) = 0, within tol, by Brent's method. Throws
// NumericalError "Root must be bracketed in Brent solver" when the end values share a strict sign,
// "Maximum number of iterations exceeded in Brent solver" after 1000 iterations, and passes on the
// failures of ncChiSquareCdf.
double brentNcChiSquareQuantile(const NcChiSquareTarget& record, double x1, double x2, double tol);

// The level-quantile of χ′²(df, ncp): starting from the mean df + ncp, the point is doubled (at most
// 1000 times) until the distribution function reaches the level, and Brent's method with tolerance
// tol then searches the last doubling (from 0 when none was made). Passes on the failures of
// ncChiSquareCdf and of the search.
double ncChiSquareQuantile(double df, double ncp, double level, double tol);
