#include "model/option_objects.h"
#include "model/scheme_dispatch.h"

#include "numerics/numerical_error.h"
#include "numerics/restore_on_exit.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <vector>

bool writeConvLog = false;

namespace {

constexpr int kOutputCount = 5;
constexpr double kTimeSplitDivisor = 2.2;

// One solve through the dispatcher with the argument list every price mode uses.
void dispatchOnce(OrvHestonVanilla& option, Array<Array<double>>& outs, double* cpuTime)
{
    std::vector<double> unusedA;
    std::vector<double> unusedB;
    std::vector<double> unusedC;
    option.PricingSchemeDispatch(outs, cpuTime, true, true, 0.0, &unusedA, &unusedB, 0.0,
                                 &unusedC, false, false, false);
}

bool isPrice(double value) { return value > noPriceMarker; }

}  // namespace

void OrvHestonVanilla::calcPrice(Array<double>& out0, Array<double>& out1, Array<double>& out2,
                                 Array<double>& out3, Array<double>& out4, double* cpuTime)
{
    Array<Array<double>> outs(kOutputCount);
    computeIVs = (*cpuTime < 0.0);

    if (priceMode == 5) {
        calcGridRichardson(outs, cpuTime);
    } else if (priceMode == 4) {
        // The pairs run on NT1 and NT2 steps, but the object keeps the count it was given, on
        // failure too: a later solve of it (a bumped maturity or volatility, a retry) then splits
        // the same count again instead of solving on NT2 steps a different time discretisation.
        const RestoreOnExit<int> keepSteps(NT);
        const int NT1 = static_cast<int>(NT / kTimeSplitDivisor);
        if (NT1 < 1) {
            throw NumericalError("Richardson extrapolation in time needs at least 3 time steps");
        }
        const int NT2 = NT - NT1;
        const double ratio = static_cast<double>(NT2) / static_cast<double>(NT1);
        int order = (schemeNumber == 1 || schemeNumber == 15) ? 3 : 2;
        if (american) {
            order = 1;
        }
        const double R = std::pow(ratio, order);
        const double c1 = 1.0 / (R - 1.0);
        const double c2 = R / (R - 1.0);

        const int savedNv = Nv;
        Array<Array<double>> outs1(kOutputCount);

        NT = NT1;
        calcGridRichardson(outs1, cpuTime);
        const double P1 = results[2];
        const double t1 = *cpuTime;

        NT = NT2;
        Nv = savedNv;
        NS = NSOriginal;
        sStretchCentre = 0.0;
        sStretch = 0.0;
        vCentreFraction = 0.0;
        vStretch = 0.0;
        iToV0 = 0;
        vUpperIntervals = 0;
        // The strike index of the first pair is that of its fine grid; a builder that keeps a
        // preset index would lay the second pair's grid with the fine step.
        iToK = 0;
        sGridReady = false;

        calcGridRichardson(outs, cpuTime);
        *cpuTime = t1 + *cpuTime;
        const double P2 = results[2];

        if (isPrice(P1) && isPrice(P2)) {
            // Extrapolation can carry an American price below its exercise value.
            results[2] = detail::atLeastExerciseValue(*this, c2 * results[2] - c1 * P1);
            results[4] = results[2];
            if (computeIVs) {
                results[4] = detail::singleStrikeImpliedVol(*this, results[4], true);
            }
            for (int k = 1; k < kOutputCount; ++k) {
                const std::size_t n = std::min({static_cast<std::size_t>(NS) + 1,
                                                outs[k].size(), outs1[k].size()});
                for (std::size_t j = 0; j < n; ++j) {
                    outs[k][j] = c2 * outs[k][j] - c1 * outs1[k][j];
                }
            }
        } else {
            // Combining a failed pair with a good one gives c2 times the good price (about three
            // times the true one) or worse: keep the failure visible instead. A negative safe
            // value is kept so that the caller can still react to the instability.
            double safe = noPriceMarker;
            if (P1 < 0.0 || P2 < 0.0) {
                safe = std::min(P1 < 0.0 ? P1 : 0.0, P2 < 0.0 ? P2 : 0.0);
            }
            results[2] = safe;
            results[4] = computeIVs ? 0.0 : safe;
        }
    } else {
        dispatchOnce(*this, outs, cpuTime);
    }

    out0 = outs[0];
    out1 = outs[1];
    out2 = outs[2];
    out3 = outs[3];
    out4 = outs[4];
}

