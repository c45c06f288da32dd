#pragma once

// Finite-difference Jacobians of the drivers: n x m, row by row. Column j perturbs p_j in place by
// d = max(|1e-4 p_j|, delta) and restores it afterwards, also when func throws.

using LevmarObjective = void (*)(double* p, double* hx, int m, int n, void* adata);

// Forward differences against hx = func(p), which the caller supplies; hxx is n doubles of
// scratch. With ub given, a column whose forward step would pass ub_j steps back to p_j - d
// instead; when that would pass lb_j too (a box narrower than the step) the column is zero and
// costs no evaluation. The objective is never evaluated outside a box that holds p.
void forwardDifferenceJacobian(LevmarObjective func, double* p, const double* hx, double* hxx,
                               double delta, double* jac, int m, int n, void* adata,
                               const double* lb = nullptr, const double* ub = nullptr);

// Central differences; hxm and hxp are n doubles of scratch each. With both bounds given, a box
// narrower than the step on both sides gives a zero column without evaluations; otherwise the
// steps may pass a bound, as levmar's do.
void centralDifferenceJacobian(LevmarObjective func, double* p, double* hxm, double* hxp,
                               double delta, double* jac, int m, int n, void* adata,
                               const double* lb = nullptr, const double* ub = nullptr);
