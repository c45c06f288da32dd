#include "density/spline_quantile.h"

#include <cmath>

SplineQuantile::SplineQuantile(const Array<double>& x, const Array<double>& f)
    : spline(x, f, false), x0(x[0]), xEnd(x[x.size() - 1]), total(spline.integralAll(true)) {}

std::optional<double> SplineQuantile::excess(double level, double y) {
    if (!(y >= x0 && y <= xEnd)) return std::nullopt;
    const double mass = spline.integralBetween(x0, y);
    if (mass == table_function::errorValue || mass == table_function::outOfRangeValue || !std::isfinite(mass)) {
        return std::nullopt;
    }
    const double value = level - mass / total;
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}
