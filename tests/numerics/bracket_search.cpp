#include "numerics/bracket_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numerics/numerical_error.h"
#include "numerics/support/error_message.h"
#include "numerics/poly_interp.h"

namespace {

// Ascending, strictly increasing, non-uniform abscissae.
std::vector<double> nonUniformTable(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> step(0.1, 2.0);
    std::vector<double> xs(count);
    xs[0] = -3.0;
    for (int i = 1; i < count; ++i)
        xs[i] = xs[i - 1] + step(rng);
    return xs;
}

// Bracket by exhaustive scan: ascending tables give the largest j <= count-2 with xs[j] <= x, descending
// ones the largest j <= count-2 with xs[j] > x; 0 when there is none.
int bruteBracket(const std::vector<double>& xs, double x) {
    const int count = static_cast<int>(xs.size());
    const bool ascending = xs.back() >= xs.front();
    int jl = 0;
    for (int j = 0; j <= count - 2; ++j)
        if (ascending ? xs[j] <= x : xs[j] > x)
            jl = j;
    return jl;
}

int expectedStart(int bracket, int count, int window) {
    return std::max(0, std::min(count - window, bracket - (window - 2) / 2));
}

using numerics_test::messageOf;

}  // namespace

TEST(BracketSearch, WindowStartsAroundBracketAndClampsAtTheEnds) {
    std::vector<double> xs(100);
    for (int i = 0; i < 100; ++i)
        xs[i] = i;
    Poly_interp p(xs.data(), xs.data(), 100, 6);
    for (bool useHunt : {false, true}) {
        auto search = [&](double x) { return useHunt ? p.hunt(x) : p.locate(x); };
        EXPECT_EQ(search(10.5), 8);
        EXPECT_EQ(search(1.5), 0);
        EXPECT_EQ(search(98.5), 94);
        EXPECT_EQ(search(-7.0), 0);
        EXPECT_EQ(p.lastIndex, 0);
        EXPECT_EQ(search(99.0), 94);
        EXPECT_EQ(p.lastIndex, 98);
        EXPECT_EQ(search(1e9), 94);
        EXPECT_EQ(p.lastIndex, 98);
        // A query on an abscissa belongs to the interval above it.
        search(37.0);
        EXPECT_EQ(p.lastIndex, 37);
    }
    Poly_interp whole(xs.data(), xs.data(), 6, 6);
    EXPECT_EQ(whole.locate(4.5), 0);
    EXPECT_EQ(whole.hunt(100.0), 0);
}

TEST(BracketSearch, HuntDistanceIsTruncatedFourthRoot) {
    std::vector<double> xs(100, 0.0);
    EXPECT_EQ(Poly_interp(xs.data(), xs.data(), 16, 2).huntDistance, 2);
    EXPECT_EQ(Poly_interp(xs.data(), xs.data(), 15, 2).huntDistance, 1);
    EXPECT_EQ(Poly_interp(xs.data(), xs.data(), 2, 2).huntDistance, 1);
    EXPECT_EQ(Poly_interp(xs.data(), xs.data(), 81, 2).huntDistance, 3);
    EXPECT_EQ(Poly_interp(xs.data(), xs.data(), 0, 2).huntDistance, 1);
}

// Both searches must find the exhaustive-scan bracket for any walk through the table: forward,
// backward, small random steps (hunting from the last bracket) and wide jumps.
TEST(BracketSearch, AgreesWithExhaustiveScanForEveryWalk) {
    for (bool descending : {false, true}) {
        std::vector<double> xs = nonUniformTable(57, 11u);
        if (descending)
            for (double& v : xs)
                v = -v;
        const double lo = std::min(xs.front(), xs.back()) - 1.0;
        const double hi = std::max(xs.front(), xs.back()) + 1.0;
        std::vector<double> queries;
        for (int k = 0; k <= 400; ++k)
            queries.push_back(lo + (hi - lo) * k / 400.0);
        for (int k = 400; k >= 0; --k)
            queries.push_back(lo + (hi - lo) * k / 400.0);
        for (double v : xs)
            queries.push_back(v);
        std::mt19937 rng(5u);
        std::uniform_real_distribution<double> any(lo, hi);
        std::normal_distribution<double> step(0.0, 1.5);
        double walk = 0.5 * (lo + hi);
        for (int k = 0; k < 300; ++k) {
            walk = std::min(hi, std::max(lo, walk + step(rng)));
            queries.push_back(walk);
            if (k % 7 == 0)
                queries.push_back(any(rng));
        }
        for (int window : {2, 3, 6}) {
            Poly_interp hunter(xs.data(), xs.data(), 57, window);
            Poly_interp locator(xs.data(), xs.data(), 57, window);
            for (double q : queries) {
                const int truth = bruteBracket(xs, q);
                const int start = hunter.hunt(q);
                ASSERT_EQ(hunter.lastIndex, truth) << "hunt x=" << q << " descending=" << descending;
                ASSERT_EQ(start, expectedStart(truth, 57, window));
                ASSERT_EQ(locator.locate(q), start);
                ASSERT_EQ(locator.lastIndex, truth);
            }
        }
    }
}

TEST(BracketSearch, CorrelatedFollowsTheDistanceBetweenBrackets) {
    std::vector<double> xs(100);
    for (int i = 0; i < 100; ++i)
        xs[i] = i;
    Poly_interp p(xs.data(), xs.data(), 100, 4);  // huntDistance 3
    EXPECT_EQ(p.correlated, 0);
    p.locate(2.5);
    EXPECT_EQ(p.correlated, 1);  // from the initial bracket 0
    p.locate(5.5);
    EXPECT_EQ(p.correlated, 1);
    p.hunt(9.5);
    EXPECT_EQ(p.correlated, 0);
    p.hunt(80.5);
    EXPECT_EQ(p.correlated, 0);
    EXPECT_EQ(p.lastIndex, 80);
    p.hunt(77.2);
    EXPECT_EQ(p.correlated, 1);
    // A remembered bracket outside the table falls back to a whole-table search.
    p.lastIndex = 1000;
    EXPECT_EQ(p.hunt(50.5), 49);
    p.lastIndex = -4;
    EXPECT_EQ(p.hunt(20.5), 19);
}

TEST(BracketSearch, BadTablesAndNaNQueriesThrowAndLeaveStateAlone) {
    std::vector<double> xs = {0.0, 1.0, 2.0, 3.0};
    struct Case {
        int count, window;
    };
    for (Case c : {Case{1, 2}, Case{4, 1}, Case{4, 5}, Case{0, 2}, Case{-3, 2}}) {
        Poly_interp p(xs.data(), xs.data(), c.count, c.window);
        p.lastIndex = 1;
        p.correlated = 1;
        EXPECT_EQ(messageOf([&] { p.hunt(1.5); }), "hunt size error");
        EXPECT_EQ(messageOf([&] { p.locate(1.5); }), "locate size error");
        EXPECT_EQ(p.lastIndex, 1);
        EXPECT_EQ(p.correlated, 1);
    }
    Poly_interp p(xs.data(), xs.data(), 4, 2);
    p.locate(2.5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(p.hunt(nan), NumericalError);
    EXPECT_THROW(p.locate(nan), NumericalError);
    EXPECT_EQ(p.lastIndex, 2);
    // Infinite queries are ordinary ones beyond the ends.
    EXPECT_EQ(p.hunt(std::numeric_limits<double>::infinity()), 2);
    EXPECT_EQ(p.hunt(-std::numeric_limits<double>::infinity()), 0);
}
