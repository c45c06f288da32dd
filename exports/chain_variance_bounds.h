#pragma once

// The upper ends of the variance grids of a chain calibration. Below a level of 1 the caller's
// vcritQuantile is a probability: each distinct expiry gets the critical variance of that level
// (the quantile of the variance at the expiry, from the variance-density solver) and the chain the
// stationary one, and every solve's grid ends at a multiple of its expiry's critical variance held
// between a tenth of the stationary one and the stationary one itself. From 1 on the level is
// handed to every solve as it is.

#include "calibration/calibration_objective.h"
#include "exports/chain_request.h"

#include <vector>

class ChainVarianceBounds {
public:
    // Computes the critical variances, one parallel iteration per distinct expiry, when the level
    // is below 1, by the calibration objective's loop with the settings it uses for GARCH
    // diffusion (the density model of every export). Throws with the message of the first expiry
    // that failed (a failure never leaves the parallel loop itself).
    ChainVarianceBounds(std::vector<double> expiries, const ChainRequest& request);

    // The VmaxParam of a solve at expiry T (one of the expiries given, compared exactly) with the
    // given multiplier of its critical variance; negative when it fixes the grid's upper end.
    double vmaxParam(double T, double vmaxMultiplier) const;

    bool active() const { return level_ < 1.0; }
    const std::vector<double>& expiries() const { return variances_.expiries; }
    const std::vector<double>& criticalVariances() const { return variances_.vcrits; }
    double stationaryCriticalVariance() const { return variances_.stationaryVcrit; }

private:
    double level_ = 1.0;
    CriticalVariances variances_;
};

// max(1, 3 - 0.5 theta T): short expiries look further up the variance distribution.
double vmaxMultiplier(double theta, double T);
