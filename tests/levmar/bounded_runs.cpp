// The bounded driver on problems whose minimum lies outside the box, on infeasible starts and bad
// inputs, with objectives that throw, and two runs at once.

#include "levmar/levmar.h"
#include "support/published_problems.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Brown and Dennis: the gradient of F = sum f_i^2 by hand, and the sum of the magnitudes of its
// terms (the scale against which a vanishing gradient is judged).
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

double* noScale = nullptr;

}  // namespace

TEST(BoundedRuns, MinimaOutsideTheBoxEndOnTheBoundWithTheOptimalityConditions)
{
    // Rosenbrock with x1 <= 0.5: the minimum is (0.5, 0.25), F = 0.25.
    double p[2] = {-1.2, 1.0}, x[20] = {}, lb[4] = {-2, -2}, ub[4] = {0.5, 2}, info[LM_INFO_SZ];
    dlevmar_bc_dif(published::rosenbrock, p, x, 2, 2, lb, ub, noScale, 1000, nullptr, info, nullptr,
                   nullptr, nullptr);
    EXPECT_EQ(p[0], 0.5);
    EXPECT_NEAR(p[1], 0.25, 1e-9);
    EXPECT_NEAR(info[1], 0.25, 1e-15);

    // Brown and Dennis (unconstrained minimiser (-11.5944, 13.2036, -0.403439, 0.236779)) with a
    // cap on x2 or x4 or a floor on x1 that cuts it off.
    struct Bound {
        int j;
        bool upper;
        double value;
    };
    for (const Bound b : {Bound{1, true, 12.5}, Bound{3, true, 0.22}, Bound{0, false, -11.0}}) {
        double centralF = 0.0;
        for (double delta : {-1e-6, 1e-6}) {
            double q[4] = {25.0, 5.0, -5.0, -1.0}, g[4], scale[4];
            for (int j = 0; j < 4; ++j) lb[j] = -100.0, ub[j] = 100.0;
            (b.upper ? ub : lb)[b.j] = b.value;
            double opts[5] = {LM_INIT_MU, 1e-15, 1e-12, 1e-20, delta};
            testing::internal::CaptureStderr();  // the start is infeasible for the floor on x1
            dlevmar_bc_dif(published::brownDennis, q, x, 4, 20, lb, ub, noScale, 1000, opts, info,
                           nullptr, nullptr, nullptr);
            testing::internal::GetCapturedStderr();
            brownDennisGradient(q, g, scale);
            const bool central = delta < 0;
            const std::string label = "x" + std::to_string(b.j + 1) + (central ? " central" : " forward");
            EXPECT_EQ(q[b.j], b.value) << label;
            EXPECT_TRUE(b.upper ? g[b.j] < 0.0 : g[b.j] > 0.0) << label;  // downhill leaves the box
            // Free components: the true gradient vanishes where the difference gradient does, to
            // the accuracy of the differences: O(d^2) central, O(d) = O(1e-4 |p|) forward.
            for (int j = 0; j < 4; ++j) {
                if (j == b.j) continue;
                EXPECT_LT(std::fabs(g[j]), (central ? 1e-6 : 1e-2) * scale[j]) << label << j;
            }
            // F is flat at a minimum: the forward run's error in p costs F only to second order
            // (measured 1e-7 relative).
            if (central) centralF = info[1];
            EXPECT_NEAR(info[1], centralF, 3e-7 * centralF) << label;
        }
    }
}

namespace {

// The identity with the range check of a calibration objective: above 1 it throws.
void rangeChecked(double* p, double* hx, int, int, void*)
{
    if (p[0] > 1.0) throw std::runtime_error("p is out of range. Stopping optimization.");
    hx[0] = p[0];
}

}  // namespace

TEST(BoundedRuns, ForwardDifferencesStayInsideTheBox)
{
    // Minimum at 5 beyond ub = 1: at the bound the forward difference steps back, and the run
    // ends there with stop 1 (J^T e pushes outwards), with no call beyond the bound.
    double p[1] = {0.5}, x[1] = {5.0}, lb[1] = {0.0}, ub[1] = {1.0}, info[LM_INFO_SZ];
    ASSERT_NO_THROW(dlevmar_bc_dif(rangeChecked, p, x, 1, 1, lb, ub, noScale, 100, nullptr, info,
                                   nullptr, nullptr, nullptr));
    EXPECT_EQ(p[0], 1.0);
    EXPECT_EQ(info[6], 1.0);
}

namespace {

// Counts the calls outside the box [0, 1] x [0.3, 0.3 + 1e-9].
struct NarrowBox {
    int outside = 0;
    static void func(double* p, double* hx, int, int, void* self)
    {
        auto* box = static_cast<NarrowBox*>(self);
        if (p[0] < 0.0 || p[0] > 1.0 || p[1] < 0.3 || p[1] > 0.3 + 1e-9) ++box->outside;
        hx[0] = p[0];
        hx[1] = p[1];
    }
};

}  // namespace

