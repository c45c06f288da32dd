#include "calibration/grid_refinement.h"

#include <cmath>

namespace {

// Speed mode refines only where the coarse grids are known to go wrong: always for the GARCH and
// power-law models, for ORV-X1 once its first parameter is large, for XGBM vol once the product of
// its two volatilities is; never for Heston and I-Ga vol.
bool refinementApplies(const CalibrationSettings& s, const double* p)
{
    if (s.accurateMode > 0) return true;
    switch (s.modelCode) {
    case 1:
    case 2: return true;
    case 4: return p[0] > 0.25;
    case 6: return p[0] * p[1] > 0.25;
    default: return false;
    }
}

}  // namespace

bool gridRefinementCheck(CalibrationSettings& s, const double* p, int k)
{
    if (!refinementApplies(s, p)) return false;
    const bool volatilityModel = s.modelCode > 4;
    // The variance-grid thresholds are on a variance: the volatility models square theirs.
    const double a = volatilityModel ? p[0] * p[0] : p[0];
    // The spot-grid rows on the second parameter and on rho wait for the search to settle.
    const bool settled = k > 3;
    bool raised = false;
    auto raise = [&raised](std::int32_t& level, std::int32_t to) {
        level = to;
        raised = true;
    };

    if (a > 0.1 && s.NvLevel == 0) raise(s.NvLevel, 1);
    if (a > 0.18 && s.NvLevel == 1) raise(s.NvLevel, 2);
    if (a > 0.3 && s.NvLevel < 3) raise(s.NvLevel, 3);
    if (a > 0.5 && s.NvLevel < 4) raise(s.NvLevel, 4);
    if (p[2] < 1.0 && s.NSLevel == 0) raise(s.NSLevel, 1);
    if (!volatilityModel) {
        if (p[1] > 0.25 && s.NSLevel < 2 && settled) raise(s.NSLevel, 2);
        if (p[1] > 0.8 && s.NSLevel < 3 && settled) raise(s.NSLevel, 3);
    } else if (s.modelCode <= 6) {
        if (std::sqrt(p[0] * p[1]) > 0.3 && s.NSLevel == 0 && settled) raise(s.NSLevel, 1);
    }
    if (p[4] < -0.95 && s.rhoLevel == 0 && settled) raise(s.rhoLevel, 1);
    return raised;
}

LevmarIterationHook gridRefinementHook(CalibrationSettings& settings)
{
    auto callback = [](const double* p, int m, int k, void* context) {
        // The rule reads five parameters; a smaller problem is none of its business.
        return m >= 5 && gridRefinementCheck(*static_cast<CalibrationSettings*>(context), p, k);
    };
    return LevmarIterationHook{callback, &settings};
}
