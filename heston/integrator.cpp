#include "heston/integrator.h"

Integrator::Integrator(double absoluteAccuracy, std::uint64_t maxEvaluations)
    : absoluteAccuracy(absoluteAccuracy), maxEvaluations(maxEvaluations) {}

bool Integrator::succeeded() const {
    return evaluations <= maxEvaluations && absoluteError <= absoluteAccuracy;
}

double Integrator::operator()(const Integrand& f, double a, double b) {
    evaluations = 0;
    if (a == b) return 0.0;
    if (b > a) return integrateInterval(f, a, b);
    return -integrateInterval(f, b, a);
}
