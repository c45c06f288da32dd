// The exported Heston price: reference prices, its call/put convention, its stand-ins for zero
// inputs, and every failure answered with -999.0 and one log record.

#include "heston/vanilla_heston_export.h"

#include "numerics/black_scholes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace {

constexpr double kError = -999.0;

class HestonLogFile {
public:
    HestonLogFile()
        : path_(::testing::TempDir() + "heston_log_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                std::to_string(std::random_device{}()) + ".txt")
    {
        std::remove(path_.c_str());
        setHestonPriceLogPath(path_);
    }
    ~HestonLogFile()
    {
        setHestonPriceLogPath("");
        std::remove(path_.c_str());
    }
    std::string text() const
    {
        std::ifstream in(path_);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

private:
    std::string path_;
};

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// Reference prices from an independent single-integral formula evaluated at 30 digits; the
// integration's relative accuracy of 1e-13 leaves a few 1e-12 of absolute error at these sizes.
TEST(VanillaHeston, MatchesReferencePricesWithAnyNonZeroFlagAsAPut)
{
    struct Case {
        double S, K, T, r, d, v0, vL, kappa, volvol, rho, call, put;
    };
    const Case cases[] = {
        {100, 100, 1.0, 0.03, 0.00, 0.04, 0.04, 2.0, 0.5, -0.7, 8.92941045360215, 5.97396380845296},
        {100, 90, 0.5, 0.05, 0.02, 0.0225, 0.04, 1.5, 0.3, -0.5, 12.3443355466551, 1.1172442542882},
        {100, 120, 2.0, 0.01, 0.01, 0.09, 0.06, 0.8, 0.9, -0.9, 1.20370686466213,
         20.8076803307972},
    };
    HestonLogFile log;
    for (const Case& c : cases) {
        EXPECT_NEAR(VanillaHeston(c.S, c.K, c.r, c.d, c.v0, c.vL, c.kappa, c.volvol, c.rho, c.T, 0),
                    c.call, 1e-9);
        for (int flag : {1, -1, 7}) {
            EXPECT_NEAR(VanillaHeston(c.S, c.K, c.r, c.d, c.v0, c.vL, c.kappa, c.volvol, c.rho,
                                      c.T, flag),
                        c.put, 1e-9);
        }
    }
    EXPECT_EQ(log.text(), "");
}

// With no volatility of variance and v0 = vL the model is Black-Scholes at vol sqrt(v0).
TEST(VanillaHeston, ZeroVolvolPricesAsBlackScholes)
{
    const double bs = blackScholesPrice(100, 100, 0.03, 0.0, 0.2, 1.0, 0);
    EXPECT_NEAR(VanillaHeston(100, 100, 0.03, 0.0, 0.04, 0.04, 2.0, 0.0, -0.7, 1.0, 0), bs, 1e-6);
}

TEST(VanillaHeston, FailuresAnswerMinusNineNineNineWithOneRecordEach)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        double S, K, T, kappa, volvol;
        const char* message;
    };
    const Case cases[] = {
        {"negative spot", -100, 100, 1, 2, 0.5, "S, K and T must be positive numbers"},
        {"zero strike", 100, 0, 1, 2, 0.5, "S, K and T must be positive numbers"},
        {"zero expiry", 100, 100, 0, 2, 0.5, "S, K and T must be positive numbers"},
        {"NaN expiry", 100, 100, nan, 2, 0.5, "S, K and T must be positive numbers"},
        {"infinite strike", 100, inf, 1, 2, 0.5, "S, K and T must be positive numbers"},
        {"NaN mean reversion", 100, 100, 1, nan, 0.5, ""},
        // a tiny volvol above the small-volvol branch exhausts the integration budget
        {"integration budget", 100, 100, 1, 2, 3e-5, "An error occured while calculating"},
    };
    for (const Case& c : cases) {
        HestonLogFile log;
        EXPECT_EQ(VanillaHeston(c.S, c.K, 0.03, 0.0, 0.04, 0.04, c.kappa, c.volvol, -0.7, c.T, 1),
                  kError)
            << c.name;
        const std::string text = log.text();
        EXPECT_EQ(count(text, std::string(85, '*') + "\n"), 2u) << c.name << "\n" << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << c.name << "\n" << text;
    }
}

TEST(VanillaHeston, RecordLayout)
{
    HestonLogFile log;
    ASSERT_EQ(VanillaHeston(100, -5, 0.03, 0.01, 0.04, 0.05, 2.0, 0.0, -0.7, 0.25, 3), kError);
    const std::string stars(85, '*');
    EXPECT_EQ(log.text(), stars + "\nVanillaHeston: S, K and T must be positive numbers\n" + stars +
                              "\nS:\t\t100\nK:\t\t-5\nT:\t\t0.25\nr:\t\t0.03\nd:\t\t0.01\n"
                              "v0:\t\t0.04\nvL:\t\t0.05\ntheta:\t\t2\nvolvol:\t\t1e-10\n"
                              "rho:\t\t-0.7\nCall/Put: \t3\n\n");
}

}  // namespace
