// Schemes 11 to 14 against identities and each other: put-call parity per scheme and model code,
// schemes 11 and 12 where their stencils coincide, the Black-Scholes limit of a deterministic
// variance per model code, the non-affine codes against the main-road spot scheme 2, strike
// vectors against single strikes, the derivatives in the log-spot of scheme 12, and the sparse
// damped start of scheme 14 against the splitting operator it must share.

#include "schemes/support/frame_test_option.h"
#include "schemes/support/scheme_cases.h"

#include "model/variance_law.h"
#include "schemes/adi_operator_matrix.h"
#include "schemes/log_spot_adi_operator.h"
#include "schemes/log_spot_splitting.h"
#include "schemes/scheme_frame.h"

#include <Eigen/SparseCore>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace frame_test;
using namespace scheme_cases;

namespace {

const int kSchemes[] = {11, 12, 13, 14};

// One option solved by scheme 11 (a: spot nodes) and scheme 12 (b: log-spot nodes).
struct ElevenAndTwelve {
    std::unique_ptr<OrvHestonVanilla> a, b;
    Solve sa, sb;
};

ElevenAndTwelve solveElevenAndTwelve(const Model& m, const Contract& c)
{
    ElevenAndTwelve s;
    Grid g;
    g.scheme = 11;
    s.a = makeOption(m, c, g);
    s.sa = solve(*s.a);
    g.scheme = 12;
    s.b = makeOption(m, c, g);
    s.sb = solve(*s.b);
    return s;
}

}  // namespace

// C - P = S exp(-dT) - K exp(-rT) on each scheme's own grid: the lowest column (a put's value at
// s0 > 0) and the call's slope at the top must both be right for this to hold.
TEST(LogSpotSchemes, PutCallParityPerSchemeAndModelCode)
{
    for (int scheme : kSchemes)
        for (int code = 0; code <= 4; ++code)
            for (double K : {90.0, 110.0}) {
                Contract c;
                c.K = K;
                Grid g;
                g.scheme = scheme;
                EXPECT_NEAR(parityGap(modelOfCode(code), c, g), 0.0, 1e-3)
                    << "scheme " << scheme << " code " << code << " K " << K;
            }
}

// Without correlation the two stencils vanish alike, so schemes 11 and 12 step the same equation:
// same price and same node values, for the square-root and the GARCH law.
TEST(LogSpotSchemes, SchemesElevenAndTwelveAgreeWithoutCorrelation)
{
    for (int code : {0, 1}) {
        Model m = modelOfCode(code);
        m.rho = 0.0;
        Contract c;
        c.callPut = 1;
        const auto [a, b, sa, sb] = solveElevenAndTwelve(m, c);
        EXPECT_NEAR(sa.results[1], sb.results[1], 1e-12) << "code " << code;
        ASSERT_EQ(a->values.size(), b->values.size());
        for (std::size_t i = 0; i < a->values.size(); ++i)
            EXPECT_NEAR(a->values[i], b->values[i], 1e-11) << "code " << code << " node " << i;
        // Scheme 11 reports spots, scheme 12 log-spots.
        EXPECT_NEAR(std::log(sa.outputs[0][5]), sb.outputs[0][5], 1e-12);
    }
}

// The Black-Scholes limit of a deterministic variance, for every scheme and law.
TEST(LogSpotSchemes, DeterministicVarianceLimitPerModelCode)
{
    for (int scheme : kSchemes)
        for (int code = 0; code <= 4; ++code)
            EXPECT_NEAR(deterministicVariancePrice(code, scheme), kDeterministicVarianceCalls[code],
                        5e-3)
                << "scheme " << scheme << " code " << code;
}

// Every scheme serves every code with the main road's law: on the fine grid they agree with the
// spot scheme 2 to a fraction of a basis point (the grids differ, so only to the discretisation
// error: under 0.1 bp here, against up to 1.4 bp between scheme 2's own 100/50/50 and 200/100/100).
TEST(LogSpotSchemes, NonAffineCodesAgreeWithTheMainRoadScheme)
{
    for (int code = 1; code <= 4; ++code) {
        const Model m = modelOfCode(code);
        Contract c;
        c.K = 90.0;
        c.callPut = 1;
        Grid g = gridOf(200, 100, 100, 2);
        const double ivMain = impliedVol(c, price(m, c, g));
        for (int scheme : kSchemes) {
            g.scheme = scheme;
            const double bp = 1e4 * std::fabs(impliedVol(c, price(m, c, g)) - ivMain);
            std::printf("code %d scheme %d: %.3f bp from scheme 2\n", code, scheme, bp);
            EXPECT_LT(bp, 1.0) << "code " << code << " scheme " << scheme;
        }
    }
}

// One solve for strikes 80 .. 120 (reference strike 80, a put) read at the scaled spots gives
// the prices of separate solves: puts up to the spot, calls above it by parity.
TEST(LogSpotSchemes, StrikeVectorsAgreeWithSingleStrikeSolves)
{
    const Model m = fellerFails();
    const std::vector<double> strikes = {80.0, 90.0, 100.0, 110.0, 120.0};
    Contract c;
    c.T = 0.5;
    c.callPut = 1;
    for (int scheme : {12, 13, 14}) {
        Grid g = gridOf(100, 50, 50, scheme);
        const StrikeVectorSolve multi = solveStrikeVector(m, c, strikes, g);
        const Solve& s = multi.solve;
        EXPECT_GT(s.results[2], 0.0) << "scheme " << scheme;
        // The solve is that of the reference strike, derivatives included.
        Contract reference = c;
        reference.K = strikes[0];
        auto single = makeOption(m, reference, g);
        const Solve one = solve(*single);
        ASSERT_EQ(one.outputs[2].size(), s.outputs[2].size());
        for (std::size_t i = 0; i < one.outputs[2].size(); ++i) {
            EXPECT_NEAR(s.outputs[2][i], one.outputs[2][i], 1e-9) << "scheme " << scheme;
            EXPECT_NEAR(s.outputs[3][i], one.outputs[3][i], 1e-7) << "scheme " << scheme;
        }
        expectStrikePricesMatchSingleSolves(multi, m, c, strikes, g, 5.0);
    }
}

