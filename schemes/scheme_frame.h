#pragma once

// The frame that every time-stepping routine of OrvHestonVanilla runs in: everything around the
// routine's own stages. A routine is written as
//
//   SchemeFrame frame(*this, settings);      // clock, Vmax, time grid (exercise-period rounding),
//                                            // spot and variance grids, payoff, initial row u0
//   ... build the routine's operator over frame.S / frame.V (schemes/spot_adi_operator.h) ...
//   for (const TimeStep& step : frame.timeSteps(schemeTheta)) {
//       if (step.phaseStart) ... (re)build and factor the implicit matrices with step.theta, step.dt
//       ... the stages, with frame.slopeFactor(step.tauOld / step.tauNew) for the top spot
//       ... boundary and frame.spotZeroValue(step.tauNew) for the S = 0 column
//   }
//   frame.readOut([&](int i, int j) { return U(i, j); });   // negative-value search, table
//   frame.finishSingle(outputs, greeks);   or   frame.finishMultiStrike(outputs);
//   frame.reportTime(cpuTime);
//
// The frame owns its work arrays and the read-out table, so every path out of a routine, the
// exception path included, releases them.

#include "model/option_objects.h"
#include "numerics/array.h"
#include "numerics/num_vector.h"
#include "numerics/row_matrix.h"

#include <ctime>
#include <functional>
#include <memory>
#include <vector>

class Grid2D_interp;

// Sub-steps of the damped start: the first full step is taken as this many implicit half steps.
extern const int dampingSubsteps;
// A nearby negative value replaces the price when its ratio to the price is below this.
extern const double negativeValueRatio;

// What a routine tells the frame about itself, besides the dispatcher's four grid arguments.
struct SchemeFrameSettings {
    bool widenSGrid = false;
    bool widenVmax = false;
    double sGridParam = 0.0;     // spot clustering; 0.0 = 4.5 (or the object's field, below)
    double vGridStretch = 0.0;   // variance stretch for model codes other than 0; 0.0 = 4.0
    bool logSpot = false;        // log-spot nodes (generateLogSGrid, setPayoffLogS, ...)
    bool objectClustering = false;      // clustering from the object's `clustering` field
    bool volatilityCoordinate = false;  // variance grid in volatility, up to 2 sqrt(Vmax)
    int minVarianceIntervals = 5;       // fewer intervals are refused
};

// The settings of the dispatcher's four grid arguments, the others at their defaults.
SchemeFrameSettings routineFrameSettings(bool widenSGrid, bool widenVmax, double sGridParam,
                                         double vGridStretch);

// One step of the backward time loop. tau is time to expiry.
struct TimeStep {
    int index;         // step index within the run (the damping phase counts its sub-steps)
    double theta;      // weight of the implicit stages
    double dt;
    double tauOld;
    double tauNew;
    bool damping;      // implicit sub-step of the damped start (no corrector)
    bool phaseStart;   // first step of a phase: the implicit matrices change here
};

// How the greeks of a single-strike read-out are taken.
enum class SpotGreeks {
    None,                // outputs 2 and 3 stay zero
    SpotNodes,           // derivatives over the spot nodes
    LogSpotNodes,        // the nodes are log-spots: derivatives with respect to the spot
};

class SchemeFrame {
public:
    // Steps 2 to 7 of a solve; throws NumericalError for unusable sizes or inputs, and passes on
    // what the grid builders and calcVmax throw.
    SchemeFrame(OrvHestonVanilla& option, const SchemeFrameSettings& settings);
    ~SchemeFrame();
    SchemeFrame(const SchemeFrame&) = delete;
    SchemeFrame& operator=(const SchemeFrame&) = delete;

    OrvHestonVanilla& option;
    SchemeFrameSettings settings;

    double gridTop = 0.0;  // upper end of the variance grid (2 sqrt(Vmax) in volatility): results[0]
    int NT = 0;            // step count after the exercise-period rounding
    double dt = 0.0;

    int n = 0;             // spot nodes
    Array<double> S;       // n nodes (log-spots for log-spot routines)
    Array<double> dS;      // n + 1: dS[i] = S[i] - S[i-1], dS[0] = dS[1], dS[n] the ghost step
    int Nv = 0;            // variance intervals
    Array<double> V;       // Nv + 1 nodes, V[0] = 0 exactly
    Array<double> dv;      // Nv + 1: dv[j] = V[j] - V[j-1], dv[0] = dv[1]
    Array<double> driftV;  // theta (vL - V[j]); routines with another drift law use their own
    Array<double> u0;      // n + 1: smoothed payoff with a linear ghost value at index n

    // The step sequence: with dampingFlag, dampingSubsteps implicit sub-steps with weight 1 that
    // together cover the first step, then steps 1 .. NT - 1 with `theta`; otherwise NT steps with
    // `theta`. The last step always ends at tau = T.
    std::vector<TimeStep> timeSteps(double theta) const;

    // Slope of the value in S at the top of the spot grid for time to expiry tau: exp(-d tau) for
    // a call, 0 for a put.
    double slopeFactor(double tau) const;
    // Value on the S = 0 column: K exp(-r tau) for a put (K when American), 0 for a call.
    double spotZeroValue(double tau) const;

    // Step 11: copies the final solution into the read-out table (valueAt(i, j) for spot node i,
    // variance node j = 0 .. Nv) and finds the most negative value near (S, v0).
    void readOut(const std::function<double(int, int)>& valueAt);
    double maxNearbyNegVal() const { return maxNearbyNegVal_; }

    // 6 x 6 polynomial interpolation in the read-out table, at a spot (the frame maps it to
    // log-spot for log-spot routines) and a variance-grid coordinate.
    double interpAtSpot(double spot, double v);

    // Steps 13 and 14 for one strike: outputs, values, price, adjusted price, greeks, results.
    void finishSingle(Array<Array<double>>& outputs, SpotGreeks greeks);
    // The multi-strike read-out: strikes read at the scaled spots S K / K_m, parity for strikes
    // above the spot, the per-strike negative-value check of strike-vector objects; results
    // [gridTop, 0, reported, NT, 0].
    void finishMultiStrike(Array<Array<double>>& outputs);

    // Step 12: CPU seconds since the frame was built.
    void reportTime(double* cpuTime) const;

    // Node i as a spot (exp of the node on log-spot grids).
    double spotOf(int i) const;

private:
    void buildTimeGrid();
    void buildSpotGrid();
    void buildVarianceGrid(double vmax);
    void buildInitialRow();
    void prepareOutputs(Array<Array<double>>& outputs);
    void writeResults(double price, double adjusted, double fifth);

    std::clock_t start_;
    double maxNearbyNegVal_ = 0.0;
    std::unique_ptr<RowMatrix> table_;
    NumVector x1_;
    NumVector x2_;
    std::unique_ptr<Grid2D_interp> interp_;
};
