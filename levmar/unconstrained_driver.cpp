// dlevmar_dif: unconstrained Levenberg-Marquardt with a secant-updated finite-difference Jacobian.

#include "levmar/fd_jacobian.h"
#include "levmar/levmar.h"
#include "levmar/linear_solve.h"
#include "levmar/run_state.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>
#include <vector>

int dlevmar_dif(void (*func)(double* p, double* hx, int m, int n, void* adata), double* p,
                double* x, int m, int n, int itmax, double* opts, double* info, double* work,
                double* covar, void* adata)
{
    writeRejectedInfo(info);
    if (m < 1) {
        std::fprintf(stderr, "dlevmar_dif(): cannot solve a problem with %d unknowns\n", m);
        return LM_ERROR;
    }
    if (n < m) {
        std::fprintf(stderr,
                     "dlevmar_dif(): cannot solve a problem with fewer measurements [%d] than "
                     "unknowns [%d]\n",
                     n, m);
        return LM_ERROR;
    }
    const LevmarOptions o = readLevmarOptions(opts, true);
    const bool central = o.delta < 0.0;
    const double delta = std::fabs(o.delta);
    // Full recomputations of the Jacobian at most every this many secant updates.
    const int secantUpdatesPerJacobian = std::max(m, 10);

    std::vector<double> ownWork;
    std::optional<NormalEquationSolver> solver;
    try {
        if (!work) ownWork.resize(levmarWorkSize(m, n, 4));
        solver.emplace(m);
    } catch (const std::exception&) {
        // bad_alloc, or a length the containers refuse: no call may let either out.
        std::fprintf(stderr, "dlevmar_dif(): memory allocation request failed\n");
        return LM_ERROR;
    }
    double* area = work ? work : ownWork.data();
    double* e = area;              // residual at p
    double* hx = e + n;            // f(p)
    double* trialHx = hx + n;      // f at the trial point
    double* trialE = trialHx + n;  // residual at the trial point
    double* Jte = trialE + n;
    double* Dp = Jte + m;
    double* diagonal = Dp + m;
    double* pDp = diagonal + m;
    double* jac = pDp + m;
    double* JtJ = jac + static_cast<std::size_t>(n) * m;

    LevmarRunSummary s;
    func(p, hx, m, n, adata);
    int evaluations = 1;
    double error = residualSquaredNorm(e, x, hx, n);
    s.startError = error;
    if (!std::isfinite(error)) s.stop = 7;

    double mu = 0.0, pSquaredNorm = 0.0;
    int nu = 20;  // above 16: the first iteration computes the Jacobian
    bool stepSinceJacobian = true, normalEquationsStale = false;
    int secantUpdates = 0;
    int k = 0;
    for (; k < itmax && !s.stop; ++k) {
        if (error <= o.eps3) {
            s.stop = 6;
            break;
        }
        // Recompute after a run of refusals that followed an accepted step (the secant
        // updates have drifted), or after enough updates.
        if ((stepSinceJacobian && nu > 16) || secantUpdates == secantUpdatesPerJacobian) {
            if (central) {
                centralDifferenceJacobian(func, p, trialHx, trialE, delta, jac, m, n, adata);
                evaluations += 2 * m;
            } else {
                forwardDifferenceJacobian(func, p, hx, trialHx, delta, jac, m, n, adata);
                evaluations += m;
            }
            ++s.jacobians;
            // A difference quotient that is not a number means the objective failed near p.
            if (!allFinite(jac, m * n)) {
                s.stop = 7;
                break;
            }
            nu = 2;
            secantUpdates = 0;
            stepSinceJacobian = false;
            normalEquationsStale = true;
        }
        if (normalEquationsStale) {
            formNormalEquations(jac, e, JtJ, Jte, diagonal, m, n);
            s.gradientNorm = 0.0;
            for (int i = 0; i < m; ++i) s.gradientNorm = largerMagnitude(s.gradientNorm, Jte[i]);
            pSquaredNorm = squaredNorm(p, m);
            normalEquationsStale = false;
        }
        if (s.gradientNorm <= o.eps1) {
            s.stepSquaredNorm = 0.0;
            s.stop = 1;
            break;
        }
        if (k == 0) {
            double largest = -DBL_MAX;
            for (int i = 0; i < m; ++i)
                if (diagonal[i] > largest) largest = diagonal[i];
            mu = o.tau * largest;
        }

        for (int i = 0; i < m; ++i) JtJ[i * m + i] = diagonal[i] + mu;
        const bool solved = solver->solve(JtJ, Jte, Dp);
        ++s.solves;
        if (solved) {
            for (int i = 0; i < m; ++i) pDp[i] = p[i] + Dp[i];
            s.stepSquaredNorm = squaredNorm(Dp, m);
            if (const int stop = levmarStepStop(s.stepSquaredNorm, pSquaredNorm, o.eps2)) {
                s.stop = stop;
                break;
            }
            func(pDp, trialHx, m, n, adata);
            ++evaluations;
            const double trialError = residualSquaredNorm(trialE, x, trialHx, n);
            if (!std::isfinite(trialError)) {
                s.stop = 7;
                break;
            }
            const double dF = error - trialError;
            if (stepSinceJacobian || dF > 0.0) {
                // Broyden's rank-one update: J += (f(p + Dp) - f(p) - J Dp) Dp^T / |Dp|^2.
                for (int i = 0; i < n; ++i) {
                    double* row = jac + static_cast<std::size_t>(i) * m;
                    double predicted = 0.0;
                    for (int j = 0; j < m; ++j) predicted += row[j] * Dp[j];
                    const double factor = (trialHx[i] - hx[i] - predicted) / s.stepSquaredNorm;
                    for (int j = 0; j < m; ++j) row[j] += factor * Dp[j];
                }
                ++secantUpdates;
                normalEquationsStale = true;
            }
            double dL = 0.0;
            for (int i = 0; i < m; ++i) dL += Dp[i] * (mu * Dp[i] + Jte[i]);
            if (dL > 0.0 && dF > 0.0) {
                double gain = 2.0 * dF / dL - 1.0;
                gain = 1.0 - gain * gain * gain;
                mu *= gain >= levmarOneThird ? gain : levmarOneThird;
                nu = 2;
                for (int i = 0; i < m; ++i) p[i] = pDp[i];
                for (int i = 0; i < n; ++i) {
                    e[i] = trialE[i];
                    hx[i] = trialHx[i];
                }
                error = trialError;
                stepSinceJacobian = true;
                continue;
            }
        }
        mu *= nu;
        if (nu > INT_MAX / 2) {
            s.stop = 5;
            break;
        }
        nu *= 2;
    }
    if (k >= itmax) s.stop = 3;

    for (int i = 0; i < m; ++i) JtJ[i * m + i] = diagonal[i];
    s.error = error;
    s.iterations = k;
    s.muRatio = levmarMuRatio(mu, diagonal, m, s.jacobians > 0);
    s.evaluations = evaluations;
    writeLevmarInfo(info, s);
    if (covar && s.jacobians > 0) levmarCovariance(JtJ, covar, error, m, n);
    return s.stop == 4 || s.stop == 7 ? LM_ERROR : k;
}
