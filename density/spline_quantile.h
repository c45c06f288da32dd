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

    // level - (mass below y) / norm, or nothing when y lies outside the table or the spline gives no
    // number there: the table's error values are never used as masses. For levels above 1/2 the
    // difference is formed from the mass above y, so that a level close to 1 keeps its digits.
    std::optional<double> excess(double level, double y);

    // The level-quantile in the grid coordinate, or nothing when the search gives no answer (a
    // level above the table's mass, values that are not numbers, no convergence). The secant starts
    // on the two nodes that bracket the quantile and stays inside the bracket: a secant through a
    // point of the flat far tail and one of the bulk only bounces between the two.
    std::optional<double> quantile(double level);

    double lower() const { return x0; }
    double upper() const { return xEnd; }

private:
    table_function spline;
    double x0;
    double xEnd;
    double total;
};
