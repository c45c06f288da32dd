// Every stop reason of the three routines, reached on small objectives built for it, with the info
// array that comes with it and the documented return value.

#include "levmar/levmar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using Func = void (*)(double*, double*, int, int, void*);

enum class Driver { Dif, BcDif };

// Runs one driver on a problem; a bounded run without bounds unless the caller gives a box.
struct Trial {
    Driver driver = Driver::Dif;
    Func func = nullptr;
    std::vector<double> p;
    std::vector<double> x;
    double opts[5] = {LM_INIT_MU, 1e-15, 1e-15, 1e-20, 1e-6};
    int itmax = 100;
    double* lb = nullptr;
    double* ub = nullptr;
    const LevmarIterationHook* hook = nullptr;
    double info[LM_INFO_SZ] = {};
    int result = 0;

    Trial& go()
    {
        const int m = static_cast<int>(p.size()), n = static_cast<int>(x.size());
        result = driver == Driver::Dif
                     ? dlevmar_dif(func, p.data(), x.data(), m, n, itmax, opts, info, nullptr,
                                   nullptr, nullptr)
                     : dlevmar_bc_dif_hooked(func, p.data(), x.data(), m, n, lb, ub, nullptr, itmax,
                                             opts, info, nullptr, nullptr, nullptr, hook);
        return *this;
    }
    int stop() const { return static_cast<int>(info[6]); }
};

void constantModel(double*, double* hx, int, int n, void*)
{
    for (int i = 0; i < n; ++i) hx[i] = i + 1.0;
}

void identityModel(double* p, double* hx, int m, int, void*)
{
    for (int i = 0; i < m; ++i) hx[i] = p[i];
}

void rosenbrockModel(double* p, double* hx, int, int, void*)
{
    hx[0] = 10.0 * (p[1] - p[0] * p[0]);
    hx[1] = 1.0 - p[0];
}

// A residual with a nonzero minimum: fits a line through three points that are not on one.
void lineModel(double* p, double* hx, int, int, void*)
{
    for (int i = 0; i < 3; ++i) hx[i] = p[0] + p[1] * i;
}

// A number at the start point 0 only: every difference quotient is NaN.
void nanSlopeModel(double* p, double* hx, int, int, void*)
{
    hx[0] = p[0] == 0.0 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
}

void nanModel(double*, double* hx, int, int n, void*)
{
    for (int i = 0; i < n; ++i) hx[i] = std::numeric_limits<double>::quiet_NaN();
}

// The identity, but not a number beyond 2.
void nanBeyondTwoModel(double* p, double* hx, int, int, void*)
{
    hx[0] = p[0] > 2.0 ? std::numeric_limits<double>::quiet_NaN() : p[0];
}

// The identity up to 2, then residuals so large that their sum of squares overflows.
void overflowBeyondTwoModel(double* p, double* hx, int, int, void*)
{
    hx[0] = p[0] > 2.0 ? 1e200 : p[0];
    hx[1] = p[0] > 2.0 ? 1e200 : 0.0;
}

const Driver bothDrivers[] = {Driver::Dif, Driver::BcDif};

}  // namespace

TEST(StopReasons, ZeroGradientStopsAtOnceWithStop1)
{
    for (Driver d : bothDrivers) {
        Trial r;
        r.driver = d;
        r.func = constantModel;
        r.p = {0.5, 0.5};
        r.x = {0.0, 0.0};
        r.go();
        EXPECT_EQ(r.stop(), 1);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.info[2], 0.0);  // J^T e is exactly zero: the model does not depend on p
        EXPECT_EQ(r.info[3], 0.0);
        EXPECT_EQ(r.info[0], 5.0);
        EXPECT_EQ(r.info[1], 5.0);
    }
}

