// Every stop reason of the drivers, reached on small objectives built for it, with the info array
// and the return value that come with it.

#include "levmar/levmar.h"
#include "support/published_problems.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

void constant(double*, double* hx, int, int n, void*)
{
    for (int i = 0; i < n; ++i) hx[i] = i + 1.0;
}
void identity(double* p, double* hx, int, int, void*) { hx[0] = p[0]; }
using published::line;
using published::rosenbrock;
void allNan(double*, double* hx, int, int, void*) { hx[0] = hx[1] = nan; }
// A number at the start point 0 only: every difference quotient is NaN.
void nanOffStart(double* p, double* hx, int, int, void*) { hx[0] = p[0] == 0.0 ? 0.0 : nan; }
// Finite values and difference quotients (1e160) whose products in J^T J overflow: every damped
// system is unsolvable however large mu grows.
void overflowingCurvature(double* p, double* hx, int, int, void*)
{
    hx[0] = 1e160 * (p[0] + p[1]);
    hx[1] = 1e160 * (p[0] - p[1]);
}
void nanBeyondTwo(double* p, double* hx, int, int, void*) { hx[0] = p[0] > 2.0 ? nan : p[0]; }
// Beyond 2 residuals so large that their sum of squares overflows, though each is finite.
void hugeBeyondTwo(double* p, double* hx, int, int, void*)
{
    hx[0] = hx[1] = p[0] > 2.0 ? 1e200 : p[0];
}

struct Case {
    const char* what;
    void (*func)(double*, double*, int, int, void*);
    std::vector<double> p, x;
    double tau, eps2, eps3;
    int itmax;
    int stop;
    int difResult, bcResult;  // -2: the number of iterations
    double startError;
};

constexpr int iterations = -2;

const Case cases[] = {
    // J^T e is exactly zero: the model does not depend on p.
    {"zero gradient", constant, {0.5, 0.5}, {0, 0}, 1e-3, 1e-15, 1e-20, 100, 1, 0, 0, 5.0},
    {"small relative step", line, {3, -1}, {1, 0, 2}, 1e-3, 1e-10, 1e-20, 100, 2, iterations,
     iterations, 9.0},
    {"itmax", rosenbrock, {-1.2, 1}, {0, 0}, 1e-3, 1e-15, 1e-20, 3, 3, 3, 3, 24.2},
    // From p = 0 the first step is about 1e4 long; with |p| = 0 and eps2 = 1e-17 any step beyond
    // sqrt(1e-17 / 1e-24) ~ 3162 is the solution of a singular system. A tiny tau keeps the
    // bounded run's damping (0.5 tau |e|^2) from shortening the step.
    {"absurd step", identity, {0}, {1e4}, 1e-20, 1e-17, 1e-20, 100, 4, LM_ERROR, LM_ERROR, 1e8},
    // Every damped system has a non-finite solution, counts as unsolved and doubles nu until one
    // more doubling would overflow an int (30 solves from nu = 2). The unconstrained driver spends
    // an iteration per solve, the bounded one retries within its first.
    {"mu cannot grow", overflowingCurvature, {0, 0}, {1, 1}, 1e-3, 1e-15, 1e-20, 100, 5, 29, 1, 2.0},
    {"small error", rosenbrock, {-1.2, 1}, {0, 0}, 1e-3, 0.0, 1e-20, 100, 6, iterations,
     iterations, 24.2},
    {"NaN at the start", allNan, {1, 2}, {0, 0}, 1e-3, 1e-15, 1e-20, 100, 7, LM_ERROR, LM_ERROR, nan},
    // The objective fails in a Jacobian column: a failure, not a fit that cannot improve.
    {"NaN in a Jacobian column", nanOffStart, {0}, {1}, 1e-3, 1e-15, 1e-20, 100, 7, LM_ERROR,
     LM_ERROR, 1.0},
    {"NaN on the first step", nanBeyondTwo, {0}, {5}, 1e-3, 1e-15, 1e-20, 100, 7, LM_ERROR,
     LM_ERROR, 25.0},
};

}  // namespace

