// The Heston chain calibration by the semi-analytic pricer: the reference chain at its own
// parameters, the "Results.txt" line, and the failure values with their records.

#include "exports/heston_chain_calibration.h"

#include "calibration/heston_model_ivs.h"
#include "exports/support/reference_chains.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The chain and the logs (fixtures::Files) and the current directory, where "Results.txt" goes,
// of the test's own.
class HestonChainCalibration : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::path(::testing::TempDir()) / ("sarnex_heston_chain_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override
    {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    static double calibrate(const fixtures::Set& p)
    {
        return HESTON_VanillaCalibration(p.v0, p.vL, p.kappa, p.volvol, p.rho);
    }
    std::string results() const { return fixtures::readText((dir_ / "Results.txt").string()); }

    fixtures::Files files_;
    fs::path dir_, previous_;
};

}  // namespace

// Every option of set A the chain filter keeps (the reference prices are good to about 1e-13; the
// filter's floor of 1e-3 keeps that far below 1e-6 in volatility), priced at the set's own
// parameters: what remains is the error of the two pricers and of the implied-volatility search.
TEST_F(HestonChainCalibration, ReferenceChainAtItsParametersFitsBelow1e6)
{
    fixtures::Set set = fixtures::hestonSet("A");
    ASSERT_GE(set.options.size(), 50u);
    files_.writeChain(chain_test::countFirst(set));
    const double error = calibrate(set);
    EXPECT_GE(error, 0.0);
    EXPECT_LT(error, 1e-6);

    // One line per call, with the mean squared error x 10000, its root and the parameters.
    std::istringstream line(results());
    std::string label;
    double scaledMean = 0.0, root = 0.0;
    std::getline(line, label, '\t');
    line >> scaledMean >> root;
    EXPECT_EQ(label, "Objective function:");
    EXPECT_NEAR(scaledMean, error * error * 10000, 1e-12 * scaledMean);
    EXPECT_NEAR(root, error, 1e-14 * error);  // printed to 15 digits
    EXPECT_NE(results().find("\tv0: 0.04\tvL: 0.04\ttheta: 1.5\tvolvol: 0.3\trho: -0.9\t\n"),
              std::string::npos)
        << results();
    EXPECT_EQ(files_.hestonLog(), "");

    // Off the reference parameters the chain is missed by a clear margin.
    set.v0 = 0.05;
    EXPECT_GT(calibrate(set), 10e-4);
}

// Where the far wings' prices are the integration's noise (some negative), every option still has
// an IV, and the error is the objective's over the same chain: the console and the export take
// one IV per price. The option at the spot is a put in the objective's chain and a call here; by
// parity their IVs agree to far inside the tolerance.
TEST_F(HestonChainCalibration, CornerOfTheBoxGivesTheObjectivesError)
{
    fixtures::Set set = fixtures::exactHestonSet();
    files_.writeChain(set.chain());
    set.v0 = 0.002, set.vL = 0.005, set.kappa = 7.335, set.volvol = 0.1, set.rho = -0.618;
    std::vector<double> ivs(set.options.size());
    calcHestonModelIVs(ivs.data(), static_cast<int>(ivs.size()), set.v0, set.vL, set.kappa,
                       set.volvol, set.rho);
    double sum = 0.0;
    for (std::size_t i = 0; i < ivs.size(); ++i) sum += std::pow(ivs[i] - set.options[i].iv, 2);
    const double rmse = std::sqrt(sum / static_cast<double>(ivs.size()));

    files_.writeChain(chain_test::countFirst(set));
    EXPECT_NEAR(calibrate(set), rmse, 1e-9 * rmse);
    EXPECT_GT(rmse, 0.1);
    EXPECT_EQ(files_.hestonLog(), "");
}

TEST_F(HestonChainCalibration, FailuresGiveTheirValuesAndRecordsAndNoResultsLine)
{
    fixtures::Set set = chain_test::hestonA(90.0, 110.0, {1.0});
    const long long size = static_cast<long long>(set.options.size());
    const struct {
        std::string chain;  // empty: no file
        double value;
        const char* message;
    } cases[] = {{"", 10000.0, "could not be opened"},
                 {chain_test::countFirst(set, -1), -999.0, "announces -1 options"},
                 {chain_test::countFirst(set, 0), -999.0, "announces 0 options"},
                 {chain_test::countFirst(set, size + 1), -999.0, "is missing"},
                 // Priced before as a put and as a European option.
                 {"1\n0.2 100 100 1 0.03 0.01 7 0\n", -999.0, "callPut must be 0 (call) or 1"},
                 {"1\n0.2 100 100 1 0.03 0.01 0 9\n", -999.0, "exerciseType must be"}};
    for (const auto& c : cases) {
        files_.removeChain();
        if (!c.chain.empty()) files_.writeChain(c.chain);
        EXPECT_EQ(calibrate(set), c.value) << c.message;
        EXPECT_NE(files_.hestonLog().find(c.message), std::string::npos) << c.message;
    }

    // A negative variance has no price: VanillaHeston records each option's failure, the chain
    // its own, and no exception leaves the parallel loop.
    files_.writeChain(chain_test::countFirst(set));
    set.v0 = -0.04;
    EXPECT_EQ(calibrate(set), -999.0);
    const std::string log = files_.hestonLog();
    EXPECT_NE(log.find("HESTON_VanillaCalibration: no Heston price (option K = 90, T = 1)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Negative variance or expiry"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "Results.txt"));
}
