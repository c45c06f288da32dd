// Schemes 2, 4, 6 and 8: Hundsdorfer-Verwer splitting with weight 1 - sqrt(2)/2 on the clustered
// spot grid, one tridiagonal solve per grid line, with an optional damped start of implicit
// (Douglas, weight 1) half steps.

#include "model/option_objects.h"
#include "model/variance_law.h"
#include "schemes/adi_stages.h"
#include "schemes/early_exercise.h"
#include "schemes/scheme_frame.h"
#include "schemes/spot_adi_operator.h"

#include <cmath>

namespace {

// Steps U from expiry to today with the Hundsdorfer-Verwer stages; the damped start takes their
// first pair of line stages alone. zeroVolatilityRow: the v = 0 row is set before every step.
void stepHundsdorferVerwer(const SchemeFrame& frame, SpotAdiOperator& op, RowMatrix& U,
                           bool zeroVolatilityRow)
{
    HundsdorferVerwer<SpotAdiOperator> hv(op);
    for (const TimeStep& step : frame.timeSteps(1.0 - std::sqrt(2.0) * 0.5)) {
        if (step.phaseStart)
            op.factor(step.theta, step.dt);
        if (zeroVolatilityRow)
            setZeroVolatilityRow(frame, op, U, step.tauNew);
        StepBoundary b;
        b.dfOld = frame.slopeFactor(step.tauOld);
        b.dfNew = frame.slopeFactor(step.tauNew);
        b.zeroNew = frame.spotZeroValue(step.tauNew);
        hv.step(U, step.dt, b, step.damping);
        if (frame.option.american)
            exerciseTable(frame, U);
    }
}

void readSolution(SchemeFrame& frame, const RowMatrix& U)
{
    frame.readOut([&U](int i, int j) { return U.data[j + 1][i]; });
}

}  // namespace

bool OrvHestonVanilla::calcGARCHNUDirectNonNegSqrtTheta(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    const VarianceLaw law = VarianceLaw::squareRootGarchOrSplitting(varianceModelOf(*this));
    SchemeFrameSettings fs = routineFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch);
    fs.volatilityCoordinate = law.volatilityCoordinate;
    SchemeFrame frame(*this, fs);

    SpotAdiSettings settings;
    settings.law = law;
    settings.mixed = MixedStencil::NinePoint;
    settings.zeroRow = ZeroVarianceRow::RecomputeAfterSolve;
    settings.extrapolateZeroRow = law.degenerateAtZero();
    SpotAdiOperator op(frame, settings);

    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);
    stepHundsdorferVerwer(frame, op, U, law.zeroVolatilityRow());

    readSolution(frame, U);
    frame.reportTime(cpuTime);
    frame.finishSingle(outputs, SpotGreeks::SpotNodes);
    return true;
}

bool OrvHestonVanilla::calcGARCHNUDirectNonNegSqrtThetaPow(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    const VarianceLaw law = VarianceLaw::spotPowerSplitting(varianceModelOf(*this));
    // Codes 2 and 4 have neither drift nor diffusion at the bottom of the grid: that row is
    // extrapolated from the three above it.
    const bool extrapolate = modelCode == 2 || modelCode == 4;

    SchemeFrameSettings fs = routineFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch);
    fs.volatilityCoordinate = law.volatilityCoordinate;
    SchemeFrame frame(*this, fs);

    SpotAdiSettings settings;
    settings.law = law;
    settings.mixed = MixedStencil::SevenPoint;
    settings.zeroRow = ZeroVarianceRow::ExactElimination;
    settings.extrapolateZeroRow = extrapolate;
    SpotAdiOperator op(frame, settings);

    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);

    stepHundsdorferVerwer(frame, op, U, modelCode == 4);

    readSolution(frame, U);
    frame.reportTime(cpuTime);
    if (multiStrike)
        frame.finishMultiStrike(outputs);
    else
        frame.finishSingle(outputs, SpotGreeks::None);
    return true;
}