TEST(StopReasons, EachStopWithItsInfoAndReturnValue)
{
    for (const Case& c : cases)
        for (bool bounded : {false, true}) {
            std::vector<double> p = c.p, x = c.x;
            const int m = static_cast<int>(p.size()), n = static_cast<int>(x.size());
            double opts[5] = {c.tau, 1e-15, c.eps2, c.eps3, 1e-6}, info[LM_INFO_SZ];
            double lb[2] = {-1e6, -1e6}, ub[2] = {1e6, 1e6};
            const int result =
                bounded ? dlevmar_bc_dif(c.func, p.data(), x.data(), m, n, lb, ub, nullptr, c.itmax,
                                         opts, info, nullptr, nullptr, nullptr)
                        : dlevmar_dif(c.func, p.data(), x.data(), m, n, c.itmax, opts, info,
                                      nullptr, nullptr, nullptr);
            const std::string label = std::string(c.what) + (bounded ? " bc_dif" : " dif");
            EXPECT_EQ(info[6], c.stop) << label;
            const int expected = bounded ? c.bcResult : c.difResult;
            EXPECT_EQ(result, expected == iterations ? info[5] : expected) << label;
            if (std::isnan(c.startError)) {
                EXPECT_TRUE(std::isnan(info[0])) << label;
            } else {
                EXPECT_DOUBLE_EQ(info[0], c.startError) << label;
            }
            switch (c.stop) {
            case 1: EXPECT_EQ(info[2], 0.0) << label; EXPECT_EQ(info[3], 0.0) << label; break;
            case 2: EXPECT_NEAR(p[0], 0.5, 1e-7) << label; EXPECT_NEAR(info[1], 1.5, 1e-12) << label; break;
            case 4: EXPECT_GE(info[3], 1e7) << label; break;
            case 5: EXPECT_EQ(info[9], 30.0) << label; break;
            case 6: EXPECT_LE(info[1], 1e-20) << label; break;
            }
            if (c.stop == 4 || c.stop == 5 || c.stop == 7) {
                EXPECT_EQ(p, c.p) << label;  // no step was ever taken
            }
        }
}

TEST(StopReasons, OverflowedSumOfSquaresIsNoErrorInTheBoundedRun)
{
    // A bad point, not a broken objective: the run backs off and ends at the best point, p = 2.
    double p[1] = {0.0}, x[2] = {5.0, 0.0}, info[LM_INFO_SZ];
    dlevmar_bc_dif(hugeBeyondTwo, p, x, 1, 2, nullptr, nullptr, nullptr, 100, nullptr, info,
                   nullptr, nullptr, nullptr);
    EXPECT_NE(info[6], 7.0);
    EXPECT_LE(p[0], 2.0);
    EXPECT_NEAR(p[0], 2.0, 1e-3);
}

namespace {

// A Jacobian of the wrong sign and size for the identity: the damped step, the line search along
// it and every projected-gradient step go uphill.
void misleadingJacobian(double*, double* j, int, int, void*) { j[0] = -1000.0; }

bool stopAtTwo(const double*, int, int k, void*) { return k >= 2; }
bool stopAlways(const double*, int, int, void*) { return true; }

}  // namespace

TEST(StopReasons, HookStopIs99AtItsIterationAndOverridesStopsOfThatIteration)
{
    const LevmarIterationHook atTwo{stopAtTwo, nullptr}, always{stopAlways, nullptr};
    double p[2] = {-1.2, 1.0}, x[2] = {0.0, 0.0}, info[LM_INFO_SZ];
    int k = dlevmar_bc_dif_hooked(rosenbrock, p, x, 2, 2, nullptr, nullptr, nullptr, 100, nullptr,
                                  info, nullptr, nullptr, nullptr, &atTwo);
    EXPECT_EQ(info[6], levmarHookStopReason);
    EXPECT_EQ(k, 2);
    EXPECT_EQ(info[5], 2.0);
    EXPECT_EQ(info[8], 3.0);

    // A huge eps2 sets stop 2 in the first iteration; the hook replaces it.
    double opts[5] = {1e-3, 1e-15, 1e3, 1e-20, 1e-6};
    double q[2] = {-1.2, 1.0};
    k = dlevmar_bc_dif_hooked(rosenbrock, q, x, 2, 2, nullptr, nullptr, nullptr, 100, opts, info,
                              nullptr, nullptr, nullptr, &always);
    EXPECT_EQ(info[6], levmarHookStopReason);
    EXPECT_EQ(k, 0);

    // Stop 1 ends the iteration before the hook is asked.
    dlevmar_bc_dif_hooked(constant, q, x, 2, 2, nullptr, nullptr, nullptr, 100, nullptr, info,
                          nullptr, nullptr, nullptr, &always);
    EXPECT_EQ(info[6], 1.0);
}

TEST(StopReasons, FailedGradientSearchEndsTheRunWithStop2)
{
    // Repeating the iteration would recompute the same Jacobian and fail the same way up to itmax.
    double p[1] = {1.0}, x[1] = {0.0}, info[LM_INFO_SZ];
    const int k = dlevmar_bc_der(identity, misleadingJacobian, p, x, 1, 1, nullptr, nullptr,
                                 nullptr, 1000, nullptr, info, nullptr, nullptr, nullptr);
    EXPECT_EQ(info[6], 2.0);
    EXPECT_EQ(k, 1);
    EXPECT_EQ(p[0], 1.0);
    EXPECT_LT(info[7], 600.0);  // one iteration: ~390 gradient steps of factor 0.9 down to 1e-18

    // The hook still sees that iteration and may turn its stop into its own.
    const LevmarIterationHook always{stopAlways, nullptr};
    dlevmar_bc_der_hooked(identity, misleadingJacobian, p, x, 1, 1, nullptr, nullptr, nullptr,
                          1000, nullptr, info, nullptr, nullptr, nullptr, &always);
    EXPECT_EQ(info[6], levmarHookStopReason);
}
