// Critical variance of PDESolver1D: three Fokker-Planck solves on halving grids combined by
// Richardson extrapolation, the q-quantile of the combined density by a bracketed secant search on
// its spline distribution function, and the stationary inverse-gamma quantile as the answer whenever that route
// cannot give one.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <optional>

#include "density/density_limits.h"
#include "density/pdesolver1d.h"
#include "density/spline_quantile.h"
#include "numerics/gamma_distribution.h"
#include "numerics/numerical_error.h"

namespace {

using namespace density_limits;

enum class Retry { none, refineGrid, refineTime };

Retry retryFor(const std::exception& err) {
    if (std::strcmp(err.what(), instabilityMessage) == 0) return Retry::refineGrid;
    if (std::strcmp(err.what(), risingTopMessage) == 0) return Retry::refineTime;
    return Retry::none;
}

// a[i] = (r b[2i] - a[i]) / (r - 1) for the first a.size() entries: b has half the step of a.
void extrapolate(Array<double>& a, const Array<double>& b, double r) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = (r / (r - 1.0)) * b[2 * i] - (1.0 / (r - 1.0)) * a[i];
}

}  // namespace

double PDESolver1D::computeVcrit() {
    if (T == 0.0) return stationaryVcrit();
    // A level outside (0, 1] has no quantile: the stationary quantile reports it at once.
    if (!(q > 0.0 && q <= 1.0)) return stationaryVcrit();

    try {
        for (;;) {
            Array<Array<double>> A(5), B(5), C(5);
            const int startN = N;
            const int startSteps = steps;
            try {
                solveFokkerPlanck(A);
                N = static_cast<int>(2.0 * N);
                steps = static_cast<int>(2.0 * steps);
                gridBuilt = false;
                solveFokkerPlanck(B);
                extrapolate(A[1], B[1], 4.0);
                N = static_cast<int>(2.0 * N);
                steps = static_cast<int>(2.0 * steps);
                gridBuilt = false;
                solveFokkerPlanck(C);
                // Fine-grid combination in place, in increasing i: C[1][2i] is still untouched.
                Array<double>& c = C[1];
                const Array<double>& coarse = B[1];
                for (std::size_t i = 0; i < coarse.size(); ++i) c[i] = (4.0 / 3.0) * c[2 * i] - (1.0 / 3.0) * coarse[i];
                extrapolate(A[1], c, 16.0);
            } catch (const std::exception& err) {
                switch (retryFor(err)) {
                case Retry::refineGrid:
                    // A negative density has one of two sources. Central differences on a step too
                    // coarse for the drift oscillate in space, which a finer grid cures. Otherwise the
                    // time stepping rings about a point mass that the drift carries off faster than
                    // the damped start can smooth it, and a finer grid only makes that worse: there
                    // shorter time steps are the cure.
                    if (driftUnresolved) {
                        if (steps > maxRefinedSteps) return stationaryVcrit();
                        steps *= 2;
                        N *= 2;
                    } else {
                        if (NT > maxRetriedTimeSteps) return stationaryVcrit();
                        NT *= 2;
                        N = startN;
                        steps = startSteps;
                    }
                    gridBuilt = false;
                    continue;
                case Retry::refineTime:
                    if (NT > maxRetriedTimeSteps) return stationaryVcrit();
                    NT *= 2;
                    gridBuilt = false;
                    continue;
                case Retry::none:
                    throw;
                }
            }

            const Array<double> x = A[0];
            Array<double> f = A[1];
            for (auto& value : f) value = std::max(value, 0.0);
            SplineQuantile cdf(x, f);
            const double norm = cdf.norm();
            Array<double> weighted = f * std::exp(x);
            table_function meanTable(x, weighted, false);
            meanV = meanTable.integralAll(true);
            if (!(norm > 0.0 && std::isfinite(norm))) return stationaryVcrit();

            const std::optional<double> y = cdf.quantile(q);
            return y ? std::exp(*y) : stationaryVcrit();
        }
    } catch (const std::exception&) {
        // Anything else (an oversized spline table, memory, a grid that cannot be built) leaves the
        // density route without an answer.
    }
    return stationaryVcrit();
}

double PDESolver1D::stationaryVcrit() {
    if (!(xi > 0.0 && theta > 0.0 && vL > 0.0 && v0 > 0.0)) return 0.0;
    if (!(std::isfinite(xi) && std::isfinite(theta) && std::isfinite(vL) && std::isfinite(v0))) return 0.0;
    // The level-1 quantile is unbounded; the highest level the full solver accepts stands in for it.
    const double level = (q == 1.0) ? maxQuantileLevel : q;
    const double p = 1.0 - level;
    if (!(p >= 0.0 && p < 1.0)) throw NumericalError(badPMessage);

    // 1/v is Gamma(alpha, rate beta) in the stationary state.
    const double alpha = 1.0 + 2.0 * theta / (xi * xi);
    const double beta = 2.0 * theta * vL / (xi * xi);
    if (!std::isfinite(alpha) || !std::isfinite(beta)) return vL;  // no diffusion left: v stays at vL
    if (!(beta > 0.0)) return 0.0;
    Gammadist law(alpha, beta);
    const double y = law.quantile(p);
    return y == 0.0 ? 0.0 : 1.0 / y;
}
