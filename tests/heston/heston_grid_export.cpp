// Heston prices along a spot grid: the system's own pricer and the outside library (the test
// build's stand-in, found beside this program) against the reference prices of the test data, the
// lower boundary, and the messages of every failure.

#include "heston/heston_grid_export.h"

#include "calibration/support/chain_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// Set A of the reference file: S = 100, r = 0.03, d = 0.01, v0 = vL = 0.04, mean reversion 1.5,
// volvol 0.3, rho -0.9.
constexpr double kK = 100.0, kR = 0.03, kD = 0.01, kV0 = 0.04, kVL = 0.04, kTheta = 1.5,
                 kVolvol = 0.3, kRho = -0.9;

std::string takeText(platform::Bstr result)
{
    std::string text = result ? platform::narrowFromBstr(result) : "(null)";
    platform::freeBstr(result);
    return text;
}

std::string callGrid(std::vector<double>& S, std::vector<double>& V, double T, int callPut,
                     bool useInternal, double v0 = kV0)
{
    V.assign(S.size(), -1.0);
    return takeText(VanillaHestonGrid(S.data(), V.data(), kK, kR, kD, v0, kVL, kTheta, kVolvol,
                                      kRho, T, callPut, static_cast<int>(S.size()) - 1,
                                      useInternal));
}

// Restores the outside library's name after a test that changed it.
struct LibraryName {
    explicit LibraryName(const std::string& name) { setHestonLibraryName(name); }
    ~LibraryName() { setHestonLibraryName(""); }
};

}  // namespace

// Strike-100 options whose prices the reference file gives by homogeneity: the price at spot S and
// strike 100 is S/100 times the price at spot 100 and strike 10000/S. The reference prices agree
// with an independent pricer within 4e-13; both paths price to about 1e-12 of the spot, so 1e-9
// leaves room for the rescaling and nothing for a wrong formula.
TEST(VanillaHestonGrid, BothPathsMatchTheReferencePricesForCallsAndPuts)
{
    for (const double T : {0.25, 1.0, 5.0}) {
        std::vector<double> S{20.0}, call{0.0}, put{0.0};  // node 0 is the boundary
        for (const auto& f : fixtures::rowsOf("heston_analytic.csv", "A")) {
            const double strike = std::stod(f[2]);
            // Far out of the money the reference values are rounding noise of their own size.
            if (std::stod(f[3]) != T || strike < 70.0 || strike > 150.0) continue;
            S.push_back(100.0 * kK / strike);
            call.push_back(S.back() / 100.0 * std::stod(f[11]));
            put.push_back(S.back() / 100.0 * std::stod(f[12]));
        }
        ASSERT_GE(S.size(), 7u) << T;
        for (const bool useInternal : {true, false}) {
            for (const int callPut : {0, 2}) {  // any non-zero flag is a put
                std::vector<double> V;
                ASSERT_EQ(callGrid(S, V, T, callPut, useInternal), "") << "internal " << useInternal;
                for (std::size_t i = 1; i < S.size(); ++i) {
                    EXPECT_NEAR(V[i], (callPut == 0 ? call : put)[i], 1e-9)
                        << "T " << T << " S " << S[i] << " internal " << useInternal
                        << " callPut " << callPut;
                }
                EXPECT_DOUBLE_EQ(V[0], callPut == 0 ? 0.0 : kK * std::exp(-kR * T) - std::exp(-kD * T) * 20.0);
            }
        }
    }
    // No nodes beyond the boundary: only that is set.
    std::vector<double> S{80.0}, V;
    for (const bool useInternal : {true, false}) {
        EXPECT_EQ(callGrid(S, V, 1.0, 1, useInternal), "");
        EXPECT_DOUBLE_EQ(V[0], kK * std::exp(-kR) - std::exp(-kD) * 80.0);
    }
}

TEST(VanillaHestonGrid, FailuresComeBackAsMessages)
{
    double S[3] = {0.0, 90.0, 110.0}, V[3] = {0.0, 0.0, 0.0};
    const std::string nullArrays = "VanillaHestonGrid: the spot and value arrays must not be null";
    EXPECT_EQ(takeText(VanillaHestonGrid(nullptr, V, kK, kR, kD, kV0, kVL, kTheta, kVolvol, kRho,
                                         1.0, 0, 2, true)),
              nullArrays);
    EXPECT_EQ(takeText(VanillaHestonGrid(S, nullptr, kK, kR, kD, kV0, kVL, kTheta, kVolvol, kRho,
                                         1.0, 0, 2, false)),
              nullArrays);
    EXPECT_EQ(takeText(VanillaHestonGrid(S, V, kK, kR, kD, kV0, kVL, kTheta, kVolvol, kRho, 1.0, 0,
                                         -1, true)),
              "VanillaHestonGrid: n must not be negative");

    // A price that fails inside the parallel loop: its message after the loop, not a terminate.
    std::vector<double> spots(S, S + 3), values;
    EXPECT_EQ(callGrid(spots, values, 1.0, 0, true, -0.04),
              "An error occured while calculating the Heston analytic price: Negative variance or "
              "expiry");
    // The same parameters through the outside library: it can only answer with no number.
    EXPECT_EQ(callGrid(spots, values, 1.0, 0, false, -0.04)
                  .rfind("The library heston.dll gave no price for the spot 110", 0),
              0u);
}

TEST(VanillaHestonGrid, AMissingLibraryOrFunctionIsNamed)
{
    std::vector<double> S{0.0, 100.0}, V;
#if defined(_WIN32)
    const std::string withoutFunction = "kernel32.dll";
#else
    const std::string withoutFunction = "libm.so.6";
#endif
    for (const std::string& name : {std::string("sarnex_no_such_library.dll"), withoutFunction}) {
        LibraryName named(name);
        EXPECT_EQ(callGrid(S, V, 1.0, 0, false),
                  name == withoutFunction ? "The library " + name + " has no function HestonCall_exact"
                                          : "The library " + name + " could not be loaded");
    }
    // Back to heston.dll, which is there.
    EXPECT_EQ(callGrid(S, V, 1.0, 0, false), "");
}
