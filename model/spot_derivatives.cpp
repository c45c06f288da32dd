// Delta and gamma along the spot grid: first and second derivatives of the node values, node by
// node, with second-order formulas at the ends.

#include "model/option_objects.h"

#include "model/fd_weights.h"
#include "numerics/numerical_error.h"

#include <cmath>

namespace {

// The end formulas read up to four nodes from each end.
void requireNodes(const OrvEquityOption& o, const Array<double>& D1, const Array<double>& D2)
{
    const int N = o.NS;
    if (N < 4)
        throw NumericalError("Spot derivatives need at least five spot nodes");
    const std::size_t count = static_cast<std::size_t>(N) + 1;
    if (o.SGrid.size() < count || o.values.size() < count || D1.size() < count || D2.size() < count)
        throw NumericalError("Spot derivative arrays are shorter than the spot grid");
}

// Three-point formulas on the abscissae S[0..N]; the end second derivatives are extrapolated
// quadratically from the interior ones.
void threePointDerivatives(const Array<double>& S, const Array<double>& V, int N, Array<double>& D1,
                           Array<double>& D2)
{
    for (int i = 1; i <= N - 1; ++i) {
        const double hm = S[i] - S[i - 1];
        const double hp = S[i + 1] - S[i];
        const StencilWeights f = centralFirstDerivative(hm, hp);
        const StencilWeights s = centralSecondDerivative(hm, hp);
        D1[i] = f.lower * V[i - 1] + f.diag * V[i] + f.upper * V[i + 1];
        D2[i] = s.lower * V[i - 1] + s.diag * V[i] + s.upper * V[i + 1];
    }
    const StencilWeights lo = forwardFirstDerivative(S[1] - S[0], S[2] - S[1]);
    D1[0] = lo.lower * V[0] + lo.diag * V[1] + lo.upper * V[2];
    D2[0] = 3.0 * D2[1] - 3.0 * D2[2] + D2[3];
    const StencilWeights hi = backwardFirstDerivative(S[N - 1] - S[N - 2], S[N] - S[N - 1]);
    D1[N] = hi.lower * V[N - 2] + hi.diag * V[N - 1] + hi.upper * V[N];
    D2[N] = 3.0 * D2[N - 1] - 3.0 * D2[N - 2] + D2[N - 3];
}

}  // namespace

void OrvEquityOption::spotDerivativesUniform(Array<double>& D1, Array<double>& D2)
{
    requireNodes(*this, D1, D2);
    const int N = NS;
    const Array<double>& S = SGrid;
    const Array<double>& V = values;

    // The step is taken from the grid of this call: a cached step from an earlier (coarser) grid
    // would scale every derivative wrongly.
    dS = S[2] - S[1];
    if (nonUniformSGrid) {
        threePointDerivatives(S, V, N, D1, D2);
        return;
    }

    const double h = dS;
    for (int i = 1; i <= N - 1; ++i) {
        D1[i] = (V[i + 1] - V[i - 1]) / (2.0 * h);
        D2[i] = (V[i + 1] - 2.0 * V[i] + V[i - 1]) / (h * h);
    }
    D1[0] = (4.0 * V[1] - 3.0 * V[0] - V[2]) / (2.0 * h);
    D1[N] = (3.0 * V[N] - 4.0 * V[N - 1] + V[N - 2]) / (2.0 * h);
    D2[0] = (2.0 * V[0] - 5.0 * V[1] + 4.0 * V[2] - V[3]) / (h * h);
    D2[N] = (2.0 * V[N] - 5.0 * V[N - 1] + 4.0 * V[N - 2] - V[N - 3]) / (h * h);

    // A first cell wider than the step: node 1 starts the uniform part, and node 0 is reached by a
    // Taylor step from the virtual node s = S[1] - h, whose value comes from the quadratic through
    // the first three nodes.
    if ((S[1] - S[0]) - h > 1e-6) {
        const double e = S[1] - S[0] - h;
        const double s = S[1] - h;
        D1[1] = (4.0 * V[2] - 3.0 * V[1] - V[3]) / (2.0 * h);
        D2[1] = (2.0 * V[1] - 5.0 * V[2] + 4.0 * V[3] - V[4]) / (h * h);
        const double L0 = (s - S[2]) * (s - S[1]) / ((S[0] - S[2]) * (S[0] - S[1]));
        const double L1 = (s - S[2]) * (s - S[0]) / ((S[1] - S[2]) * (S[1] - S[0]));
        const double L2 = (s - S[0]) * (s - S[1]) / ((S[2] - S[0]) * (S[2] - S[1]));
        const double Vs = L0 * V[0] + L1 * V[1] + L2 * V[2];
        const double D1s = (4.0 * V[1] - 3.0 * Vs - V[2]) / (2.0 * h);
        const double D2s = (2.0 * Vs - 5.0 * V[1] + 4.0 * V[2] - V[3]) / (h * h);
        D1[0] = D1s - e * D2s;
        D2[0] = D2s - e * (D2[2] - D2[1]) / h;
    }
}

void OrvEquityOption::spotDerivativesNonUniform(Array<double>& D1, Array<double>& D2)
{
    requireNodes(*this, D1, D2);
    const int N = NS;
    Array<double> spots(static_cast<std::size_t>(N) + 1);
    for (int i = 0; i <= N; ++i)
        spots[i] = std::exp(SGrid[i]);
    threePointDerivatives(spots, values, N, D1, D2);
}
