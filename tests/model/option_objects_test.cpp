#include "model/option_objects.h"

#include "model/support/model_params.h"
#include "numerics/numerical_error.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::unique_ptr<OrvHestonVanilla> oneStrike(int callPut = 1, int exerciseType = 0,
                                            int nPeriods = 0, int boundaryMode = 0,
                                            double code = 1.0)
{
    return std::make_unique<OrvHestonVanilla>(
        100.0, 95.0, 0.75, modelParamArray(0.6, 0.04, 0.09, 2.5, -0.7, code), 0.03, 0.01, 120, 60,
        80, callPut, 5, 1, exerciseType, Array<double>(0.0, 5), Array<double>(0.0, 5), true, -5.0,
        1.5, 0.9995, nPeriods, true, boundaryMode, 0.1, 6, true);
}

std::unique_ptr<OrvHestonVanilla> strikeVector(std::vector<double> strikes)
{
    return std::make_unique<OrvHestonVanilla>(
        100.0, std::move(strikes), 0.5, modelParamArray(0.3, 0.05, 0.06, 1.5, -0.5, 0.0), 0.02,
        0.0, 100, 50, 60, 0, 3, 1, 0, Array<double>(0.0, 5), Array<double>(0.0, 5), false, -3.0,
        0.0, -0.5, 0, true, 0, 0.0, 15, false, true, 0.8, 0.045);
}

TEST(OptionObjects, OneStrikeConstructorStoresContractModelAndSettings)
{
    const auto o = oneStrike();
    EXPECT_EQ(o->S, 100.0);
    EXPECT_EQ(o->K, 95.0);
    EXPECT_EQ(o->T, 0.75);
    EXPECT_EQ(o->volvol, 0.6);
    EXPECT_EQ(o->v0, 0.04);
    EXPECT_EQ(o->vL, 0.09);
    EXPECT_EQ(o->theta, 2.5);
    EXPECT_EQ(o->rho, -0.7);
    EXPECT_EQ(o->modelCode, 1);
    EXPECT_EQ(o->r, 0.03);
    EXPECT_EQ(o->d, 0.01);
    EXPECT_EQ(o->NS, 120);
    EXPECT_EQ(o->NSOriginal, 120);
    EXPECT_EQ(o->Nv, 60);
    EXPECT_EQ(o->NT, 80);
    EXPECT_EQ(o->callPut, 1);
    EXPECT_EQ(o->priceMode, 5);
    EXPECT_EQ(o->exerciseType, 0);
    EXPECT_TRUE(o->nonUniformSGrid);
    EXPECT_EQ(o->SmaxUser, 1.5);
    EXPECT_EQ(o->VmaxParam, 0.9995);
    EXPECT_EQ(o->nPeriods, 0);
    EXPECT_EQ(o->boundaryMode, 0);
    EXPECT_EQ(o->extraT, 0.1);
    EXPECT_EQ(o->schemeNumber, 6);
    EXPECT_TRUE(o->volvolWidening);
    EXPECT_EQ(o->vol, 0.0);
    // One strike: no list, no mean variance, and the GARCH diffusion exponent.
    EXPECT_TRUE(o->strikes.empty());
    EXPECT_FALSE(o->multiStrike);
    EXPECT_FALSE(o->strikeFlag);
    EXPECT_EQ(o->vMean, 0.0);
    EXPECT_EQ(o->varianceExponent, 1.0);
    // Nothing solved yet.
    EXPECT_EQ(o->getNS(), 120);
    const Array<double> results = o->getResults();
    ASSERT_EQ(results.size(), 6u);
    for (double v : results) {
        EXPECT_EQ(v, 0.0);
    }
    EXPECT_EQ(o->dS, 0.0);
    EXPECT_EQ(o->nSNodes, 0);
    EXPECT_EQ(o->vUpperIntervals, 0);
    EXPECT_FALSE(o->computeIVs);
    EXPECT_FALSE(o->sGridReady);
    EXPECT_EQ(o->SGrid.size(), 0u);
    EXPECT_EQ(o->VGrid.size(), 0u);
    EXPECT_EQ(o->getStrikePrices().size(), 0u);
    EXPECT_EQ(o->getStrikeIVs().size(), 0u);
}

