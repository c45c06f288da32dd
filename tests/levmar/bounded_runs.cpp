// The bounded driver on problems whose minimum lies outside the box, on infeasible starts and bad
// inputs, with objectives that throw, and two runs at once.

#include "levmar/levmar.h"
#include "support/published_problems.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Brown and Dennis: the gradient of F = sum f_i^2 by hand from its residuals, and beside it the
// sum of the magnitudes of its terms (the scale against which a vanishing gradient is judged).
void brownDennisGradient(const double* p, double* g, double* scale)
{
    for (int j = 0; j < 4; ++j) g[j] = scale[j] = 0.0;
    for (int i = 0; i < 20; ++i) {
        const double t = (i + 1) / 5.0;
        const double u = p[0] + t * p[1] - std::exp(t);
        const double v = p[2] + p[3] * std::sin(t) - std::cos(t);
        const double f = u * u + v * v;
        const double df[4] = {2.0 * u, 2.0 * u * t, 2.0 * v, 2.0 * v * std::sin(t)};
        for (int j = 0; j < 4; ++j) {
            g[j] += 2.0 * f * df[j];
            scale[j] += std::fabs(2.0 * f * df[j]);
        }
    }
}

// The identity, with the range check of a calibration objective: above 1 it throws.
void rangeCheckedIdentity(double* p, double* hx, int, int, void*)
{
    if (p[0] > 1.0) throw std::runtime_error("p is out of range. Stopping optimization.");
    hx[0] = p[0];
}

// Throws at a chosen call, counting calls in adata.
struct ThrowAt {
    int call = 0;
    int calls = 0;
    std::vector<double> lastSeen;
    static void func(double* p, double* hx, int m, int n, void* self)
    {
        auto* t = static_cast<ThrowAt*>(self);
        if (++t->calls == t->call) throw std::runtime_error("objective failed");
        t->lastSeen.assign(p, p + m);
        published::rosenbrock(p, hx, m, n, nullptr);
    }
};

}  // namespace

TEST(BoundedRuns, RosenbrockCutByTheBoxEndsOnTheBoundAtTheConstrainedMinimum)
{
    // With x1 <= 0.5 the minimum is x = (0.5, 0.25), F = 0.25, where dF/dx1 = -1 pushes outwards.
    for (double delta : {1e-6, -1e-6}) {
        double p[2] = {-1.2, 1.0}, x[2] = {0.0, 0.0};
        double lb[2] = {-2.0, -2.0}, ub[2] = {0.5, 2.0};
        double opts[5] = {LM_INIT_MU, 1e-12, 1e-15, 1e-20, delta}, info[LM_INFO_SZ];
        dlevmar_bc_dif(published::rosenbrock, p, x, 2, 2, lb, ub, nullptr, 1000, opts, info,
                       nullptr, nullptr, nullptr);
        EXPECT_EQ(p[0], 0.5);
        EXPECT_NEAR(p[1], 0.25, 1e-9);
        EXPECT_NEAR(info[1], 0.25, 1e-15);
        EXPECT_TRUE(info[6] == 1 || info[6] == 2) << info[6];
    }
}

TEST(BoundedRuns, BrownDennisCutByTheBoxMeetsTheOptimalityConditions)
{
    // The unconstrained minimiser is (-11.5944, 13.2036, -0.403439, 0.236779): cap x2 or x4 below
    // it, or raise the floor of x1 above it.
    struct Box {
        int j;
        bool upper;
        double bound;
    };
    for (const Box b : {Box{1, true, 12.5}, Box{3, true, 0.22}, Box{0, false, -11.0}}) {
        double centralF = 0.0;
        for (double delta : {-1e-6, 1e-6}) {
            double p[4] = {25.0, 5.0, -5.0, -1.0}, x[20] = {};
            double lb[4] = {-100, -100, -100, -100}, ub[4] = {100, 100, 100, 100};
            (b.upper ? ub : lb)[b.j] = b.bound;
            double opts[5] = {LM_INIT_MU, 1e-15, 1e-12, 1e-20, delta}, info[LM_INFO_SZ];
            testing::internal::CaptureStderr();  // the start is infeasible for the floor on x1
            dlevmar_bc_dif(published::brownDennis, p, x, 4, 20, lb, ub, nullptr, 1000, opts, info,
                           nullptr, nullptr, nullptr);
            testing::internal::GetCapturedStderr();
            double g[4], scale[4];
            brownDennisGradient(p, g, scale);
            const bool central = delta < 0;
            const std::string label =
                "x" + std::to_string(b.j + 1) + (central ? " central" : " forward");
            EXPECT_EQ(p[b.j], b.bound) << label;
            // F would fall beyond the bound: downhill points out of the box.
            EXPECT_TRUE(b.upper ? g[b.j] < 0.0 : g[b.j] > 0.0) << label;
            // Free components: the true gradient vanishes where the difference gradient does, to
            // the accuracy of the differences: O(d^2) central, O(d) = O(1e-4 |p|) forward.
            const double tolerance = central ? 1e-6 : 1e-2;
            for (int j = 0; j < 4; ++j) {
                if (j == b.j) continue;
                EXPECT_LT(std::fabs(g[j]), tolerance * scale[j]) << label << " g" << j;
            }
            EXPECT_GT(info[1], 85822.2016) << label;  // above the unconstrained minimum
            EXPECT_TRUE(info[6] == 1 || info[6] == 2) << label;
            // F is flat at a minimum: the forward run's error in p costs F only to second order.
            if (central)
                centralF = info[1];
            else
                EXPECT_NEAR(info[1], centralF, 3e-7 * centralF) << label;
        }
    }
}

