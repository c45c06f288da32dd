#pragma once

// What the three routines share: reading opts, evaluating the objective into a residual, and
// writing info.

#include "levmar/fd_jacobian.h"
#include "levmar/levmar.h"
#include "levmar/vector_norms.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

struct LevmarOptions {
    double tau = LM_INIT_MU;
    double eps1 = LM_STOP_THRESH;
    double eps2 = LM_STOP_THRESH;
    double eps3 = LM_STOP_THRESH;
    double delta = LM_DIFF_DELTA;  // negative: central differences
};

inline LevmarOptions readLevmarOptions(const double* opts, bool withDelta)
{
    LevmarOptions o;
    if (opts) {
        o.tau = opts[0];
        o.eps1 = opts[1];
        o.eps2 = opts[2];
        o.eps3 = opts[3];
        if (withDelta) o.delta = opts[4];
    }
    return o;
}

// Doubles of a work area of residualVectors * n + 4 m + n m + m m doubles (see LM_BC_DER_WORKSZ
// and LM_DIF_WORKSZ) for m, n >= 1; throws std::bad_alloc when such an area could not be addressed,
// so that a size that overflows reads as the allocation failure it would be.
inline std::size_t levmarWorkSize(int m, int n, int residualVectors)
{
    const double M = m, N = n;
    const double doubles = residualVectors * N + 4.0 * M + N * M + M * M;
    if (!(doubles < static_cast<double>(PTRDIFF_MAX) / sizeof(double))) throw std::bad_alloc();
    return static_cast<std::size_t>(doubles);
}

// Calls the objective at q and leaves the residual x - f(q) in r; returns |r|^2.
struct ResidualEvaluator {
    LevmarObjective func;
    void* adata;
    const double* x;
    int m;
    int n;
    int evaluations = 0;

    double operator()(double* q, double* r)
    {
        func(q, r, m, n, adata);
        ++evaluations;
        return residualSquaredNorm(r, x, r, n);
    }
};

// The damped steps' singularity test: a step this many times longer than |p| is absurd.
constexpr double levmarSingularStepRatio = 1e-12 * 1e-12;

// The stop that a damped step of squared length stepSquaredNorm from a point of squared length
// pSquaredNorm calls for: 2 when it is relatively small, 4 when it is so long that it can only be
// the solution of a singular system, else 0.
inline int levmarStepStop(double stepSquaredNorm, double pSquaredNorm, double eps2)
{
    if (stepSquaredNorm <= eps2 * eps2 * pSquaredNorm) return 2;
    if (stepSquaredNorm >= (pSquaredNorm + eps2) / levmarSingularStepRatio) return 4;
    return 0;
}
constexpr double levmarOneThird = 0.3333333334;

struct LevmarRunSummary {
    double startError = 0.0;
    double error = 0.0;
    double gradientNorm = 0.0;
    double stepSquaredNorm = DBL_MAX;
    double muRatio = 0.0;
    int iterations = 0;
    int stop = 0;
    int evaluations = 0;
    int jacobians = 0;
    int solves = 0;
};

inline void writeLevmarInfo(double* info, const LevmarRunSummary& s)
{
    if (!info) return;
    info[0] = s.startError;
    info[1] = s.error;
    info[2] = s.gradientNorm;
    info[3] = s.stepSquaredNorm;
    info[4] = s.muRatio;
    info[5] = s.iterations;
    info[6] = s.stop;
    info[7] = s.evaluations;
    info[8] = s.jacobians;
    info[9] = s.solves;
}

// The state of info before a run has computed anything (and after a rejected call).
inline void writeRejectedInfo(double* info)
{
    if (!info) return;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < 6; ++i) info[i] = nan;
    info[6] = LM_ERROR;
    info[7] = info[8] = info[9] = 0.0;
}

// mu relative to the largest diagonal entry of J^T J; NaN when no Jacobian was formed.
inline double levmarMuRatio(double mu, const double* diagonal, int m, bool formed)
{
    if (!formed) return std::numeric_limits<double>::quiet_NaN();
    double largest = -DBL_MAX;
    for (int i = 0; i < m; ++i)
        if (diagonal[i] > largest) largest = diagonal[i];
    return mu / largest;
}

// The larger of current and |v| for the stop-1 test; a NaN sticks, so that a gradient that is
// not a number never passes for a small one.
inline double largerMagnitude(double current, double v)
{
    const double a = std::fabs(v);
    return std::isnan(current) || a <= current ? current : a;
}

// J^T J (m x m, full) and J^T e of the n x m Jacobian J, and the diagonal of J^T J.
inline void formNormalEquations(const double* jac, const double* e, double* JtJ, double* Jte,
                                double* diagonal, int m, int n)
{
    for (int i = 0; i < m * m; ++i) JtJ[i] = 0.0;
    for (int j = 0; j < m; ++j) Jte[j] = 0.0;
    for (int l = 0; l < n; ++l) {
        const double* row = jac + l * m;
        for (int i = 0; i < m; ++i) {
            const double a = row[i];
            for (int j = 0; j <= i; ++j) JtJ[i * m + j] += a * row[j];
            Jte[i] += a * e[l];
        }
    }
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < i; ++j) JtJ[j * m + i] = JtJ[i * m + j];
        diagonal[i] = JtJ[i * m + i];
    }
}
