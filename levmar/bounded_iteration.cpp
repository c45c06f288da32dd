#include "levmar/bounded_iteration.h"

#include "levmar/box.h"
#include "levmar/line_search.h"
#include "levmar/linear_solve.h"
#include "levmar/run_state.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace {

// Line search and projected-gradient constants of the bounded iteration.
constexpr double lineSearchAlpha = 1e-4;
constexpr double gradientStepShrink = 0.9;
constexpr double acceptGain = 0.99995;
constexpr double descentRho = 1e-8;
constexpr double descentPower = 2.1;
constexpr double smallestGradientStep = 1e-18;
constexpr double largestGradientStep = 1.0;

// The caller's parameters, bounds and objective seen through the scale factors dscl: the iteration
// works on q = p / dscl, the objective and the hook always see p.
class ScaledProblem {
public:
    ScaledProblem(void (*func)(double*, double*, int, int, void*),
                  void (*jacf)(double*, double*, int, int, void*), void* adata, const double* dscl,
                  int m, const double* lb, const double* ub, const LevmarIterationHook* hook)
        : func_(func), jacf_(jacf), adata_(adata), dscl_(dscl), m_(m), hook_(hook), p_(m)
    {
        if (lb) {
            lb_.assign(lb, lb + m);
            for (int i = 0; i < m; ++i) lb_[i] /= dscl[i];
        }
        if (ub) {
            ub_.assign(ub, ub + m);
            for (int i = 0; i < m; ++i) ub_[i] /= dscl[i];
        }
        if (hook) scaledHook_ = {&ScaledProblem::hookCall, this};
    }

    static void funcCall(double* q, double* hx, int m, int n, void* self)
    {
        auto* s = static_cast<ScaledProblem*>(self);
        s->func_(s->unscale(q), hx, m, n, s->adata_);
    }
    static void jacfCall(double* q, double* jac, int m, int n, void* self)
    {
        auto* s = static_cast<ScaledProblem*>(self);
        s->jacf_(s->unscale(q), jac, m, n, s->adata_);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < m; ++j) jac[i * m + j] *= s->dscl_[j];
    }
    static bool hookCall(const double* q, int m, int k, void* self)
    {
        auto* s = static_cast<ScaledProblem*>(self);
        return s->hook_->callback(s->unscale(q), m, k, s->hook_->context);
    }

    double* lb() { return lb_.empty() ? nullptr : lb_.data(); }
    double* ub() { return ub_.empty() ? nullptr : ub_.data(); }
    const LevmarIterationHook* hook() const { return hook_ ? &scaledHook_ : nullptr; }

private:
    double* unscale(const double* q)
    {
        for (int i = 0; i < m_; ++i) p_[i] = q[i] * dscl_[i];
        return p_.data();
    }

    void (*func_)(double*, double*, int, int, void*);
    void (*jacf_)(double*, double*, int, int, void*);
    void* adata_;
    const double* dscl_;
    int m_;
    const LevmarIterationHook* hook_;
    LevmarIterationHook scaledHook_{};
    std::vector<double> p_, lb_, ub_;
};

// Multiplies the scaled iterate back into the caller's units however the run ends.
class Unscaler {
public:
    Unscaler(double* p, const double* dscl, int m) : p_(p), dscl_(dscl), m_(m)
    {
        for (int i = 0; i < m; ++i) p_[i] /= dscl_[i];
    }
    ~Unscaler()
    {
        for (int i = 0; i < m_; ++i) p_[i] *= dscl_[i];
    }
    Unscaler(const Unscaler&) = delete;
    Unscaler& operator=(const Unscaler&) = delete;

private:
    double* p_;
    const double* dscl_;
    int m_;
};

int allocationFailure()
{
    std::fprintf(stderr, "dlevmar_bc_der(): memory allocation request failed\n");
    return LM_ERROR;
}

