// Schemes 11 and 12: Hundsdorfer-Verwer splitting with weight 1 - sqrt(2)/2 on the log-spot grid,
// one tridiagonal solve per grid line. Scheme 11 takes the mixed derivative on the nine-point
// product stencil, scheme 12 on the seven-point anti-diagonal stencil and serves strike vectors.
// Both price every model code by the variance laws of the main-road spot scheme (square-root for
// code 0, the power law of `varianceExponent` otherwise, the volatility coordinate for codes 3
// and 4), in their explicit operators and implicit matrices alike, so that they price the model
// the calibration fits.

#include "model/option_objects.h"
#include "schemes/log_spot_splitting.h"
#include "schemes/scheme_frame.h"

#include <cmath>

namespace {

const double kNearSpot = 0.05;
const double kNegligible = -1e-15;

// Scheme 12's strike-vector read-out. Each strike's nearby negative values are searched on the
// nodes of the final table around its scaled spot; a strike that ends at or below zero after
// scaling and parity reports -1.
void finishStrikeVector(SchemeFrame& frame, const RowMatrix& U, Array<Array<double>>& outputs)
{
    OrvHestonVanilla& o = frame.option;
    const std::vector<double>& strikes = o.strikes;
    double reported = 0.0;
    double first = 0.0;
    for (std::size_t m = 0; m < strikes.size(); ++m) {
        const double scaled = o.S * o.K / strikes[m];
        const double raw = frame.interpAtSpot(scaled, o.v0);
        if (m == 0)
            first = raw;
        double minNeg = 0.0;
        for (int i = 0; i < frame.n; ++i) {
            if (!(std::fabs(scaled - frame.spotOf(i)) / scaled < kNearSpot))
                continue;
            for (int j = 0; j <= frame.Nv; ++j)
                if (frame.V[j] > 0.5 * o.v0 && frame.V[j] < 1.5 * o.v0 &&
                    U.data[j + 1][i] < minNeg)
                    minNeg = U.data[j + 1][i];
        }
        const bool dominant = raw == 0.0 || minNeg / raw < negativeValueRatio;
        if (minNeg < kNegligible && dominant && minNeg < reported)
            reported = minNeg;
    }
    if (reported == 0.0)
        reported = first;
    // Scaling and parity as every strike-vector read-out takes them.
    frame.finishMultiStrike(outputs);
    strikeVectorDerivatives(o, outputs, false);
    for (std::size_t m = 0; m < strikes.size(); ++m)
        if (o.strikePrices[m] <= 0.0)
            reported = -1.0;
    o.results[2] = reported;
}

enum class Member { NinePoint, SevenPoint };

void solveSqrtThetaLogSpot(OrvHestonVanilla& o, Member member, Array<Array<double>>& outputs,
                           double* cpuTime, bool widenSGrid, bool widenVmax, double sGridParam,
                           double vGridStretch)
{
    const bool nine = member == Member::NinePoint;
    LogSpotSolve solve(o, nine ? MixedStencil::NinePoint : MixedStencil::SevenPoint, widenSGrid,
                       widenVmax, sGridParam, vGridStretch);
    LogSpotStepping stepping;
    stepping.splitting = Splitting::HundsdorferVerwer;
    stepping.zeroLowerWhenPayoffZero = !nine;
    solve.run(stepping, cpuTime);

    SchemeFrame& frame = solve.frame;
    if (nine) {
        frame.finishSingle(outputs, SpotGreeks::LogSpotNodes);
        for (int i = 0; i < frame.n; ++i)
            outputs[0][i] = frame.spotOf(i);
    } else if (o.multiStrike) {
        finishStrikeVector(frame, solve.U, outputs);
    } else {
        // Derivatives with respect to the log-spot, over the stored nodes.
        frame.finishSingle(outputs, SpotGreeks::SpotNodes);
    }
}

}  // namespace

bool OrvHestonVanilla::calcGARCHNUDirectNonNegSqrtThetaLogS(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    solveSqrtThetaLogSpot(*this, Member::NinePoint, outputs, cpuTime, widenSGrid, widenVmax,
                          sGridParam, vGridStretch);
    return true;
}

bool OrvHestonVanilla::calcGARCHNUDirectNonNegSqrtThetaLogS2(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double sGridParam, double vGridStretch)
{
    solveSqrtThetaLogSpot(*this, Member::SevenPoint, outputs, cpuTime, widenSGrid, widenVmax,
                          sGridParam, vGridStretch);
    return true;
}
