#pragma once

// The bounded iteration behind dlevmar_bc_der(_hooked), for the finite-difference driver.

#include "levmar/levmar.h"

int boundedLevenbergMarquardt(void (*func)(double*, double*, int, int, void*),
                              void (*jacf)(double*, double*, int, int, void*), double* p,
                              double* x, int m, int n, double* lb, double* ub, double* dscl,
                              int itmax, double* opts, double* info, double* work, double* covar,
                              void* adata, const LevmarIterationHook* hook);
