// The chain calibration exports on chains with known prices: the Heston reference prices and the
// GARCH diffusion Monte Carlo prices of the test data, in the count-first layout. Also the error
// values with their log records, calls from two host threads at once, and the grid sizes and
// expiry buckets the solves are laid on.

#include "exports/chain_calibration_exports.h"

#include "calibration/count_first_chain.h"
#include "exports/chain_grid_sizing.h"
#include "exports/per_expiry_calibration.h"
#include "exports/support/reference_chains.h"
#include "model/scheme_dispatch.h"
#include "numerics/implied_vol.h"
#include "schemes/support/scheme_references.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kBasisPoint = 1e-4;

// main's speed-mode settings: 60/30/30, scheme 2, Richardson in space; critical variances off.
struct Grid {
    int NS = 60, Nv = 30, NT = 30, scheme = 2, selector = 2;
    double q = 1.0;
};

enum class Export { perOption, perExpiry, heston, hestonM, svPerOption, svPerExpiry };
const Export kAllExports[] = {Export::perOption, Export::perExpiry,   Export::heston,
                              Export::hestonM,   Export::svPerOption, Export::svPerExpiry};

double call(Export which, const fixtures::Set& p, const Grid& g, int modelCode = 0)
{
    switch (which) {
    case Export::perOption:
        return GARCH_VanillaPDECalibration(p.v0, p.vL, p.kappa, p.volvol, p.rho, g.NS, g.Nv, g.NT,
                                           g.scheme, g.selector, 0.0, g.q, 0, modelCode);
    case Export::perExpiry:
        return GARCH_VanillaPDECalibrationM(p.v0, p.vL, p.kappa, p.volvol, p.rho, g.NS, g.Nv, g.NT,
                                            g.scheme, g.selector, 0.0, g.q, 0, 0, modelCode);
    case Export::heston:
        return HESTON_VanillaPDECalibration(p.v0, p.vL, p.kappa, p.volvol, p.rho, g.NS, g.Nv, g.NT,
                                            g.scheme, g.selector, 0.0, g.q, 0);
    case Export::hestonM:
        return HESTON_VanillaPDECalibrationM(p.v0, p.vL, p.kappa, p.volvol, p.rho, g.NS, g.Nv, g.NT,
                                             g.scheme, g.selector, 0.0, g.q, 0);
    case Export::svPerOption:
        return SVPDECalibration(p.v0, p.vL, p.kappa, p.volvol, p.rho, g.NS, g.Nv, g.NT, g.scheme,
                                g.selector, 0.0, g.q, 0, 3, modelCode);
    case Export::svPerExpiry:
        return SVPDECalibration(p.v0, p.vL, p.kappa, p.volvol, p.rho, g.NS, g.Nv, g.NT, g.scheme,
                                g.selector, 0.0, g.q, 0, 0, modelCode);
    }
    return 0.0;
}

// Heston set A around the money, three expiries: 15 options.
fixtures::Set hestonChain() { return chain_test::hestonA(90.0, 110.0, {0.25, 0.5, 1.0}); }

std::string record(const std::string& message)
{
    const std::string stars(85, '*');
    return stars + "\n" + message + "\n" + stars + "\n\n";
}

// The American puts of american_heston.csv as a count-first chain of exercise type 1, each at the
// Black-Scholes volatility of its American reference price.
std::string americanPutChain()
{
    std::ostringstream rows;
    rows.precision(17);
    int count = 0;
    for (const std::vector<double>& f : scheme_refs::numericRows("american_heston.csv")) {
        if (f[5] != 1.0) continue;  // calls
        const ImpliedVolTarget target{f[0], f[1], f[2], f[3], f[4], f[12], 1};
        rows << brentImpliedVol(&target, 1e-6, 2.0, 1e-14) << "\t" << f[0] << "\t" << f[1] << "\t"
             << f[2] << "\t" << f[3] << "\t" << f[4] << "\t1\t1\n";
        ++count;
    }
    EXPECT_EQ(count, 12);
    return std::to_string(count) + "\n" + rows.str();
}

}  // namespace