TEST(StopReasons, NonzeroMinimumStopsOnTheRelativeStep)
{
    // Least squares line through (0,1), (1,0), (2,2): p = (0.5, 0.5), |e|^2 = 1.5 exactly.
    for (Driver d : bothDrivers) {
        Trial r;
        r.driver = d;
        r.func = lineModel;
        r.p = {3.0, -1.0};
        r.x = {1.0, 0.0, 2.0};
        r.opts[2] = 1e-10;
        r.go();
        EXPECT_EQ(r.stop(), 2);
        EXPECT_EQ(r.result, r.info[5]);
        EXPECT_NEAR(r.p[0], 0.5, 1e-7);
        EXPECT_NEAR(r.p[1], 0.5, 1e-7);
        EXPECT_NEAR(r.info[1], 1.5, 1e-12);
        EXPECT_LE(r.info[3], 1e-20 * 0.5 * 1.0001);  // eps2^2 |p|^2
    }
}

TEST(StopReasons, IterationLimitGivesStop3)
{
    for (Driver d : bothDrivers) {
        Trial r;
        r.driver = d;
        r.func = rosenbrockModel;
        r.p = {-1.2, 1.0};
        r.x = {0.0, 0.0};
        r.itmax = 3;
        r.go();
        EXPECT_EQ(r.stop(), 3);
        EXPECT_EQ(r.result, 3);
        EXPECT_EQ(r.info[5], 3.0);
    }
}

TEST(StopReasons, AbsurdStepGivesStop4AndAnError)
{
    // From p = 0 the first damped step is about 1e4 long; with |p| = 0 and eps2 = 1e-17 any step
    // beyond sqrt(1e-17 / 1e-24) ~ 3162 counts as the solution of a singular system. Small tau
    // keeps the damping of the bounded run (0.5 tau |e|^2) from shortening the step.
    for (Driver d : bothDrivers) {
        Trial r;
        r.driver = d;
        r.func = identityModel;
        r.p = {0.0};
        r.x = {1e4};
        r.opts[0] = 1e-20;
        r.opts[2] = 1e-17;
        double lb = -1e6, ub = 1e6;
        r.lb = &lb;
        r.ub = &ub;
        r.go();
        EXPECT_EQ(r.stop(), 4);
        EXPECT_EQ(r.result, LM_ERROR);
        EXPECT_EQ(r.p[0], 0.0);
        EXPECT_GE(r.info[3], 1e7);
    }
}

TEST(StopReasons, UnsolvableSystemsGiveStop5WhenMuCannotGrow)
{
    // NaN Jacobian: every damped system has a NaN solution, counts as unsolved and doubles
    // nu, until doubling nu again would overflow an int (30 doublings from 2).
    for (Driver d : bothDrivers) {
        Trial r;
        r.driver = d;
        r.func = nanSlopeModel;
        r.p = {0.0};
        r.x = {1.0};
        r.go();
        EXPECT_EQ(r.stop(), 5);
        EXPECT_EQ(r.p[0], 0.0);
        EXPECT_EQ(r.info[9], 30.0);
        // The unconstrained driver spends an iteration per solve, the bounded one retries within
        // its first iteration.
        EXPECT_EQ(r.result, d == Driver::Dif ? 29 : 1);
    }
}

TEST(StopReasons, SmallErrorGivesStop6)
{
    for (Driver d : bothDrivers) {
        Trial r;
        r.driver = d;
        r.func = rosenbrockModel;
        r.p = {-1.2, 1.0};
        r.x = {0.0, 0.0};
        r.opts[2] = 0.0;
        r.opts[3] = 1e-20;
        r.go();
        EXPECT_EQ(r.stop(), 6);
        EXPECT_LE(r.info[1], 1e-20);
        EXPECT_EQ(r.result, r.info[5]);
    }
}

TEST(StopReasons, NonFiniteObjectiveGivesStop7)
{
    for (Driver d : bothDrivers) {
        Trial first;
        first.driver = d;
        first.func = nanModel;
        first.p = {1.0, 2.0};
        first.x = {0.0, 0.0};
        first.go();
        EXPECT_EQ(first.stop(), 7);
        EXPECT_EQ(first.result, LM_ERROR);
        EXPECT_EQ(first.info[5], 0.0);
        EXPECT_EQ(first.info[7], 1.0);
        EXPECT_TRUE(std::isnan(first.info[0]));

        // Mid-run: the first step heads for 5 and meets NaN beyond 2.
        Trial later;
        later.driver = d;
        later.func = nanBeyondTwoModel;
        later.p = {0.0};
        later.x = {5.0};
        later.go();
        EXPECT_EQ(later.stop(), 7);
        EXPECT_EQ(later.result, LM_ERROR);
        EXPECT_EQ(later.info[0], 25.0);
        EXPECT_EQ(later.p[0], 0.0);
    }
}

