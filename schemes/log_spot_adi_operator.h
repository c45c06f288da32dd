#pragma once

// The splitting operator on the log-spot grid x = ln S: the spot-grid operator of
// schemes/spot_adi_operator.h with the spot direction taken in x, so both coordinates share the
// variance direction, the mixed stencils, the line solves and the boundary handling. In x,
//   F1 = 1/2 w(v) u_xx + ((r - d) - w(v) / 2) u_x - r/2 u,
// the mixed term is rho xi m(v) u_xv, and the variance direction is that of the spot grid.
//
// Beyond the top node a ghost step continues the spacing cubically (3 h_{n-1} - 3 h_{n-2}
// + h_{n-3}, the spacing of the last node when that is not positive); the value there rises with
// the slope df of the call in S over the spot distance exp(x_{n-1} + h_n) - exp(x_{n-1}), and the
// drift term of the top node is the drift times df S_{n-1}.

#include "schemes/spot_adi_operator.h"

class SchemeFrame;

// The spot direction of a log-spot frame (frame.S holds the log-spots).
SpotDirection logSpotDirection(const SchemeFrame& frame);

class LogSpotAdiOperator : public SpotAdiOperator {
public:
    LogSpotAdiOperator(const SchemeFrame& frame, const SpotAdiSettings& settings)
        : SpotAdiOperator(frame, settings, logSpotDirection(frame))
    {
    }
};

// The value on the lowest column of a log-spot grid, whose lowest node s0 = exp(x0) lies above
// zero: for a European put K exp(-r tau) - s0 exp(-d tau), for an American put K - s0, for a
// call 0.
// With zeroWhenPayoffZero, a put whose smoothed payoff at x0 is 0 keeps the column at 0.
double logSpotLowerValue(const SchemeFrame& frame, double tau, bool zeroWhenPayoffZero);