// Early exercise through both ways at the true parameters: option by option each row is its own
// American put, and per expiry an expiry with American rows is priced row by row, since the
// multi-strike read-out's parity term holds only for European options. The reference is converged
// to about 0.005 in price, a few tenths of a basis point of IV here.
TEST(ChainCalibration, AmericanPutChainFitsAtTheTrueParametersBothWays)
{
    fixtures::Files files;
    files.writeChain(americanPutChain());
    fixtures::Set truth;
    truth.v0 = truth.vL = 0.04;
    truth.kappa = 1.5;
    truth.volvol = 0.3;
    truth.rho = -0.7;
    const Grid g{100, 50, 100};
    for (const Export way : {Export::perOption, Export::perExpiry}) {
        const double error = call(way, truth, g);
        EXPECT_TRUE(error > 0.0 && error < 5 * kBasisPoint) << error;
    }
    EXPECT_EQ(files.solverLog(), "");
}


// At the true parameters the error is the PDE's own: Richardson-extrapolated solves converge at
// second order, so refining 60/30/30 to 200/100/100 must shrink it, and the coarse one is below
// 2 bp (it measures about 0.2 bp; the fine one about 0.03 bp). Per option and per expiry price the
// same options on differently laid grids: they agree within the discretisation error, and the
// named variants are exactly the ones they select.
TEST(ChainCalibration, HestonChainGivesThePdeErrorWhichFallsWithTheGridAndVariantsAgree)
{
    fixtures::Files files;
    const fixtures::Set set = hestonChain();
    files.writeChain(chain_test::countFirst(set));
    const Grid coarse;
    const double perOption = call(Export::perOption, set, coarse);
    const double perExpiry = call(Export::perExpiry, set, coarse);
    EXPECT_TRUE(perOption > 0.0 && perOption < 2 * kBasisPoint) << perOption;
    EXPECT_TRUE(perExpiry > 0.0 && perExpiry < 2 * kBasisPoint) << perExpiry;
    EXPECT_NEAR(perOption, perExpiry, 1 * kBasisPoint);
    EXPECT_EQ(call(Export::heston, set, coarse), perOption);
    EXPECT_EQ(call(Export::svPerOption, set, coarse), perOption);
    EXPECT_EQ(call(Export::hestonM, set, coarse), perExpiry);
    EXPECT_EQ(call(Export::svPerExpiry, set, coarse), perExpiry);
    const Grid fine{200, 100, 100};
    EXPECT_LT(call(Export::heston, set, fine), 0.5 * perOption);
    EXPECT_LT(call(Export::hestonM, set, fine), 0.5 * perExpiry);
    EXPECT_EQ(files.solverLog(), "");
}

// The Monte Carlo prices carry standard errors below 0.02 bp in volatility; the PDE at main's
// speed-mode grid must come within them plus 3 bp, per option and per expiry, with the critical
// variances on (they are GARCH-diffusion quantiles, the model priced here).
TEST(ChainCalibration, GarchChainAtTheTrueParametersIsWithinTheMonteCarloError)
{
    fixtures::Files files;
    fixtures::Set set = fixtures::garchSet("G1");
    ASSERT_EQ(set.options.size(), 10u);
    double ivError = 0.0;
    for (const fixtures::Option& o : set.options) ivError = std::max(ivError, o.ivError);
    files.writeChain(chain_test::countFirst(set));
    Grid g;
    g.q = 0.999999;
    for (const Export way : {Export::perOption, Export::perExpiry}) {
        const double error = call(way, set, g, 1);
        EXPECT_TRUE(error > 0.0 && error < 2 * ivError + 3 * kBasisPoint) << error;
    }
    // Off the true parameters the chain no longer fits: the result is a real misfit measure.
    set.v0 = 0.06;
    EXPECT_GT(call(Export::perOption, set, g, 1), 20 * kBasisPoint);
}

// A failure inside the parallel critical-variance loop (a level with no quantile in the density
// solver's table) reaches the export's handler: its record, and -999.0 (0.0 would read as a
// perfect fit).
TEST(ChainCalibration, AFailureInsideTheParallelLoopsIsLoggedAfterThem)
{
    Grid g;
    g.q = 1e-300;
    for (const Export which : {Export::perOption, Export::perExpiry}) {
        fixtures::Files files;
        files.writeChain(chain_test::countFirst(hestonChain()));
        EXPECT_EQ(call(which, hestonChain(), g, 1), -999.0);
        EXPECT_EQ(files.solverLog(), record("bad p in Gammadist"));
    }
}

