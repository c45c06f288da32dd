// Semi-analytic Heston prices against independent truth: the reference table, a single-integral
// (Lewis) pricer in extended precision, the Black-Scholes limit of vanishing volatility of
// variance, parity and no-arbitrage bounds.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "heston/fj_helper.h"
#include "heston/heston_pricer.h"
#include "numerics/numerical_error.h"
#include "reference_pricers.h"

namespace {

using heston_test::HestonParams;

const std::string prefix = "An error occured while calculating the Heston analytic price: ";
const int call = 1, put = -1;

// The settings of the single-option export.
double price(const HestonParams& p, int type, std::uint64_t* evaluations = nullptr) {
    AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
    const double v = hestonVanillaPrice(engine, p.S, p.K, p.T, p.r, p.d, p.v0, p.vL, p.kappa,
                                        p.volvol, p.rho, type);
    if (evaluations) *evaluations = engine.evaluations;
    return v;
}

std::string failureOf(const HestonParams& p, int type, std::uint64_t maxEvaluations = 1000000) {
    AnalyticHestonEngine engine = createGaussLobatto(1e-13, maxEvaluations);
    try {
        hestonVanillaPrice(engine, p.S, p.K, p.T, p.r, p.d, p.v0, p.vL, p.kappa, p.volvol, p.rho, type);
    } catch (const NumericalError& e) {
        return e.what();
    }
    return "no exception";
}

struct ReferenceRow {
    std::string set;
    HestonParams p;
    double call, put;
};

std::vector<ReferenceRow> readReferenceTable() {
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/heston_analytic.csv");
    std::vector<ReferenceRow> rows;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream fields(line);
        ReferenceRow row;
        double iv;
        fields >> row.set >> row.p.S >> row.p.K >> row.p.T >> row.p.r >> row.p.d >> row.p.v0 >>
            row.p.vL >> row.p.kappa >> row.p.volvol >> row.p.rho >> row.call >> row.put >> iv;
        if (fields) rows.push_back(row);
    }
    return rows;
}

TEST(HestonPricer, ReferenceTableToOneInTenToTheNine) {
    const std::vector<ReferenceRow> rows = readReferenceTable();
    ASSERT_EQ(rows.size(), 132u);
    double worst = 0.0;
    std::string worstRow;
    for (const ReferenceRow& row : rows) {
        for (int type : {call, put}) {
            const double reference = type == call ? row.call : row.put;
            if (reference <= 1e-8) continue;  // below that the reference is noise
            const double error = std::fabs(price(row.p, type) - reference);
            EXPECT_LE(error, 1e-9) << row.set << " K " << row.p.K << " T " << row.p.T << " type " << type;
            if (error > worst) {
                worst = error;
                std::ostringstream where;
                where << row.set << " K " << row.p.K << " T " << row.p.T << (type == call ? " call" : " put");
                worstRow = where.str();
            }
        }
    }
    std::cout << "worst absolute error against heston_analytic.csv: " << worst << " (" << worstRow << ")\n";
    RecordProperty("worst_abs_error", std::to_string(worst));
}

TEST(HestonPricer, PublishedAndSingleIntegralValues) {
    struct Case {
        HestonParams p;
        double call, put;  // 30-digit values of the two-integral formula, rounded
    };
    const std::vector<Case> cases = {
        {{100, 100, 1.0, 0.03, 0.00, 0.04, 0.04, 2.0, 0.5, -0.7}, 8.92941045360215, 5.97396380845296},
        {{100, 90, 0.5, 0.05, 0.02, 0.0225, 0.04, 1.5, 0.3, -0.5}, 12.3443355466551, 1.1172442542882},
        {{100, 120, 2.0, 0.01, 0.01, 0.09, 0.06, 0.8, 0.9, -0.9}, 1.20370686466213, 20.8076803307972},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(price(c.p, call), c.call, 1e-9) << c.p.K;
        EXPECT_NEAR(price(c.p, put), c.put, 1e-9) << c.p.K;
        EXPECT_NEAR(price(c.p, call), heston_test::lewisHestonCall(c.p), 1e-9) << c.p.K;
    }
    // The literature's standard case; the published figure itself is good to about 2e-8.
    EXPECT_NEAR(price({100, 100, 1, 0, 0, 0.0175, 0.0398, 1.5768, 0.5751, -0.5711}, call), 5.785155450, 3e-8);
}

TEST(HestonPricer, PutCallParity) {
    for (double T : {1.0 / 52, 0.5, 3.0})
        for (double K : {60.0, 95.0, 100.0, 130.0, 250.0}) {
            const HestonParams p{100, K, T, 0.04, 0.015, 0.05, 0.03, 1.2, 0.7, -0.6};
            const double c = price(p, call), q = price(p, put);
            const double forwardTerms = p.S * std::exp(-p.d * T) - K * std::exp(-p.r * T);
            EXPECT_NEAR(c - q, forwardTerms, 1e-12 * (p.S + K)) << "K " << K << " T " << T;
        }
}

