#pragma once

#include <optional>

#include "numerics/array.h"
#include "numerics/spline_table.h"

// Distribution function of a density given at grid nodes, through the cubic spline of the density,
// and the secant search for its quantiles in the grid coordinate.
class SplineQuantile {
public:
    // x: strictly increasing nodes; f: non-negative density values at the nodes.
    SplineQuantile(const Array<double>& x, const Array<double>& f);

    // Integral of the density over the whole table (the normalisation).
    double norm() const { return total; }

    // q - (mass below y) / norm, or nothing when y lies outside the table or the spline gives no
    // number there: the table's error values are never used as masses.
    std::optional<double> excess(double level, double y);

    double lower() const { return x0; }
    double upper() const { return xEnd; }

private:
    table_function spline;
    double x0;
    double xEnd;
    double total;
};
