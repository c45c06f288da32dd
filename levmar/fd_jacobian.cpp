#include "levmar/fd_jacobian.h"

#include "numerics/restore_on_exit.h"

#include <cmath>

namespace {

double stepFor(double pj, double delta)
{
    const double d = std::fabs(1e-4 * pj);
    return d < delta ? delta : d;
}

}  // namespace

void forwardDifferenceJacobian(LevmarObjective func, double* p, const double* hx, double* hxx,
                               double delta, double* jac, int m, int n, void* adata,
                               const double* lb, const double* ub)
{
    for (int j = 0; j < m; ++j) {
        double d = stepFor(p[j], delta);
        if (ub && p[j] + d > ub[j]) {
            if (lb && p[j] - d < lb[j]) {
                // A box narrower than the step: the parameter cannot move, and the objective
                // is not asked for a point outside the box.
                for (int i = 0; i < n; ++i) jac[i * m + j] = 0.0;
                continue;
            }
            d = -d;
        }
        {
            RestoreOnExit<double> restore(p[j]);  // p_j back however the evaluation ends
            p[j] = restore.saved() + d;
            func(p, hxx, m, n, adata);
        }
        const double inverse = 1.0 / d;
        for (int i = 0; i < n; ++i) jac[i * m + j] = (hxx[i] - hx[i]) * inverse;
    }
}

void centralDifferenceJacobian(LevmarObjective func, double* p, double* hxm, double* hxp,
                               double delta, double* jac, int m, int n, void* adata,
                               const double* lb, const double* ub)
{
    for (int j = 0; j < m; ++j) {
        const double d = stepFor(p[j], delta);
        if (lb && ub && p[j] - d < lb[j] && p[j] + d > ub[j]) {
            for (int i = 0; i < n; ++i) jac[i * m + j] = 0.0;
            continue;
        }
        {
            RestoreOnExit<double> restore(p[j]);  // p_j back however the evaluation ends
            p[j] = restore.saved() - d;
            func(p, hxm, m, n, adata);
            p[j] = restore.saved() + d;
            func(p, hxp, m, n, adata);
        }
        const double factor = 0.5 / d;
        for (int i = 0; i < n; ++i) jac[i * m + j] = (hxp[i] - hxm[i]) * factor;
    }
}