TEST(StopReasons, OverflowedSumOfSquaresIsNoErrorInTheBoundedRun)
{
    // Finite residuals whose squares overflow are a bad point, not a broken objective: the run
    // backs off and ends at the best point it can reach, p = 2.
    Trial r;
    r.driver = Driver::BcDif;
    r.func = overflowBeyondTwoModel;
    r.p = {0.0};
    r.x = {5.0, 0.0};
    r.go();
    EXPECT_NE(r.stop(), 7);
    EXPECT_LE(r.p[0], 2.0);
    EXPECT_NEAR(r.p[0], 2.0, 1e-3);
}

TEST(StopReasons, HookStopsTheBoundedRunWith99AndReturnsK)
{
    struct Stopper {
        int at;
        static bool call(const double*, int, int k, void* self)
        {
            return k >= static_cast<Stopper*>(self)->at;
        }
    };
    Stopper stopper{2};
    LevmarIterationHook hook{&Stopper::call, &stopper};
    Trial r;
    r.driver = Driver::BcDif;
    r.func = rosenbrockModel;
    r.p = {-1.2, 1.0};
    r.x = {0.0, 0.0};
    r.hook = &hook;
    r.go();
    EXPECT_EQ(r.stop(), levmarHookStopReason);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.info[5], 2.0);
    EXPECT_EQ(r.info[8], 3.0);

    // A stop set in the same iteration gives way to the hook: a huge eps2 stops the first step.
    stopper.at = 0;
    Trial same;
    same.driver = Driver::BcDif;
    same.func = rosenbrockModel;
    same.p = {-1.2, 1.0};
    same.x = {0.0, 0.0};
    same.opts[2] = 1e3;
    same.go();
    EXPECT_EQ(same.stop(), 2);
    same.p = {-1.2, 1.0};
    same.hook = &hook;
    same.go();
    EXPECT_EQ(same.stop(), levmarHookStopReason);
    EXPECT_EQ(same.result, 0);

    // Stops 1 and 6 end the iteration before the hook is asked.
    Trial flat;
    flat.driver = Driver::BcDif;
    flat.func = constantModel;
    flat.p = {0.5, 0.5};
    flat.x = {0.0, 0.0};
    flat.hook = &hook;
    flat.go();
    EXPECT_EQ(flat.stop(), 1);
}

namespace {

// The identity with a Jacobian of the wrong sign and size: the damped step, the line search along
// it and every projected-gradient step go uphill.
void misleadingJacobian(double*, double* j, int, int, void*)
{
    j[0] = -1000.0;
}

}  // namespace

TEST(StopReasons, FailedGradientSearchEndsTheRunWithStop2)
{
    // Repeating the iteration would recompute the same Jacobian and fail the same way up to itmax.
    double p[1] = {1.0}, x[1] = {0.0}, info[LM_INFO_SZ];
    const int k = dlevmar_bc_der(identityModel, misleadingJacobian, p, x, 1, 1, nullptr, nullptr,
                                 nullptr, 1000, nullptr, info, nullptr, nullptr, nullptr);
    EXPECT_EQ(info[6], 2.0);
    EXPECT_EQ(k, 1);
    EXPECT_EQ(p[0], 1.0);
    EXPECT_EQ(info[1], 1.0);
    EXPECT_LT(info[7], 600.0);  // one iteration: ~390 gradient steps of factor 0.9 down to 1e-18

    // The hook still sees that iteration and may turn its stop into its own.
    LevmarIterationHook always{[](const double*, int, int, void*) { return true; }, nullptr};
    dlevmar_bc_der_hooked(identityModel, misleadingJacobian, p, x, 1, 1, nullptr, nullptr, nullptr,
                          1000, nullptr, info, nullptr, nullptr, nullptr, &always);
    EXPECT_EQ(info[6], levmarHookStopReason);
}
