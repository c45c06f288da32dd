#include "model/support/grid_test_option.h"
#if __has_include("model/support/interim_scheme_routines.cpp")
#include "model/support/interim_scheme_routines.cpp"
#endif

#include "numerics/numerical_error.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// u(S) = a + b S + c S^2: u' = b + 2 c S, u'' = 2 c.
const double qa = 3.0, qb = -0.4, qc = 0.0125;
double u(double s) { return qa + qb * s + qc * s * s; }
double du(double s) { return qb + 2.0 * qc * s; }

void setValues(OrvHestonVanilla& o, bool logNodes)
{
    o.values.resize(o.SGrid.size());
    for (std::size_t i = 0; i < o.SGrid.size(); ++i)
        o.values[i] = u(logNodes ? std::exp(o.SGrid[i]) : o.SGrid[i]);
}

struct Derivatives {
    Array<double> D1, D2;
};

// The derivatives of u on the object's nodes: spot nodes through the routine for uniform steps,
// log-spot nodes through the one for any steps.
Derivatives derivativesOfQuadratic(OrvHestonVanilla& o, bool logNodes)
{
    setValues(o, logNodes);
    Derivatives d{Array<double>(o.NS + 1), Array<double>(o.NS + 1)};
    if (logNodes)
        o.spotDerivativesNonUniform(d.D1, d.D2);
    else
        o.spotDerivativesUniform(d.D1, d.D2);
    return d;
}

void expectExact(const OrvHestonVanilla& o, const Derivatives& d, bool logNodes)
{
    for (int i = 0; i <= o.NS; ++i) {
        const double s = logNodes ? std::exp(o.SGrid[i]) : o.SGrid[i];
        EXPECT_NEAR(d.D1[i], du(s), 1e-9 * (1.0 + std::fabs(du(s)))) << "node " << i;
        EXPECT_NEAR(d.D2[i], 2.0 * qc, 1e-7) << "node " << i;
    }
}

TEST(SpotDerivatives, UniformGridIsExactOnQuadratics)
{
    auto o = GridTestOption::uniformTo250().build();
    Array<double> g;
    o->generateSGrid(g);
    const Derivatives d = derivativesOfQuadratic(*o, false);
    EXPECT_EQ(o->dS, 2.5);
    expectExact(*o, d, false);
}

TEST(SpotDerivatives, ClusteredGridIsExactOnQuadratics)
{
    auto o = GridTestOption().build();
    Array<double> g;
    o->generateSGrid(g);
    const Derivatives d = derivativesOfQuadratic(*o, false);
    EXPECT_EQ(o->dS, g[2] - g[1]);
    expectExact(*o, d, false);
}

TEST(SpotDerivatives, LogGridGivesDerivativesInSpot)
{
    auto o = GridTestOption().build();
    Array<double> g;
    o->generateLogSGrid(g, 4.5, false);
    expectExact(*o, derivativesOfQuadratic(*o, true), true);
}

// After the price modes refine the grid the step halves; a step kept from the coarse grid would
// halve delta and quarter gamma.
TEST(SpotDerivatives, StepFollowsTheGridOfEachCall)
{
    auto o = GridTestOption::uniformTo250().build();
    Array<double> g;
    o->generateSGrid(g);
    derivativesOfQuadratic(*o, false);

    o->NS = 2 * o->NSOriginal;
    o->iToK = 2 * o->iToK;
    o->sGridReady = false;
    o->generateSGrid(g);
    const Derivatives fine = derivativesOfQuadratic(*o, false);
    EXPECT_EQ(o->dS, 1.25);
    expectExact(*o, fine, false);
}

// A uniform grid whose first cell is wider than the step: node 0 is reached from a virtual node.
TEST(SpotDerivatives, WideFirstCellIsCorrectedFromAVirtualNode)
{
    for (double shift : {0.5e-6, 0.7}) {
        GridTestOption setup;
        setup.nonUniformSGrid = false;
        auto o = setup.build();
        o->NS = 20;
        o->SGrid.resize(21);
        for (int i = 0; i <= 20; ++i)
            o->SGrid[i] = 10.0 + 2.0 * i;
        o->SGrid[0] = 10.0 - shift;
        const Derivatives d = derivativesOfQuadratic(*o, false);
        if (shift > 1e-6) {
            expectExact(*o, d, false);
        } else {
            // At most 1e-6 wider: the plain uniform formulas stay, exact away from node 0's stencils.
            EXPECT_EQ(d.D1[1], (u(o->SGrid[2]) - o->values[0]) / 4.0);
            for (int i = 2; i <= 20; ++i)
                EXPECT_NEAR(d.D1[i], du(o->SGrid[i]), 1e-9) << "node " << i;
        }
    }
}

TEST(SpotDerivatives, TooFewNodesOrShortArraysAreRefused)
{
    GridTestOption setup;
    auto o = setup.build();
    o->NS = 3;
    o->SGrid.resize(4);
    o->values.resize(4);
    Array<double> D1(4), D2(4);
    EXPECT_THROW(o->spotDerivativesUniform(D1, D2), NumericalError);
    EXPECT_THROW(o->spotDerivativesNonUniform(D1, D2), NumericalError);
    o->NS = 10;
    o->SGrid.resize(11);
    o->values.resize(11);
    EXPECT_THROW(o->spotDerivativesUniform(D1, D2), NumericalError);
}

}  // namespace
