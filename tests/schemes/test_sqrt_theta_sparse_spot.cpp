// Scheme 10 against independent truth: the semi-analytic Heston prices of tests/data, put-call
// parity, agreement with scheme 2 for the GARCH diffusion, second order in time after its
// implicit Euler start; its sparse matrix against the splitting operator it hands over to; and
// its refusals (model codes it has no law for, a matrix that cannot be factored).

#include "model/fd_weights.h"
#include "model/operator_assembly.h"
#include "model/variance_law.h"
#include "schemes/scheme_frame.h"
#include "schemes/spot_adi_operator.h"
#include "schemes/support/frame_test_option.h"
#include "schemes/support/scheme_cases.h"
#include "schemes/support/scheme_references.h"

#include <Eigen/SparseCore>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

using namespace frame_test;
using namespace scheme_cases;
using namespace scheme_refs;

namespace {

Model garch()
{
    Model m;
    m.modelCode = 1;
    m.volvol = 0.8;
    m.rho = -0.5;
    return m;
}

}  // namespace

TEST(SqrtThetaSparseSpotHeston, CoarseGridWithinTenBasisPointsOfImpliedVol)
{
    checkAgainstHeston(10, Grid(), 10.0, 2e-2, everyRow);
}

TEST(SqrtThetaSparseSpotHeston, FineGridWithinTwoBasisPointsOfImpliedVol)
{
    Grid g = gridOf(200, 100, 100);
    checkAgainstHeston(10, g, 2.0, 1e-3, fineSample);
}

// Parity of the prices, and of the greeks: the call's delta exceeds the put's by exp(-dT) and
// their gammas agree, at every spot node of the money region.
TEST(SqrtThetaSparseSpot, PutCallParity)
{
    for (const Model& m : {Model(), garch()}) {
        Contract c;
        c.K = 110.0;
        Grid g;
        g.scheme = 10;
        c.callPut = 0;
        const Solve call = solve(*makeOption(m, c, g));
        c.callPut = 1;
        const Solve put = solve(*makeOption(m, c, g));
        EXPECT_NEAR(call.results[1] - put.results[1],
                    c.S * std::exp(-c.d * c.T) - c.K * std::exp(-c.r * c.T), 1e-3)
            << "code " << m.modelCode;
        const Array<double>& S = call.outputs[0];
        for (std::size_t i = 0; i < S.size(); ++i) {
            if (S[i] < 70.0 || S[i] > 150.0)
                continue;
            EXPECT_NEAR(call.outputs[2][i] - put.outputs[2][i], std::exp(-c.d * c.T), 1e-4)
                << "S " << S[i];
            EXPECT_NEAR(call.outputs[3][i], put.outputs[3][i], 1e-5) << "S " << S[i];
        }
    }
}

// The GARCH diffusion at 200/100/100 as the main-road scheme prices it, within a fraction of a
// basis point of implied volatility.
TEST(SqrtThetaSparseSpot, GarchDiffusionAgreesWithSchemeTwo)
{
    const Model m = garch();
    for (double K : {90.0, 100.0, 110.0}) {
        Contract c;
        c.K = K;
        c.callPut = K < c.S ? 1 : 0;
        EXPECT_LT(ivGapToSchemeTwoBp(m, c, 10), 1.0) << "K " << K;
    }
}

