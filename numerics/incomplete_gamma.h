#pragma once

// ln Γ(x) for x > 0 (14-term Lanczos series, g = 671/128, relative error near 1e-15).
// Throws NumericalError "bad arg in gammln" for x <= 0 and for a non-finite x.
double gammln(double x);

// The regularised lower incomplete gamma function P(a, x) and its inverse in x.
//
// lastLogGamma holds ln Γ(a) for the shape of the latest call on this record; invgammap reads it back
// during its refinement. A record therefore belongs to one thread; callers make a fresh one per use.
struct IncGamma {
    double lastLogGamma = 0.0;

    // P(a, x): quadrature for a >= 100, the series for x < a + 1, else 1 - the continued fraction.
    // P(a, +inf) = 1. Throws NumericalError "bad args in gammp" for x < 0, a <= 0 or a NaN argument.
    double gammp(double a, double x);

    // P(a, x) by its power series; meant for x < a + 1.
    double gammpSeries(double a, double x);

    // Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz); meant for x >= a + 1.
    double gammqFraction(double a, double x);

    // P(a, x) by an 18-point Gauss-Legendre quadrature around the peak of the integrand; for a >= 100,
    // where the series and the fraction would need O(sqrt(a)) terms.
    double gammpQuadrature(double a, double x);

    // x with P(a, x) = p, by at most 12 Halley steps from a normal-approximation start. Returns 0 for
    // p <= 0 and max(100, a + 100 sqrt(a)) for p >= 1. Throws NumericalError "a must be pos in
    // invgammap" for a <= 0 (or NaN), "bad p in invgammap" for a NaN p, and "Halley refinement failed in
    // invgammap" when the density underflows and the iterate stops being a finite number.
    double invgammap(double p, double a);
};
