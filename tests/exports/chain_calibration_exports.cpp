// The chain calibration exports on chains with known prices: the Heston reference prices and the
// GARCH diffusion Monte Carlo prices of the test data, written in the count-first layout to a
// directory of the test's own. Also the sizes and costs of the solves, the error values with
// their log records, and calls from two host threads at once.

#include "exports/chain_calibration_exports.h"

#include "calibration/count_first_chain.h"
#include "calibration/header_chain.h"
#include "exports/chain_grid_sizing.h"
#include "exports/per_expiry_calibration.h"
#include "model/solver_failure_log.h"
#include "exports/support/reference_chains.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using chain_test::ReferenceOption;

constexpr double kNoFile = 10000.0;
constexpr double kUnusable = -999.0;
constexpr double kBasisPoint = 1e-4;

// main's speed-mode settings: 60/30/30, scheme 2, Richardson in space.
struct Grid {
    int NS = 60, Nv = 30, NT = 30, scheme = 2, selector = 2;
    double vcritQuantile = 1.0;
};

enum class Export { perOption, perExpiry, heston, hestonM, svPerOption, svPerExpiry };

double call(Export which, const chain_test::ModelParameters& p, const Grid& g, int modelCode)
{
    switch (which) {
    case Export::perOption:
        return GARCH_VanillaPDECalibration(p.v0, p.vL, p.theta, p.volvol, p.rho, g.NS, g.Nv, g.NT,
                                           g.scheme, g.selector, 0.0, g.vcritQuantile, 0,
                                           modelCode);
    case Export::perExpiry:
        return GARCH_VanillaPDECalibrationM(p.v0, p.vL, p.theta, p.volvol, p.rho, g.NS, g.Nv,
                                            g.NT, g.scheme, g.selector, 0.0, g.vcritQuantile, 0,
                                            0, modelCode);
    case Export::heston:
        return HESTON_VanillaPDECalibration(p.v0, p.vL, p.theta, p.volvol, p.rho, g.NS, g.Nv,
                                            g.NT, g.scheme, g.selector, 0.0, g.vcritQuantile, 0);
    case Export::hestonM:
        return HESTON_VanillaPDECalibrationM(p.v0, p.vL, p.theta, p.volvol, p.rho, g.NS, g.Nv,
                                             g.NT, g.scheme, g.selector, 0.0, g.vcritQuantile, 0);
    case Export::svPerOption:
        return SVPDECalibration(p.v0, p.vL, p.theta, p.volvol, p.rho, g.NS, g.Nv, g.NT, g.scheme,
                                g.selector, 0.0, g.vcritQuantile, 0, 3, modelCode);
    case Export::svPerExpiry:
        return SVPDECalibration(p.v0, p.vL, p.theta, p.volvol, p.rho, g.NS, g.Nv, g.NT, g.scheme,
                                g.selector, 0.0, g.vcritQuantile, 0, 0, modelCode);
    }
    return 0.0;
}

const Export kAllExports[] = {Export::perOption,   Export::perExpiry,  Export::heston,
                              Export::hestonM,     Export::svPerOption, Export::svPerExpiry};

