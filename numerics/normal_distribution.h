#pragma once

// Standard normal distribution function N(x), by Hart's double-precision rational approximation
// with a continued-fraction tail (absolute error about 2e-16). N(0) is exactly 0.5; beyond |x| = 37
// the result is exactly 0 or 1.
double normalCdf(double x);
