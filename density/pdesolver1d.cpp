#include "density/pdesolver1d.h"

#include <algorithm>
#include <cmath>

#include "density/density_limits.h"
#include "numerics/normal_distribution.h"
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
    // The diffusion width w alone would leave the density no room where the drift carries it away
    // from v0 (a v0 far from vL) or where the level's quantile lies beyond n1 standard deviations:
    // the mass then piles up against a reflecting end and the quantile sticks to that end.
    const GridReach reach = gridReach(w);
    const double unclipped = lx - w;
    const double extended = unclipped - reach.down;
    const double lower = extended > density_limits::lowestLogVariance ? extended
                                                                      : density_limits::lowestLogVariance;
    if (steps == 0) {
        // When the lower end is clipped the count below v0 shrinks in proportion, keeping dx near w / N
        // (coarser only when the reach would take more than a bounded multiple of the plain count).
        const double below = (lx - lower) * N / (lx - unclipped) / reach.stretch;
        if (!(below >= 1.0)) throw NumericalError(density_limits::badGridMessage);
        steps = static_cast<int>(below);
        if (reach.up > 0.0 || reach.stretch > 1.0) {
            const double step = (lx - lower) / steps;
            const double above = reach.stretch > 1.0 ? std::ceil((w + reach.up) / step)
                                                     : N + std::ceil(reach.up / step);
            if (!(above <= density_limits::maxGridNodes)) throw NumericalError(density_limits::gridTooLargeMessage);
            N = static_cast<int>(above);
        }
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

PDESolver1D::GridReach PDESolver1D::gridReach(double w) const {
    GridReach reach;
    // Standard deviation of log v over [0, T] from the local volatility of log-variance at v0, which
    // a power below 1 raises above xi for variances below 1.
    double sd = w / n1;
    if (model != 0 && power != 1.0) {
        const double local = sd * std::pow(v0, power - 1.0);
        if (std::isfinite(local) && local > sd) sd = local;
    }
    const double z = upperNormalQuantile(q);
    reach.up = std::max(0.0, std::max<double>(n1, z + density_limits::quantileReachMargin) * sd - w);
    reach.down = std::max(0.0, n1 * sd - w);
    const double shift = meanLogShift();
    if (shift > 0.0) {
        reach.up += shift;
    } else {
        reach.down -= shift;
    }
    const double growth = (2.0 * w + reach.up + reach.down) / (2.0 * w);
    reach.stretch = std::max(1.0, growth / density_limits::maxGridGrowth);
    return reach;
}

double PDESolver1D::meanLogShift() const {
    if (!(theta > 0.0 && vL > 0.0 && std::isfinite(theta) && std::isfinite(vL))) return 0.0;
    double mean;
    if (model == 0 || model == 1) {
        // The drift theta (vL - v) is linear in v: E[v_T] exactly.
        mean = vL + (v0 - vL) * std::exp(-theta * T);
    } else {
        // dv = theta sqrt(v) (vL - v) dt without noise: u = sqrt(v) follows u' = theta/2 (vL - u^2).
        const double a = std::sqrt(vL);
        const double u0 = std::sqrt(v0);
        const double t = a * theta * T / 2.0;
        double u;
        if (u0 < a) {
            u = a * std::tanh(t + std::atanh(u0 / a));
        } else if (u0 > a) {
            u = a / std::tanh(t + std::atanh(a / u0));
        } else {
            u = a;
        }
        mean = u * u;
    }
    const double shift = std::log(mean / v0);
    return std::isfinite(shift) ? shift : 0.0;
}

double PDESolver1D::upperNormalQuantile(double level) {
    if (!(level > 0.5)) return 0.0;
    const double tail = 1.0 - level;
    double lo = 0.0, hi = 40.0;
    for (int i = 0; i < 100; ++i) {
        const double mid = 0.5 * (lo + hi);
        (normalCdf(-mid) > tail ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

void PDESolver1D::setInitialDensity() {
    density.resize(size);
    const double lx = std::log(v0);
    for (int i = 0; i < size; ++i) {
        if (std::fabs(grid[i] - lx) < dx / 2.0) density[i] = 1.0 / dx;
    }
}

double PDESolver1D::meanVariance() { return model == 2 ? meanV : vL; }