// Scheme 12 reports its derivatives with respect to the log-spot over its log-spot nodes, scheme
// 11 with respect to the spot: U_x = S U_S near the money.
TEST(LogSpotSchemes, SchemeTwelveDerivativesAreInTheLogSpot)
{
    const ElevenAndTwelve s = solveElevenAndTwelve(Model(), Contract());
    const Solve& sa = s.sa;
    const Solve& sb = s.sb;
    int checked = 0;
    for (std::size_t i = 1; i + 1 < sb.outputs[0].size(); ++i) {
        const double spot = std::exp(sb.outputs[0][i]);
        if (spot < 85.0 || spot > 115.0)
            continue;
        // The two three-point rules differ by their own truncation errors, not by a factor S.
        EXPECT_NEAR(sb.outputs[2][i], spot * sa.outputs[2][i],
                    1e-2 * std::fabs(spot * sa.outputs[2][i]))
            << "node " << i;
        ++checked;
    }
    EXPECT_GT(checked, 5);
}

namespace {

// The frame and the log-spot operator of a solve of scheme 14's law for a model code.
struct LogSpotSetup {
    std::unique_ptr<OrvHestonVanilla> option;
    std::unique_ptr<SchemeFrame> frame;
    SpotAdiSettings settings;
    std::unique_ptr<LogSpotAdiOperator> op;

    explicit LogSpotSetup(int code)
    {
        Grid g;
        g.NS = 30;
        g.Nv = 15;
        g.scheme = 14;
        option = makeOption(modelOfCode(code), Contract{}, g);
        const VarianceLaw law = VarianceLaw::spotPowerSplitting(varianceModelOf(*option));
        frame = std::make_unique<SchemeFrame>(*option,
                                              logSpotFrameSettings(false, false, 0.0, 0.0, law));
        settings = logSpotOperatorSettings(law, MixedStencil::SevenPoint);
        op = std::make_unique<LogSpotAdiOperator>(*frame, settings);
    }
};

}  // namespace

// The damped start of scheme 14 solves with I - h A, A read off the splitting operator: applied
// to any table of unknowns it must give that table minus h times the operator's own evaluation,
// mixed term and every boundary row included, for a law with a v = 0 row of its own (code 0) and
// one whose v = 0 row is extrapolated (code 2).
TEST(LogSpotSchemes, SparseDampedStartStepsTheSplittingOperator)
{
    for (int code : {0, 2}) {
        LogSpotSetup s(code);
        const SpotAdiOperator& op = *s.op;
        const int n = op.spotNodes();
        const int Nv = op.varianceIntervals();
        SparseImplicitEuler euler(op, s.settings.extrapolateZeroRow);
        const double h = 0.01;
        euler.factor(h);
        Eigen::SparseMatrix<double> M(euler.unknowns(), euler.unknowns());
        M.setFromTriplets(euler.triplets().begin(), euler.triplets().end());

        std::mt19937 rng(7);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        RowMatrix X = op.makeTable();
        Eigen::VectorXd x(euler.unknowns());
        for (int j = 0; j < Nv; ++j)
            for (int i = 1; i < n; ++i) {
                X.data[j + 1][i] = uniform(rng);
                x[j * (n - 1) + i - 1] = X.data[j + 1][i];
            }
        RowMatrix Y = X;
        op.addOperator(SpotAdiOperator::Part::All, X, 0.0, -h, Y);
        const Eigen::VectorXd y = M * x;
        const int jFirst = s.settings.extrapolateZeroRow ? 1 : 0;
        for (int j = jFirst; j < Nv; ++j)
            for (int i = 1; i < n; ++i)
                EXPECT_NEAR(y[j * (n - 1) + i - 1], Y.data[j + 1][i], 1e-9)
                    << "code " << code << " node " << i << ", " << j;
        if (jFirst == 1) {
            for (int i = 1; i < n; ++i)
                EXPECT_NEAR(y[i - 1], x[i - 1] - 3.0 * x[n - 1 + i - 1] +
                                          3.0 * x[2 * (n - 1) + i - 1] - x[3 * (n - 1) + i - 1],
                            1e-12);
        }
    }
}

// A damped start that covers the whole expiry: one step makes two implicit half steps that end
// at T. Two implicit Euler steps are coarse (7.54 against 7.996), but a solve that stopped at
// T/2 would price near 5.8.
TEST(LogSpotSchemes, SchemeFourteenWithOneStepCoversTheExpiry)
{
    Model m;
    Contract c;
    Grid g;
    g.scheme = 14;
    g.NT = 1;
    auto o = makeOption(m, c, g);
    const Solve s = solve(*o);
    EXPECT_EQ(s.results[3], 1.0);
    EXPECT_NEAR(s.results[1], 7.99642923903, 0.5);  // the default case's call at the money
}
