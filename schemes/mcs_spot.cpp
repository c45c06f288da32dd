// Schemes 3, 5, 7 and 9: Modified Craig-Sneyd splitting with weight 1/3 on the clustered spot grid,
// one tridiagonal solve per grid line, with an optional damped start of implicit (Douglas,
// weight 1) half steps. The two members differ only in their variance law, their treatment of
// the v = 0 row, the top spot condition they honour and their read-out.

#include "model/fd_weights.h"
#include "model/option_objects.h"
#include "model/variance_law.h"
#include "schemes/adi_stages.h"
#include "schemes/early_exercise.h"
#include "schemes/scheme_frame.h"
#include "schemes/spot_adi_operator.h"

#include <omp.h>


namespace {

const double kMcsTheta = 1.0 / 3.0;
// The thread count the power-law member sets for the caller's later parallel regions.
const int kMcsPowThreads = 8;

using Mcs = ModifiedCraigSneyd<SpotAdiOperator>;

struct McsMember {
    VarianceLaw law;
    ZeroVarianceRow zeroRow = ZeroVarianceRow::ExactElimination;
    bool extrapolateZeroRow = false;  // v = 0 row taken from the three rows above it
    bool zeroVolatilityRow = false;   // v = 0 row holds the discounted intrinsic value
    bool linearityTop = false;        // honours the object's linearity condition at the top
    bool strikeVector = false;        // multi-strike read-out for strike-vector objects
};

// The linearity condition at the top spot node for the explicit predictor: the ghost value makes
// the second difference there zero, and the spot drift is taken with that ghost; the operator
// itself applies the slope condition, so the difference of the two is added.
Mcs::PredictorCorrection linearityTop(const SchemeFrame& frame, const VarianceLaw& law, double mu)
{
    const int n = frame.n;
    const int top = n - 1;
    const int Nv = frame.Nv;
    const double St = frame.S[top];
    const double ghostStep = frame.dS[n];
    const StencilWeights first = centralFirstDerivative(frame.dS[top], ghostStep);
    const StencilWeights second = centralSecondDerivative(frame.dS[top], ghostStep);
    Array<double> w(static_cast<std::size_t>(Nv));
    for (int j = 0; j < Nv; ++j)
        w[j] = law.spotVariance(frame.V[j]);
    return [=](const RowMatrix& X, double df, double scale, RowMatrix& Y) {
        for (int j = 0; j < Nv; ++j) {
            const double below = X.data[j + 1][top - 1];
            const double node = X.data[j + 1][top];
            const double ghost = -(second.diag * node + second.lower * below) / second.upper;
            const double linear =
                mu * St * (first.lower * below + first.diag * node + first.upper * ghost);
            const double slope = w[j] * 0.5 * St * St *
                                     (second.lower * below + second.diag * node +
                                      second.upper * (node + df * ghostStep)) +
                                 mu * St * df;
            Y.data[j + 1][top] += scale * (linear - slope);
        }
    };
}

// Early exercise after a completed step: every variance row projected onto the payoff.
void projectLevel(const SchemeFrame& frame, const OrvHestonVanilla& option, RowMatrix& U)
{
    const bool put = option.callPut == 1;
    for (int j = 0; j <= frame.Nv; ++j)
        projectOntoPayoff(frame.S, frame.n, option.payoff, option.K, put, U.data[j + 1]);
}

void solveMcs(OrvHestonVanilla& option, const McsMember& member, Array<Array<double>>& outputs,
              double* cpuTime, bool widenSGrid, bool widenVmax, double sGridParam,
              double vGridStretch)
{
    SchemeFrameSettings fs = routineFrameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch);
    fs.volatilityCoordinate = member.law.volatilityCoordinate;
    SchemeFrame frame(option, fs);

    SpotAdiSettings settings;
    settings.law = member.law;
    settings.mixed = MixedStencil::NinePoint;
    settings.zeroRow = member.zeroRow;
    settings.extrapolateZeroRow = member.extrapolateZeroRow;
    SpotAdiOperator op(frame, settings);

    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);

    const double mu = option.r - option.d;
    Mcs mcs(op);
    if (member.linearityTop && option.boundaryMode == 2)
        mcs.setPredictorCorrection(linearityTop(frame, member.law, mu));

    for (const TimeStep& step : frame.timeSteps(kMcsTheta)) {
        if (step.phaseStart)
            op.factor(step.theta, step.dt);
        if (member.zeroVolatilityRow)
            setZeroVolatilityRow(frame, op, U, step.tauNew);
        StepBoundary b;
        b.dfOld = frame.slopeFactor(step.tauOld);
        b.dfNew = frame.slopeFactor(step.tauNew);
        b.zeroOld = U.data[1][0];
        b.zeroNew = frame.spotZeroValue(step.tauNew);
        mcs.step(U, step.theta, step.dt, b, step.damping);
        if (option.american)
            projectLevel(frame, option, U);
    }

    frame.readOut([&U](int i, int j) { return U.data[j + 1][i]; });
    frame.reportTime(cpuTime);
    if (member.strikeVector && option.multiStrike)
        frame.finishMultiStrike(outputs);
    else
        frame.finishSingle(outputs, SpotGreeks::SpotNodes);
}

}  // namespace

bool OrvHestonVanilla::calcGARCHNUDirectNonNegMCS(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    // The v = 0 row is eliminated exactly here too: redoing node 0 after the solve leaves its
    // far one-sided weight lagged, which is stiff on fine variance grids (tens of basis points
    // at 30 steps when 2 kappa vL < xi^2).
    McsMember member;
    member.law = VarianceLaw::squareRootGarchOrSplitting(varianceModelOf(*this));
    member.zeroRow = ZeroVarianceRow::ExactElimination;
    member.extrapolateZeroRow = member.law.degenerateAtZero();
    member.zeroVolatilityRow = member.law.zeroVolatilityRow();
    member.linearityTop = true;
    solveMcs(*this, member, outputs, cpuTime, widenSGrid, widenVmax, sGridParam, vGridStretch);
    return true;
}

bool OrvHestonVanilla::calcGARCHNUDirectNonNegMCSPow(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    omp_set_num_threads(kMcsPowThreads);

    // The power law of the main-road splitting scheme for every model code, in the explicit
    // operator and the line matrices alike.
    McsMember member;
    member.law = VarianceLaw::spotPowerSplitting(varianceModelOf(*this));
    member.zeroRow = ZeroVarianceRow::ExactElimination;
    member.extrapolateZeroRow = member.law.degenerateAtZero();
    member.zeroVolatilityRow = member.law.zeroVolatilityRow();
    member.strikeVector = true;
    solveMcs(*this, member, outputs, cpuTime, widenSGrid, widenVmax, sGridParam, vGridStretch);
    return true;
}