TEST(OptionObjects, ConstructionEndsInTheInitialSolverState)
{
    const auto o = oneStrike();
    EXPECT_EQ(o->lowerBoundaryValue, -1.0);
    EXPECT_EQ(o->upperBoundaryValue, -1.0);
    EXPECT_EQ(o->retryLevel, 0);
    EXPECT_FALSE(o->dampingFlag);
    EXPECT_EQ(o->iToK, 0);
    EXPECT_EQ(o->iToV0, 0);
    EXPECT_FALSE(o->useFirstVGrid);
    EXPECT_EQ(o->sStretchCentre, 0.0);
    EXPECT_EQ(o->vCentreFraction, 0.0);
    EXPECT_EQ(o->sStretch, 0.0);
    EXPECT_EQ(o->vStretch, 0.0);
    EXPECT_EQ(o->clustering, 4.5);
    EXPECT_EQ(o->logGridFraction, 0.025);

    // A later reset puts back the per-solve state and leaves contract, sizes and caches of the
    // grids' results alone.
    o->retryLevel = 1;
    o->dampingFlag = true;
    o->iToK = 40;
    o->iToV0 = 9;
    o->useFirstVGrid = true;
    o->sStretch = 3.0;
    o->clustering = 7.5;
    o->logGridFraction = 0.5;
    o->lowerBoundaryValue = 2.0;
    o->vUpperIntervals = 12;
    o->sGridReady = true;
    o->computeIVs = true;
    o->NS = 77;
    o->resetSolverState();
    EXPECT_EQ(o->retryLevel, 0);
    EXPECT_FALSE(o->dampingFlag);
    EXPECT_EQ(o->iToK, 0);
    EXPECT_EQ(o->iToV0, 0);
    EXPECT_FALSE(o->useFirstVGrid);
    EXPECT_EQ(o->sStretch, 0.0);
    EXPECT_EQ(o->clustering, 4.5);
    EXPECT_EQ(o->logGridFraction, 0.025);
    EXPECT_EQ(o->lowerBoundaryValue, -1.0);
    EXPECT_EQ(o->vUpperIntervals, 12);
    EXPECT_TRUE(o->sGridReady);
    EXPECT_TRUE(o->computeIVs);
    EXPECT_EQ(o->NS, 77);
}

TEST(OptionObjects, ExerciseTypeSetsFlagsAndCallsWithPeriodsTakeBoundaryModeTwo)
{
    EXPECT_TRUE(oneStrike(1, 1)->american);
    EXPECT_FALSE(oneStrike(1, 1)->secondExerciseFlag);
    EXPECT_FALSE(oneStrike(1, 2)->american);
    EXPECT_TRUE(oneStrike(1, 2)->secondExerciseFlag);
    EXPECT_FALSE(oneStrike(1, 3)->american);
    EXPECT_FALSE(oneStrike(1, 3)->secondExerciseFlag);

    EXPECT_EQ(oneStrike(0, 2, 4, 7)->boundaryMode, 2);  // call, second kind, 4 periods
    EXPECT_EQ(oneStrike(1, 2, 4, 7)->boundaryMode, 7);  // a put keeps it
    EXPECT_EQ(oneStrike(0, 2, 1, 7)->boundaryMode, 7);  // one period keeps it
    EXPECT_EQ(oneStrike(0, 1, 4, 7)->boundaryMode, 7);  // American keeps it
}

