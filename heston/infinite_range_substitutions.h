#pragma once

#include "heston/integrator.h"

// Substitutions that turn an integral of f over [0, ∞) into one over a finite interval, with
// phi = -log(u)/c_inf. c_inf sets how fast the finite variable sweeps through the decay of f.
// Near the singular end the wrapped function is 0, and f is not called there.

// Onto (0, 1]: x -> f(-log(x)/c_inf) / (x·c_inf).
class integrand2 {
public:
    integrand2(double c_inf, const Integrand& f) : c_inf(c_inf), f(f) {}
    double operator()(double x) const;

private:
    double c_inf;
    Integrand f;
};

// Onto (-1, 1]: x -> f(-log(0.5·x + 0.5)/c_inf) / (c_inf·(x + 1)).
class integrandShifted {
public:
    integrandShifted(double c_inf, const Integrand& f) : c_inf(c_inf), f(f) {}
    double operator()(double x) const;

private:
    double c_inf;
    Integrand f;
};
