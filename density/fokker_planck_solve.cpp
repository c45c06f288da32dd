// One Fokker-Planck solve of PDESolver1D: time stepping of the log-variance density from the point
// mass at v0 to the horizon, with the expected-variance record and the stability checks at the end.
#include <algorithm>
#include <cmath>

#include "density/density_limits.h"
#include "density/pdesolver1d.h"
#include "numerics/numerical_error.h"
#include "numerics/tridiagonal.h"

namespace {

// Expected variance of the density on the grid: cell by cell, mean density times mean variance,
// with cells of negative mass counted as empty.
double expectedVariance(const Array<double>& p, const Array<double>& v, const Array<double>& x) {
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < p.size(); ++i) {
        sum += std::max(p[i] + p[i + 1], 0.0) * (v[i] + v[i + 1]) * (x[i + 1] - x[i]) / 4.0;
    }
    return sum;
}

}  // namespace

void PDESolver1D::solveFokkerPlanck(Array<Array<double>>& out) {
    if (NT < 1 || scheme < 0 || scheme > 2) throw NumericalError(density_limits::badSettingsMessage);
    buildGrid();
    const int n = size;
    const int L = n - 1;
    const double dt = T / NT;
    // Four quarter steps need a record of at least five entries.
    if (scheme == 2 && NT < 5) scheme = 1;

    if (out.size() < 2) out.resize(5);
    out[0].resize(n);
    out[1].resize(n);
    Array<double> sub(n), diag(n), super(n), rhs(n), mult(n), superCopy(n), pivot(n);

    setInitialDensity();
    Array<double>& p = density;
    const Array<double>& x = grid;

    auto buildCoefficients = [&](double stepLength, int stepKind) {
        if (model == 0) {
            fpCoefficientsGarch(sub, diag, super, stepLength, stepKind);
        } else if (model == 1) {
            fpCoefficientsPowerLaw(sub, diag, super, stepLength, stepKind);
        } else {
            fpCoefficientsVolForm(sub, diag, super, stepLength, stepKind);
        }
        tridiagFactor(L - 1, sub, diag, super, mult, superCopy, pivot);
    };

    // Damped start: four implicit quarter steps make up the first full step.
    bool firstPhase = (scheme == 2);
    buildCoefficients(firstPhase ? dt / 4.0 : dt, firstPhase ? 0 : scheme);
    // The signs of the neighbour weights depend on the grid alone, not on the step length or kind.
    driftUnresolved = false;
    for (int i = 1; i <= L - 1; ++i) {
        if (sub[i] < 0.0 || super[i] < 0.0) driftUnresolved = true;
    }

    // Zero-flux value of the lowest node for the dynamics that do not fold it into row 1.
    const double e = 2.0 * (power - 1.0);
    const double x0 = x[0];
    double lowerFlux = 0.0;
    if (model == 1) {
        lowerFlux = 2.0 * theta * std::exp(-e * x0) * (1.0 - vL * std::exp(-x0)) / (xi * xi);
    } else if (model != 0) {
        lowerFlux = 2.0 * theta * (std::exp(x0 / 2.0) - vL * std::exp(-x0 / 2.0)) / (xi * xi * std::exp(e * x0));
    }
    const double lowerFactor = 1.0 / (1.0 - (lowerFlux + e + 1.0) * dx);
    // Model 1 carries the lowest node through its fold alone; counting p[0] in the right-hand side
    // as well would apply the boundary twice.
    const bool lowerFolded = (model == 1);

    Array<double> m(NT + 1);
    m[0] = v0;
    double b = 0.0;  // boundary weight of the reflecting top, taken out of super[L-1]

    for (int w = 1, j = 1; w <= NT; ++w, ++j) {
        if (j == 5 && firstPhase) {
            firstPhase = false;
            w -= 3;
            j = 2;
            m[1] = m[4];
            buildCoefficients(dt, 1);
        }
        const bool crankNicolson = (scheme != 0 && !firstPhase);
        if (boundaryMode == 1 && super[L - 1] != 0.0) {
            b = super[L - 1];
            super[L - 1] = 0.0;
        }
        const double p0 = lowerFolded ? 0.0 : p[0];

        if (crankNicolson) {
            for (int i = 1; i <= L - 1; ++i) {
                const double below = (i == 1) ? p0 : p[i - 1];
                rhs[i] = -sub[i] * below - super[i] * p[i + 1] - (diag[i] + 2.0) * p[i];
            }
        } else {
            for (int i = 1; i <= L - 1; ++i) rhs[i] = -p[i];
        }
        if (boundaryMode == 1) {
            if (crankNicolson) {
                const double below = (L - 2 == 0) ? p0 : p[L - 2];
                rhs[L - 1] = -(sub[L - 1] - b) * below - b * p[L] - (diag[L - 1] + 2.0) * p[L - 1];
            }
            rhs[L - 1] -= (x[L] - x[L - 2]) * b * slope;
        }
        rhs[1] -= p0 * sub[1];
        rhs[L - 1] -= p[L] * super[L - 1];

        tridiagSolve(L - 1, mult, superCopy, pivot, rhs, p);

        if (model != 0) p[0] = p[1] * lowerFactor;
        if (boundaryMode == 1) {
            p[L] = p[L - 2] + (x[L] - x[L - 2]) * slope;
        } else if (boundaryMode == 2) {
            const double g1 = x[L] - x[L - 1];
            const double g0 = x[L - 1] - x[L - 2];
            p[L] = ((g0 + g1) / g0) * p[L - 1] - (g1 / g0) * p[L - 2];
        }
        m[j] = expectedVariance(p, variance, x);
    }

    // A non-finite density (overflowing coefficients, a zero pivot) must not reach vMean or a caller.
    for (int i = 0; i <= L; ++i) {
        if (!std::isfinite(p[i])) throw NumericalError(density_limits::nonFiniteDensityMessage);
    }
    vMean = m.sum() / (NT + 1);

    for (int i = 0; i <= L; ++i) {
        out[0][i] = x[i];
        out[1][i] = p[i];
        if (p[i] < density_limits::negativeDensityLimit) throw NumericalError(density_limits::instabilityMessage);
    }
    const double inner = p[static_cast<int>(0.9 * L)];
    if (p[L] > density_limits::risingTopLimit && p[L] > density_limits::risingTopRatio * inner) {
        throw NumericalError(density_limits::risingTopMessage);
    }
}