TEST(OptionObjects, ModelCodeIsRoundedHalfAwayFromZero)
{
    EXPECT_EQ(oneStrike(1, 0, 0, 0, 2.5)->modelCode, 3);
    EXPECT_EQ(oneStrike(1, 0, 0, 0, 1.49)->modelCode, 1);
    EXPECT_EQ(oneStrike(1, 0, 0, 0, 3.5)->modelCode, 4);
    EXPECT_EQ(oneStrike(1, 0, 0, 0, 0.0)->modelCode, 0);
}

TEST(OptionObjects, StrikeVectorIsSortedAndGivesTheSmallestStrike)
{
    const auto multi = strikeVector({110.0, 90.0, 100.0});
    EXPECT_EQ(multi->strikes, (std::vector<double>{90.0, 100.0, 110.0}));
    EXPECT_EQ(multi->K, 90.0);
    EXPECT_TRUE(multi->multiStrike);
    EXPECT_TRUE(multi->strikeFlag);
    EXPECT_EQ(multi->varianceExponent, 0.8);
    EXPECT_EQ(multi->vMean, 0.045);
    EXPECT_EQ(multi->schemeNumber, 15);
    EXPECT_EQ(multi->modelCode, 0);
    EXPECT_EQ(multi->NSOriginal, 100);
    EXPECT_FALSE(multi->nonUniformSGrid);
    EXPECT_EQ(multi->clustering, 4.5);

    const auto one = strikeVector({95.0});
    EXPECT_EQ(one->K, 95.0);
    EXPECT_FALSE(one->multiStrike);

    const auto none = strikeVector({});
    EXPECT_EQ(none->K, 100.0);  // the spot
    EXPECT_FALSE(none->multiStrike);
    EXPECT_TRUE(none->strikes.empty());
}

TEST(OptionObjects, ShortModelParameterListIsRefused)
{
    Array<double> shortList(0.1, 5);
    EXPECT_THROW(OrvHestonVanilla(100.0, 100.0, 1.0, shortList, 0.0, 0.0, 50, 25, 50, 0, 3, 1, 0,
                                  Array<double>(0.0, 5), Array<double>(0.0, 5), true, -3.0, 0.0,
                                  0.9, 0, true, 0, 0.0, 6, false),
                 NumericalError);
}

TEST(OptionObjects, SettersAndBumps)
{
    auto o = oneStrike();
    o->sGridReady = true;
    o->setT(2.0);
    EXPECT_EQ(o->T, 2.0);
    EXPECT_TRUE(o->sGridReady);  // the cached grid stays

    o->setNT(33);
    EXPECT_EQ(o->NT, 33);
    EXPECT_TRUE(o->sGridReady);

    o->setNS(80);
    EXPECT_EQ(o->NS, 80);
    EXPECT_EQ(o->getNS(), 80);
    EXPECT_EQ(o->NSOriginal, 120);
    EXPECT_FALSE(o->sGridReady);

    // Volatility bump on both variances: (0.2 + 0.01)^2 and (0.3 + 0.01)^2.
    OrvEquityOption* base = o.get();
    o->sGridReady = true;
    base->bumpVol(0.01);
    EXPECT_NEAR(o->v0, 0.0441, 1e-15);
    EXPECT_NEAR(o->vL, 0.0961, 1e-15);
    EXPECT_EQ(o->vol, 0.0);
    EXPECT_TRUE(o->sGridReady);
    o->bumpVariances(-0.01);
    EXPECT_NEAR(o->v0, 0.04, 1e-15);
    EXPECT_NEAR(o->vL, 0.09, 1e-15);

    // Accessors hand out copies.
    Array<double> copy = o->getResults();
    copy[1] = 5.0;
    EXPECT_EQ(o->results[1], 0.0);
    base->noOp(nullptr);
}

TEST(OptionObjects, DeletionThroughTheBaseDestroysTheWholeObject)
{
    OrvEquityOption* base = strikeVector({120.0, 80.0}).release();
    EXPECT_EQ(base->getNS(), 100);
    delete base;  // the sanitizer build checks that nothing leaks
}

}  // namespace
