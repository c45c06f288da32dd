// The three coefficient builders of PDESolver1D: the forward operator of x = log v for each variance
// dynamics, and the zero-flux fold at the lowest node where the dynamics has one.
#include <cmath>

#include "density/fokker_planck_rows.h"
#include "density/pdesolver1d.h"
#include "numerics/numerical_error.h"

namespace {

void checkRowArrays(int size, const Array<double>& sub, const Array<double>& diag, const Array<double>& super) {
    const std::size_t n = static_cast<std::size_t>(size);
    if (size < 3 || sub.size() < n || diag.size() < n || super.size() < n) {
        throw NumericalError("Coefficient arrays do not match the variance density grid");
    }
}

}  // namespace

void PDESolver1D::fpCoefficientsGarch(Array<double>& sub, Array<double>& diag, Array<double>& super, double dt,
                                      int stepKind) {
    checkRowArrays(size, sub, diag, super);
    const double Dc = xi * xi / 2.0;
    Array<double> D(Dc, size), C(size), E(size);
    for (int i = 0; i < size; ++i) {
        const double reversion = theta * vL * std::exp(-grid[i]);
        C[i] = theta + Dc - reversion;
        E[i] = reversion;
    }
    fokker_planck_rows::fillInteriorRows(D, C, E, dx, dt, stepKind, sub, diag, super);
    // Zero flux at x_0: p_0 = p_1 D / (D - dx C_0).
    diag[1] += sub[1] * Dc / (Dc - dx * C[0]);
    fokker_planck_rows::foldUpperBoundary(boundaryMode, grid, sub, diag, super);
}

void PDESolver1D::fpCoefficientsPowerLaw(Array<double>& sub, Array<double>& diag, Array<double>& super, double dt,
                                         int stepKind) {
    checkRowArrays(size, sub, diag, super);
    const double e = 2.0 * (power - 1.0);
    Array<double> D(size), C(size), E(size);
    for (int i = 0; i < size; ++i) {
        const double growth = std::exp(e * grid[i]);
        const double reversion = vL * std::exp(-grid[i]);
        D[i] = xi * xi / 2.0 * growth;
        C[i] = theta * (1.0 - reversion) + xi * xi * growth * (e + 0.5);
        E[i] = e * (e + 1.0) * D[i] + theta * reversion;
    }
    fokker_planck_rows::fillInteriorRows(D, C, E, dx, dt, stepKind, sub, diag, super);
    // Zero flux at x_0: p_0 = p_1 / (1 - dx k_0).
    const double k0 = theta * (1.0 - vL * std::exp(-grid[0])) / D[0] + e + 1.0;
    diag[1] += sub[1] / (1.0 - (grid[1] - grid[0]) * k0);
    fokker_planck_rows::foldUpperBoundary(boundaryMode, grid, sub, diag, super);
}

void PDESolver1D::fpCoefficientsVolForm(Array<double>& sub, Array<double>& diag, Array<double>& super, double dt,
                                        int stepKind) {
    checkRowArrays(size, sub, diag, super);
    const double e = 2.0 * (power - 1.0);
    Array<double> D(size), C(size), E(size);
    for (int i = 0; i < size; ++i) {
        const double growth = std::exp(e * grid[i]);
        const double rootUp = std::exp(grid[i] / 2.0);
        const double rootDown = std::exp(-grid[i] / 2.0);
        D[i] = xi * xi / 2.0 * growth;
        C[i] = theta * (rootUp - vL * rootDown) + xi * xi * growth * (e + 0.5);
        E[i] = theta / 2.0 * (vL * rootDown + rootUp) + e * (e + 1.0) * D[i];
    }
    fokker_planck_rows::fillInteriorRows(D, C, E, dx, dt, stepKind, sub, diag, super);
    // The lowest node enters the right-hand side from the stepper instead of a fold.
    fokker_planck_rows::foldUpperBoundary(boundaryMode, grid, sub, diag, super);
}
