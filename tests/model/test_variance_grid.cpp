#include "model/support/grid_test_option.h"
#if __has_include("model/support/interim_scheme_routines.cpp")
#include "model/support/interim_scheme_routines.cpp"
#endif

#include "numerics/numerical_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

void expectSoundVarianceGrid(const OrvHestonVanilla& o, const Array<double>& g, double vmax)
{
    ASSERT_EQ(g.size(), static_cast<std::size_t>(o.Nv) + 1);
    EXPECT_EQ(g[0], 0.0);
    EXPECT_EQ(g[g.size() - 1], vmax);
    for (std::size_t i = 1; i < g.size(); ++i)
        ASSERT_LT(g[i - 1], g[i]) << "node " << i;
    ASSERT_GT(o.iToV0, 0);
    ASSERT_LT(o.iToV0, o.Nv);
    EXPECT_EQ(g[o.iToV0], o.v0);
}

TEST(VarianceGrid, FirstGeneratorCentresV0AndEndsAtVmax)
{
    for (double model : {0.0, 1.0, 3.0})
        for (double v0 : {0.01, 0.04, 0.2})
            for (double vmax : {0.5, 1.0, 4.0})
                for (int nv : {9, 30, 50}) {
                    GridTestOption setup;
                    setup.modelCode = model;
                    setup.v0 = v0;
                    auto o = setup.build();
                    Array<double> g;
                    SCOPED_TRACE(testing::Message() << "model " << model << " v0 " << v0 << " vmax " << vmax
                                                    << " nv " << nv);
                    o->firstVGridGenerator(v0, nv, vmax, 4.5, g);
                    EXPECT_GE(o->Nv, nv);
                    expectSoundVarianceGrid(*o, g, vmax);
                    EXPECT_GE(o->iToV0, std::min(4, nv));
                }
}

TEST(VarianceGrid, FirstGeneratorIgnoresTheStretchArgumentForGarchTypeModels)
{
    GridTestOption setup;
    setup.modelCode = 1.0;
    auto a = setup.build();
    auto b = setup.build();
    Array<double> ga, gb;
    a->firstVGridGenerator(0.04, 40, 1.2, 3.0, ga);
    b->firstVGridGenerator(0.04, 40, 1.2, 6.0, gb);
    ASSERT_EQ(ga.size(), gb.size());
    for (std::size_t i = 0; i < ga.size(); ++i)
        EXPECT_EQ(ga[i], gb[i]);
}

TEST(VarianceGrid, ZeroCentreIsTreatedAsAVerySmallVariance)
{
    GridTestOption setup;
    setup.v0 = 1e-4;
    auto o = setup.build();
    Array<double> g;
    o->firstVGridGenerator(0.0, 30, 0.5, 4.5, g);
    EXPECT_NEAR(g[o->iToV0], 1e-4, 1e-18);
    EXPECT_EQ(g[g.size() - 1], 0.5);
}

// The grid doubling of the price modes keeps the fraction and the stretch: the fine grid must hold
// every coarse node at its even indices.
TEST(VarianceGrid, DoubledFirstGridKeepsTheCoarseNodes)
{
    GridTestOption setup;
    auto o = setup.build();
    Array<double> coarse, fine;
    o->firstVGridGenerator(0.04, 50, 1.0, 4.5, coarse);
    const int nv = o->Nv;
    o->iToV0 *= 2;
    o->firstVGridGenerator(0.04, 2 * nv, 1.0, 4.5, fine);
    ASSERT_EQ(fine.size(), 2 * coarse.size() - 1);
    for (std::size_t k = 0; k < coarse.size(); ++k)
        EXPECT_EQ(fine[2 * k], coarse[k]) << "coarse node " << k;
    expectSoundVarianceGrid(*o, fine, 1.0);
}

// After the hybrid generator falls back, later solves call the first generator with the count it
// built (above the requested one when the first pass needed more nodes): the kept shape must give
// the same grid again.
TEST(VarianceGrid, RepeatedFirstGridWithTheBuiltCountIsTheSameGrid)
{
    GridTestOption setup;
    auto o = setup.build();
    Array<double> g, again;
    o->firstVGridGenerator(0.04, 50, 1.0, 4.5, g);
    ASSERT_GT(o->Nv, 50);  // this shape needs more than the requested intervals
    o->firstVGridGenerator(0.04, o->Nv, 1.0, 4.5, again);
    ASSERT_EQ(again.size(), g.size());
    for (std::size_t i = 0; i < g.size(); ++i)
        EXPECT_EQ(again[i], g[i]);
}

// A retry that changes the size, or a solve with another vmax, while the shape caches stay: the kept
// shape cannot land a node on vmax (an endless final pass) or would put v0 off its node.
TEST(VarianceGrid, FirstGeneratorRefitsAShapeThatNoLongerFits)
{
    GridTestOption setup;
    auto o = setup.build();
    Array<double> g;
    o->firstVGridGenerator(0.04, 50, 1.0, 4.5, g);
    o->firstVGridGenerator(0.04, 37, 1.0, 4.5, g);
    expectSoundVarianceGrid(*o, g, 1.0);
    EXPECT_GE(o->Nv, 37);
    o->firstVGridGenerator(0.04, o->Nv, 1.3, 4.5, g);
    expectSoundVarianceGrid(*o, g, 1.3);
}