// What no model can price or fit, in the arguments or in one row, is refused before any solve
// with -999.0 and a record naming it, per option and per expiry alike: scored as model IVs of 0 it
// used to read as a plausible misfit (0.2076 on the bundled chain). So is a call whose solves all
// failed. One case per check family: the checks themselves are tested with the single-option
// exports and the chain reader.
TEST(ChainCalibration, RefusedArgumentsAndRowsGiveTheErrorValueFromBothWays)
{
    const fixtures::Set set = hestonChain();
    const std::string chain = chain_test::countFirst(set);
    const double nan = std::nan("");
    // A valid chain's first option, then a changed copy of it as the second.
    const std::string head = chain.substr(0, chain.find('\n') + 1);
    const std::string firstRow = chain.substr(head.size(), chain.find('\n', head.size()) + 1 - head.size());
    auto withRow = [&](const std::string& row) { return "2\n" + firstRow + row + "\n"; };
    const struct {
        const char* what;
        std::function<void(fixtures::Set&, Grid&, int&)> change;  // parameters, grid, model code
        std::string chain;                                        // empty: the valid chain
        const char* named;
    } cases[] = {
        {"v0 NaN", [&](fixtures::Set& p, Grid&, int&) { p.v0 = nan; }, "", "v0 is not a finite number"},
        {"v0 < 0", [](fixtures::Set& p, Grid&, int&) { p.v0 = -0.01; }, "", "v0 must not be negative"},
        {"rho 1.5", [](fixtures::Set& p, Grid&, int&) { p.rho = 1.5; }, "", "rho must lie in [-1, 1]"},
        {"model 5", [](fixtures::Set&, Grid&, int& m) { m = 5; }, "", "modelCode must be 0 to 4, not 5"},
        {"vcritQuantile NaN", [&](fixtures::Set&, Grid& g, int&) { g.q = nan; }, "", "vcritQuantile is not a finite"},
        {"vcritQuantile 0", [](fixtures::Set&, Grid& g, int&) { g.q = 0.0; }, "", "vcritQuantile must be positive (0)"},
        {"NT 2e9", [](fixtures::Set&, Grid& g, int&) { g.NT = 2000000000; }, "", "NT must lie in [0, 1000000]"},
        {"callPut 7", [](fixtures::Set&, Grid&, int&) {}, withRow("0.2 100 100 1 0.03 0.01 7 0"), "callPut must be 0"},
        {"IV 1e300", [](fixtures::Set&, Grid&, int&) {}, withRow("1e300 100 100 1 0.03 0.01 0 0"), "too large for their squared errors"},
        {"T 1e9", [](fixtures::Set&, Grid&, int&) {}, withRow("0.2 100 100 1e9 0 0 0 0"), "at expiry T = 1000000000 cannot be laid: NT"},
        // Refused by the solves themselves: nothing priced.
        {"NS 1", [](fixtures::Set&, Grid& g, int&) { g.NS = 1; }, "", "No option of the chain could be priced"},
    };
    for (const auto& c : cases) {
        for (const Export way : {Export::perOption, Export::perExpiry}) {
            fixtures::Files files;
            files.writeChain(c.chain.empty() ? chain : c.chain);
            fixtures::Set p = set;
            Grid g;
            int modelCode = 0;
            c.change(p, g, modelCode);
            EXPECT_EQ(call(way, p, g, modelCode), -999.0) << c.what;
            EXPECT_NE(files.solverLog().find(c.named), std::string::npos)
                << c.what << "\n" << files.solverLog();
        }
    }
}

// The routines of schemes 6 to 9 and 11 price one strike per solve: the per-expiry way refuses them
// before any solve, and prices with every other scheme; per option they all price.
TEST(ChainCalibration, PerExpiryRefusesSchemesWithoutAStrikeVector)
{
    const fixtures::Set set = chain_test::hestonA(95.0, 105.0, {0.5});
    for (int scheme = 1; scheme <= 15; ++scheme) {
        fixtures::Files files;
        files.writeChain(chain_test::countFirst(set));
        const Grid g{40, 20, 20, scheme, 1};
        const bool refused = !schemeReadsEveryStrike(scheme);
        EXPECT_EQ(refused, (scheme >= 6 && scheme <= 9) || scheme == 11) << scheme;
        const double perExpiry = call(Export::perExpiry, set, g);
        if (refused) {
            EXPECT_EQ(perExpiry, -999.0) << scheme;
            EXPECT_NE(files.solverLog().find("cannot price with scheme number " + std::to_string(scheme)),
                      std::string::npos) << files.solverLog();
        } else {
            // Every strike priced, each within the coarse grid's error of the reference.
            EXPECT_TRUE(perExpiry > 0.0 && perExpiry < 20 * kBasisPoint) << scheme << ": " << perExpiry;
        }
    }
}

