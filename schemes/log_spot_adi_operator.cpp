#include "schemes/log_spot_adi_operator.h"

#include "model/fd_weights.h"
#include "numerics/numerical_error.h"
#include "schemes/scheme_frame.h"

#include <cmath>

SpotDirection logSpotDirection(const SchemeFrame& frame)
{
    const int n = frame.n;
    if (n < 5)
        throw NumericalError("The log-spot operator needs at least five spot nodes");
    const Array<double>& x = frame.S;
    const double carry = frame.option.r - frame.option.d;

    SpotDirection s;
    s.steps = Array<double>(0.0, static_cast<std::size_t>(n) + 1);
    for (int i = 1; i < n; ++i)
        s.steps[i] = x[i] - x[i - 1];
    s.steps[0] = s.steps[1];
    double ghost = 3.0 * s.steps[n - 1] - 3.0 * s.steps[n - 2] + s.steps[n - 3];
    // Shrinking top spacings can extrapolate to a step that is no step at all.
    if (!(ghost > 0.0) || !std::isfinite(ghost))
        ghost = s.steps[n - 1];
    s.steps[n] = ghost;

    for (Array<double>* a : {&s.aL, &s.aD, &s.aU, &s.bL, &s.bD, &s.bU, &s.d1L, &s.d1D, &s.d1U,
                             &s.d2L, &s.d2D, &s.d2U, &s.mixedFactor})
        *a = Array<double>(0.0, static_cast<std::size_t>(n));
    const int top = n - 1;
    for (int i = 1; i <= top; ++i) {
        const StencilWeights f = centralFirstDerivative(s.steps[i], s.steps[i + 1]);
        const StencilWeights d2 = centralSecondDerivative(s.steps[i], s.steps[i + 1]);
        s.d1L[i] = f.lower;
        s.d1D[i] = f.diag;
        s.d1U[i] = f.upper;
        s.d2L[i] = d2.lower;
        s.d2D[i] = d2.diag;
        s.d2U[i] = d2.upper;
        // The drift's -w/2 rides on the diffusion weights; at the top node it goes with the slope.
        const double drift = i < top ? 0.5 : 0.0;
        s.aL[i] = 0.5 * d2.lower - drift * f.lower;
        s.aD[i] = 0.5 * d2.diag - drift * f.diag;
        s.aU[i] = 0.5 * d2.upper - drift * f.upper;
        s.bL[i] = carry * f.lower;
        s.bD[i] = carry * f.diag;
        s.bU[i] = carry * f.upper;
        s.mixedFactor[i] = 1.0;
    }
    const double sTop = std::exp(x[top]);
    s.ghostRise = std::exp(x[top] + ghost) - sTop;
    s.topDrift = carry * sTop;
    s.topDriftPerW = -0.5 * sTop;
    return s;
}

double logSpotLowerValue(const SchemeFrame& frame, double tau, bool zeroWhenPayoffZero)
{
    const OrvHestonVanilla& o = frame.option;
    if (o.callPut != 1)
        return 0.0;
    if (zeroWhenPayoffZero && frame.u0[0] == 0.0)
        return 0.0;
    if (o.american)
        return o.K;
    return o.K * std::exp(-o.r * tau) - std::exp(frame.S[0]) * std::exp(-o.d * tau);
}

