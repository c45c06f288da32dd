// The Heston model IVs of a chain, through the objective's Heston path, against the reference
// implied volatilities of an independent pricer; and their failure paths.

#include "calibration/calibration_objective.h"
#include "calibration/heston_model_ivs.h"
#include "calibration/support/objective_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

using reference_chains::Set;

CalibrationSettings hestonSettings()
{
    CalibrationSettings s;
    s.NS = 60;
    s.Nv = 30;
    s.NT = 30;
    s.modelCode = 3;
    return s;
}

bool allNaN(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isnan(x); });
}

// Reference IVs come from prices accurate to 4e-13; the cheap-option filter keeps prices of at
// least 1e-3, whose IVs that accuracy fixes far inside 1e-6.
TEST(HestonModelIVs, ObjectiveAtTheTrueParametersReproducesTheReferenceIVs)
{
    for (const char* name : {"A", "B"}) {
        const Set set = reference_chains::hestonSet(name);
        ASSERT_FALSE(set.options.empty()) << name;
        ObjectiveFiles files;
        files.writeChain(referenceChainText(set));
        const auto priced = pricedOptions(set);
        std::vector<double> hx(priced.size(), -1.0);
        double p[5] = {set.v0, set.vL, set.kappa, set.volvol, set.rho};
        CalibrationSettings settings = hestonSettings();
        CalibrationObjective(p, hx.data(), 5, static_cast<int>(hx.size()), &settings);
        for (std::size_t i = 0; i < priced.size(); ++i) {
            EXPECT_NEAR(hx[i], priced[i].iv, 1e-6)
                << name << " K " << priced[i].K << " T " << priced[i].T;
        }
        EXPECT_EQ(files.hestonLog(), "");
    }
}

TEST(HestonModelIVs, RowsInAnyOrderWithRepeatsGiveOneIVPerOptionInExpiryStrikeOrder)
{
    const Set set = reference_chains::hestonSet("A");
    ObjectiveFiles files;
    std::vector<chain_files::Row> rows;
    for (const auto& o : pricedOptions(set)) {
        if (o.T == 0.5 || o.T == 1.0) rows.push_back({o.iv, o.K, o.T * 365.0, o.r, o.d});
    }
    files.writeChain(chain_files::headerChainText(set.S, rows));
    std::vector<double> sorted(rows.size());
    calcHestonModelIVs(sorted.data(), static_cast<int>(sorted.size()), set.v0, set.vL, set.kappa,
                       set.volvol, set.rho);

    // reversed, one exact repeat, and a second quote of the first option at another IV
    std::vector<chain_files::Row> shuffled(rows.rbegin(), rows.rend());
    shuffled.insert(shuffled.begin() + 3, shuffled[5]);
    chain_files::Row other = rows.front();
    other.iv += 0.01;
    shuffled.push_back(other);
    files.writeChain(chain_files::headerChainText(set.S, shuffled));
    std::vector<double> out(rows.size() + 1);
    calcHestonModelIVs(out.data(), static_cast<int>(out.size()), set.v0, set.vL, set.kappa,
                       set.volvol, set.rho);
    // both quotes of the first option come first, in file order, priced alike
    EXPECT_EQ(out[0], sorted[0]);
    EXPECT_EQ(out[1], sorted[0]);
    for (std::size_t i = 1; i < sorted.size(); ++i) EXPECT_EQ(out[i + 1], sorted[i]) << i;
}

TEST(HestonModelIVs, FailuresGiveNaNNeverNumbers)
{
    const Set set = reference_chains::hestonSet("A");
    const auto priced = pricedOptions(set);
    const int n = static_cast<int>(priced.size());
    {
        ObjectiveFiles files;  // no chain file written
        std::vector<double> out(n, 0.3);
        calcHestonModelIVs(out.data(), n, set.v0, set.vL, set.kappa, set.volvol, set.rho);
        EXPECT_TRUE(allNaN(out)) << "missing file";
    }
    {
        ObjectiveFiles files;
        files.writeChain(referenceChainText(set));
        std::vector<double> out(n + 1, 0.3);
        ::testing::internal::CaptureStdout();
        calcHestonModelIVs(out.data(), n + 1, set.v0, set.vL, set.kappa, set.volvol, set.rho);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(),
                  "Oops, seems like some more debugging is in order. Press any key to terminate!");
        EXPECT_TRUE(allNaN(out)) << "count mismatch";
    }
    {
        // a volatility of variance just above the small-volvol branch exhausts the integration
        // budget: every price fails, and a failed price is no IV of 1e-15
        ObjectiveFiles files;
        std::vector<chain_files::Row> rows;
        for (double K : {90.0, 100.0, 110.0}) rows.push_back({0.2, K, 365.0, 0.03, 0.0});
        files.writeChain(chain_files::headerChainText(100.0, rows));
        std::vector<double> out(3, 0.3);
        calcHestonModelIVs(out.data(), 3, 0.04, 0.04, 2.0, 3e-5, -0.7);
        EXPECT_TRUE(allNaN(out)) << "failed prices";
        EXPECT_NE(files.hestonLog().find("An error occured while calculating"), std::string::npos);
    }
    {
        ObjectiveFiles files;
        files.writeChain("a\nb\nc\nd\ne\nno spot here\nheads\n0.2 100 30 0 0\n");
        std::vector<double> out(1, 0.3);
        EXPECT_THROW(calcHestonModelIVs(out.data(), 1, 0.04, 0.04, 2.0, 0.5, -0.7),
                     std::invalid_argument);
    }
}

}  // namespace