// A parameter whose box is narrower than the difference step (here 1e-6 against 1e-9, or no width
// at all) cannot move: its column is zero and the objective never sees a point outside the box,
// forward or central; the free parameter still reaches its target.
TEST(BoundedRuns, ABoxNarrowerThanTheStepGivesAZeroColumn)
{
    for (const double width : {1e-9, 0.0}) {
        for (const double delta : {1e-6, -1e-6}) {
            NarrowBox box;
            double p[2] = {0.5, 0.3}, x[2] = {0.25, 5.0}, info[LM_INFO_SZ];
            double lb[2] = {0.0, 0.3}, ub[2] = {1.0, 0.3 + width};
            double opts[5] = {LM_INIT_MU, 1e-15, 1e-15, 1e-20, delta};
            dlevmar_bc_dif(NarrowBox::func, p, x, 2, 2, lb, ub, noScale, 100, opts, info, nullptr,
                           nullptr, &box);
            EXPECT_EQ(box.outside, 0) << width << " " << delta;
            EXPECT_NEAR(p[0], 0.25, 1e-9) << width << " " << delta;
            EXPECT_TRUE(p[1] >= lb[1] && p[1] <= ub[1]) << width << " " << delta;
        }
    }
}

TEST(BoundedRuns, InfeasibleStartAndRejectedInputsPrintTheirTexts)
{
    double p[2] = {-1.2, 5.0}, x[2] = {0.0, 0.0}, lb[2] = {-2.0, -2.0}, ub[2] = {2.0, 1.0};
    double info[LM_INFO_SZ];
    testing::internal::CaptureStderr();
    dlevmar_bc_dif(published::rosenbrock, p, x, 2, 2, lb, ub, noScale, 1, nullptr, info, nullptr,
                   nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: component 1 of starting point not feasible in dlevmar_bc_der()! [5 "
              "projected to 1]\n");
    EXPECT_NEAR(info[0], 24.2, 1e-12);  // at the projected start (-1.2, 1)

    const double nan = std::nan(""), inf = HUGE_VAL;
    double crossed[2] = {-2.0, -3.0}, badScale[2] = {1.0, 0.0}, nanScale[2] = {nan, 1.0};
    double nanLower[2] = {-2.0, nan}, infUpper[2] = {inf, 1.0}, infScale[2] = {1.0, inf};
    auto f = published::rosenbrock;
    const std::pair<const char*, std::function<int()>> rejected[] = {
        // No unknowns used to reach the linear solver, a negative count to throw out of it.
        {"dlevmar_bc_der(): cannot solve a problem with 0 unknowns\n",
         [&] { return dlevmar_bc_dif(f, p, x, 0, 2, lb, ub, noScale, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_dif(): cannot solve a problem with -1 unknowns\n",
         [&] { return dlevmar_dif(f, p, x, -1, 2, 9, 0, info, 0, 0, 0); }},
        // Bounds and scales that are no numbers used to overwrite p with NaN and end in stop 7.
        {"dlevmar_bc_der(): bounds should be finite numbers (lb[1]: nan)\n",
         [&] { return dlevmar_bc_dif(f, p, x, 2, 2, nanLower, ub, noScale, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_bc_der(): bounds should be finite numbers (ub[0]: inf)\n",
         [&] { return dlevmar_bc_dif(f, p, x, 2, 2, nullptr, infUpper, noScale, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_bc_der(): scaling constants should be finite numbers (scale 0: nan)\n",
         [&] { return dlevmar_bc_dif(f, p, x, 2, 2, lb, ub, nanScale, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_bc_der(): scaling constants should be finite numbers (scale 1: inf)\n",
         [&] { return dlevmar_bc_dif(f, p, x, 2, 2, lb, ub, infScale, 9, 0, info, 0, 0, 0); }},
        // A work area beyond any address space is the allocation failure, not an exception.
        {"dlevmar_bc_der(): memory allocation request failed\n",
         [&] { return dlevmar_bc_der(f, f, p, x, INT_MAX, INT_MAX, 0, 0, noScale, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_dif(): memory allocation request failed\n",
         [&] { return dlevmar_dif(f, p, x, INT_MAX, INT_MAX, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_bc_der(): cannot solve a problem with fewer measurements [1] than unknowns [2]\n",
         [&] { return dlevmar_bc_dif(f, p, x, 2, 1, lb, ub, noScale, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_dif(): cannot solve a problem with fewer measurements [1] than unknowns [2]\n",
         [&] { return dlevmar_dif(f, p, x, 2, 1, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_bc_der(): at least one lower bound exceeds the upper one\n",
         [&] { return dlevmar_bc_dif(f, p, x, 2, 2, lb, crossed, noScale, 9, 0, info, 0, 0, 0); }},
        {"dlevmar_bc_der(): scaling constants should be positive (scale 1: 0 <= 0)\n",
         [&] { return dlevmar_bc_dif(f, p, x, 2, 2, lb, ub, badScale, 9, 0, info, 0, 0, 0); }},
        {"No function specified for computing the Jacobian in dlevmar_bc_der().\nIf no such "
         "function is available, use dlevmar_bc_dif() rather than dlevmar_bc_der()\n",
         [&] { return dlevmar_bc_der(f, nullptr, p, x, 2, 2, lb, ub, noScale, 9, 0, info, 0, 0, 0); }},
    };
    for (const auto& [message, call] : rejected) {
        for (double& v : info) v = 12345.0;
        p[0] = p[1] = 0.5;
        testing::internal::CaptureStderr();
        EXPECT_EQ(call(), LM_ERROR) << message;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
        // Nothing computed reads as NaN, the stop reason as the error, the counts as zero.
        EXPECT_TRUE(std::isnan(info[0]) && std::isnan(info[1]) && std::isnan(info[5])) << message;
        EXPECT_EQ(info[6], LM_ERROR) << message;
        EXPECT_EQ(info[7], 0.0) << message;
        EXPECT_TRUE(p[0] == 0.5 && p[1] == 0.5) << message;
    }
}

namespace {

// Rosenbrock that throws at a chosen call.
struct ThrowAt {
    int call = 0;
    int calls = 0;
    static void func(double* p, double* hx, int m, int n, void* self)
    {
        if (++static_cast<ThrowAt*>(self)->calls == static_cast<ThrowAt*>(self)->call)
            throw std::runtime_error("objective failed");
        published::rosenbrock(p, hx, m, n, nullptr);
    }
};

}  // namespace

TEST(BoundedRuns, ExceptionsFromTheObjectiveReachTheCallerWithPInTheBox)
{
    // Calls of a forward-difference bounded run: 1 the start, then per Jacobian the base point and
    // one call per column, then the damped step. Calls 4 and 5 are Jacobian columns: p is the
    // projected start again afterwards, not the perturbed point. 12 and 30 fail later in the run.
    for (int call : {1, 4, 5, 12, 30}) {
        ThrowAt thrower;
        thrower.call = call;
        double p[2] = {-3.0, 1.0}, x[2] = {0.0, 0.0}, lb[2] = {-1.5, -2.0}, ub[2] = {2.0, 2.0};
        testing::internal::CaptureStderr();
        EXPECT_THROW(dlevmar_bc_dif(ThrowAt::func, p, x, 2, 2, lb, ub, noScale, 1000, nullptr,
                                    nullptr, nullptr, nullptr, &thrower),
                     std::runtime_error);
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(p[0] >= lb[0] && p[0] <= ub[0] && p[1] >= lb[1] && p[1] <= ub[1]) << call;
        EXPECT_TRUE((call != 4 && call != 5) || (p[0] == -1.5 && p[1] == 1.0)) << call;
    }
    // The unconstrained driver restores its Jacobian columns just the same.
    ThrowAt thrower;
    thrower.call = 3;
    double p[2] = {-1.2, 1.0}, x[2] = {0.0, 0.0};
    EXPECT_THROW(dlevmar_dif(ThrowAt::func, p, x, 2, 2, 100, nullptr, nullptr, nullptr, nullptr,
                             &thrower),
                 std::runtime_error);
    EXPECT_TRUE(p[0] == -1.2 && p[1] == 1.0);
}

namespace {

struct Result {
    double p[5] = {0.5, 1.5, -1.0, 0.01, 0.02};
    double info[LM_INFO_SZ] = {};
    double covar[25] = {};
    bool operator==(const Result& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};

Result osborne(double shift, bool bounded, double* work = nullptr)
{
    Result r;
    r.p[0] += shift;
    std::vector<double> x(33, 0.0);
    double lb[5] = {-10, -10, -10, 0, 0}, ub[5] = {10, 10, 10, 1, 1};
    if (bounded)
        dlevmar_bc_dif(published::osborne1, r.p, x.data(), 5, 33, lb, ub, noScale, 1000, nullptr,
                       r.info, work, r.covar, nullptr);
    else
        dlevmar_dif(published::osborne1, r.p, x.data(), 5, 33, 1000, nullptr, r.info, work,
                    r.covar, nullptr);
    return r;
}

}  // namespace

TEST(BoundedRuns, RunsOnTwoThreadsOrInTheCallersWorkAreaMatchPlainRunsBitForBit)
{
    const Result first = osborne(0.0, true), second = osborne(0.1, false);
    Result threaded[2];
#pragma omp parallel for num_threads(2) schedule(static)
    for (int i = 0; i < 2; ++i) threaded[i] = i == 0 ? osborne(0.0, true) : osborne(0.1, false);
    EXPECT_TRUE(first == threaded[0]);
    EXPECT_TRUE(second == threaded[1]);
    std::vector<double> work(LM_DIF_WORKSZ(5, 33), -7.0);
    EXPECT_TRUE(first == osborne(0.0, true, work.data()));
    EXPECT_TRUE(second == osborne(0.1, false, work.data()));
}
