// Critical variance of PDESolver1D: three Fokker-Planck solves on halving grids combined by
// Richardson extrapolation, the q-quantile of the combined density by a secant search on its spline
// distribution function, and the stationary inverse-gamma quantile as the answer whenever that route
// cannot give one.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

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

    int k = 0;  // instability retries and secant restarts together
    try {
        for (;;) {
            Array<Array<double>> A(5), B(5), C(5);
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
                    if (steps > maxRefinedSteps) return stationaryVcrit();
                    steps *= 2;
                    N *= 2;
                    gridBuilt = false;
                    ++k;
                    continue;
                case Retry::refineTime:
                    if (NT > maxRetriedTimeSteps) return stationaryVcrit();
                    NT *= 2;
                    gridBuilt = false;
                    ++k;
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

            // Secant runs in log-variance from log v0. The first run's second point is meant to lie
            // above the quantile; where the table ends below it, the table's top stands in, since the
            // distribution function is known only on the table. A run ends early, as failed, when an
            // iterate leaves the table or a step is not a number; the next run starts from the last
            // point but one, moved down by 1.
            const double start = std::log(v0);
            double y1 = std::min(firstSecantPoint, cdf.upper());
            for (;;) {
                double y0 = start;
                std::optional<double> F1 = cdf.excess(q, y1);
                for (int iteration = 0; iteration < secantIterations && F1; ++iteration) {
                    const std::optional<double> F0 = cdf.excess(q, y0);
                    if (!F0) break;
                    if (*F0 == 0.0) return std::exp(y0);
                    const double s = (y0 - y1) / (*F0 - *F1) * *F0;
                    if (!std::isfinite(s)) break;
                    if (std::fabs(s) < secantTolerance) return std::exp(y0);
                    y1 = y0;
                    F1 = F0;
                    y0 = y0 - s;
                }
                y1 = y1 - 1.0;
                if (k >= maxSearchRestarts) return stationaryVcrit();
                ++k;
            }
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