// The iteration proper, on inputs that passed the checks.
int iterate(void (*func)(double*, double*, int, int, void*),
            void (*jacf)(double*, double*, int, int, void*), double* p, double* x, int m, int n,
            const double* lb, const double* ub, int itmax, double* opts, double* info,
            double* work, double* covar, void* adata, const LevmarIterationHook* hook)
{
    const LevmarOptions o = readLevmarOptions(opts, false);
    const double eps2Squared = o.eps2 * o.eps2;

    std::vector<double> ownWork;
    std::vector<double> startPoint;
    std::optional<NormalEquationSolver> solver;
    try {
        if (!work) ownWork.resize(levmarWorkSize(m, n, 2));
        startPoint.assign(p, p + m);
        solver.emplace(m);
    } catch (const std::exception&) {
        // bad_alloc, or a length the containers refuse: no call may let either out.
        return allocationFailure();
    }
    double* area = work ? work : ownWork.data();
    double* e = area;           // residual x - f(p)
    double* hx = e + n;         // residual at a trial point
    double* Jte = hx + n;       // J^T e, negated into the gradient when a step is refused
    double* jac = Jte + m;
    double* JtJ = jac + static_cast<std::size_t>(n) * m;
    double* Dp = JtJ + static_cast<std::size_t>(m) * m;
    double* diagonal = Dp + m;  // diagonal of J^T J before damping
    double* pDp = diagonal + m; // trial point

    projectIntoBox(p, lb, ub, m);
    for (int i = 0; i < m; ++i)
        if (startPoint[i] != p[i])
            std::fprintf(stderr,
                         "Warning: component %d of starting point not feasible in "
                         "dlevmar_bc_der()! [%g projected to %g]\n",
                         i, startPoint[i], p[i]);

    ResidualEvaluator evaluate{func, adata, x, m, n};
    LevmarRunSummary s;
    double error = evaluate(p, e);
    s.startError = error;
    if (!std::isfinite(error)) s.stop = 7;

    double mu = 0.0, gradientStep = 0.0;
    int nu = 2;
    bool previousGradientStep = false;
    const bool bounded = lb || ub;
    int k = 0;
    for (; k < itmax && !s.stop; ++k) {
        if (error <= o.eps3) {
            s.stop = 6;
            break;
        }
        jacf(p, jac, m, n, adata);
        ++s.jacobians;
        // The objective failed at a point near p (a difference quotient is not a number): the
        // normal equations would carry it into every solve, so this is the failed objective's stop.
        if (!allFinite(jac, m * n)) {
            s.stop = 7;
            break;
        }
        formNormalEquations(jac, e, JtJ, Jte, diagonal, m, n);
        const double pSquaredNorm = squaredNorm(p, m);

        // First-order optimality in the box: small gradient over the free components, and every
        // component held at a bound pushed outwards by the descent direction J^T e.
        int active = 0, outward = 0;
        double gradientNorm = 0.0;
        for (int i = 0; i < m; ++i) {
            if (ub && p[i] == ub[i]) {
                ++active;
                if (Jte[i] > 0.0) ++outward;
            } else if (lb && p[i] == lb[i]) {
                ++active;
                if (Jte[i] < 0.0) ++outward;
            } else {
                gradientNorm = largerMagnitude(gradientNorm, Jte[i]);
            }
        }
        s.gradientNorm = gradientNorm;
        if (outward == active && gradientNorm <= o.eps1) {
            s.stepSquaredNorm = 0.0;
            s.stop = 1;
            break;
        }

        if (k == 0) {
            if (bounded) {
                mu = 0.5 * o.tau * error;
            } else {
                double largest = -DBL_MAX;
                for (int i = 0; i < m; ++i)
                    if (diagonal[i] > largest) largest = diagonal[i];
                mu = o.tau * largest;
            }
        }

        bool leaveAtOnce = false;  // a non-finite value in a gradient step skips the hook
        for (;;) {
            for (int i = 0; i < m; ++i) JtJ[i * m + i] = diagonal[i] + mu;
            const bool solved = solver->solve(JtJ, Jte, Dp);
            ++s.solves;
            if (!solved) {
                mu *= nu;
                if (nu > INT_MAX / 2) {
                    s.stop = 5;
                    break;
                }
                nu *= 2;
                continue;
            }

            for (int i = 0; i < m; ++i) pDp[i] = p[i] + Dp[i];
            projectIntoBox(pDp, lb, ub, m);
            for (int i = 0; i < m; ++i) Dp[i] = pDp[i] - p[i];
            s.stepSquaredNorm = squaredNorm(Dp, m);
            if (const int stop = levmarStepStop(s.stepSquaredNorm, pSquaredNorm, o.eps2)) {
                s.stop = stop;
                break;
            }
            double trialError = evaluate(pDp, hx);
            // An overflowed sum of squares over finite residuals is still a usable (bad) value.
            if (!std::isfinite(trialError) && !std::isfinite(scaledEuclideanNorm(hx, n))) {
                s.stop = 7;
                break;
            }
            if (trialError <= acceptGain * error) {
                double dL = 0.0;
                for (int i = 0; i < m; ++i) dL += Dp[i] * (mu * Dp[i] + Jte[i]);
                if (dL > 0.0) {
                    double gain = 2.0 * (error - trialError) / dL - 1.0;
                    gain = 1.0 - gain * gain * gain;
                    mu *= gain >= levmarOneThird ? gain : levmarOneThird;
                } else if (0.1 * trialError < mu) {
                    mu = 0.1 * trialError;
                }
                nu = 2;
                for (int i = 0; i < m; ++i) p[i] = pDp[i];
                for (int i = 0; i < n; ++i) e[i] = hx[i];
                error = trialError;
                previousGradientStep = false;
                break;
            }

            // The damped step did not pay: search along it when it descends, else follow the
            // projected gradient.
            double* g = Jte;
            for (int i = 0; i < m; ++i) g[i] = -g[i];
            bool haveStep = false;
            const double gDp = dotProduct(g, Dp, m);
            if (gDp <= -descentRho * std::pow(s.stepSquaredNorm, descentPower / 2.0)) {
                const double stepMax = 1000.0 * std::fmax(1.0, std::sqrt(pSquaredNorm));
                const double stepTolerance = 1000.0 * std::sqrt(DBL_EPSILON);
                const bool found = boxedLineSearch(evaluate, p, error, g, Dp, pDp, hx, trialError,
                                                   m, stepMax, stepTolerance, lb, ub);
                if (found && std::isfinite(trialError)) {
                    previousGradientStep = false;
                    haveStep = true;
                }
            }
            if (!haveStep) {
                const double t0 = std::fmin(largestGradientStep,
                                            100.0 / (1.0 + std::sqrt(squaredNorm(g, m))));
                if (!previousGradientStep) gradientStep = t0;
                for (; gradientStep > smallestGradientStep; gradientStep *= gradientStepShrink) {
                    for (int i = 0; i < m; ++i) pDp[i] = p[i] - gradientStep * g[i];
                    projectIntoBox(pDp, lb, ub, m);
                    for (int i = 0; i < m; ++i) Dp[i] = pDp[i] - p[i];
                    s.stepSquaredNorm = squaredNorm(Dp, m);
                    trialError = evaluate(pDp, hx);
                    if (!std::isfinite(trialError) && !std::isfinite(scaledEuclideanNorm(hx, n))) {
                        s.stop = 7;
                        leaveAtOnce = true;
                        break;
                    }
                    const double gStep = dotProduct(g, Dp, m);
                    if (previousGradientStep && trialError <= error + 2.0 * 0.99999 * gStep) {
                        // The step inherited from the last iteration is too timid here.
                        gradientStep = t0;
                        previousGradientStep = false;
                        continue;
                    }
                    if (trialError <= error + 2.0 * lineSearchAlpha * gStep) {
                        previousGradientStep = true;
                        haveStep = true;
                        break;
                    }
                }
                if (leaveAtOnce) break;
                if (!haveStep) {
                    // Repeating this iteration would recompute the same Jacobian and fail the
                    // same way until itmax: nothing is left to gain from here.
                    previousGradientStep = false;
                    s.stop = 2;
                    break;
                }
            }

            for (int i = 0; i < m; ++i) Dp[i] = pDp[i] - p[i];
            s.stepSquaredNorm = squaredNorm(Dp, m);
            if (s.stepSquaredNorm <= eps2Squared * pSquaredNorm) {
                s.stop = 2;
                break;
            }
            for (int i = 0; i < m; ++i) p[i] = pDp[i];
            for (int i = 0; i < n; ++i) e[i] = hx[i];
            error = trialError;
            break;
        }
        if (leaveAtOnce) break;
        if (hook && hook->callback && hook->callback(p, m, k, hook->context)) {
            s.stop = levmarHookStopReason;
            break;
        }
    }
    if (k >= itmax) s.stop = 3;

    for (int i = 0; i < m; ++i) JtJ[i * m + i] = diagonal[i];
    s.error = error;
    s.iterations = k;
    s.muRatio = levmarMuRatio(mu, diagonal, m, s.jacobians > 0);
    s.evaluations = evaluate.evaluations;
    writeLevmarInfo(info, s);
    if (covar && s.jacobians > 0) levmarCovariance(JtJ, covar, error, m, n);
    return s.stop == 4 || s.stop == 7 ? LM_ERROR : k;
}

}  // namespace