// The chain file and the failure log of one test, in a directory of its own.
class ChainCalibration : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::path(::testing::TempDir()) /
               ("sarnex_chain_" + std::to_string(std::random_device{}()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        setOptionsDataPath((dir_ / "OptionsData.txt").string());
        setSolverFailureLogPath((dir_ / "SV_PDESolverLog.txt").string());
    }
    void TearDown() override
    {
        setOptionsDataPath("");
        setSolverFailureLogPath("");
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    void write(const std::vector<ReferenceOption>& chain, long long count = chain_test::kChainSize)
    {
        chain_test::writeChain((dir_ / "OptionsData.txt").string(), chain, count);
    }
    void writeText(const std::string& text)
    {
        std::ofstream((dir_ / "OptionsData.txt").string()) << text;
    }
    std::string log() const
    {
        std::ifstream in((dir_ / "SV_PDESolverLog.txt").string());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void clearLog() { fs::remove(dir_ / "SV_PDESolverLog.txt"); }

    fs::path dir_;
};

// Heston set A around the money, three expiries: 15 options.
std::vector<ReferenceOption> hestonChain()
{
    return chain_test::hestonChain([](double K, double T) {
        return K >= 90.0 && K <= 110.0 && T >= 0.25 && T <= 1.0;
    });
}

std::string record(const std::string& message)
{
    const std::string stars(85, '*');
    return stars + "\n" + message + "\n" + stars + "\n\n";
}

}  // namespace

// The cases that price chains are left out of the 32-bit Windows build: under the emulated 32-bit
// wine that runs its suite they end in a segmentation fault (not yet explained; the 64-bit build
// under wine and the native build pass them).
#if !(defined(_WIN32) && defined(__i386__))

// At the true parameters the error is the PDE's own: Richardson-extrapolated solves converge at
// second order, so refining 60/30/30 to 200/100/100 must shrink it, and the finer one is well
// below 2 bp (it measures about 0.03 bp; the coarse one about 0.2 bp). The critical variances
// are off (level 1): they come from the GARCH-diffusion density and would cut the Heston variance
// grid short.
TEST_F(ChainCalibration, HestonChainAtTheTrueParametersGivesThePdeErrorWhichFallsWithTheGrid)
{
    write(hestonChain());
    Grid coarse;
    Grid fine;
    fine.NS = 200;
    fine.Nv = 100;
    fine.NT = 100;
    for (const Export way : {Export::heston, Export::hestonM}) {
        const double coarseError = call(way, chain_test::kHestonA, coarse, 0);
        const double fineError = call(way, chain_test::kHestonA, fine, 0);
        EXPECT_GT(coarseError, 0.0);
        EXPECT_LT(coarseError, 2 * kBasisPoint);
        EXPECT_LT(fineError, 0.5 * coarseError) << "per-expiry " << (way == Export::hestonM);
    }
    EXPECT_TRUE(log().empty()) << log();
}

// The Monte Carlo prices carry standard errors below 0.02 bp in volatility; the PDE at main's
// speed-mode grid must come within them plus 3 bp, per option and per expiry, with the critical
// variances on (they are GARCH-diffusion quantiles, the model priced here).
TEST_F(ChainCalibration, GarchChainAtTheTrueParametersIsWithinTheMonteCarloError)
{
    const std::vector<ReferenceOption> chain = chain_test::garchChain();
    ASSERT_EQ(chain.size(), 10u);
    double ivError = 0.0;
    for (const ReferenceOption& o : chain) ivError = std::max(ivError, o.ivError);
    write(chain);
    Grid g;
    g.vcritQuantile = 0.999999;
    const double perOption = call(Export::perOption, chain_test::kGarchG1, g, 1);
    const double perExpiry = call(Export::perExpiry, chain_test::kGarchG1, g, 1);
    EXPECT_GT(perOption, 0.0);
    EXPECT_LT(perOption, 2 * ivError + 3 * kBasisPoint);
    EXPECT_GT(perExpiry, 0.0);
    EXPECT_LT(perExpiry, 2 * ivError + 3 * kBasisPoint);
    // Off the true parameters the chain no longer fits: the result is a real misfit measure.
    chain_test::ModelParameters off = chain_test::kGarchG1;
    off.v0 = 0.06;
    EXPECT_GT(call(Export::perOption, off, g, 1), 20 * kBasisPoint);
}

// Per option and per expiry price the same options on differently laid grids: they agree within
// the discretisation error. The named variants are exactly the ones they select.
TEST_F(ChainCalibration, VariantsAgreeAndTheSelectorsPickTheirVariantExactly)
{
    write(hestonChain());
    const Grid g;
    const double perOption = call(Export::perOption, chain_test::kHestonA, g, 0);
    const double perExpiry = call(Export::perExpiry, chain_test::kHestonA, g, 0);
    EXPECT_NEAR(perOption, perExpiry, 1 * kBasisPoint);
    EXPECT_EQ(call(Export::heston, chain_test::kHestonA, g, 0), perOption);
    EXPECT_EQ(call(Export::svPerOption, chain_test::kHestonA, g, 0), perOption);
    EXPECT_EQ(call(Export::hestonM, chain_test::kHestonA, g, 0), perExpiry);
    EXPECT_EQ(call(Export::svPerExpiry, chain_test::kHestonA, g, 0), perExpiry);
}

#endif

TEST_F(ChainCalibration, ErrorValuesLeaveTheirRecords)
{
    const Grid g;
    const chain_test::ModelParameters& p = chain_test::kHestonA;
    for (const Export which : kAllExports) {
        EXPECT_EQ(call(which, p, g, 0), kNoFile);
    }
    EXPECT_NE(log().find("OptionsData.txt could not be opened"), std::string::npos) << log();

    const std::vector<ReferenceOption> chain = hestonChain();
    const struct {
        std::function<void()> writeFile;
        Grid grid;
        const char* message;
    } cases[] = {
        {[&] { write(chain, -1); }, g, "announces -1 options"},
        {[&] { write(chain, 0); }, g, "announces 0 options"},
        {[&] { write(chain, static_cast<long long>(chain.size()) + 1); }, g, "is missing"},
        {[&] { writeText("2\n0.2 100 90 0.5 0.03 0.01 1 0\n0.2 100 x 1 0 0 0 0\n"); }, g,
         "is missing or holds a value that is not a number"},
        {[&] { write(chain); }, Grid{0, 30, 30, 2, 2, 1.0}, "positive grid sizes"},
        {[&] { write(chain); }, Grid{60, -1, 30, 2, 2, 1.0}, "positive grid sizes"},
        {[&] { write(chain); }, Grid{60, 30, 0, 2, 2, 1.0}, "positive grid sizes"},
        {[&] { write(chain); }, Grid{60, 30, 30, 16, 2, 1.0}, "no scheme number 16"},
    };
    for (const auto& c : cases) {
        c.writeFile();
        for (const Export which : kAllExports) {
            clearLog();
            EXPECT_EQ(call(which, p, c.grid, 0), kUnusable) << c.message;
            EXPECT_NE(log().find(c.message), std::string::npos) << log();
        }
    }
    // A failed count is one plain record.
    write(chain, 0);
    clearLog();
    call(Export::perOption, p, g, 0);
    EXPECT_EQ(log(), record("OptionsData.txt announces 0 options; at least 1 is needed"));
}

#if !(defined(_WIN32) && defined(__i386__))
// A failure inside the parallel critical-variance loop (a level with no quantile) reaches the
// export's handler: the record, and the failure value 0.0.
TEST_F(ChainCalibration, AFailureInsideTheParallelLoopsIsLoggedAfterThem)
{
    write(hestonChain());
    Grid g;
    g.vcritQuantile = -0.5;
    for (const Export which : {Export::perOption, Export::perExpiry}) {
        clearLog();
        EXPECT_EQ(call(which, chain_test::kHestonA, g, 0), 0.0);
        EXPECT_EQ(log(), record("bad p in Gammadist"));
    }
}

// Two host threads calibrating at once (each opening its own parallel loops) get exactly what
// they get one after the other.
TEST_F(ChainCalibration, TwoHostThreadsGetTheResultsOfOneAfterTheOther)
{
    write(hestonChain());
    Grid g;
    g.NS = 40;
    g.Nv = 20;
    g.NT = 20;
    g.selector = 1;
    g.vcritQuantile = 0.9999;
    const double perOption = call(Export::perOption, chain_test::kHestonA, g, 0);
    const double perExpiry = call(Export::perExpiry, chain_test::kHestonA, g, 0);
    double concurrent[2] = {0.0, 0.0};
    std::thread a([&] { concurrent[0] = call(Export::perOption, chain_test::kHestonA, g, 0); });
    std::thread b([&] { concurrent[1] = call(Export::perExpiry, chain_test::kHestonA, g, 0); });
    a.join();
    b.join();
    EXPECT_EQ(concurrent[0], perOption);
    EXPECT_EQ(concurrent[1], perExpiry);
}
#endif

// The grid floors of cheap options (price p against spot S = 100) and the time steps of long
// expiries, at base sizes 60/30/30.
TEST(ChainGridSize, BandsFloorsAndTimeSteps)
{
    const struct {
        PriceBands bands;
        bool raise;
        double price, T;
        int NS, Nv, NT;
    } cases[] = {
        {PriceBands::perOption, true, 0.5, 0.5, 60, 30, 30},      // 0.005 S: no band
        {PriceBands::perOption, true, 0.4, 0.5, 120, 70, 30},
        {PriceBands::perOption, true, 0.075, 0.5, 160, 80, 30},   // 0.00075 S: second band
        {PriceBands::perOption, true, 0.015, 0.5, 300, 100, 30},
        {PriceBands::perOption, true, 0.01, 0.5, 400, 100, 30},   // 0.0001 S: last band
        {PriceBands::perOption, false, 0.01, 0.5, 60, 30, 30},    // not raised
        {PriceBands::perExpiry, true, 0.015, 0.5, 200, 80, 30},
        {PriceBands::perExpiry, true, 0.005, 0.5, 200, 80, 30},
        {PriceBands::perExpiry, true, 0.0034, 0.5, 300, 100, 30}, // below 0.000035 S
        {PriceBands::perExpiry, true, 2.0, 2.5, 60, 30, 75},      // NT x T
        {PriceBands::perExpiry, true, 2.0, 1.99, 60, 30, 59},     // truncated
    };
    for (const auto& c : cases) {
        const ChainGridSize size = chainGridSize(c.bands, c.raise, c.price, 100.0, c.T, 60, 30, 30);
        EXPECT_EQ(size.NS, c.NS) << c.price;
        EXPECT_EQ(size.Nv, c.Nv) << c.price;
        EXPECT_EQ(size.NT, c.NT) << c.T;
    }
    // Both grid quotients are over the base NS; the steps weigh 1 + 0.015 NT.
    EXPECT_DOUBLE_EQ(chainGridSize(PriceBands::perOption, true, 0.01, 100, 2.0, 60, 30, 30).cost,
                     (400.0 / 60) * (100.0 / 60) * (1 + 0.015 * 60) / (1 + 0.015 * 30));
}

// Buckets: one per expiry, strikes ascending, raised by the smallest price of calls and puts alike;
// the final bucket's option data come from its last-but-one row, a lone last row forms its own.
TEST(ExpiryBuckets, GroupingAndTheRowThatGivesTheOptionData)
{
    ChainRequest request;
    request.NS = 60;
    request.Nv = 30;
    request.NT = 30;
    request.theta = 2.0;
    request.vcritQuantile = 0.99;
    const std::vector<QuoteRow> rows = {
        {0.2, 100, 110, 1.0, 0.03, 0.0, 0, 0}, {0.2, 100, 90, 1.0, 0.03, 0.0, 1, 0},
        {0.2, 101, 100, 0.5, 0.02, 0.0, 0, 0}, {0.2, 102, 60, 0.5, 0.04, 0.0, 1, 0},
        {0.2, 100, 100, 2.0, 0.05, 0.0, 0, 1},
    };
    const std::vector<ExpiryBucket> buckets = expiryBuckets(rows, request);
    ASSERT_EQ(buckets.size(), 3u);
    EXPECT_EQ(buckets[0].T, 0.5);
    EXPECT_EQ(buckets[0].strikes, (std::vector<double>{60, 100}));
    EXPECT_EQ(buckets[0].S, 101.0);  // its last row
    EXPECT_EQ(buckets[0].r, 0.02);
    EXPECT_EQ(buckets[0].NS, 300);  // the deep put at 60: price far below 0.000035 S
    EXPECT_EQ(buckets[1].strikes, (std::vector<double>{90, 110}));
    EXPECT_EQ(buckets[1].NS, 60);
    EXPECT_EQ(buckets[1].vmaxMultiplier, 2.0);  // 3 - 0.5 x 2 x 1
    EXPECT_EQ(buckets[2].strikes, (std::vector<double>{100}));
    EXPECT_EQ(buckets[2].exerciseType, 1);  // a lone last row gives its own data
    EXPECT_EQ(buckets[2].NT, 60);
    EXPECT_EQ(buckets[2].vmaxLevel, 0.99);

    std::vector<QuoteRow> twoLast = rows;
    twoLast.push_back({0.2, 99, 120, 2.0, 0.06, 0.0, 0, 0});
    const ExpiryBucket last = expiryBuckets(twoLast, request).back();
    EXPECT_EQ(last.S, 100.0);  // the last-but-one row of the chain (K = 100)
    EXPECT_EQ(last.r, 0.05);
}