// volvol -> 0: the variance follows its deterministic path, so the price tends to Black-Scholes
// with the mean variance over the life of the option, and the gap shrinks linearly in volvol.
TEST(HestonPricer, VanishingVolvolTendsToBlackScholesAtFirstOrder) {
    const double v0 = 0.09, vL = 0.04, kappa = 2.0, rho = -0.7;
    for (double T : {0.25, 1.0, 5.0})
        for (double K : {70.0, 100.0, 140.0}) {
            const double bs = heston_test::blackScholesRef(
                100, K, 0.03, 0.01, std::sqrt(heston_test::deterministicMeanVariance(v0, vL, kappa, T)), T, true);
            // volvol exactly 1e-5 is the edge of the small-volvol form.
            const double gap5 = price({100, K, T, 0.03, 0.01, v0, vL, kappa, 1e-5, rho}, call) - bs;
            const double gap7 = price({100, K, T, 0.03, 0.01, v0, vL, kappa, 1e-7, rho}, call) - bs;
            EXPECT_LT(std::fabs(gap5), 1e-4) << "K " << K << " T " << T;
            EXPECT_NEAR(gap5 / gap7, 100.0, 1.0) << "K " << K << " T " << T;
        }
}

TEST(HestonPricer, BothVolvolFormsAgreeAtTheirBoundary) {
    // Just above 1e-5 the logarithmic form takes over; its cancellation costs digits, not the value.
    const double rD = std::exp(-0.03), dD = std::exp(-0.01);
    for (std::uint64_t j : {1u, 2u}) {
        const AnalyticHestonEngine::Fj_Helper smallForm(j, 2.0, 0.04, 1e-5, 0.09, -0.7, 1.0, std::log(110.0),
                                                        std::log(100.0) - std::log(rD / dD));
        const AnalyticHestonEngine::Fj_Helper logForm(j, 2.0, 0.04, std::nextafter(1e-5, 1.0), 0.09, -0.7,
                                                      1.0, std::log(110.0), std::log(100.0) - std::log(rD / dD));
        for (double phi : {0.3, 2.0, 9.0}) {
            const double a = smallForm(phi), b = logForm(phi);
            EXPECT_NEAR(a, b, 1e-5 * std::fabs(a)) << "j " << j << " phi " << phi;
        }
    }
}

TEST(HestonPricer, IntegrandAtZeroIsItsLimit) {
    // The integrand is even in phi about 0 to first order, so nearby values approach the limit
    // quadratically. Cases: rho·volvol - kappa far from 0, exactly 0, and small (just outside the
    // 1e-7 band the general form loses about eps·kappa·vL/k² to cancellation, so not that close).
    struct Case {
        double kappa, volvol, rho;
    };
    const double rD = std::exp(-0.03), dD = std::exp(-0.01);
    for (const Case& c : {Case{1.5, 0.3, -0.9}, Case{0.3, 1.0, 0.3}, Case{0.45, 0.9, 0.5},
                          Case{0.3 + 1e-3, 1.0, 0.3}, Case{0.05, 0.2, -0.5}})
        for (std::uint64_t j : {1u, 2u})
            for (double K : {70.0, 100.0}) {
                const AnalyticHestonEngine::Fj_Helper f(j, c.kappa, 0.05, c.volvol, 0.03, c.rho, 2.0,
                                                        std::log(K), std::log(100.0) - std::log(rD / dD));
                EXPECT_NEAR(f(0.0), f(1e-5), 1e-9 * std::max(1.0, std::fabs(f(0.0))))
                    << "j " << j << " kappa " << c.kappa << " K " << K;
            }
}

// The limit forms of the integrand at phi = 0 and the scale of the substitution change at these
// points; the prices must not.
TEST(HestonPricer, BranchPointsAgreeWithTheSingleIntegralPricer) {
    const std::vector<HestonParams> cases = {
        {100, 100, 1, 0.03, 0.01, 0.04, 0.04, 0.3, 1.0, 0.3},     // rho·volvol == kappa
        {100, 85, 2, 0.02, 0.0, 0.05, 0.03, 0.45, 0.9, 0.5},      // rho·volvol == kappa
        {100, 100, 1, 0.05, 0.01, 0.04, 0.04, 1.5, 0.3, -1.0},    // rho == -1
        {100, 80, 0.5, 0.03, 0.01, 0.04, 0.06, 1.5, 0.3, -1.0},   // rho == -1
        {100, 100, 1, 0.05, 0.01, 0.04, 0.04, 1.5, 0.3, 1.0},     // rho == 1
        {100, 130, 2, 0.03, 0.01, 0.04, 0.06, 1.5, 0.6, 1.0},     // rho == 1
        {100, 120, 1, 0.03, 0.01, 0.04, 0.04, 1.5, 20.0, -0.7},   // large volvol: small scale
    };
    for (const HestonParams& p : cases) {
        const double reference = heston_test::lewisHestonCall(p);
        EXPECT_NEAR(price(p, call), reference, 1e-9) << "K " << p.K << " rho " << p.rho << " volvol " << p.volvol;
    }
}

