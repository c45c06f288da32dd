// The published test problems from their standard starts, through both drivers with forward and
// central differences: the minima found must be the published ones.

#include "levmar/levmar.h"
#include "support/published_problems.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Outcome {
    double F;
    int stop;
    int result;
    double info[LM_INFO_SZ];
};

Outcome solve(const published::Problem& pr, bool bounded, double delta)
{
    std::vector<double> p = pr.start, x(pr.n, 0.0);
    // A box far wider than any iterate: the bounded machinery runs, no bound is ever met.
    std::vector<double> lb(pr.m, -1e5), ub(pr.m, 1e5);
    double opts[5] = {LM_INIT_MU, 1e-15, 1e-15, 1e-20, delta};
    Outcome o{};
    o.result = bounded ? dlevmar_bc_dif(pr.func, p.data(), x.data(), pr.m, pr.n, lb.data(),
                                        ub.data(), nullptr, 10000, opts, o.info, nullptr, nullptr,
                                        nullptr)
                       : dlevmar_dif(pr.func, p.data(), x.data(), pr.m, pr.n, 10000, opts, o.info,
                                     nullptr, nullptr, nullptr);
    o.F = o.info[1];
    o.stop = static_cast<int>(o.info[6]);
    return o;
}

}  // namespace

TEST(PublishedProblems, ReachThePublishedMinima)
{
    for (const published::Problem& pr : published::problems())
        for (bool bounded : {false, true})
            for (double delta : {1e-6, -1e-6}) {
                const std::string label = std::string(pr.name) + (bounded ? " bc_dif" : " dif") +
                                          (delta < 0 ? " central" : " forward");
                const Outcome o = solve(pr, bounded, delta);
                if (pr.minimum == 0.0) {
                    // Zero-residual problems end on the small-error test.
                    EXPECT_LE(o.F, 1e-20) << label;
                    EXPECT_EQ(o.stop, 6) << label;
                } else {
                    // The reference gives the minima to 9 digits; the forward-difference Jacobian
                    // limits F to some 1e-7 relative on the large-residual Brown and Dennis.
                    EXPECT_NEAR(o.F, pr.minimum, 1e-7 * pr.minimum) << label;
                    EXPECT_TRUE(o.stop == 1 || o.stop == 2) << label << " stop " << o.stop;
                }
                EXPECT_EQ(o.result, o.info[5]) << label;
                // Evaluations include the differences: per Jacobian m (dif), m + 1 (bc_dif, one
                // at p itself) or 2m (central).
                const double perJacobian = delta < 0 ? 2.0 * pr.m : (bounded ? pr.m + 1.0 : pr.m);
                EXPECT_GE(o.info[7], 1.0 + perJacobian * o.info[8]) << label;
            }
}
