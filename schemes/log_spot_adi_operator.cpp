#include "schemes/log_spot_adi_operator.h"

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

    Array<double> steps(0.0, static_cast<std::size_t>(n) + 1);
    for (int i = 1; i < n; ++i)
        steps[i] = x[i] - x[i - 1];
    steps[0] = steps[1];
    double ghost = 3.0 * steps[n - 1] - 3.0 * steps[n - 2] + steps[n - 3];
    // Shrinking top spacings can extrapolate to a step that is no step at all.
    if (!(ghost > 0.0) || !std::isfinite(ghost))
        ghost = steps[n - 1];
    steps[n] = ghost;

    const int top = n - 1;
    SpotDirection s = spotDirectionOnSteps(steps, n, [top, carry](int i) {
        SpotNodeTerms t;
        t.diffusion = 0.5;
        // The drift's -w/2 rides on the diffusion weights; at the top node it goes with the slope.
        t.diffusionDrift = i < top ? -0.5 : 0.0;
        t.drift = carry;
        t.mixedFactor = 1.0;
        return t;
    });
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
    // The lowest node lies above zero: an American put there is worth its exercise value.
    if (o.american)
        return o.K - std::exp(frame.S[0]);
    return o.K * std::exp(-o.r * tau) - std::exp(frame.S[0]) * std::exp(-o.d * tau);
}

