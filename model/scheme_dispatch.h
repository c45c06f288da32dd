#pragma once

// The table through which PricingSchemeDispatch reaches the time-stepping routines, and the
// implied-volatility steps that the dispatcher and the price modes share.

#include "model/option_objects.h"

#include <vector>

// One time-stepping routine: the object, then the routine's own fourteen-argument list minus the
// object (see OrvHestonVanilla::calcGARCHNUDirectNonNeg4Fct).
using SchemeRoutine = bool (*)(OrvHestonVanilla& option, Array<Array<double>>& outputs,
                               double* cpuTime, bool fillOutputs, bool unusedFlag,
                               double unusedValue1, std::vector<double>* unusedA,
                               std::vector<double>* unusedB, double unusedValue2,
                               std::vector<double>* unusedC, bool widenSGrid, bool widenVmax,
                               double sGridParam, double vGridStretch);

// Routine and start-up damping of every scheme number; index 0 is unused.
struct SchemeRoutineTable {
    static constexpr int kSchemeCount = 15;
    SchemeRoutine routine[kSchemeCount + 1];
    bool damped[kSchemeCount + 1];
};

// The member routines of OrvHestonVanilla by scheme number.
const SchemeRoutineTable& memberSchemeRoutines();

// Whether the member routine of a scheme number prices every strike of a multi-strike object (the
// multi-strike read-out into strikePrices): true for 1 to 5, 10 and 12 to 15. The others price
// only the smallest strike.
bool schemeReadsEveryStrike(int schemeNumber);

// Replaces the table the dispatcher uses, process-wide; nullptr restores the member routines.
// Meant for test programs that drive the price modes and robust solves with scripted schemes; the
// table must outlive its use.
void setSchemeRoutineTable(const SchemeRoutineTable* table);

namespace detail {

// Implied volatility of a one-strike price: brentImpliedVol on [1e-15, 2.0] with tolerance 1e-16
// for a price >= 0, 0.0 for a negative one or a NaN. A price the search cannot bracket throws
// "Root must be bracketed in Brent solver" unless zeroOnBracketFailure, which makes it 0.0.
double singleStrikeImpliedVol(const OrvHestonVanilla& option, double price,
                              bool zeroOnBracketFailure);

// strikeIVs from strikePrices, strike by strike: a positive price inside the window
// [-0.02 S, 1.5 K] is inverted (a put when the strike is at or below S), any other price gets 0.0,
// and a price outside the window also sets results[2] to the no-price marker. Strikes without a
// price (a scheme that leaves strikePrices short) get 0.0. A bracketing failure gives that strike
// 0.0 when zeroOnBracketFailure, else it is thrown on.
void strikeImpliedVols(OrvHestonVanilla& option, bool zeroOnBracketFailure);

// An American option is worth at least its exercise value at the spot: a price below
// max(S - K, 0) (a call) or max(K - S, 0) (a put) is raised to it. Any other option's price is
// returned as it is.
double atLeastExerciseValue(const OrvHestonVanilla& option, double price);

// The rule for the ORV-X1 and XGBM vol models: a safe value outside [-0.05 S, 50 S] is no price.
void applyPlausibilityRule(OrvHestonVanilla& option);

}  // namespace detail
