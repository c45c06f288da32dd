#pragma once

// What the log-spot splitting routines (schemes 11 to 14) share beyond their operator: the frame
// and operator settings for a variance law, the lowest-column rule, the zero-volatility row of
// the variance-scaled volatility law, and the time loop over the frame's steps with the stage
// sequences of schemes/adi_stages.h. A routine is then its law, its mixed stencil, its splitting
// and, for scheme 14, its own damped start.

#include "model/variance_law.h"
#include "numerics/row_matrix.h"
#include "schemes/log_spot_adi_operator.h"
#include "schemes/scheme_frame.h"
#include "schemes/spot_adi_operator.h"

#include <functional>

enum class Splitting {
    HundsdorferVerwer,   // weight 1 - sqrt(2)/2
    ModifiedCraigSneyd,  // weight 1/3
};

// Frame settings of a log-spot routine; the law decides whether the variance grid is laid in
// volatility.
SchemeFrameSettings logSpotFrameSettings(bool widenSGrid, bool widenVmax, double sGridParam,
                                         double vGridStretch, const VarianceLaw& law);

// Operator settings for a law: a law with neither drift nor diffusion at the bottom of the
// variance grid gives that row no equation of its own, and it is extrapolated from the rows above.
SpotAdiSettings logSpotOperatorSettings(const VarianceLaw& law, MixedStencil mixed);

struct LogSpotStepping {
    Splitting splitting = Splitting::HundsdorferVerwer;
    VarianceLaw law;
    // A put keeps its lowest column at 0 when the smoothed payoff there is 0.
    bool zeroLowerWhenPayoffZero = false;
    // Takes the place of the line stages of each damped sub-step: moves U from step.tauOld to
    // step.tauNew with the given lowest value and top slope at tauNew. Empty: a Douglas step
    // with weight 1 (the first pair of line stages alone).
    std::function<void(RowMatrix& U, const TimeStep& step, double lower, double df)> dampedStep;
};

// Steps U (the initial row in every row of the table) from expiry to today. The line factors are
// built at the start of every phase whose steps use them.
void stepLogSpotSplitting(const SchemeFrame& frame, SpotAdiOperator& op, RowMatrix& U,
                          const LogSpotStepping& stepping);

// A log-spot routine's frame, operator and value table (the initial row in every row), for the
// splitting law of the option's model code.
class LogSpotSolve {
public:
    LogSpotSolve(OrvHestonVanilla& option, MixedStencil mixed, bool widenSGrid, bool widenVmax,
                 double sGridParam, double vGridStretch);

    // Steps the table from expiry to today with the solve's law, reads it out into the frame and
    // reports the CPU time.
    void run(LogSpotStepping stepping, double* cpuTime);

    const VarianceLaw law;
    SchemeFrame frame;
    const SpotAdiSettings settings;
    LogSpotAdiOperator op;
    RowMatrix U;
};

// The derivatives of a strike-vector read-out, taken as the routine's single-strike read-out
// takes them: over the stored log-spot nodes with respect to the log-spot, or (inSpot) with
// respect to the spot. outputs[2] and [3] receive them.
void strikeVectorDerivatives(OrvHestonVanilla& option, Array<Array<double>>& outputs, bool inSpot);
