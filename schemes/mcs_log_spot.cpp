// Scheme 13: Modified Craig-Sneyd splitting with weight 1/3 on the log-spot grid, on the operator
// of scheme 12 (seven-point anti-diagonal mixed stencil, the main road's power laws in every
// stage); strike vectors read out with the running nearby minimum.

#include "model/option_objects.h"
#include "model/variance_law.h"
#include "schemes/log_spot_adi_operator.h"
#include "schemes/log_spot_splitting.h"
#include "schemes/scheme_frame.h"

bool OrvHestonVanilla::calcGARCHNUDirectNonNegMCSLogS(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    const VarianceLaw law = VarianceLaw::spotPowerSplitting(varianceModelOf(*this));
    SchemeFrame frame(*this,
                      logSpotFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch, law));
    LogSpotAdiOperator op(frame, logSpotOperatorSettings(law, MixedStencil::SevenPoint));
    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);
    LogSpotStepping stepping;
    stepping.splitting = Splitting::ModifiedCraigSneyd;
    stepping.law = law;
    stepLogSpotSplitting(frame, op, U, stepping);

    frame.readOut([&U](int i, int j) { return U.data[j + 1][i]; });
    frame.reportTime(cpuTime);
    if (multiStrike) {
        frame.finishMultiStrike(outputs);
        strikeVectorDerivatives(*this, outputs, false);
    } else {
        frame.finishSingle(outputs, SpotGreeks::SpotNodes);  // derivatives in the log-spot
    }
    return true;
}
