#pragma once

#include "numerics/incomplete_gamma.h"

// The gamma law with density proportional to x^(alph - 1) e^(-bet x): shape alph, rate bet.
// Like its IncGamma base, a record belongs to one thread.
struct Gammadist : IncGamma {
    double alph;
    double bet;
    double logNorm;  // alph ln(bet) - ln Γ(alph), the log of the density's normalising factor

    // Throws NumericalError "bad alph,bet in Gammadist" unless both are positive numbers.
    Gammadist(double alph, double bet);

    // x with P(alph, bet x) = p. Throws NumericalError "bad p in Gammadist" unless 0 <= p < 1.
    double quantile(double p);
};