void OrvHestonVanilla::calcGridRichardson(Array<Array<double>>& outs, double* cpuTime)
{
    const int savedPriceMode = priceMode;
    const int savedNv = Nv;
    const int savedNS = NS;
    const Array<double> savedResults = results;
    const bool traceOn = writeConvLog;
    priceMode = 3;
    // Grid caches of the coarse solve, restored when the fine solve is over (or failed).
    bool refining = false;
    int coarseIToK = 0;
    int coarseIToV0 = 0;
    int coarseVUpperIntervals = 0;

    try {
        dispatchOnce(*this, outs, cpuTime);
        const double tc = *cpuTime;
        const double Pc = results[2];
        const Array<double> coarseStrikePrices = strikePrices;
        const bool refined = Pc > noPriceMarker;

        if (refined) {
            coarseIToK = iToK;
            coarseIToV0 = iToV0;
            coarseVUpperIntervals = vUpperIntervals;
            refining = true;

            NS = 2 * NSOriginal;
            iToK = 2 * iToK;
            Nv = 2 * savedNv;
            iToV0 = 2 * iToV0;
            vUpperIntervals = 2 * vUpperIntervals;
            sGridReady = false;

            results = savedResults;
            const std::size_t count = static_cast<std::size_t>(std::max(nSNodes, 0));

            Array<Array<double>> fineOuts(kOutputCount);
            dispatchOnce(*this, fineOuts, cpuTime);
            const double Pf = results[2];
            const Array<double> fineStrikePrices = strikePrices;

            NS = NS / 2;
            *cpuTime = tc + *cpuTime;

            for (int k = 1; k < kOutputCount; ++k) {
                std::size_t n = std::min(count, outs[k].size());
                n = std::min(n, (fineOuts[k].size() + 1) / 2);
                for (std::size_t j = 0; j < n; ++j) {
                    outs[k][j] = fineOuts[k][2 * j] * 4.0 / 3.0 - outs[k][j] / 3.0;
                }
            }

            const double P =
                Pf > 0.0 ? detail::atLeastExerciseValue(*this, Pf * 4.0 / 3.0 - Pc / 3.0) : Pf;
            results[2] = P;
            results[4] = P;

            if (multiStrike) {
                Array<double> extrapolated(0.0, strikes.size());
                for (std::size_t i = 0; i < strikes.size(); ++i) {
                    const double fine = i < fineStrikePrices.size() ? fineStrikePrices[i] : 0.0;
                    const double coarse =
                        i < coarseStrikePrices.size() ? coarseStrikePrices[i] : 0.0;
                    extrapolated[i] = fine > 0.0 ? fine * 4.0 / 3.0 - coarse / 3.0 : fine;
                }
                strikePrices = extrapolated;
                strikeIVs = extrapolated;
            }

            if (traceOn) {
                std::ofstream trace("Conv.txt", std::ios::out | std::ios::app);
                trace.precision(16);
                trace << P << " " << K << " " << T << "NS used: " << NS << "\t"
                      << "Nv used: " << Nv << "\n";
            }

            // Leave the object ready to lay its coarse grids again: a later solve of the same
            // object (a retry) must not take the fine grid, or its caches, for the coarse one.
            iToK = coarseIToK;
            iToV0 = coarseIToV0;
            vUpperIntervals = coarseVUpperIntervals;
            sGridReady = false;
            refining = false;
        }

        Nv = savedNv;
        priceMode = savedPriceMode;

        detail::applyPlausibilityRule(*this);

        if (computeIVs) {
            if (multiStrike) {
                detail::strikeImpliedVols(*this, false);
            } else if (refined) {
                results[4] = detail::singleStrikeImpliedVol(*this, results[4], false);
            }
        }
    } catch (const std::exception&) {
        strikeIVs = Array<double>(0.0, strikes.size());
        results[2] = noPriceMarker;
        // Sizes and mode as on entry, so that a retry starts from the grids it asked for.
        priceMode = savedPriceMode;
        Nv = savedNv;
        NS = savedNS;
        if (refining) {
            iToK = coarseIToK;
            iToV0 = coarseIToV0;
            vUpperIntervals = coarseVUpperIntervals;
            sGridReady = false;
        }
    }
}
