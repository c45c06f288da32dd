#include "density/fokker_planck_rows.h"

#include <cstddef>

#include "numerics/numerical_error.h"

namespace fokker_planck_rows {

namespace {
// Below this ratio of drift to diffusion the central weight of p_{i-1} can turn negative.
constexpr double upwindDriftRatio = -100.0;
}  // namespace

double stepWeight(int stepKind) {
    if (stepKind == 0) return 1.0;
    if (stepKind == 1) return 0.5;
    throw NumericalError("Unknown time step kind for the variance density");
}

void fillInteriorRows(const Array<double>& D, const Array<double>& C, const Array<double>& E, double dx, double dt,
                      int stepKind, Array<double>& sub, Array<double>& diag, Array<double>& super) {
    const double s = stepWeight(stepKind);
    const double h = 1.0 / dx;
    const double sdt = s * dt;
    const std::size_t n = D.size();
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (C[i] / D[i] < upwindDriftRatio) {
            sub[i] = (h * D[i] - C[i]) * h * sdt;
            super[i] = h * D[i] * h * sdt;
            diag[i] = -1.0 - sdt * (2.0 * D[i] * h * h - h * C[i] - E[i]);
        } else {
            sub[i] = (h * D[i] - C[i] / 2.0) * h * sdt;
            super[i] = (h * D[i] + C[i] / 2.0) * h * sdt;
            diag[i] = -1.0 - sdt * (2.0 * D[i] * h * h - E[i]);
        }
    }
}

void foldUpperBoundary(int boundaryMode, const Array<double>& grid, Array<double>& sub, Array<double>& diag,
                       Array<double>& super) {
    const std::size_t n = grid.size();
    const std::size_t top = n - 2;
    if (boundaryMode == 1) {
        sub[top] += super[top];
    } else if (boundaryMode == 2) {
        const double g1 = grid[n - 1] - grid[n - 2];
        const double g0 = grid[n - 2] - grid[n - 3];
        sub[top] -= (g1 / g0) * super[top];
        diag[top] += ((g0 + g1) / g0) * super[top];
        super[top] = 0.0;
    }
}

}  // namespace fokker_planck_rows