TEST(BoundedRuns, ForwardDifferencesStayInsideTheBox)
{
    // Minimum at 5 beyond ub = 1, where a calibration objective's range check throws: at the bound
    // the forward difference steps back, the run ends there with stop 1 (J^T e pushes outwards).
    double p[1] = {0.5}, x[1] = {5.0}, lb[1] = {0.0}, ub[1] = {1.0};
    double info[LM_INFO_SZ];
    ASSERT_NO_THROW(dlevmar_bc_dif(rangeCheckedIdentity, p, x, 1, 1, lb, ub, nullptr, 100, nullptr,
                                   info, nullptr, nullptr, nullptr));
    EXPECT_EQ(p[0], 1.0);
    EXPECT_EQ(info[6], 1.0);
    EXPECT_EQ(info[1], 16.0);
}

TEST(BoundedRuns, InfeasibleStartIsProjectedWithAWarning)
{
    double p[2] = {-1.2, 5.0}, x[2] = {0.0, 0.0}, lb[2] = {-2.0, -2.0}, ub[2] = {2.0, 1.0};
    double opts[5] = {LM_INIT_MU, 1e-15, 1e-15, 1e-20, 1e-6}, info[LM_INFO_SZ];
    testing::internal::CaptureStderr();
    dlevmar_bc_dif(published::rosenbrock, p, x, 2, 2, lb, ub, nullptr, 1, opts, info, nullptr,
                   nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: component 1 of starting point not feasible in dlevmar_bc_der()! [5 "
              "projected to 1]\n");
    // |e|^2 at the projected start (-1.2, 1): (10 (1 - 1.44))^2 + 2.2^2.
    EXPECT_NEAR(info[0], 24.2, 1e-12);
}

TEST(BoundedRuns, RejectedInputsPrintTheirMessageAndLeaveRecognisableInfo)
{
    double p[2] = {0.5, 0.5}, x[2] = {0.0, 0.0}, lb[2] = {0.0, 0.0}, ub[2] = {1.0, 1.0};
    double crossed[2] = {1.0, -1.0}, badScale[2] = {1.0, 0.0};
    double info[LM_INFO_SZ];
    struct Bad {
        const char* message;
        std::function<int()> call;
    };
    const Bad cases[] = {
        {"dlevmar_bc_der(): cannot solve a problem with fewer measurements [1] than unknowns [2]\n",
         [&] { return dlevmar_bc_dif(published::rosenbrock, p, x, 2, 1, lb, ub, nullptr, 10,
                                     nullptr, info, nullptr, nullptr, nullptr); }},
        {"dlevmar_dif(): cannot solve a problem with fewer measurements [1] than unknowns [2]\n",
         [&] { return dlevmar_dif(published::rosenbrock, p, x, 2, 1, 10, nullptr, info, nullptr,
                                  nullptr, nullptr); }},
        {"dlevmar_bc_der(): at least one lower bound exceeds the upper one\n",
         [&] { return dlevmar_bc_dif(published::rosenbrock, p, x, 2, 2, ub, crossed, nullptr, 10,
                                     nullptr, info, nullptr, nullptr, nullptr); }},
        {"dlevmar_bc_der(): scaling constants should be positive (scale 1: 0 <= 0)\n",
         [&] { return dlevmar_bc_dif(published::rosenbrock, p, x, 2, 2, lb, ub, badScale, 10,
                                     nullptr, info, nullptr, nullptr, nullptr); }},
        {"No function specified for computing the Jacobian in dlevmar_bc_der().\nIf no such "
         "function is available, use dlevmar_bc_dif() rather than dlevmar_bc_der()\n",
         [&] { return dlevmar_bc_der(published::rosenbrock, nullptr, p, x, 2, 2, lb, ub, nullptr,
                                     10, nullptr, info, nullptr, nullptr, nullptr); }},
    };
    for (const Bad& b : cases) {
        for (double& v : info) v = 12345.0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(b.call(), LM_ERROR) << b.message;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), b.message);
        EXPECT_EQ(info[6], LM_ERROR) << b.message;
        EXPECT_TRUE(std::isnan(info[0]) && std::isnan(info[1])) << b.message;
        EXPECT_EQ(info[7], 0.0) << b.message;
        EXPECT_EQ(p[0], 0.5);
        EXPECT_EQ(p[1], 0.5);
    }
}

