// The Heston chain calibration by the semi-analytic pricer: the reference chain at its own
// parameters, the "Results.txt" line, and the failure values with their records.

#include "exports/heston_chain_calibration.h"

#include "calibration/header_chain.h"
#include "heston/vanilla_heston_export.h"
#include "exports/support/reference_chains.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using chain_test::kHestonA;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Chain, log and current directory (where "Results.txt" goes) in a directory of the test's own.
class HestonChainCalibration : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::path(::testing::TempDir()) /
               ("sarnex_heston_chain_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
        setOptionsDataPath((dir_ / "OptionsData.txt").string());
        setHestonPriceLogPath((dir_ / "GARCH_PDESolverLog.txt").string());
    }
    void TearDown() override
    {
        fs::current_path(previous_);
        setOptionsDataPath("");
        setHestonPriceLogPath("");
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    double calibrate(const chain_test::ModelParameters& p)
    {
        return HESTON_VanillaCalibration(p.v0, p.vL, p.theta, p.volvol, p.rho);
    }

    fs::path dir_, previous_;
};

}  // namespace

// Every option of set A whose price is not rounding noise (the reference prices are good to
// about 1e-13; options worth less than 1e-6 would turn that into volatility errors of 1e-6 and
// more), priced at the set's own parameters: what remains is the error of the two pricers and of
// the implied-volatility search, far below 1e-6.
TEST_F(HestonChainCalibration, ReferenceChainAtItsParametersFitsBelow1e6)
{
    std::vector<chain_test::ReferenceOption> chain;
    for (const auto& o : chain_test::hestonChain([](double, double) { return true; })) {
        if (o.price > 1e-6) chain.push_back(o);
    }
    ASSERT_GE(chain.size(), 50u);
    chain_test::writeChain((dir_ / "OptionsData.txt").string(), chain);
    const double error = calibrate(kHestonA);
    EXPECT_GE(error, 0.0);
    EXPECT_LT(error, 1e-6);

    // One line per call, with the mean squared error x 10000, its root and the parameters.
    std::istringstream line(readFile(dir_ / "Results.txt"));
    std::string label, v0, vL, theta, volvol, rho, rest;
    double scaledMean = 0.0, root = 0.0;
    std::getline(line, label, '\t');
    line >> scaledMean >> root;
    EXPECT_EQ(label, "Objective function:");
    EXPECT_NEAR(scaledMean, error * error * 10000, 1e-12 * scaledMean);
    EXPECT_NEAR(root, error, 1e-14 * error);  // printed to 15 digits
    EXPECT_NE(readFile(dir_ / "Results.txt")
                  .find("\tv0: 0.04\tvL: 0.04\ttheta: 1.5\tvolvol: 0.3\trho: -0.9\t\n"),
              std::string::npos)
        << readFile(dir_ / "Results.txt");
    EXPECT_FALSE(fs::exists(dir_ / "GARCH_PDESolverLog.txt"));

    // Off the reference parameters the chain is missed by a clear margin.
    chain_test::ModelParameters off = kHestonA;
    off.v0 = 0.05;
    EXPECT_GT(calibrate(off), 10e-4);
}

TEST_F(HestonChainCalibration, FailuresGiveTheirValuesAndRecordsAndNoResultsLine)
{
    EXPECT_EQ(calibrate(kHestonA), 10000.0);
    EXPECT_NE(readFile(dir_ / "GARCH_PDESolverLog.txt").find("could not be opened"),
              std::string::npos);

    const auto chain = chain_test::hestonChain([](double K, double T) {
        return K >= 90.0 && K <= 110.0 && T == 1.0;
    });
    const struct {
        long long count;
        const char* message;
    } counts[] = {{-1, "announces -1 options"}, {0, "announces 0 options"},
                  {static_cast<long long>(chain.size()) + 1, "is missing"}};
    for (const auto& c : counts) {
        chain_test::writeChain((dir_ / "OptionsData.txt").string(), chain, c.count);
        EXPECT_EQ(calibrate(kHestonA), -999.0) << c.count;
        EXPECT_NE(readFile(dir_ / "GARCH_PDESolverLog.txt").find(c.message), std::string::npos);
    }

    // A negative variance has no price: VanillaHeston records each option's failure, the chain
    // its own, and no exception leaves the parallel loop.
    chain_test::writeChain((dir_ / "OptionsData.txt").string(), chain);
    fs::remove(dir_ / "GARCH_PDESolverLog.txt");
    chain_test::ModelParameters bad = kHestonA;
    bad.v0 = -0.04;
    EXPECT_EQ(calibrate(bad), -999.0);
    const std::string log = readFile(dir_ / "GARCH_PDESolverLog.txt");
    EXPECT_NE(log.find("HESTON_VanillaCalibration: no Heston price (option K = 90, T = 1)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Negative variance or expiry"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "Results.txt"));
}