// A lone row at an expiry (in the middle of the chain, or the last) is priced per expiry by the
// one-strike solve: the two ways agree within the discretisation error, as on chains without one,
// and nothing fails.
TEST(ChainCalibration, ALoneRowOfAnExpiryIsPricedPerExpiryAsPerOption)
{
    fixtures::Set set = chain_test::hestonA(90.0, 110.0, {0.25, 1.0});
    for (const double T : {0.5, 2.0})
        for (const fixtures::Option& o : chain_test::hestonA(100.0, 100.0, {T}).options)
            set.options.push_back(o);
    ASSERT_EQ(set.options.size(), 12u);
    fixtures::Files files;
    files.writeChain(chain_test::countFirst(set));
    const Grid g;
    const double perOption = call(Export::perOption, set, g);
    const double perExpiry = call(Export::perExpiry, set, g);
    EXPECT_TRUE(perExpiry > 0.0 && perExpiry < 2 * kBasisPoint) << perExpiry;
    EXPECT_NEAR(perOption, perExpiry, 1 * kBasisPoint);
    EXPECT_EQ(files.solverLog(), "");

    // A chain of the lone row alone: within the PDE's error of the semi-analytic IV.
    fixtures::Set alone = chain_test::hestonA(100.0, 100.0, {2.0});
    files.writeChain(chain_test::countFirst(alone));
    EXPECT_LT(call(Export::perExpiry, alone, g), 2 * kBasisPoint);
}

// Two host threads calibrating at once (each opening its own parallel loops) get exactly what
// they get one after the other.
TEST(ChainCalibration, TwoHostThreadsGetTheResultsOfOneAfterTheOther)
{
    fixtures::Files files;
    const fixtures::Set set = hestonChain();
    files.writeChain(chain_test::countFirst(set));
    const Grid g{40, 20, 20, 2, 1, 0.9999};
    const double perOption = call(Export::perOption, set, g);
    const double perExpiry = call(Export::perExpiry, set, g);
    double concurrent[2] = {0.0, 0.0};
    std::thread a([&] { concurrent[0] = call(Export::perOption, set, g); });
    std::thread b([&] { concurrent[1] = call(Export::perExpiry, set, g); });
    a.join();
    b.join();
    EXPECT_EQ(concurrent[0], perOption);
    EXPECT_EQ(concurrent[1], perExpiry);
}

TEST(ChainCalibration, ErrorValuesLeaveTheirRecords)
{
    const fixtures::Set set = hestonChain();
    const long long size = static_cast<long long>(set.options.size());
    const Grid g;
    const struct {
        std::string chain;  // empty: no file
        Grid grid;
        double value;
        const char* message;
    } cases[] = {
        {"", g, 10000.0, "could not be opened"},
        {chain_test::countFirst(set, -1), g, -999.0, "announces -1 options"},
        {chain_test::countFirst(set, 0), g, -999.0,
         "OptionsData.txt announces 0 options; at least 1 is needed"},
        {chain_test::countFirst(set, size + 1), g, -999.0, "is missing"},
        {"2\n0.2 100 90 0.5 0.03 0.01 1 0\n0.2 100 x 1 0 0 0 0\n", g, -999.0,
         "is missing or holds a value that is not a number"},
        {chain_test::countFirst(set), Grid{0, 30, 30}, -999.0, "positive grid sizes"},
        {chain_test::countFirst(set), Grid{60, -1, 30}, -999.0, "positive grid sizes"},
        {chain_test::countFirst(set), Grid{60, 30, 0}, -999.0, "positive grid sizes"},
        {chain_test::countFirst(set), Grid{60, 30, 30, 16}, -999.0, "no scheme number 16"},
    };
    for (const auto& c : cases) {
        for (const Export which : kAllExports) {
            fixtures::Files files;
            if (!c.chain.empty()) files.writeChain(c.chain);
            EXPECT_EQ(call(which, set, c.grid), c.value) << c.message;
            EXPECT_NE(files.solverLog().find(c.message), std::string::npos) << files.solverLog();
        }
    }
    // A failed count is one plain record.
    fixtures::Files files;
    files.writeChain(chain_test::countFirst(set, 0));
    call(Export::perOption, set, g);
    EXPECT_EQ(files.solverLog(), record("OptionsData.txt announces 0 options; at least 1 is needed"));
}

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
    std::vector<QuoteRow> rows = {
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

    rows.push_back({0.2, 99, 120, 2.0, 0.06, 0.0, 0, 0});
    const ExpiryBucket last = expiryBuckets(rows, request).back();
    EXPECT_EQ(last.S, 100.0);  // the last-but-one row of the chain (K = 100)
    EXPECT_EQ(last.r, 0.05);
}
