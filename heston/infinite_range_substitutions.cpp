#include "heston/infinite_range_substitutions.h"

#include <cmath>
#include <limits>

namespace {
const double eps = std::numeric_limits<double>::epsilon();
}

double integrand2::operator()(double x) const {
    if (x * c_inf > eps) return f(-std::log(x) / c_inf) / (x * c_inf);
    return 0.0;
}

double integrandShifted::operator()(double x) const {
    if (c_inf * (x + 1) > eps) return f(-std::log(0.5 * x + 0.5) / c_inf) / (c_inf * (x + 1));
    return 0.0;
}
