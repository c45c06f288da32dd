// The critical variance over the expiries of a chain, at the settings the calibration objective runs
// it with: it must grow with the expiry, without the jumps to the stationary quantile that a failed
// quantile search or a grid too short for the drift would make.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "density/pdesolver1d.h"

namespace {

struct Dynamics {
    const char* name;
    int model;
    double power;
    int NT;
    double q;
};

// The objective's variants (GARCH, the power-law code, the two volatility-form codes), and the
// power-law dynamics itself.
const Dynamics dynamicsCases[] = {
    {"GARCH", 0, 1.0, 50, 0.9999975},
    {"power-law code", 0, 1.0, 50, 0.999999},
    {"power-law dynamics p 0.8", 1, 0.8, 50, 0.999999},
    {"volatility form, 0.9999995", 2, 1.0, 100, 0.9999995},
    {"volatility form, 0.9999999", 2, 1.0, 100, 0.9999999},
};

struct Params {
    double v0, vL, theta, xi;
};

// v0 at or below vL, so that every quantile of v_T rises with T.
const Params paramCases[] = {
    {0.04, 0.05, 2.0, 1.0},  // where the quantile search used to fail for T of 0.03 to 0.1
    {0.01, 0.06, 1.0, 0.5},  // drift far beyond the diffusion width
    {0.02, 0.04, 5.0, 1.5},
};

TEST(VcritTermStructure, ContinuousAndIncreasingFromOneWeekToTwoYears) {
    // 16 expiries from 0.01 to 2 years, each 1.42 times the one before. Over such a step a quantile
    // moves by well under the factor allowed; a fall-back to the stationary quantile moved it 13-fold.
    const int count = 16;
    const double maxStepFactor = 1.6;
    for (const auto& d : dynamicsCases) {
        for (const auto& p : paramCases) {
            double previous = 0.0;
            for (int k = 0; k < count; ++k) {
                const double T = 0.01 * std::pow(200.0, k / (count - 1.0));
                PDESolver1D solver(d.q, T, p.v0, p.vL, p.theta, p.xi, 800, d.NT, 2, 5, d.model, d.power, false, 1);
                const double vcrit = solver.computeVcrit();
                const std::string where = std::string(d.name) + ", v0 " + std::to_string(p.v0) + ", theta " +
                                          std::to_string(p.theta) + ", T " + std::to_string(T);
                ASSERT_NE(vcrit, solver.stationaryVcrit()) << where << ": fell back";
                ASSERT_GT(vcrit, p.v0) << where;
                if (k > 0) {
                    EXPECT_GT(vcrit, previous) << where;
                    EXPECT_LT(vcrit / previous, maxStepFactor) << where;
                }
                previous = vcrit;
            }
        }
    }
}

}  // namespace
