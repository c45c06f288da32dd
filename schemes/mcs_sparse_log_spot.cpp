// Scheme 14: the Modified Craig-Sneyd splitting of scheme 13 after a damped start of fully
// implicit Euler sub-steps of the whole operator, each a sparse LU solve. The sparse matrix is
// read off the splitting's own operator, so the damped start and the splitting steps solve one
// equation with one variance law; the line factors are built once, with weight 1/3 and the full
// step.

#include "model/option_objects.h"
#include "model/variance_law.h"
#include "schemes/adi_operator_matrix.h"
#include "schemes/log_spot_adi_operator.h"
#include "schemes/log_spot_splitting.h"
#include "schemes/scheme_frame.h"

#include <memory>

bool OrvHestonVanilla::calcGARCHNUDirectNonNegMCSSparseLogS(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    const VarianceLaw law = VarianceLaw::spotPowerSplitting(varianceModelOf(*this));
    SchemeFrame frame(*this,
                      logSpotFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch, law));
    const SpotAdiSettings settings = logSpotOperatorSettings(law, MixedStencil::SevenPoint);
    LogSpotAdiOperator op(frame, settings);
    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);

    LogSpotStepping stepping;
    stepping.splitting = Splitting::ModifiedCraigSneyd;
    stepping.law = law;
    std::unique_ptr<SparseImplicitEuler> euler;  // built only for a damped start
    stepping.dampedStep = [&](RowMatrix& X, const TimeStep& step, double lower, double df) {
        if (!euler) {
            euler = std::make_unique<SparseImplicitEuler>(op, settings.extrapolateZeroRow);
            euler->factor(step.dt);
        }
        euler->step(X, lower, df);
    };
    stepLogSpotSplitting(frame, op, U, stepping);

    frame.readOut([&U](int i, int j) { return U.data[j + 1][i]; });
    frame.reportTime(cpuTime);
    if (multiStrike) {
        frame.finishMultiStrike(outputs);
        strikeVectorDerivatives(*this, outputs, true);
    } else {
        frame.finishSingle(outputs, SpotGreeks::LogSpotNodes);
    }
    for (int i = 0; i < frame.n; ++i)
        outputs[0][i] = frame.spotOf(i);
    return true;
}
