#pragma once

// The calibration runs: bounded Levenberg-Marquardt runs that restart on finer grids whenever the
// search stops for grid refinement (stop reason 99), then in accuracy mode an unconstrained run on
// finer time steps and, when the two results agree, Richardson extrapolation of the parameters.

#include "calibration/calibration_settings.h"
#include "console/model_setup.h"

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

// levmar's objective form.
using ObjectiveFunction = void (*)(double* p, double* hx, int m, int n, void* adata);

// The settings record of the runs, built from the set-up; refinement levels start from the grids.
CalibrationSettings initialSettings(const ModelSetup& setup);

// Refinement level that the base grid sizes already meet.
int nsLevelOf(int NS);
int nvLevelOf(int Nv);

// Raises the grids for the levels the search has reached (and marks a rho refinement as done);
// true when any row applied.
bool applyRefinementLevels(CalibrationSettings& settings, bool coarseRefinement);

// levmar's options of the bounded runs and of the second run.
void boundedRunOptions(bool accurateMode, double (&opts)[5]);
void secondRunOptions(double (&opts)[5]);

// True when some parameter lies within 1e-4 of a bound; rhoAtBound tells whether rho does.
bool boxHit(const double* p, const double* lb, const double* ub, bool& rhoAtBound);

// The box caution after the bounded runs (empty when nothing is to be said).
std::string boxCaution(bool hit, bool rhoAtBound, bool secondRun, int calibrationMode);

// Richardson extrapolation of a second-order time error between the bounded result c and the
// second run's p (time steps 1.2 times finer), when every parameter moved by at most 1%. True
// when p was replaced.
bool extrapolateParameters(double* p, const double* c);

// Wall clock of the calibration: whole milliseconds, reported in seconds.
class CalibrationClock {
public:
    void start();
    // Seconds since start(), in whole milliseconds.
    double seconds() const;

private:
    std::chrono::steady_clock::time_point start_{};
};

struct RunsResult {
    bool objectiveFailed = false;       // a run ended on non-finite model IVs or an input error
    double initialRmse = 0.0;           // of the first run's start point
    double finalSquaredError = 0.0;     // info[1] of the last run made
    int boundedRuns = 0;                // runs of the bounded driver (1 + refinement restarts)
    bool secondRunMade = false;
    bool extrapolated = false;
};

// Time taken so far by the runs: kept up to date so that a run stopped by an exception (a parameter
// out of range) still has its time.
class RunsTime {
public:
    void startPhase();
    void endPhase();
    // Seconds of the finished phases and of the one in progress.
    double total() const;

private:
    double finished_ = 0.0;
    bool running_ = false;
    CalibrationClock clock_;
};

// The runs on p (start point in, result out) against the market IVs x, printing the run texts to
// out. Exceptions of the objective (a parameter out of range) pass through with p as the search
// left it and time.total() the time up to the stop.
RunsResult runCalibration(ObjectiveFunction objective, ModelSetup& setup, CalibrationSettings& settings,
                          double* p, std::vector<double>& x, std::ostream& out, RunsTime& time);
