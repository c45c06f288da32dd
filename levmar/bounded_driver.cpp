// dlevmar_bc_dif: the bounded iteration with a finite-difference Jacobian.

#include "levmar/bounded_iteration.h"
#include "levmar/fd_jacobian.h"
#include "levmar/levmar.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

namespace {

// What the iteration's objective and Jacobian callbacks need of the caller's problem.
struct DifferenceRecord {
    LevmarObjective func;
    void* adata;
    bool forward;
    double delta;
    const double* lb;
    const double* ub;
    std::vector<double> hx, hxx;

    static void objective(double* p, double* hx, int m, int n, void* self)
    {
        auto* r = static_cast<DifferenceRecord*>(self);
        r->func(p, hx, m, n, r->adata);
    }

    static void jacobian(double* p, double* jac, int m, int n, void* self)
    {
        auto* r = static_cast<DifferenceRecord*>(self);
        if (r->forward) {
            // The iteration keeps only the residual at p, so the base values cost one more call.
            r->func(p, r->hx.data(), m, n, r->adata);
            forwardDifferenceJacobian(r->func, p, r->hx.data(), r->hxx.data(), r->delta, jac, m, n,
                                      r->adata, r->lb, r->ub);
        } else {
            centralDifferenceJacobian(r->func, p, r->hx.data(), r->hxx.data(), r->delta, jac, m,
                                      n, r->adata, r->lb, r->ub);
        }
    }
};

}  // namespace

int dlevmar_bc_dif_hooked(void (*func)(double* p, double* hx, int m, int n, void* adata),
                          double* p, double* x, int m, int n, double* lb, double* ub, double* dscl,
                          int itmax, double* opts, double* info, double* work, double* covar,
                          void* adata, const LevmarIterationHook* hook)
{
    DifferenceRecord record{func, adata, true, LM_DIFF_DELTA, lb, ub, {}, {}};
    if (opts) {
        record.forward = opts[4] >= 0.0;
        record.delta = std::fabs(opts[4]);
    }
    try {
        const std::size_t size = n > 0 ? static_cast<std::size_t>(n) : 0;
        record.hx.resize(size);
        record.hxx.resize(size);
    } catch (const std::exception&) {
        std::fprintf(stderr, "dlevmar_bc_dif(): memory allocation request failed\n");
        return LM_ERROR;
    }
    const int result =
        boundedLevenbergMarquardt(&DifferenceRecord::objective, &DifferenceRecord::jacobian, p, x,
                                  m, n, lb, ub, dscl, itmax, opts, info, work, covar, &record, hook);
    if (info) info[7] += info[8] * (record.forward ? m + 1 : 2 * m);
    return result;
}

int dlevmar_bc_dif(void (*func)(double* p, double* hx, int m, int n, void* adata), double* p,
                   double* x, int m, int n, double* lb, double* ub, double* dscl, int itmax,
                   double* opts, double* info, double* work, double* covar, void* adata)
{
    return dlevmar_bc_dif_hooked(func, p, x, m, n, lb, ub, dscl, itmax, opts, info, work, covar,
                                 adata, nullptr);
}
