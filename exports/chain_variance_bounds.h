#pragma once

// The upper ends of the variance grids of a chain calibration. Below a level of 1 the caller's
// vcritQuantile is a probability: each distinct expiry gets the critical variance of that level
// (the quantile of the variance at the expiry) and the chain the stationary one, both from the
// variance law of the model priced, and every solve's grid ends at a multiple of its expiry's
// critical variance held between a tenth of the stationary one and the stationary one itself.
// From 1 on the level is handed to every solve as it is.

#include "calibration/calibration_objective.h"
#include "exports/chain_request.h"

#include <vector>

class ChainVarianceBounds {
public:
    // Computes the critical variances when the level is below 1: for the square-root model (code 0)
    // from its exact laws (the scaled non-central chi-square law at each expiry, the gamma law for
    // the stationary value); for ORV-X1 (code 2) by the calibration objective's loop for ORV-X1,
    // for the other models by its loop for GARCH diffusion, one parallel iteration per distinct
    // expiry. Throws with the message of the first expiry that failed (a failure never leaves the
    // parallel loop itself).
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
