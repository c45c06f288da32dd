#include "schemes/log_spot_splitting.h"

#include "schemes/adi_stages.h"
#include "schemes/early_exercise.h"

#include "numerics/restore_on_exit.h"

#include <cmath>

SchemeFrameSettings logSpotFrameSettings(bool widenSGrid, bool widenVmax, double sGridParam,
                                         double vGridStretch, const VarianceLaw& law)
{
    SchemeFrameSettings s = routineFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch);
    s.logSpot = true;
    s.volatilityCoordinate = law.volatilityCoordinate;
    return s;
}

SpotAdiSettings logSpotOperatorSettings(const VarianceLaw& law, MixedStencil mixed)
{
    SpotAdiSettings s;
    s.law = law;
    s.mixed = mixed;
    // The far one-sided weight of the v = 0 row is eliminated before factoring rather than left
    // out of the solve and made good afterwards: where the drift dominates that row (the Feller
    // condition fails) the afterthought costs the Modified Craig-Sneyd steps a large time error.
    s.zeroRow = ZeroVarianceRow::ExactElimination;
    s.extrapolateZeroRow = law.degenerateAtZero();
    return s;
}

void stepLogSpotSplitting(const SchemeFrame& frame, SpotAdiOperator& op, RowMatrix& U,
                          const LogSpotStepping& stepping)
{
    const VarianceLaw& law = stepping.law;
    const bool zeroVolatilityRow = law.zeroVolatilityRow();
    const bool hv = stepping.splitting == Splitting::HundsdorferVerwer;
    const double theta = hv ? 1.0 - std::sqrt(2.0) * 0.5 : 1.0 / 3.0;

    // The lowest column moves implicitly through the spot stages in both splittings.
    ModifiedCraigSneyd<SpotAdiOperator> mcs(op);
    HundsdorferVerwer<SpotAdiOperator> hvStages(op, true);
    for (const TimeStep& step : frame.timeSteps(theta)) {
        const bool ownDampedStep = step.damping && stepping.dampedStep;
        if (step.phaseStart && !ownDampedStep)
            op.factor(step.theta, step.dt);
        if (zeroVolatilityRow)
            setZeroVolatilityRow(frame, op, U, step.tauNew);
        StepBoundary b;
        b.dfOld = frame.slopeFactor(step.tauOld);
        b.dfNew = frame.slopeFactor(step.tauNew);
        b.zeroOld = logSpotLowerValue(frame, step.tauOld, stepping.zeroLowerWhenPayoffZero);
        b.zeroNew = logSpotLowerValue(frame, step.tauNew, stepping.zeroLowerWhenPayoffZero);
        if (ownDampedStep)
            stepping.dampedStep(U, step, b.zeroNew, b.dfNew);
        else if (step.damping)
            mcs.step(U, step.theta, step.dt, b, true);
        else if (hv)
            hvStages.step(U, step.dt, b);
        else
            mcs.step(U, step.theta, step.dt, b, false);
        if (frame.option.american)
            exerciseTable(frame, U);
    }
}

LogSpotSolve::LogSpotSolve(OrvHestonVanilla& option, MixedStencil mixed, bool widenSGrid,
                           bool widenVmax, double sGridParam, double vGridStretch)
    : law(VarianceLaw::spotPowerSplitting(varianceModelOf(option))),
      frame(option, logSpotFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch, law)),
      settings(logSpotOperatorSettings(law, mixed)), op(frame, settings), U(op.makeTable())
{
    op.fillRows(U, frame.u0);
}

void LogSpotSolve::run(LogSpotStepping stepping, double* cpuTime)
{
    stepping.law = law;
    stepLogSpotSplitting(frame, op, U, stepping);
    frame.readOut([this](int i, int j) { return U.data[j + 1][i]; });
    frame.reportTime(cpuTime);
}

void strikeVectorDerivatives(OrvHestonVanilla& option, Array<Array<double>>& outputs, bool inSpot)
{
    if (inSpot) {
        option.spotDerivativesNonUniform(outputs[2], outputs[3]);
        return;
    }
    // The log-spot nodes are not evenly spaced: the three-point rules apply whatever the
    // object's grid flag says.
    const RestoreOnExit<bool> keepFlag(option.nonUniformSGrid);
    option.nonUniformSGrid = true;
    option.spotDerivativesUniform(outputs[2], outputs[3]);
}