TEST(VarianceGrid, FirstGeneratorFailuresCarryTheirTexts)
{
    GridTestOption setup;
    setup.K = 95.5;
    setup.T = 0.25;
    auto o = setup.build();
    Array<double> g;
    try {
        o->firstVGridGenerator(0.04, 30, 1e-9, 4.5, g);  // vmax far below the centre
        ADD_FAILURE() << "no exception";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "There was a problem while generating the PDE grid for this vanilla option.");
    }
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        auto p = setup.build();
        EXPECT_THROW(p->firstVGridGenerator(0.04, 30, bad, 4.5, g), NumericalError);
        EXPECT_THROW(p->firstVGridGenerator(0.04, 30, 1.0, bad, g), NumericalError);
    }
    // A stretch that cannot be fitted reports the option.
    auto q = setup.build();
    try {
        q->firstVGridGenerator(0.04, 30, 1.0, 0.0, g);
        ADD_FAILURE() << "no exception";
    } catch (const NumericalError& e) {
        EXPECT_STREQ(e.what(), "The first V-grid generator failed for option with K =  95.500000, T = 0.250000, "
                               "v0= 0.040000, vL = 0.050000, theta = 2.000000, xi = 0.500000, rho = -0.500000");
    }
}

TEST(VarianceGrid, HybridGridIsUniformBelowTwiceV0AndStretchedAbove)
{
    for (double v0 : {0.01, 0.04, 0.09})
        for (double vmax : {0.6, 1.0, 3.0})
            for (int nv : {30, 60}) {
                GridTestOption setup;
                setup.v0 = v0;
                auto o = setup.build();
                Array<double> g;
                SCOPED_TRACE(testing::Message() << "v0 " << v0 << " vmax " << vmax << " nv " << nv);
                o->hybridVGridGenerator(v0, nv, vmax, 4.5, g);
                ASSERT_FALSE(o->useFirstVGrid);
                expectSoundVarianceGrid(*o, g, vmax);
                const int n = o->iToV0;
                const double h = v0 / n;
                for (int i = 1; i <= 2 * n - 1; ++i)
                    EXPECT_NEAR(g[i] - g[i - 1], h, 1e-12 * h);
                EXPECT_NEAR(g[2 * n] - g[2 * n - 1], h, 1e-6 * h);  // first stretched step
                EXPECT_EQ(o->vUpperIntervals, o->Nv - (2 * n - 1) - 1);
            }
}

TEST(VarianceGrid, HybridRebuildAfterDoublingKeepsTheShape)
{
    GridTestOption setup;
    auto o = setup.build();
    Array<double> coarse, fine;
    o->hybridVGridGenerator(0.04, 50, 1.0, 4.5, coarse);
    ASSERT_FALSE(o->useFirstVGrid);
    const int nv = o->Nv, n = o->iToV0;
    o->iToV0 *= 2;
    o->vUpperIntervals *= 2;
    o->hybridVGridGenerator(0.04, 2 * nv, 1.0, 4.5, fine);
    EXPECT_EQ(o->Nv, 2 * nv);
    EXPECT_EQ(o->iToV0, 2 * n);
    expectSoundVarianceGrid(*o, fine, 1.0);
    EXPECT_NEAR(fine[2 * n], coarse[n], 1e-15);
}

class InScratchDirectory : public testing::Test {
protected:
    void SetUp() override
    {
        old_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("sarnex_vgrid_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override
    {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    static std::string errorLog()
    {
        std::ifstream in("ErrorLog.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::filesystem::path old_, dir_;
};

// With v0 at 0.6 of vmax there is no room for a stretched part above 2 v0: the hybrid generator must
// fall back to the first generator's grid and log the option, never return a grid beyond vmax.
TEST_F(InScratchDirectory, HybridFallsBackToTheFirstGridAndLogsTheOption)
{
    GridTestOption setup;
    setup.K = 110.0;
    setup.T = 0.5;
    setup.v0 = 0.6;
    auto o = setup.build();
    auto reference = setup.build();
    Array<double> g, first;
    o->hybridVGridGenerator(0.6, 30, 1.0, 4.5, g);
    reference->firstVGridGenerator(0.6, 30, 1.0, 4.5, first);
    EXPECT_TRUE(o->useFirstVGrid);
    ASSERT_EQ(g.size(), first.size());
    for (std::size_t i = 0; i < g.size(); ++i)
        EXPECT_EQ(g[i], first[i]);
    EXPECT_EQ(o->iToV0, reference->iToV0);
    expectSoundVarianceGrid(*o, g, 1.0);
    EXPECT_EQ(errorLog(), "The hybrid V-grid generator failed for option with K =  110, T = 0.5\n");

    o->hybridVGridGenerator(0.6, 30, 1.0, 4.5, g);  // a second failure appends a second line
    EXPECT_EQ(errorLog(), "The hybrid V-grid generator failed for option with K =  110, T = 0.5\n"
                          "The hybrid V-grid generator failed for option with K =  110, T = 0.5\n");
}

TEST_F(InScratchDirectory, HybridRebuildThatFailsStillGivesAGrid)
{
    GridTestOption setup;
    auto o = setup.build();
    Array<double> g;
    o->hybridVGridGenerator(0.04, 50, 1.0, 4.5, g);
    // Kept junction with no stretched intervals left: no hybrid grid exists.
    o->vUpperIntervals = 0;
    o->hybridVGridGenerator(0.04, 50, 1.0, 4.5, g);
    EXPECT_TRUE(o->useFirstVGrid);
    expectSoundVarianceGrid(*o, g, 1.0);
    EXPECT_NE(errorLog().find("The hybrid V-grid generator failed"), std::string::npos);
}

}  // namespace
