// Schemes 2, 4, 6 and 8: Hundsdorfer-Verwer splitting with weight 1 - sqrt(2)/2 on the clustered
// spot grid, one tridiagonal solve per grid line, with an optional damped start of implicit
// (Douglas, weight 1) half steps.

#include "model/option_objects.h"
#include "model/variance_law.h"
#include "schemes/scheme_frame.h"
#include "schemes/spot_adi_operator.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

using StartOfStep = std::function<void(RowMatrix& U, double tau)>;

// Y = 0.5 (A + B) over the whole table.
void average(const RowMatrix& A, const RowMatrix& B, RowMatrix& Y)
{
    const std::size_t count = static_cast<std::size_t>(Y.rows) * static_cast<std::size_t>(Y.cols);
    const double* a = A.data[0];
    const double* b = B.data[0];
    double* y = Y.data[0];
    for (std::size_t k = 0; k < count; ++k)
        y[k] = 0.5 * (a[k] + b[k]);
}

// Steps U from expiry to today. Each step: explicit predictor, one implicit line stage per
// direction; outside the damped start a corrector with the same two line stages follows.
void stepHundsdorferVerwer(const SchemeFrame& frame, SpotAdiOperator& op, RowMatrix& U,
                           const StartOfStep& startOfStep)
{
    const double theta = 1.0 - std::sqrt(2.0) * 0.5;
    RowMatrix Y = op.makeTable();
    RowMatrix Y0 = op.makeTable();
    RowMatrix Yt = op.makeTable();
    for (const TimeStep& step : frame.timeSteps(theta)) {
        if (step.phaseStart)
            op.factor(step.theta, step.dt);
        const double dfOld = frame.slopeFactor(step.tauOld);
        const double dfNew = frame.slopeFactor(step.tauNew);
        const double lower = frame.spotZeroValue(step.tauNew);
        if (startOfStep)
            startOfStep(U, step.tauNew);

        Y = U;
        op.addOperator(SpotAdiOperator::Part::All, U, dfOld, step.dt, Y);
        op.setSpotZero(Y, lower);
        op.closeTable(Y, dfNew);
        if (!step.damping)
            Y0 = Y;
        op.solveSpotLines(Y, U, dfNew - dfOld);
        op.solveVarianceLines(Y, U);
        if (step.damping) {
            op.closeTable(Y, dfNew);
            U = Y;
            continue;
        }

        Yt = Y;
        average(U, Y0, Y);
        op.addOperator(SpotAdiOperator::Part::All, Yt, dfNew, 0.5 * step.dt, Y);
        op.setSpotZero(Y, lower);
        op.closeTable(Y, dfNew);
        op.solveSpotLines(Y, Yt, 0.0);
        op.solveVarianceLines(Y, Yt);
        op.closeTable(Y, dfNew);
        U = Y;
    }
}

void readSolution(SchemeFrame& frame, const RowMatrix& U)
{
    frame.readOut([&U](int i, int j) { return U.data[j + 1][i]; });
}

SchemeFrameSettings frameSettings(bool widenSGrid, bool widenVmax, double sGridParam,
                                  double vGridStretch)
{
    SchemeFrameSettings s;
    s.widenSGrid = widenSGrid;
    s.widenVmax = widenVmax;
    s.sGridParam = sGridParam;
    s.vGridStretch = vGridStretch;
    return s;
}

}  // namespace

bool OrvHestonVanilla::calcGARCHNUDirectNonNegSqrtTheta(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    SchemeFrame frame(*this, frameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch));

    SpotAdiSettings settings;
    settings.law = VarianceLaw::squareRootOrGarch(varianceModelOf(*this));
    settings.mixed = MixedStencil::NinePoint;
    settings.zeroRow = ZeroVarianceRow::RecomputeAfterSolve;
    SpotAdiOperator op(frame, settings);

    RowMatrix U = op.makeTable();
    op.fillRows(U, frame.u0);
    stepHundsdorferVerwer(frame, op, U, nullptr);

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

    SchemeFrameSettings fs = frameSettings(widenSGrid, widenVmax, sGridParam, vGridStretch);
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

    StartOfStep startOfStep;
    if (modelCode == 4) {
        // At zero volatility the option is worth its discounted intrinsic value on the forward.
        const double mu = r - d;
        startOfStep = [this, &frame, &op, mu](RowMatrix& X, double tau) {
            const double growth = std::exp(mu * tau);
            const double discount = std::exp(-r * tau);
            op.setZeroVarianceRow(X, [&](int i) {
                const double forward = frame.S[i] * growth;
                const double intrinsic =
                    callPut == 1 ? std::max(K - forward, 0.0) : std::max(forward - K, 0.0);
                return intrinsic * discount;
            });
        };
    }
    stepHundsdorferVerwer(frame, op, U, startOfStep);

    readSolution(frame, U);
    frame.reportTime(cpuTime);
    if (multiStrike)
        frame.finishMultiStrike(outputs);
    else
        frame.finishSingle(outputs, SpotGreeks::None);
    return true;
}