TEST(HestonPricer, ExtremeStrikesAndMaturitiesStayWithinNoArbitrageBounds) {
    // Deep out of the money both terms of the price are nearly equal: allow their rounding.
    const double roundingSlack = 1e-10;
    for (const HestonParams& base : {HestonParams{100, 0, 0, 0.03, 0.01, 0.0175, 0.0398, 1.5768, 0.5751, -0.5711},
                                     HestonParams{100, 0, 0, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.9}})
        for (double T : {7.0 / 365, 10.0})
            for (double K : {5.0, 30.0, 80.0, 100.0, 125.0, 300.0, 2000.0}) {
                HestonParams p = base;
                p.K = K;
                p.T = T;
                const double c = price(p, call);
                const double sD = p.S * std::exp(-p.d * T), kD = K * std::exp(-p.r * T);
                ASSERT_TRUE(std::isfinite(c)) << "K " << K << " T " << T;
                EXPECT_GE(c, std::max(sD - kD, 0.0) - roundingSlack) << "K " << K << " T " << T;
                EXPECT_LE(c, sD + roundingSlack) << "K " << K << " T " << T;
            }
    // Far from the money the single-integral pricer still agrees.
    for (const HestonParams& p : {HestonParams{100, 10, 7.0 / 365, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.7},
                                  HestonParams{100, 300, 10, 0.03, 0.01, 0.04, 0.04, 1.5, 0.3, -0.7},
                                  HestonParams{100, 20, 10, 0.03, 0.01, 0.0175, 0.0398, 1.5768, 0.5751, -0.5711}})
        EXPECT_NEAR(price(p, call), heston_test::lewisHestonCall(p), 1e-9 * std::max(1.0, p.S)) << p.K;
}

TEST(HestonPricer, EvaluationCountCoversBothIntegrals) {
    const HestonParams p{100, 100, 1.0, 0.03, 0.0, 0.04, 0.04, 2.0, 0.5, -0.7};
    std::uint64_t callCount = 0, putCount = 0;
    price(p, call, &callCount);
    price(p, put, &putCount);
    EXPECT_EQ(callCount, putCount);  // the same two integrals
    EXPECT_GT(callCount, 2u * 20u);  // each integral takes at least one full step
    EXPECT_LT(callCount, 20000u);
    // The engine's integrator holds the count of the second integral only.
    AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
    hestonVanillaPrice(engine, p.S, p.K, p.T, p.r, p.d, p.v0, p.vL, p.kappa, p.volvol, p.rho, call);
    EXPECT_LT(engine.integration->numberOfEvaluations(), engine.evaluations);
}

TEST(HestonPricer, FailuresCarryTheirMessages) {
    const HestonParams p{100, 100, 1.0, 0.03, 0.0, 0.04, 0.04, 2.0, 0.5, -0.7};
    EXPECT_EQ(failureOf(p, 0), prefix + "Unknown option type");
    EXPECT_EQ(failureOf(p, 2), prefix + "Unknown option type");
    EXPECT_EQ(failureOf(p, call, 100), prefix + "Max number of iterations reached in Gauss-Lobatto routine");

    // Inputs for which a number would come out that is no price.
    HestonParams negativeV0 = p, nanV0 = p, noScale = p, zeroKappa = p;
    negativeV0.v0 = -0.01;
    nanV0.v0 = std::nan("");
    noScale.v0 = 0.0;
    noScale.T = 0.0;
    zeroKappa.kappa = 0.0;
    EXPECT_EQ(failureOf(negativeV0, call), prefix + "Negative variance or expiry");
    EXPECT_EQ(failureOf(nanV0, call), prefix + "Negative variance or expiry");
    EXPECT_EQ(failureOf(noScale, call), prefix + "No positive scale for the integration");
    EXPECT_NE(failureOf(zeroKappa, call), "no exception");

    AnalyticHestonEngine empty;
    EXPECT_THROW(hestonVanillaPrice(empty, 100, 100, 1, 0, 0, 0.04, 0.04, 1, 0.5, -0.5, call), NumericalError);
}

TEST(HestonPricer, EnginesOfTheirOwnPriceConcurrentlyAsInSequence) {
    std::vector<double> strikes;
    for (int i = 0; i < 64; ++i) strikes.push_back(60.0 + 2.0 * i);
    const HestonParams base{100, 0, 0.75, 0.03, 0.01, 0.0175, 0.0398, 1.5768, 0.5751, -0.5711};
    std::vector<double> sequential(strikes.size()), parallel(strikes.size());
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        HestonParams p = base;
        p.K = strikes[i];
        sequential[i] = price(p, call);
    }
#pragma omp parallel for schedule(static) num_threads(4)
    for (int i = 0; i < static_cast<int>(strikes.size()); ++i) {
        AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);  // made and dropped per thread
        parallel[i] = hestonVanillaPrice(engine, base.S, strikes[i], base.T, base.r, base.d, base.v0,
                                         base.vL, base.kappa, base.volvol, base.rho, call);
    }
    for (std::size_t i = 0; i < strikes.size(); ++i) EXPECT_EQ(parallel[i], sequential[i]) << strikes[i];
}

}  // namespace
