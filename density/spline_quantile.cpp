#include "density/spline_quantile.h"

#include <cmath>

#include "density/density_limits.h"

namespace {

bool isMass(double value) {
    return value != table_function::errorValue && value != table_function::outOfRangeValue && std::isfinite(value);
}

}  // namespace

SplineQuantile::SplineQuantile(const Array<double>& x, const Array<double>& f)
    : spline(x, f, false), x0(x[0]), xEnd(x[x.size() - 1]), total(spline.integralAll(true)) {}

std::optional<double> SplineQuantile::excess(double level, double y) {
    if (!(y >= x0 && y <= xEnd)) return std::nullopt;
    double value;
    if (level > 0.5) {
        // level - (norm - above) / norm, without the cancellation of 1 - mass / norm in the far tail.
        const double above = spline.integralBetween(y, xEnd);
        if (!isMass(above)) return std::nullopt;
        value = above / total - (1.0 - level);
    } else {
        const double below = spline.integralBetween(x0, y);
        if (!isMass(below)) return std::nullopt;
        value = level - below / total;
    }
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> SplineQuantile::quantile(double level) {
    using density_limits::secantIterations;
    using density_limits::secantTolerance;
    const Array<double>& x = spline.x;

    // Bracket the quantile between adjacent nodes by bisection on the node index: the excess is
    // positive below the quantile and not positive from it on.
    int lo = 0;
    int hi = spline.n - 1;
    std::optional<double> Flo = excess(level, x[lo]);
    std::optional<double> Fhi = excess(level, x[hi]);
    if (!Flo || !Fhi) return std::nullopt;
    if (*Flo <= 0.0) return x[lo];
    if (*Fhi > 0.0) return std::nullopt;  // the level lies above the mass of the table
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        const std::optional<double> F = excess(level, x[mid]);
        if (!F) return std::nullopt;
        if (*F > 0.0) {
            lo = mid;
            Flo = F;
        } else {
            hi = mid;
            Fhi = F;
        }
    }

    // Secant from the upper node of the bracket; an iterate that would leave the bracket is replaced
    // by its midpoint. The answer is the iterate at which the secant step falls below the tolerance.
    double a = x[lo];
    double b = x[hi];
    double y0 = b, F0 = *Fhi;
    double y1 = a, F1 = *Flo;
    for (int iteration = 0; iteration < secantIterations; ++iteration) {
        if (F0 == 0.0) return y0;
        const double s = (y0 - y1) / (F0 - F1) * F0;
        if (std::isfinite(s) && std::fabs(s) < secantTolerance) return y0;
        double next = y0 - s;
        if (!(next > a && next < b)) next = 0.5 * (a + b);
        const std::optional<double> F = excess(level, next);
        if (!F) return std::nullopt;
        if (*F > 0.0) {
            a = next;
        } else {
            b = next;
        }
        y1 = y0;
        F1 = F0;
        y0 = next;
        F0 = *F;
        if (b - a < secantTolerance) return y0;
    }
    return std::nullopt;
}
