#pragma once

// The box [lb, ub] of the bounded routines. Either bound array may be null (no bound on that side).

// True when no lower bound exceeds its upper bound.
bool boxIsConsistent(const double* lb, const double* ub, int m);

// The first index whose bound (in lb or ub) is not a finite number, or -1.
int firstNonFiniteBound(const double* lb, const double* ub, int m);

// Moves every component of p into the box. A component that is not a number goes to its upper
// bound (to its lower bound when only that one is given), so the objective never sees it.
void projectIntoBox(double* p, const double* lb, const double* ub, int m);
