// Which model each scheme prices: the exports take a scheme number and a model code, and a scheme
// must either price the model of the code or refuse it, never price another model in its place.
// A program of its own: emulated it takes minutes, so the emulated 32-bit suite leaves it to the
// suites that run it at full speed.

#include "calibration/support/chain_fixtures.h"
#include "exports/single_option_exports.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>

namespace {
constexpr double kError = -999.0;
}  // namespace

// Every scheme on the three models that are not a square-root or GARCH variance law, at the
// money over one year: a scheme that takes the model code prices that model, within 2 bp of IV of
// scheme 2 (itself within about 1 bp of a Monte Carlo of each model on this grid), and one that
// does not returns the error value and leaves a record. GARCH diffusion on the same five numbers
// lies 1.5 to 27 vol points away, so a scheme that priced it would fail here.
TEST(VanillaPDESolverExport, EverySchemePricesTheModelOfTheCodeOrRefusesIt)
{
    fixtures::Files files;
    struct Params {
        int code;
        double v0, vL, kappa, volvol, rho;
    };
    const Params sets[] = {{2, 0.05, 0.04, 8.0, 1.8, -0.7},   // ORV-X1
                           {3, 0.2, 0.25, 2.0, 0.8, -0.6},    // I-Ga vol
                           {4, 0.2, 0.25, 8.0, 0.8, -0.6}};   // XGBM vol
    for (const Params& p : sets) {
        auto iv = [&](int scheme, int code) {
            return GARCH_VanillaPDESolver(100.0, 100.0, 1.0, 0.03, 0.01, p.v0, p.vL, p.kappa,
                                          p.volvol, p.rho, 200, 100, 200, 0, 0, 1, scheme, 1,
                                          0.0, 0.0, 0, code);
        };
        const double own = iv(2, p.code);
        ASSERT_GT(own, 0.0);
        ASSERT_GT(std::fabs(iv(2, 1) - own), 100e-4) << "code " << p.code;
        for (int scheme = 1; scheme <= 15; ++scheme) {
            const std::size_t logged = files.solverLog().size();
            const double result = iv(scheme, p.code);
            const std::string what = "code " + std::to_string(p.code) + " scheme " +
                                     std::to_string(scheme);
            if (result == kError)
                EXPECT_GT(files.solverLog().size(), logged) << what;
            else
                EXPECT_NEAR(result, own, 2e-4) << what;
        }
    }
}