TEST(BoundedRuns, ExceptionsFromTheObjectiveReachTheCallerWithPInTheBox)
{
    // Calls of a forward-difference bounded run: 1 the start, then per Jacobian the base point and
    // one call per column, then the damped step. Throwing at call 4 hits the second column of the
    // first Jacobian; at call 12 the objective fails later in the run.
    for (int call : {1, 4, 5, 12, 30}) {
        ThrowAt thrower;
        thrower.call = call;
        double p[2] = {-3.0, 1.0}, x[2] = {0.0, 0.0}, lb[2] = {-1.5, -2.0}, ub[2] = {2.0, 2.0};
        double info[LM_INFO_SZ];
        testing::internal::CaptureStderr();
        EXPECT_THROW(dlevmar_bc_dif(ThrowAt::func, p, x, 2, 2, lb, ub, nullptr, 1000, nullptr,
                                    info, nullptr, nullptr, &thrower),
                     std::runtime_error);
        testing::internal::GetCapturedStderr();
        for (int i = 0; i < 2; ++i) {
            EXPECT_GE(p[i], lb[i]) << call;
            EXPECT_LE(p[i], ub[i]) << call;
        }
        if (call == 4 || call == 5) {
            // A Jacobian column failed: p is the projected start again, not the perturbed point.
            EXPECT_EQ(p[0], -1.5) << call;
            EXPECT_EQ(p[1], 1.0) << call;
        }
    }
    // The unconstrained driver restores its Jacobian columns just the same.
    ThrowAt thrower;
    thrower.call = 3;
    double p[2] = {-1.2, 1.0}, x[2] = {0.0, 0.0};
    EXPECT_THROW(dlevmar_dif(ThrowAt::func, p, x, 2, 2, 100, nullptr, nullptr, nullptr, nullptr,
                             &thrower),
                 std::runtime_error);
    EXPECT_EQ(p[0], -1.2);
    EXPECT_EQ(p[1], 1.0);
}

namespace {

struct Result {
    std::vector<double> p;
    double info[LM_INFO_SZ];
    double covar[25];
};

Result runOsborne(double shift, bool bounded)
{
    Result r{{0.5 + shift, 1.5, -1.0, 0.01, 0.02}, {}, {}};
    std::vector<double> x(33, 0.0);
    double lb[5] = {-10, -10, -10, 0, 0}, ub[5] = {10, 10, 10, 1, 1};
    if (bounded)
        dlevmar_bc_dif(published::osborne1, r.p.data(), x.data(), 5, 33, lb, ub, nullptr, 1000,
                       nullptr, r.info, nullptr, r.covar, nullptr);
    else
        dlevmar_dif(published::osborne1, r.p.data(), x.data(), 5, 33, 1000, nullptr, r.info,
                    nullptr, r.covar, nullptr);
    return r;
}

bool sameBits(const Result& a, const Result& b)
{
    return std::memcmp(a.p.data(), b.p.data(), 5 * sizeof(double)) == 0 &&
           std::memcmp(a.info, b.info, sizeof a.info) == 0 &&
           std::memcmp(a.covar, b.covar, sizeof a.covar) == 0;
}

}  // namespace

TEST(BoundedRuns, TwoRunsOnTwoThreadsMatchTheSameRunsInSequence)
{
    const Result first = runOsborne(0.0, true), second = runOsborne(0.1, false);
    Result firstThreaded, secondThreaded;
    std::thread a([&] { firstThreaded = runOsborne(0.0, true); });
    std::thread b([&] { secondThreaded = runOsborne(0.1, false); });
    a.join();
    b.join();
    EXPECT_TRUE(sameBits(first, firstThreaded));
    EXPECT_TRUE(sameBits(second, secondThreaded));
}

TEST(BoundedRuns, CallersWorkAreaGivesTheSameRun)
{
    const Result own = runOsborne(0.0, true);
    Result given{{0.5, 1.5, -1.0, 0.01, 0.02}, {}, {}};
    std::vector<double> x(33, 0.0), work(LM_BC_DIF_WORKSZ(5, 33), -7.0);
    double lb[5] = {-10, -10, -10, 0, 0}, ub[5] = {10, 10, 10, 1, 1};
    dlevmar_bc_dif(published::osborne1, given.p.data(), x.data(), 5, 33, lb, ub, nullptr, 1000,
                   nullptr, given.info, work.data(), given.covar, nullptr);
    EXPECT_TRUE(sameBits(own, given));
}
