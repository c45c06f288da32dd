// Scheme 14: the Modified Craig-Sneyd splitting of scheme 13 after a damped start of fully
// implicit Euler sub-steps of the whole operator, each a sparse LU solve. The sparse matrix is
// read off the splitting's own operator, so the damped start and the splitting steps solve one
// equation with one variance law; the line factors are built once, with weight 1/3 and the full
// step.

#include "model/option_objects.h"
#include "schemes/adi_operator_matrix.h"
#include "schemes/log_spot_splitting.h"

#include <memory>

bool OrvHestonVanilla::calcGARCHNUDirectNonNegMCSSparseLogS(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    LogSpotSolve solve(*this, MixedStencil::SevenPoint, widenSGrid, widenVmax, sGridParam,
                       vGridStretch);
    LogSpotStepping stepping;
    stepping.splitting = Splitting::ModifiedCraigSneyd;
    std::unique_ptr<SparseImplicitEuler> euler;  // built only for a damped start
    stepping.dampedStep = [&](RowMatrix& X, const TimeStep& step, double lower, double df) {
        if (!euler) {
            euler = std::make_unique<SparseImplicitEuler>(solve.op,
                                                          solve.settings.extrapolateZeroRow);
            euler->factor(step.dt);
        }
        euler->step(X, lower, df);
    };
    solve.run(stepping, cpuTime);

    SchemeFrame& frame = solve.frame;
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