int boundedLevenbergMarquardt(void (*func)(double*, double*, int, int, void*),
                              void (*jacf)(double*, double*, int, int, void*), double* p,
                              double* x, int m, int n, double* lb, double* ub, double* dscl,
                              int itmax, double* opts, double* info, double* work, double* covar,
                              void* adata, const LevmarIterationHook* hook)
{
    writeRejectedInfo(info);
    if (m < 1) {
        std::fprintf(stderr, "dlevmar_bc_der(): cannot solve a problem with %d unknowns\n", m);
        return LM_ERROR;
    }
    if (n < m) {
        std::fprintf(stderr,
                     "dlevmar_bc_der(): cannot solve a problem with fewer measurements [%d] than "
                     "unknowns [%d]\n",
                     n, m);
        return LM_ERROR;
    }
    if (!jacf) {
        std::fprintf(stderr,
                     "No function specified for computing the Jacobian in dlevmar_bc_der().\n"
                     "If no such function is available, use dlevmar_bc_dif() rather than "
                     "dlevmar_bc_der()\n");
        return LM_ERROR;
    }
    if (const int i = firstNonFiniteBound(lb, ub, m); i >= 0) {
        const bool lower = lb && !std::isfinite(lb[i]);
        std::fprintf(stderr, "dlevmar_bc_der(): bounds should be finite numbers (%s[%d]: %g)\n",
                     lower ? "lb" : "ub", i, lower ? lb[i] : ub[i]);
        return LM_ERROR;
    }
    if (!boxIsConsistent(lb, ub, m)) {
        std::fprintf(stderr, "dlevmar_bc_der(): at least one lower bound exceeds the upper one\n");
        return LM_ERROR;
    }
    if (!dscl)
        return iterate(func, jacf, p, x, m, n, lb, ub, itmax, opts, info, work, covar, adata, hook);

    for (int i = 0; i < m; ++i) {
        if (dscl[i] <= 0.0) {
            std::fprintf(stderr,
                         "dlevmar_bc_der(): scaling constants should be positive (scale %d: %g <= "
                         "0)\n",
                         i, dscl[i]);
            return LM_ERROR;
        }
        if (!std::isfinite(dscl[i])) {
            std::fprintf(stderr,
                         "dlevmar_bc_der(): scaling constants should be finite numbers (scale %d: "
                         "%g)\n",
                         i, dscl[i]);
            return LM_ERROR;
        }
    }
    std::unique_ptr<ScaledProblem> scaled;
    try {
        scaled = std::make_unique<ScaledProblem>(func, jacf, adata, dscl, m, lb, ub, hook);
    } catch (const std::exception&) {
        return allocationFailure();
    }
    int result;
    {
        Unscaler unscale(p, dscl, m);
        result = iterate(&ScaledProblem::funcCall, &ScaledProblem::jacfCall, p, x, m, n, scaled->lb(),
                         scaled->ub(), itmax, opts, info, work, covar, scaled.get(), scaled->hook());
    }
    // The iteration saw q = p / dscl; the caller's covariance is that of p.
    if (covar && info && info[8] > 0)
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j) covar[i * m + j] *= dscl[i] * dscl[j];
    return result;
}

int dlevmar_bc_der(void (*func)(double* p, double* hx, int m, int n, void* adata),
                   void (*jacf)(double* p, double* j, int m, int n, void* adata), double* p,
                   double* x, int m, int n, double* lb, double* ub, double* dscl, int itmax,
                   double* opts, double* info, double* work, double* covar, void* adata)
{
    return boundedLevenbergMarquardt(func, jacf, p, x, m, n, lb, ub, dscl, itmax, opts, info, work,
                                     covar, adata, nullptr);
}

int dlevmar_bc_der_hooked(void (*func)(double* p, double* hx, int m, int n, void* adata),
                          void (*jacf)(double* p, double* j, int m, int n, void* adata), double* p,
                          double* x, int m, int n, double* lb, double* ub, double* dscl, int itmax,
                          double* opts, double* info, double* work, double* covar, void* adata,
                          const LevmarIterationHook* hook)
{
    return boundedLevenbergMarquardt(func, jacf, p, x, m, n, lb, ub, dscl, itmax, opts, info, work,
                                     covar, adata, hook);
}
