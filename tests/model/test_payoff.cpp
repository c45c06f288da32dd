#include "model/support/grid_test_option.h"
#if __has_include("model/support/interim_scheme_routines.cpp")
#include "model/support/interim_scheme_routines.cpp"
#endif

#include "numerics/row_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// Mean of max(s - K, 0) (call) or max(K - s, 0) (put) over [lo, hi], integrated in closed form.
double exactCellMean(double lo, double hi, double K, int callPut)
{
    auto primitive = [K, callPut](double s) {
        const double x = callPut == 1 ? std::max(K - s, 0.0) : std::max(s - K, 0.0);
        return x * x / 2.0;
    };
    const double integral = callPut == 1 ? primitive(lo) - primitive(hi) : primitive(hi) - primitive(lo);
    return integral / (hi - lo);
}

// Mean over [lo, hi] in log-spot of the payoff of spot exp(x), by a fine composite Simpson rule.
double logCellMean(double lo, double hi, double K, int callPut)
{
    const int n = 20000;
    const double h = (hi - lo) / n;
    double sum = 0.0;
    for (int i = 0; i <= n; ++i) {
        const double s = std::exp(lo + i * h);
        const double p = callPut == 1 ? std::max(K - s, 0.0) : std::max(s - K, 0.0);
        sum += p * (i == 0 || i == n ? 1.0 : (i % 2 ? 4.0 : 2.0));
    }
    return sum * h / 3.0 / (hi - lo);
}

std::size_t nearestNode(const Array<double>& g, double k)
{
    std::size_t i = 0;
    while (!(g[i] > k))
        ++i;
    return k > (g[i - 1] + g[i]) / 2.0 ? i : i - 1;
}

TEST(Payoff, SmoothedStrikeNodeHoldsTheExactCellAverage)
{
    for (bool uniform : {true, false})
        for (double K : {100.0, 101.3, 88.8})
            for (int callPut : {0, 1}) {
                GridTestOption setup;
                setup.K = K;
                setup.callPut = callPut;
                setup.nonUniformSGrid = !uniform;
                auto o = setup.build();
                Array<double> g;
                o->generateSGrid(g);
                o->setPayoff();
                o->smoothPayoff();
                SCOPED_TRACE(testing::Message() << "uniform " << uniform << " K " << K << " put " << callPut);
                const std::size_t j = nearestNode(g, K);
                for (std::size_t i = 0; i < g.size(); ++i) {
                    const double plain = callPut == 1 ? std::max(K - g[i], 0.0) : std::max(g[i] - K, 0.0);
                    EXPECT_EQ(o->payoff[i], plain);
                    if (i != j) {
                        EXPECT_EQ(o->values[i], plain) << "node " << i;
                    }
                }
                const double lo = (g[j - 1] + g[j]) / 2.0, hi = (g[j] + g[j + 1]) / 2.0;
                EXPECT_NEAR(o->values[j], exactCellMean(lo, hi, K, callPut), 1e-12 * K);
            }
}

TEST(Payoff, StrikeOnAUniformNodeGivesAnEighthOfTheStep)
{
    auto o = GridTestOption::uniformTo250().build();
    Array<double> g;
    o->generateSGrid(g);
    o->setPayoff();
    o->smoothPayoff();
    EXPECT_EQ(o->payoff[40], 0.0);
    EXPECT_DOUBLE_EQ(o->values[40], 2.5 / 8.0);
}

TEST(Payoff, LogGridSmoothingIsCloseToTheCellAverage)
{
    for (int callPut : {0, 1}) {
        GridTestOption setup;
        setup.K = 103.0;
        setup.callPut = callPut;
        auto o = setup.build();
        Array<double> g;
        o->generateLogSGrid(g, 4.5, false);
        o->setPayoffLogS();
        for (std::size_t i = 0; i < g.size(); ++i) {
            const double s = std::exp(g[i]);
            EXPECT_EQ(o->payoff[i], callPut == 1 ? std::max(103.0 - s, 0.0) : std::max(s - 103.0, 0.0));
        }
        o->smoothPayoffLogS();
        const std::size_t j = nearestNode(g, std::log(103.0));
        const double lo = (g[j - 1] + g[j]) / 2.0, hi = (g[j] + g[j + 1]) / 2.0;
        // The midpoint rule in log-spot: second order in the cell width.
        const double exact = logCellMean(lo, hi, 103.0, callPut);
        EXPECT_NEAR(o->values[j], exact, 103.0 * (hi - lo) * (hi - lo));
        EXPECT_GT(o->values[j], 0.0);
    }
}

TEST(Payoff, BoundaryValuesReplaceTheEndsOnlyWhenSet)
{
    GridTestOption setup;
    auto o = setup.build();
    Array<double> g;
    o->generateSGrid(g);
    o->setPayoff();
    o->smoothPayoff();
    const Array<double> unset = o->values;
    o->lowerBoundaryValue = 0.0;
    o->upperBoundaryValue = 7.5;
    o->smoothPayoff();
    EXPECT_EQ(o->values[0], 0.0);
    EXPECT_EQ(o->values[g.size() - 1], 7.5);
    for (std::size_t i = 1; i + 1 < g.size(); ++i)
        EXPECT_EQ(o->values[i], unset[i]);
}

TEST(Payoff, LowerBoundaryIsTheDiscountedStrikeForAPut)
{
    for (int exercise : {0, 1})
        for (int callPut : {0, 1}) {
            GridTestOption setup;
            setup.r = 0.05;
            setup.Nv = 6;
            setup.exerciseType = exercise;
            setup.callPut = callPut;
            auto o = setup.build();
            RowMatrix U(o->Nv + 2, 4, 9.0);
            o->setLowerBoundary(U, 1.0);
            const double expected = callPut == 0 ? 0.0 : (exercise == 1 ? 100.0 : 100.0 * std::exp(-0.05));
            EXPECT_EQ(U.data[0][0], 9.0);  // row 0 is not a variance line
            for (int j = 1; j <= o->Nv + 1; ++j) {
                EXPECT_DOUBLE_EQ(U.data[j][0], expected);
                EXPECT_EQ(U.data[j][1], 9.0);
            }
        }
}

}  // namespace
