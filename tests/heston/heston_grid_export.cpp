// Heston prices along a spot grid: the system's own pricer and the outside library (the test
// build's stand-in, found beside this program) against the reference prices of the test data, the
// lower boundary, and the messages of every failure.

#include "heston/heston_grid_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ReferenceRow {
    double K, call, put;
};

// The rows of one parameter set and expiry of the Heston reference file (S = 100).
std::vector<ReferenceRow> referenceRows(const std::string& set, double T)
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/heston_analytic.csv");
    std::string line;
    std::getline(in, line);
    std::vector<ReferenceRow> rows;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        std::string field;
        while (std::getline(fields, field, ',')) f.push_back(field);
        if (f.size() >= 13 && f[0] == set && std::stod(f[3]) == T) {
            rows.push_back({std::stod(f[2]), std::stod(f[11]), std::stod(f[12])});
        }
    }
    return rows;
}

// Set A of the reference file: S = 100, r = 0.03, d = 0.01, v0 = vL = 0.04, mean reversion 1.5,
// volvol 0.3, rho -0.9.
constexpr double kK = 100.0, kR = 0.03, kD = 0.01, kV0 = 0.04, kVL = 0.04, kTheta = 1.5,
                 kVolvol = 0.3, kRho = -0.9;

// A grid of strike-100 options whose prices the reference file gives by homogeneity: the price at
// spot S and strike 100 is S/100 times the price at spot 100 and strike 10000/S.
struct ReferenceGrid {
    std::vector<double> S{0.0};  // node 0 is the boundary
    std::vector<double> call{0.0}, put{0.0};
};

ReferenceGrid referenceGrid(double T)
{
    ReferenceGrid grid;
    for (const ReferenceRow& row : referenceRows("A", T)) {
        // Far out of the money the reference values are rounding noise of their own size.
        if (row.K < 70.0 || row.K > 150.0) continue;
        const double spot = 100.0 * kK / row.K;
        grid.S.push_back(spot);
        grid.call.push_back(spot / 100.0 * row.call);
        grid.put.push_back(spot / 100.0 * row.put);
    }
    return grid;
}

std::string callGrid(std::vector<double>& S, std::vector<double>& V, double T, int callPut,
                     bool useInternal, double v0 = kV0)
{
    V.assign(S.size(), -1.0);
    platform::Bstr result = VanillaHestonGrid(S.data(), V.data(), kK, kR, kD, v0, kVL, kTheta,
                                              kVolvol, kRho, T, callPut,
                                              static_cast<int>(S.size()) - 1, useInternal);
    std::string text = result ? platform::narrowFromBstr(result) : "(null)";
    platform::freeBstr(result);
    return text;
}

// Restores the outside library's name after a test that changed it.
struct LibraryName {
    explicit LibraryName(const std::string& name) { setHestonLibraryName(name); }
    ~LibraryName() { setHestonLibraryName(""); }
};

}  // namespace

// The reference prices agree with an independent pricer within 4e-13; both paths price to about
// 1e-12 of the spot, so 1e-9 leaves room for the rescaling and nothing for a wrong formula.
TEST(VanillaHestonGrid, BothPathsMatchTheReferencePricesForCallsAndPuts)
{
    for (const double T : {0.25, 1.0, 5.0}) {
        ReferenceGrid grid = referenceGrid(T);
        ASSERT_GE(grid.S.size(), 7u) << T;
        grid.S[0] = 20.0;
        for (const bool useInternal : {true, false}) {
            for (const int callPut : {0, 2}) {  // any non-zero flag is a put
                std::vector<double> V;
                ASSERT_EQ(callGrid(grid.S, V, T, callPut, useInternal), "")
                    << "internal " << useInternal;
                const std::vector<double>& expected = callPut == 0 ? grid.call : grid.put;
                for (std::size_t i = 1; i < grid.S.size(); ++i) {
                    EXPECT_NEAR(V[i], expected[i], 1e-9)
                        << "T " << T << " S " << grid.S[i] << " internal " << useInternal
                        << " callPut " << callPut;
                }
                const double boundary =
                    callPut == 0 ? 0.0 : kK * std::exp(-kR * T) - std::exp(-kD * T) * 20.0;
                EXPECT_DOUBLE_EQ(V[0], boundary);
            }
        }
    }
}