// The damped start solves (I - h A) U = U_old + h (known values) with the assembled matrix; the
// splitting steps evaluate A through the splitting operator. On a smooth table with a non-zero
// S = 0 column and top slope both must give the same A X at every unknown, or the two phases
// would step different equations.
TEST(SqrtThetaSparseSpot, SparseMatrixHoldsTheSplittingOperator)
{
    for (const Model& m : {Model(), garch()}) {
        Contract c;
        c.callPut = 1;
        Grid g;
        g.scheme = 10;
        g.NS = 30;
        g.Nv = 15;
        auto o = makeOption(m, c, g);
        SchemeFrame frame(*o, SchemeFrameSettings());
        const VarianceLaw law = VarianceLaw::squareRootOrGarch(varianceModelOf(*o));
        SpotAdiSettings settings;
        settings.law = law;
        settings.mixed = MixedStencil::SevenPoint;
        settings.zeroRow = ZeroVarianceRow::ExactElimination;
        SpotAdiOperator op(frame, settings);

        const int n = frame.n, Nv = frame.Nv, lines = n - 1;
        const double lower = 3.0, df = 0.7;
        RowMatrix X = op.makeTable();
        for (int j = 0; j <= Nv; ++j)
            for (int i = 1; i <= n; ++i)
                X.data[j + 1][i] = std::sin(frame.S[std::min(i, n - 1)] / 40.0) *
                                       (1.0 + frame.V[j]) +
                                   0.01 * i * j;
        op.setSpotZero(X, lower);
        RowMatrix F = op.makeTable();
        op.addOperator(SpotAdiOperator::Part::All, X, df, 1.0, F);

        const GridWeights spot = buildGridWeights(frame.S, frame.dS[n]);
        const GridWeights variance = buildGridWeights(frame.V, 0.0);
        const StencilWeights f0 = forwardFirstDerivative(variance.steps[1], variance.steps[2]);
        const double drift0 = law.drift(frame.V[0]);
        std::vector<Eigen::Triplet<double>> triplets;
        assembleOperatorForLaw(*o, false, law, triplets, spot.d2Lower, spot.d2Upper, spot.d2Diag,
                               spot.d1Lower, spot.d1Upper, spot.d1Diag, spot.steps,
                               variance.steps, variance.d2Lower, variance.d2Upper,
                               variance.d2Diag, variance.d1Lower, variance.d1Upper,
                               variance.d1Diag, drift0 * f0.lower, drift0 * f0.diag,
                               drift0 * f0.upper, 1.0, 0);
        Eigen::SparseMatrix<double> M(lines * Nv, lines * Nv);
        M.setFromTriplets(triplets.begin(), triplets.end());
        Eigen::VectorXd x(lines * Nv);
        for (int j = 0; j < Nv; ++j)
            for (int i = 1; i <= lines; ++i)
                x[j * lines + i - 1] = X.data[j + 1][i];
        const Eigen::VectorXd interior = x - M * x;  // A at the unknowns, known values left out

        RowMatrix edges = op.makeTable();
        RowMatrix known = op.makeTable();
        op.setSpotZero(edges, lower);
        op.addOperator(SpotAdiOperator::Part::All, edges, df, 1.0, known);

        double scale = 0.0, worst = 0.0;
        for (int j = 0; j < Nv; ++j)
            for (int i = 1; i <= lines; ++i) {
                const double a = interior[j * lines + i - 1] + known.data[j + 1][i];
                scale = std::max(scale, std::fabs(F.data[j + 1][i]));
                worst = std::max(worst, std::fabs(a - F.data[j + 1][i]));
            }
        EXPECT_LT(worst, 1e-11 * scale) << "code " << m.modelCode;
    }
}

// Halving the step on a fixed fine grid after the implicit Euler start: second order.
TEST(SqrtThetaSparseSpot, SecondOrderInTime)
{
    const Model m;
    Contract c;
    c.callPut = 1;
    const double order = observedTimeOrder(m, c, 10, 200, 100);
    EXPECT_GT(order, 1.6);
    EXPECT_LT(order, 2.5);
}

// Model codes without a law here fail loudly instead of mixing two laws, so that a robust solve
// moves on to another scheme.
TEST(SqrtThetaSparseSpot, RefusesModelCodesWithoutItsLaws)
{
    for (int code : {2, 3, 4}) {
        Model m = garch();
        m.modelCode = code;
        Grid g;
        g.scheme = 10;
        auto o = makeOption(m, Contract(), g);
        try {
            solve(*o);
            ADD_FAILURE() << "code " << code << " priced";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()),
                      "The sparse spot-grid scheme prices the square-root and GARCH variance laws "
                      "only");
        }
    }
}

// A matrix that cannot be factored (a correlation that is not a number reaches every mixed
// entry) fails the solve instead of stepping on with garbage.
TEST(SqrtThetaSparseSpot, UnusableMatrixFailsTheSolve)
{
    Model m;
    m.rho = std::numeric_limits<double>::quiet_NaN();
    Grid g;
    g.scheme = 10;
    auto o = makeOption(m, Contract(), g);
    EXPECT_THROW(solve(*o), std::exception);
}
