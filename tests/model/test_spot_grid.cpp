#include "model/support/grid_test_option.h"
#if __has_include("model/support/interim_scheme_routines.cpp")
#include "model/support/interim_scheme_routines.cpp"
#endif

#include "numerics/numerical_error.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

namespace {

const std::string kSpotFailure =
    "There was a problem while generating the PDE grid for this vanilla option.";
const std::string kLogFailure =
    "There was a problem while generating the PDE grid for this vanila option.";

enum class Builder { Uniform, Clustered, Log };

Array<double> build(OrvHestonVanilla& o, Builder b, double clustering = 4.5)
{
    Array<double> grid;
    switch (b) {
    case Builder::Uniform: o.generateUniformSGrid(grid, false); break;
    case Builder::Clustered: o.generateNonUniformSGrid(grid, clustering, false); break;
    case Builder::Log: o.generateLogSGrid(grid, clustering, false); break;
    }
    return grid;
}

// What every grid must be: as long as nSNodes, strictly increasing, the strike exactly on node
// iToK, starting at 0 (spot grids) and reaching past both the strike and the spot.
void expectSoundGrid(const OrvHestonVanilla& o, const Array<double>& g, Builder b)
{
    ASSERT_EQ(g.size(), static_cast<std::size_t>(o.nSNodes));
    ASSERT_EQ(o.SGrid.size(), g.size());
    for (std::size_t i = 1; i < g.size(); ++i)
        ASSERT_LT(g[i - 1], g[i]) << "node " << i;
    ASSERT_GT(o.iToK, 0);
    ASSERT_LT(o.iToK, o.nSNodes - 1);
    const double top = b == Builder::Log ? std::exp(g[g.size() - 1]) : g[g.size() - 1];
    if (b == Builder::Log) {
        EXPECT_EQ(g[o.iToK], std::log(o.K));
        EXPECT_LE(std::exp(g[0]), std::min(o.S, 0.6 * o.K));
    } else {
        EXPECT_EQ(g[o.iToK], o.K);
        EXPECT_EQ(g[0], 0.0);
    }
    EXPECT_GE(top, 1.5 * o.K);
    EXPECT_GE(top, o.S);
}

TEST(SpotGrid, UniformGridMatchesTheStatedCases)
{
    GridTestOption setup = GridTestOption::uniformTo250();
    auto o = setup.build();
    Array<double> g;
    o->generateSGrid(g);
    EXPECT_EQ(o->iToK, 40);
    ASSERT_EQ(g.size(), 101u);
    EXPECT_DOUBLE_EQ(g[1], 2.5);
    EXPECT_DOUBLE_EQ(g[100], 250.0);
    expectSoundGrid(*o, g, Builder::Uniform);

    setup.SmaxUser = 260.0;
    o = setup.build();
    g = build(*o, Builder::Uniform);
    EXPECT_EQ(o->iToK, 38);
    EXPECT_DOUBLE_EQ(g[100], 100.0 * 100.0 / 38.0);
    EXPECT_GT(g[100], 260.0);
    EXPECT_EQ(g[38], 100.0);
}

TEST(SpotGrid, EveryBuilderPutsTheStrikeOnANodeAcrossContracts)
{
    for (Builder b : {Builder::Uniform, Builder::Clustered, Builder::Log})
        for (double K : {60.0, 95.0, 100.0, 137.0, 250.0})
            for (double T : {0.05, 0.7, 1.6, 3.0})
                for (double model : {0.0, 1.0, 2.0, 3.0, 4.0}) {
                    GridTestOption setup;
                    setup.K = K;
                    setup.T = T;
                    setup.modelCode = model;
                    if (model > 2.0) {  // volatility-parameter models
                        setup.v0 = 0.2;
                        setup.vL = 0.25;
                    }
                    setup.callPut = K > setup.S ? 1 : 0;
                    auto o = setup.build();
                    SCOPED_TRACE(testing::Message() << "builder " << static_cast<int>(b) << " K " << K
                                                    << " T " << T << " model " << model);
                    const Array<double> g = build(*o, b);
                    expectSoundGrid(*o, g, b);
                    EXPECT_TRUE(o->sGridReady);
                }
}

TEST(SpotGrid, CachedGridIsReturnedUnchanged)
{
    GridTestOption setup;
    auto o = setup.build();
    const Array<double> first = build(*o, Builder::Clustered);
    const int iToK = o->iToK, nodes = o->nSNodes, NS = o->NS;
    const double centre = o->sStretchCentre, stretch = o->sStretch;
    const Array<double> again = build(*o, Builder::Log, 8.0);  // arguments are not looked at
    ASSERT_EQ(again.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(again[i], first[i]);
    EXPECT_EQ(o->iToK, iToK);
    EXPECT_EQ(o->nSNodes, nodes);
    EXPECT_EQ(o->NS, NS);
    EXPECT_EQ(o->sStretchCentre, centre);
    EXPECT_EQ(o->sStretch, stretch);
    EXPECT_EQ(o->SmaxUser, 1.0);  // a zero factor is stored back as 1.0
}

// The price modes double NS and iToK and keep the sinh map: the fine grid must hold every coarse
// node at its even indices and still carry the strike, on node 2 iToK.
TEST(SpotGrid, RefinedRebuildKeepsTheCoarseNodesAndTheStrike)
{
    for (Builder b : {Builder::Uniform, Builder::Clustered, Builder::Log})
        for (double K : {80.0, 90.0, 105.0, 120.0, 150.0})
            for (double T : {0.1, 0.5, 1.0, 2.0})
                for (double smaxUser : {0.0, 1.5}) {
                    if (b == Builder::Uniform && smaxUser > 0.0)
                        continue;
                    GridTestOption setup;
                    setup.K = K;
                    setup.T = T;
                    setup.modelCode = 1.0;
                    setup.SmaxUser = smaxUser;
                    setup.nonUniformSGrid = b != Builder::Uniform;
                    auto o = setup.build();
                    SCOPED_TRACE(testing::Message() << "builder " << static_cast<int>(b) << " K " << K
                                                    << " T " << T << " SmaxUser " << smaxUser);
                    const Array<double> coarse = build(*o, b);
                    const int coarseStrike = o->iToK;
                    if (smaxUser > 1.0) {
                        EXPECT_GT(o->NS, setup.NS);  // grown to reach the stretched bound
                    }
                    o->NS = 2 * o->NSOriginal;
                    o->iToK = 2 * o->iToK;
                    o->sGridReady = false;
                    const Array<double> fine = build(*o, b);
                    ASSERT_GE(fine.size(), 2 * coarse.size() - 1);
                    for (std::size_t k = 0; k < coarse.size(); ++k)
                        ASSERT_EQ(fine[2 * k], coarse[k]) << "coarse node " << k;
                    EXPECT_EQ(o->iToK, 2 * coarseStrike);
                    expectSoundGrid(*o, fine, b);
                }
}

TEST(SpotGrid, ChangedSizeWithKeptCachesStillCarriesTheStrike)
{
    for (Builder b : {Builder::Clustered, Builder::Log}) {
        GridTestOption setup;
        setup.K = 97.0;
        auto o = setup.build();
        build(*o, b);
        o->setNS(83);  // clears sGridReady only; the sinh centre no longer falls on a node
        const Array<double> g = build(*o, b);
        EXPECT_EQ(o->nSNodes, 84);
        expectSoundGrid(*o, g, b);
    }
}

TEST(SpotGrid, BadParametersFailWithTheBuildersMessage)
{
    struct Case {
        const char* what;
        void (*change)(GridTestOption&);
    };
    const Case cases[] = {
        {"NaN v0", [](GridTestOption& s) { s.v0 = std::numeric_limits<double>::quiet_NaN(); }},
        {"negative vL", [](GridTestOption& s) { s.vL = -0.04; }},
        {"zero strike", [](GridTestOption& s) { s.K = 0.0; }},
        {"infinite expiry", [](GridTestOption& s) { s.T = std::numeric_limits<double>::infinity(); }},
        {"one interval", [](GridTestOption& s) { s.NS = 1; }},
    };
    for (const Case& c : cases)
        for (Builder b : {Builder::Uniform, Builder::Clustered, Builder::Log}) {
            GridTestOption setup;
            c.change(setup);
            auto o = setup.build();
            SCOPED_TRACE(testing::Message() << c.what << ", builder " << static_cast<int>(b));
            try {
                build(*o, b);
                ADD_FAILURE() << "no exception";
            } catch (const NumericalError& e) {
                EXPECT_EQ(e.what(), b == Builder::Log ? kLogFailure : kSpotFailure);
            }
            EXPECT_FALSE(o->sGridReady);
        }
}

TEST(SpotGrid, SizesWhoseNodeCountsOverflowAreRefused)
{
    for (const int NS : {INT_MAX, -1})
        for (Builder b : {Builder::Uniform, Builder::Clustered, Builder::Log}) {
            GridTestOption setup;
            setup.NS = NS;
            auto o = setup.build();
            SCOPED_TRACE(testing::Message() << "NS " << NS << ", builder " << static_cast<int>(b));
            try {
                build(*o, b);
                ADD_FAILURE() << "no exception";
            } catch (const NumericalError& e) {
                EXPECT_NE(std::string(e.what()).find("NS must lie in [0, 1000000]"),
                          std::string::npos);
            }
        }
}

}  // namespace