TEST(VanillaHestonGrid, TheOutsideLibraryEqualsTheInternalPathAlongAFineGrid)
{
    std::vector<double> S;
    for (int i = 0; i <= 40; ++i) S.push_back(5.0 * i);
    std::vector<double> internal, outside;
    ASSERT_EQ(callGrid(S, internal, 0.5, 0, true), "");
    ASSERT_EQ(callGrid(S, outside, 0.5, 0, false), "");
    for (std::size_t i = 0; i < S.size(); ++i) {
        EXPECT_NEAR(outside[i], internal[i], 1e-10) << "S " << S[i];
    }
}

TEST(VanillaHestonGrid, EmptyGridSetsOnlyTheBoundary)
{
    std::vector<double> S{80.0};
    std::vector<double> V;
    for (const bool useInternal : {true, false}) {
        EXPECT_EQ(callGrid(S, V, 1.0, 1, useInternal), "");
        EXPECT_DOUBLE_EQ(V[0], kK * std::exp(-kR) - std::exp(-kD) * 80.0);
    }
}

TEST(VanillaHestonGrid, FailuresComeBackAsMessages)
{
    double S[3] = {0.0, 90.0, 110.0};
    double V[3] = {0.0, 0.0, 0.0};
    auto text = [](platform::Bstr b) {
        std::string t = platform::narrowFromBstr(b);
        platform::freeBstr(b);
        return t;
    };
    EXPECT_EQ(text(VanillaHestonGrid(nullptr, V, kK, kR, kD, kV0, kVL, kTheta, kVolvol, kRho, 1.0,
                                     0, 2, true)),
              "VanillaHestonGrid: the spot and value arrays must not be null");
    EXPECT_EQ(text(VanillaHestonGrid(S, nullptr, kK, kR, kD, kV0, kVL, kTheta, kVolvol, kRho, 1.0,
                                     0, 2, false)),
              "VanillaHestonGrid: the spot and value arrays must not be null");
    EXPECT_EQ(text(VanillaHestonGrid(S, V, kK, kR, kD, kV0, kVL, kTheta, kVolvol, kRho, 1.0, 0, -1,
                                     true)),
              "VanillaHestonGrid: n must not be negative");

    // A price that fails inside the parallel loop: its message after the loop, not a terminate.
    std::vector<double> spots(S, S + 3), values;
    EXPECT_EQ(callGrid(spots, values, 1.0, 0, true, -0.04),
              "An error occured while calculating the Heston analytic price: Negative variance or "
              "expiry");
    // The same parameters through the outside library: it can only answer with no number.
    EXPECT_EQ(callGrid(spots, values, 1.0, 0, false, -0.04).rfind("The library heston.dll gave no "
                                                                  "price for the spot 110",
                                                                  0),
              0u);
}

TEST(VanillaHestonGrid, AMissingLibraryOrFunctionIsNamed)
{
    std::vector<double> S{0.0, 100.0}, V;
    {
        LibraryName missing("sarnex_no_such_library.dll");
        EXPECT_EQ(callGrid(S, V, 1.0, 0, false),
                  "The library sarnex_no_such_library.dll could not be loaded");
    }
    {
#if defined(_WIN32)
        LibraryName withoutFunction("kernel32.dll");
        const std::string name = "kernel32.dll";
#else
        LibraryName withoutFunction("libm.so.6");
        const std::string name = "libm.so.6";
#endif
        EXPECT_EQ(callGrid(S, V, 1.0, 0, false),
                  "The library " + name + " has no function HestonCall_exact");
    }
    // Back to heston.dll, which is there.
    EXPECT_EQ(callGrid(S, V, 1.0, 0, false), "");
}
