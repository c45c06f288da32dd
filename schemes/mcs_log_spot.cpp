// Scheme 13: Modified Craig-Sneyd splitting with weight 1/3 on the log-spot grid, on the operator
// of scheme 12 (seven-point anti-diagonal mixed stencil, the main road's power laws in every
// stage); strike vectors read out with the running nearby minimum.

#include "model/option_objects.h"
#include "schemes/log_spot_splitting.h"

bool OrvHestonVanilla::calcGARCHNUDirectNonNegMCSLogS(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    LogSpotSolve solve(*this, MixedStencil::SevenPoint, widenSGrid, widenVmax, sGridParam,
                       vGridStretch);
    LogSpotStepping stepping;
    stepping.splitting = Splitting::ModifiedCraigSneyd;
    solve.run(stepping, cpuTime);

    if (multiStrike) {
        solve.frame.finishMultiStrike(outputs);
        strikeVectorDerivatives(*this, outputs, false);
    } else {
        solve.frame.finishSingle(outputs, SpotGreeks::SpotNodes);  // derivatives in the log-spot
    }
    return true;
}
