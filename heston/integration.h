#pragma once

#include <cstdint>
#include <memory>

#include "heston/analytic_heston_engine.h"
#include "heston/gaussian_quadrature.h"
#include "heston/integrator.h"

// How the Heston integrals over [0, ∞) are taken. Algorithms 0 to 3 run the integrator on the
// substitution onto (0, 1]; 4 applies the quadrature to the integrand itself; 5 to 7 apply it to
// the substitution onto (-1, 1].
class AnalyticHestonEngine::Integration {
public:
    // Algorithm 0 with a GaussLobattoIntegral (no convergence estimate) and no quadrature.
    Integration(double relAccuracy, double absoluteAccuracy, std::uint64_t maxEvaluations);
    Integration(int algorithm, std::shared_ptr<Integrator> integrator,
                std::shared_ptr<GaussianQuadrature> gaussianQuadrature);

    // The integral of f over [0, ∞); c_inf is the scale of the substitution.
    double evaluateIntegral(double c_inf, const Integrand& f) const;
    // Integrand evaluations of the last integral: the integrator's count, else the node count.
    std::uint64_t numberOfEvaluations() const;

    int algorithm;
    std::shared_ptr<Integrator> integrator;
    std::shared_ptr<GaussianQuadrature> gaussianQuadrature;
};
