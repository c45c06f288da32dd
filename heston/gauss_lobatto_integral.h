#pragma once

#include <cstdint>

#include "heston/integrator.h"

// Adaptive Gauss-Lobatto integration: a four-point Gauss-Lobatto rule and its seven-point Kronrod
// extension on every interval, six-way subdivision where they disagree. The stopping tolerance is
// derived once per integral from a thirteen-point estimate and the relative accuracy.
class GaussLobattoIntegral : public Integrator {
public:
    // The largest single-precision float: a relative accuracy of this value means "none".
    static constexpr double noRelativeAccuracy = 3.4028234663852886e38;

    GaussLobattoIntegral(std::uint64_t maxEvaluations, double absoluteAccuracy, double relAccuracy,
                         bool useConvergenceEstimate);

    double integrateInterval(const Integrand& f, double a, double b) override;

    double getRelAccuracy() const { return relAccuracy; }

protected:
    double absoluteToleranceFromRelative(const Integrand& f, double a, double b);
    double adaptiveStep(const Integrand& f, double a, double b, double fa, double fb, double is);

    double relAccuracy;
    bool useConvergenceEstimate;
};
