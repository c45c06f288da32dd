// The Heston model IVs of a chain, through the objective's Heston path, against the reference
// IVs of an independent pricer; and their failure paths.

#include "calibration/calibration_objective.h"
#include "calibration/heston_model_ivs.h"
#include "calibration/support/chain_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

// Reference IVs come from prices accurate to 4e-13; the cheap-option filter keeps prices of at
// least 1e-3, whose IVs that accuracy fixes far inside 1e-6.
TEST(HestonModelIVs, ObjectiveAtTheTrueParametersGivesTheReferenceIVs)
{
    for (const char* name : {"A", "B"}) {
        const fixtures::Set set = fixtures::hestonSet(name);
        ASSERT_GT(set.options.size(), 40u) << name;
        fixtures::Files files;
        files.writeChain(set.chain());
        std::vector<double> p = set.params();
        std::vector<double> hx(set.options.size(), -1.0);
        CalibrationSettings settings;
        settings.modelCode = 3;
        CalibrationObjective(p.data(), hx.data(), 5, static_cast<int>(hx.size()), &settings);
        for (std::size_t i = 0; i < hx.size(); ++i) {
            EXPECT_NEAR(hx[i], set.options[i].iv, 1e-6) << name << " " << i;
        }
        EXPECT_EQ(files.hestonLog(), "");
    }
}

// At this corner of the box the far wings' semi-analytic prices are the integration's noise, some
// of them negative. They enter the fit at the noise floor's one IV, so that the finite-difference
// Jacobian sees no slope in them: a move of 1e-6 of any parameter leaves their IVs exactly as they
// were.
TEST(HestonModelIVs, PricesUnderTheNoiseFloorGiveFixedIVs)
{
    const fixtures::Set set = fixtures::exactHestonSet();
    fixtures::Files files;
    files.writeChain(set.chain());
    const std::vector<double> corner = {0.002, 0.005, 7.335, 0.1, -0.618};
    const int n = static_cast<int>(set.options.size());
    const auto ivsAt = [n](const std::vector<double>& p) {
        std::vector<double> ivs(static_cast<std::size_t>(n), -1.0);
        calcHestonModelIVs(ivs.data(), n, p[0], p[1], p[2], p[3], p[4]);
        return ivs;
    };
    const std::vector<double> atCorner = ivsAt(corner);
    std::vector<std::size_t> floored;
    for (std::size_t i = 0; i < set.options.size(); ++i) {
        const fixtures::Option& o = set.options[i];
        const double price = VanillaHeston(set.S, o.K, o.r, o.d, corner[0], corner[1], corner[2],
                                           corner[3], corner[4], o.T, o.K <= set.S ? 1 : 0);
        if (price < kHestonPriceNoiseFloor * set.S) floored.push_back(i);
        EXPECT_GT(atCorner[i], 0.0) << i;
    }
    ASSERT_GE(floored.size(), 8u);
    for (std::size_t k = 0; k < corner.size(); ++k) {
        std::vector<double> p = corner;
        p[k] *= 1.0 + 1e-6;
        const std::vector<double> moved = ivsAt(p);
        for (std::size_t i : floored) EXPECT_EQ(moved[i], atCorner[i]) << "parameter " << k << ", option " << i;
    }
}

TEST(HestonModelIVs, FailedEvaluationsGiveNaNFailedPricesZero)
{
    struct Case {
        const char* name;
        std::string chain;  // empty: no file
        int n;
        double volvol;
        std::string screen;
        bool wholeEvaluationFails;
    };
    const std::vector<fixtures::Row> rows = {{0.2, 90, 365, 0.03, 0}, {0.2, 100, 365, 0.03, 0}};
    const Case cases[] = {
        {"missing file", "", 2, 0.5, "", true},
        {"count mismatch", fixtures::chainText(100, rows), 3, 0.5,
         "Oops, seems like some more debugging is in order. Press any key to terminate!", true},
        {"zero spot", fixtures::chainText(0, rows), 2, 0.5, "", true},
        // every price fails (integration budget): each option has no model IV, and the fit sees
        // its whole market IV as the residual
        {"failed prices", fixtures::chainText(100, rows), 2, 3e-5, "", false},
    };
    for (const Case& c : cases) {
        fixtures::Files files;
        if (!c.chain.empty()) files.writeChain(c.chain);
        std::vector<double> out(static_cast<std::size_t>(c.n), 0.3);
        ::testing::internal::CaptureStdout();
        calcHestonModelIVs(out.data(), c.n, 0.04, 0.04, 2.0, c.volvol, -0.7);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.screen) << c.name;
        for (double iv : out) {
            if (c.wholeEvaluationFails) EXPECT_TRUE(std::isnan(iv)) << c.name;
            else EXPECT_EQ(iv, 0.0) << c.name;
        }
    }
    fixtures::Files files;
    files.writeChain("a\nb\nc\nd\ne\nno spot here\nheads\n0.2 100 30 0 0\n");
    double out = 0.3;
    EXPECT_THROW(calcHestonModelIVs(&out, 1, 0.04, 0.04, 2.0, 0.5, -0.7), std::invalid_argument);
}

}  // namespace
