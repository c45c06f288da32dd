// The splitting operator's explicit evaluation and its implicit line matrices must describe the
// same equation, for every model code and variance law: applying I - theta dt A_dir explicitly
// and then solving the line systems of that direction gives the table back.

#include "model/variance_law.h"
#include "schemes/scheme_frame.h"
#include "schemes/spot_adi_operator.h"
#include "schemes/support/frame_test_option.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace frame_test;

namespace {

struct LawCase {
    int code;
    bool power;  // the power law of schemes 2 and 4, else the law of schemes 6 and 8
};

Model modelFor(int code)
{
    Model m;
    m.modelCode = code;
    m.volvol = code == 0 ? 0.4 : 0.9;
    m.rho = -0.6;
    m.exponent = code == 2 ? 0.8 : 1.0;
    if (code >= 3) {
        m.v0 = 0.2;
        m.vL = 0.25;
    }
    return m;
}

// A smooth table with a value on the S = 0 column of 0 (the line matrices leave that column out).
double smooth(double s, double v) { return s * (1.0 + 0.5 * std::sin(0.03 * s)) * (1.0 + v); }

}  // namespace

TEST(SpotAdiOperatorConsistency, ImplicitLinesInvertTheExplicitOperator)
{
    const LawCase cases[] = {{0, false}, {1, false}, {0, true}, {1, true},
                             {2, true},  {3, true},  {4, true}};
    for (const LawCase& lc : cases) {
        const Model m = modelFor(lc.code);
        Contract c;
        c.r = 0.0;  // the extrapolated v = 0 row of codes 2 and 4 then has a unit diagonal
        Grid g;
        g.NS = 40;
        g.Nv = 20;
        auto o = makeOption(m, c, g);
        o->varianceExponent = m.exponent;

        SpotAdiSettings s;
        s.law = lc.power ? VarianceLaw::spotPowerSplitting(varianceModelOf(*o))
                         : VarianceLaw::squareRootOrGarch(varianceModelOf(*o));
        s.mixed = lc.power ? MixedStencil::SevenPoint : MixedStencil::NinePoint;
        s.zeroRow = lc.power ? ZeroVarianceRow::ExactElimination
                             : ZeroVarianceRow::RecomputeAfterSolve;
        s.extrapolateZeroRow = lc.power && (lc.code == 2 || lc.code == 4);
        SchemeFrameSettings fs;
        fs.volatilityCoordinate = s.law.volatilityCoordinate;
        SchemeFrame frame(*o, fs);
        SpotAdiOperator op(frame, s);
        const double thetaDt = 0.3 * 0.05;
        op.factor(0.3, 0.05);

        RowMatrix Z = op.makeTable();
        for (int j = 0; j <= frame.Nv; ++j)
            for (int i = 1; i < frame.n; ++i)
                Z.data[j + 1][i] = smooth(frame.S[i], frame.V[j]);
        const RowMatrix zero = op.makeTable();

        const SpotAdiOperator::Part parts[] = {SpotAdiOperator::Part::Spot,
                                               SpotAdiOperator::Part::Variance};
        for (SpotAdiOperator::Part part : parts) {
            // The recomputed v = 0 node of the six/eight law is a one-sweep correction, exact only
            // in the spot direction.
            if (part == SpotAdiOperator::Part::Variance && !lc.power)
                continue;
            RowMatrix Y = Z;
            op.addOperator(part, Z, 0.0, -thetaDt, Y);
            if (part == SpotAdiOperator::Part::Spot)
                op.solveSpotLines(Y, zero, 0.0);
            else
                op.solveVarianceLines(Y, zero);
            const int jFirst = s.extrapolateZeroRow ? 1 : 0;
            double worst = 0.0;
            for (int j = jFirst; j < frame.Nv; ++j)
                for (int i = 1; i < frame.n; ++i)
                    worst = std::max(worst, std::fabs(Y.data[j + 1][i] - Z.data[j + 1][i]) /
                                                (1.0 + std::fabs(Z.data[j + 1][i])));
            EXPECT_LT(worst, 1e-11) << "code " << lc.code << (lc.power ? " power" : " plain")
                                    << (part == SpotAdiOperator::Part::Spot ? " spot" : " variance");
        }
    }
}
