#include "heston/integration.h"

#include <utility>

#include "heston/gauss_lobatto_integral.h"
#include "heston/heston_failure.h"
#include "heston/infinite_range_substitutions.h"

AnalyticHestonEngine::Integration::Integration(double relAccuracy, double absoluteAccuracy,
                                               std::uint64_t maxEvaluations)
    : algorithm(0),
      integrator(std::make_shared<GaussLobattoIntegral>(maxEvaluations, absoluteAccuracy,
                                                        relAccuracy, false)) {}

AnalyticHestonEngine::Integration::Integration(
    int algorithm, std::shared_ptr<Integrator> integrator,
    std::shared_ptr<GaussianQuadrature> gaussianQuadrature)
    : algorithm(algorithm),
      integrator(std::move(integrator)),
      gaussianQuadrature(std::move(gaussianQuadrature)) {}

double AnalyticHestonEngine::Integration::evaluateIntegral(double c_inf, const Integrand& f) const {
    if (algorithm < 0 || algorithm > 7) throw hestonFailure("Unknwon integration algorithm");
    if (algorithm <= 3) {
        if (!integrator) throw hestonFailure("Integration algorithm needs an Integrator");
        return (*integrator)(integrand2(c_inf, f), 0.0, 1.0);
    }
    if (!gaussianQuadrature)
        throw hestonFailure("Integration algorithm needs a GaussianQuadrature");
    if (algorithm == 4) return (*gaussianQuadrature)(f);
    return (*gaussianQuadrature)(integrandShifted(c_inf, f));
}

std::uint64_t AnalyticHestonEngine::Integration::numberOfEvaluations() const {
    if (integrator) return integrator->getEvaluations();
    if (gaussianQuadrature) return gaussianQuadrature->order();
    throw hestonFailure("Neither Integrator nor GaussianQuadrature given");
}
