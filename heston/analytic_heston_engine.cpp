#include "heston/analytic_heston_engine.h"

#include <limits>

#include "heston/integration.h"

namespace {
// The largest single-precision float stands for "no absolute accuracy asked for".
const double noAbsoluteAccuracy = std::numeric_limits<float>::max();
}  // namespace

AnalyticHestonEngine createGaussLobatto(double relAccuracy, std::uint64_t maxEvaluations) {
    AnalyticHestonEngine engine;
    engine.evaluations = 0;
    engine.integration = std::make_shared<AnalyticHestonEngine::Integration>(
        relAccuracy, noAbsoluteAccuracy, maxEvaluations);
    return engine;
}
