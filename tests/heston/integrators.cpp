// Integrators of the semi-analytic Heston pricer: adaptive Gauss-Lobatto, fixed quadrature, the
// substitutions onto finite intervals and the Integration selector, against closed-form integrals.

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <boost/function.hpp>
#include <gtest/gtest.h>

#include "heston/gauss_lobatto_integral.h"
#include "heston/gaussian_quadrature.h"
#include "heston/infinite_range_substitutions.h"
#include "heston/integration.h"
#include "numerics/numerical_error.h"
#include "numerics/support/error_message.h"

namespace {

const std::string prefix = "An error occured while calculating the Heston analytic price: ";

GaussLobattoIntegral relativeIntegrator(double relAccuracy, std::uint64_t maxEvaluations = 1000000) {
    return GaussLobattoIntegral(maxEvaluations, GaussLobattoIntegral::noRelativeAccuracy, relAccuracy,
                                false);
}

double expDecay(double phi) { return std::exp(-phi); }

using numerics_test::messageOf;

TEST(GaussLobattoIntegral, ClosedFormIntegralsToTheRelativeAccuracy) {
    struct Case {
        const char* name;
        boost::function<double(double)> f;
        double a, b, exact;
    };
    const double pi = std::acos(-1.0);
    const std::vector<Case> cases = {
        {"exp on [0,1]", [](double x) { return std::exp(x); }, 0.0, 1.0, std::exp(1.0) - 1.0},
        {"Runge on [-1,1]", [](double x) { return 1.0 / (1.0 + 25.0 * x * x); }, -1.0, 1.0,
         0.4 * std::atan(5.0)},
        {"sqrt on [0,1] (endpoint singularity in the derivative)",
         [](double x) { return std::sqrt(x); }, 0.0, 1.0, 2.0 / 3.0},
        {"oscillating cos(40x) on [0,pi/2]", [](double x) { return std::cos(40.0 * x); }, 0.0,
         pi / 2, std::sin(20.0 * pi) / 40.0},
        {"peak on [0,10]", [](double x) { return 1.0 / (1e-4 + (x - 3.3) * (x - 3.3)); }, 0.0,
         10.0, (std::atan(6.7 / 1e-2) + std::atan(3.3 / 1e-2)) / 1e-2},
    };
    for (const Case& c : cases) {
        GaussLobattoIntegral gl = relativeIntegrator(1e-13);
        const double value = gl(c.f, c.a, c.b);
        // cos(40x) integrates to ~0: judge it against the scale of the integrand instead.
        const double scale = std::max(std::fabs(c.exact), 1.0);
        EXPECT_NEAR(value, c.exact, 1e-12 * scale) << c.name;
        EXPECT_GT(gl.getEvaluations(), 20u) << c.name;
        EXPECT_LE(gl.getEvaluations(), gl.getMaxEvaluations()) << c.name;
    }
}

TEST(GaussLobattoIntegral, LimitsEqualOrReversed) {
    const boost::function<double(double)> f = [](double x) { return std::exp(-x * x); };
    GaussLobattoIntegral gl = relativeIntegrator(1e-13);
    EXPECT_EQ(gl(f, 0.7, 0.7), 0.0);
    EXPECT_EQ(gl.getEvaluations(), 0u);

    const double forward = gl(f, -0.5, 2.0);
    const std::uint64_t forwardCount = gl.getEvaluations();
    const double backward = gl(f, 2.0, -0.5);
    EXPECT_EQ(backward, -forward);
    EXPECT_EQ(gl.getEvaluations(), forwardCount);  // the count restarts with every integral
    EXPECT_NEAR(forward, 0.5 * std::sqrt(std::acos(-1.0)) * (std::erf(2.0) + std::erf(0.5)), 1e-14);
}

TEST(GaussLobattoIntegral, RelativeAccuracyBelowMachineEpsilonActsAsEpsilon) {
    const boost::function<double(double)> f = [](double x) { return std::log1p(x) * std::cos(3 * x); };
    GaussLobattoIntegral atEps = relativeIntegrator(std::numeric_limits<double>::epsilon());
    GaussLobattoIntegral below = relativeIntegrator(1e-20);
    GaussLobattoIntegral looser = relativeIntegrator(1e-10);
    const double vEps = atEps(f, 0.0, 4.0);
    const double vBelow = below(f, 0.0, 4.0);
    looser(f, 0.0, 4.0);
    EXPECT_EQ(vEps, vBelow);
    EXPECT_EQ(atEps.getEvaluations(), below.getEvaluations());
    EXPECT_GT(atEps.getEvaluations(), looser.getEvaluations());
}

TEST(GaussLobattoIntegral, ZeroFunctionStopsAtTheFirstStep) {
    // Zero at all thirteen sample points: the tolerance is 0 and the first step's estimates agree.
    GaussLobattoIntegral gl = relativeIntegrator(1e-13);
    EXPECT_EQ(gl([](double) { return 0.0; }, 0.0, 1.0), 0.0);
    EXPECT_EQ(gl.getEvaluations(), 20u);  // 13 for the tolerance, 2 ends, 5 inner points
}

TEST(GaussLobattoIntegral, FailuresCarryTheirMessages) {
    // An odd function on a symmetric interval: the size estimate is exactly zero, the samples are not.
    EXPECT_EQ(messageOf([] {
                  GaussLobattoIntegral gl = relativeIntegrator(1e-13);
                  gl([](double x) { return x; }, -1.0, 1.0);
              }),
              prefix + "Can not calculate absolute accuracy from relative accuracy in Gauss-Lobatto routine");

    GaussLobattoIntegral small = relativeIntegrator(1e-13, 100);
    EXPECT_EQ(messageOf([&] { small([](double x) { return std::sqrt(x); }, 0.0, 1.0); }),
              prefix + "Max number of iterations reached in Gauss-Lobatto routine");
    EXPECT_GE(small.getEvaluations(), 100u);  // left at the count reached

    // Two adjacent doubles: nothing lies between them to split at.
    EXPECT_EQ(messageOf([] {
                  GaussLobattoIntegral gl = relativeIntegrator(1e-13);
                  gl([](double x) { return x; }, 1.0, std::nextafter(1.0, 2.0));
              }),
              prefix + "Interval contains no more machine number in Gauss-Lobatto routine");
}

TEST(GaussLobattoIntegral, EmptyIntegrandThrowsBadFunctionCall) {
    GaussLobattoIntegral gl = relativeIntegrator(1e-13);
    EXPECT_THROW(gl(Integrand(), 0.0, 1.0), boost::bad_function_call);
}

TEST(GaussLobattoIntegral, ConvergenceEstimateStillMeetsTheAccuracy) {
    GaussLobattoIntegral gl(1000000, GaussLobattoIntegral::noRelativeAccuracy, 1e-12, true);
    EXPECT_NEAR(gl([](double x) { return 1.0 / (1.0 + x * x); }, 0.0, 1.0), std::atan(1.0), 1e-12);
}

TEST(InfiniteRangeSubstitutions, MapHalfLineIntegralsOntoFiniteIntervals) {
    // f(phi) = e^{-phi}: integrandShifted with c_inf 1 is the constant 1/2 on (-1, 1].
    const integrandShifted shifted(1.0, expDecay);
    for (double x : {-0.9, -0.3, 0.0, 0.5, 1.0}) EXPECT_NEAR(shifted(x), 0.5, 1e-15) << x;

    for (double c : {0.05, 0.3, 1.0}) {
        GaussLobattoIntegral gl = relativeIntegrator(1e-13);
        // ∫_0^∞ phi² e^{-phi} dphi = 2, whatever the scale of the substitution.
        const double v = gl(integrand2(c, [](double phi) { return phi * phi * std::exp(-phi); }), 0.0, 1.0);
        EXPECT_NEAR(v, 2.0, 1e-11) << c;
    }
}

TEST(InfiniteRangeSubstitutions, SingularEndGivesZeroWithoutCallingTheIntegrand) {
    int calls = 0;
    const Integrand counted = [&calls](double) { ++calls; return 1.0; };
    const double eps = std::numeric_limits<double>::epsilon();
    EXPECT_EQ(integrand2(2.0, counted)(0.0), 0.0);
    EXPECT_EQ(integrand2(2.0, counted)(eps / 2.0), 0.0);  // x·c_inf == eps
    EXPECT_EQ(integrandShifted(2.0, counted)(-1.0), 0.0);
    EXPECT_EQ(calls, 0);
    EXPECT_GT(integrand2(2.0, counted)(eps), 0.0);
    EXPECT_EQ(calls, 1);
}

TEST(GaussianQuadrature, ThreePointLegendreRuleIsExactToDegreeFive) {
    const double r = std::sqrt(0.6);
    const GaussianQuadrature q({-r, 0.0, r}, {5.0 / 9.0, 8.0 / 9.0, 5.0 / 9.0});
    EXPECT_EQ(q.order(), 3u);
    EXPECT_NEAR(q([](double x) { return x * x * x * x + x * x * x * x * x + 1.0; }), 2.0 / 5.0 + 2.0, 1e-15);
    EXPECT_THROW(GaussianQuadrature({0.0}, {1.0, 1.0}), std::invalid_argument);
}

TEST(Integration, AlgorithmsAndEvaluationCounts) {
    typedef AnalyticHestonEngine::Integration Integration;

    Integration gl(1e-13, 3.4028234663852886e38, 1000000);
    EXPECT_EQ(gl.algorithm, 0);
    EXPECT_FALSE(gl.gaussianQuadrature);
    EXPECT_NEAR(gl.evaluateIntegral(0.5, expDecay), 1.0, 1e-13);
    EXPECT_EQ(gl.numberOfEvaluations(), gl.integrator->getEvaluations());
    EXPECT_GT(gl.numberOfEvaluations(), 0u);

    // Gauss-Legendre on (-1, 1] after the shift: exact here, since the shifted e^{-phi} is constant.
    const double r = std::sqrt(0.6);
    auto legendre = std::make_shared<GaussianQuadrature>(std::vector<double>{-r, 0.0, r},
                                                         std::vector<double>{5.0 / 9, 8.0 / 9, 5.0 / 9});
    for (int algorithm : {5, 6, 7}) {
        Integration shifted(algorithm, nullptr, legendre);
        EXPECT_NEAR(shifted.evaluateIntegral(1.0, expDecay), 1.0, 1e-15) << algorithm;
        EXPECT_EQ(shifted.numberOfEvaluations(), 3u);
    }
    Integration plain(4, nullptr, legendre);
    EXPECT_NEAR(plain.evaluateIntegral(123.0, [](double x) { return x * x; }), 2.0 / 3.0, 1e-15);

    for (int algorithm : {-1, 8})
        EXPECT_EQ(messageOf([&] { Integration(algorithm, nullptr, legendre).evaluateIntegral(1.0, expDecay); }),
                  prefix + "Unknwon integration algorithm");
    EXPECT_EQ(messageOf([] { Integration(0, nullptr, nullptr).numberOfEvaluations(); }),
              prefix + "Neither Integrator nor GaussianQuadrature given");
    // A missing part is an error, not a null call.
    EXPECT_THROW(Integration(0, nullptr, legendre).evaluateIntegral(1.0, expDecay), NumericalError);
    EXPECT_THROW(Integration(4, gl.integrator, nullptr).evaluateIntegral(1.0, expDecay), NumericalError);
}

}  // namespace
