// Scheme 10: the Hundsdorfer-Verwer splitting of schemes 2 and 4 on the clustered spot grid, but
// with a damped start of implicit Euler sub-steps of the whole operator, mixed term included,
// solved by sparse LU. The sparse matrix is read off the splitting operator (seven-point stencil)
// and the values it leaves out (the S = 0 column, the ghost beyond the top spot node) enter its
// right-hand side through that operator, so the two phases step the same discrete equation.

#include "model/option_objects.h"
#include "model/variance_law.h"
#include "numerics/numerical_error.h"
#include "schemes/adi_operator_matrix.h"
#include "schemes/adi_stages.h"
#include "schemes/early_exercise.h"
#include "schemes/scheme_frame.h"
#include "schemes/spot_adi_operator.h"

#include <cmath>
#include <memory>
#include <vector>

bool OrvHestonVanilla::calcGARCHNUDirectNonNegSqrtThetaSparse(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    // This scheme knows the square-root and the GARCH variance only; the other models would get
    // one law in the sparse matrix and another in the line matrices.
    if (modelCode != 0 && modelCode != 1)
        throw NumericalError(
            "The sparse spot-grid scheme prices the square-root and GARCH variance laws only");
    const VarianceLaw law = VarianceLaw::squareRootOrGarch(varianceModelOf(*this));

    SchemeFrame frame(*this, routineFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch));

    SpotAdiSettings settings;
    settings.law = law;
    settings.mixed = MixedStencil::SevenPoint;
    settings.zeroRow = ZeroVarianceRow::ExactElimination;
    SpotAdiOperator op(frame, settings);

    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);

    const std::vector<TimeStep> steps = frame.timeSteps(1.0 - std::sqrt(2.0) * 0.5);
    std::unique_ptr<SparseImplicitEuler> damped;
    if (dampingFlag) {
        damped = std::make_unique<SparseImplicitEuler>(op, settings.extrapolateZeroRow);
        damped->factor(frame.dt / dampingSubsteps);
    }
    HundsdorferVerwer<SpotAdiOperator> hv(op);
    for (const TimeStep& step : steps) {
        StepBoundary b;
        b.dfOld = frame.slopeFactor(step.tauOld);
        b.dfNew = frame.slopeFactor(step.tauNew);
        b.zeroOld = U.data[1][0];
        b.zeroNew = frame.spotZeroValue(step.tauNew);
        if (step.damping) {
            damped->step(U, b.zeroNew, b.dfNew);
        } else {
            if (step.phaseStart)
                op.factor(step.theta, step.dt);
            hv.step(U, step.dt, b);
        }
        if (american)
            exerciseTable(frame, U);
    }

    frame.readOut([&U](int i, int j) { return U.data[j + 1][i]; });
    frame.reportTime(cpuTime);
    if (multiStrike)
        frame.finishMultiStrike(outputs);
    else
        frame.finishSingle(outputs, SpotGreeks::SpotNodes);
    return true;
}
