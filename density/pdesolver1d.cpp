#include "density/pdesolver1d.h"

#include <algorithm>
#include <cmath>

#include "density/density_limits.h"
#include "numerics/numerical_error.h"

PDESolver1D::PDESolver1D(double q, double v0, double vL, double theta, double xi)
    : q(q), v0(v0), T(0.0), xi(xi), vL(vL), theta(theta), meanV(vL) {}

PDESolver1D::PDESolver1D(double q, double T, double v0, double vL, double theta, double xi, int NX, int NT,
                         int scheme, int n1, int model, double power, bool keepGrid, int /*boundaryMode*/)
    : model(model),
      power(power),
      q(std::min(q, density_limits::maxQuantileLevel)),
      v0(v0),
      T(T),
      xi(xi),
      vL(vL),
      theta(theta),
      slope(0.0),
      N(std::max(NX / 4, 10)),
      steps(0),
      NT(NT),
      n1(n1),
      scheme(scheme),
      // The reflecting top is the only treatment the stepping is tuned for, whatever the caller asks.
      boundaryMode(1),
      keepGrid(keepGrid),
      gridBuilt(false),
      meanV(vL) {}

void PDESolver1D::reset() {
    q = std::min(q, density_limits::maxQuantileLevel);
    boundaryMode = 1;
    N = std::max(N / 4, 10);
    steps = 0;
    size = 0;
    slope = 0.0;
    gridBuilt = false;
}

void PDESolver1D::buildGrid() {
    if (gridBuilt) return;

    const double lx = std::log(v0);
    const double w = std::sqrt(T) * n1 * xi;
    // Written so that NaN inputs fail the checks too.
    if (!(std::isfinite(lx) && std::isfinite(w) && w > 0.0 && lx > density_limits::lowestLogVariance &&
          N > 0 && steps >= 0)) {
        throw NumericalError(density_limits::badGridMessage);
    }
    const double unclipped = lx - w;
    const double lower = unclipped > density_limits::lowestLogVariance ? unclipped
                                                                       : density_limits::lowestLogVariance;
    if (steps == 0) {
        // When the lower end is clipped the count below v0 shrinks in proportion, keeping dx near w / N.
        const double below = (lx - lower) * N / (lx - unclipped);
        if (!(below >= 1.0)) throw NumericalError(density_limits::badGridMessage);
        steps = static_cast<int>(below);
    }
    if (static_cast<long long>(steps) + 1 + N > density_limits::maxGridNodes) {
        throw NumericalError(density_limits::gridTooLargeMessage);
    }
    dx = (lx - lower) / steps;

    // A kept grid could only be the grid built here (same ends and counts), so the grid is always built.
    size = steps + 1 + N;
    grid.resize(size);
    variance.resize(size);
    for (int i = 0; i < size; ++i) {
        grid[i] = i * dx + lower;
        variance[i] = std::exp(grid[i]);
    }
    gridBuilt = true;
}

void PDESolver1D::setInitialDensity() {
    density.resize(size);
    const double lx = std::log(v0);
    for (int i = 0; i < size; ++i) {
        if (std::fabs(grid[i] - lx) < dx / 2.0) density[i] = 1.0 / dx;
    }
}

double PDESolver1D::meanVariance() { return model == 2 ? meanV : vL; }
