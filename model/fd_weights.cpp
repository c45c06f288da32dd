#include "model/fd_weights.h"

#include "numerics/numerical_error.h"

#include <cmath>

StencilWeights centralFirstDerivative(double hm, double hp)
{
    return {-hp / (hm * (hm + hp)), (hp - hm) / (hm * hp), hm / (hp * (hm + hp))};
}

StencilWeights centralSecondDerivative(double hm, double hp)
{
    return {2.0 / (hm * (hm + hp)), -2.0 / (hm * hp), 2.0 / (hp * (hm + hp))};
}

StencilWeights forwardFirstDerivative(double h1, double h2)
{
    const double H = h1 + h2;
    return {-(2.0 * h1 + h2) / (h1 * H), H / (h1 * h2), -h1 / (h2 * H)};
}

StencilWeights backwardFirstDerivative(double h1, double h2)
{
    const double H = h1 + h2;
    return {h2 / (h1 * H), -H / (h1 * h2), (2.0 * h2 + h1) / (h2 * H)};
}

AntiDiagonalMixed antiDiagonalMixed(double m, double hxm, double hxp, double hym, double hyp)
{
    const double P = m / (hym * hxp + hyp * hxm);
    return {P, (hxp * hxp + hxm * hxm) * P, (hxp - hxm) * P, (hym * hym + hyp * hyp) * P,
            (hyp - hym) * P};
}

GridWeights buildGridWeights(const Array<double>& nodes, double ghostStep)
{
    const std::size_t count = nodes.size();
    if (count < 3)
        throw NumericalError("A finite-difference grid needs at least three nodes");
    const std::size_t last = count - 1;

    GridWeights w;
    w.steps.resize(count);
    for (std::size_t i = 1; i < count; ++i) {
        const double h = nodes[i] - nodes[i - 1];
        if (!(h > 0.0) || !std::isfinite(h))
            throw NumericalError("Finite-difference grid nodes must be strictly increasing");
        w.steps[i] = h;
    }
    w.steps[0] = w.steps[1];

    for (Array<double>* a : {&w.d1Lower, &w.d1Diag, &w.d1Upper, &w.d2Lower, &w.d2Diag, &w.d2Upper})
        a->resize(count);

    auto put = [&w](std::size_t i, double hm, double hp) {
        const StencilWeights f = centralFirstDerivative(hm, hp);
        const StencilWeights s = centralSecondDerivative(hm, hp);
        w.d1Lower[i] = f.lower;
        w.d1Diag[i] = f.diag;
        w.d1Upper[i] = f.upper;
        w.d2Lower[i] = s.lower;
        w.d2Diag[i] = s.diag;
        w.d2Upper[i] = s.upper;
    };
    for (std::size_t i = 1; i < last; ++i)
        put(i, w.steps[i], w.steps[i + 1]);
    if (ghostStep > 0.0 && std::isfinite(ghostStep))
        put(last, w.steps[last], ghostStep);
    return w;
}
