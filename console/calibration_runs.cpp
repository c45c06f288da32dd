#include "console/calibration_runs.h"

#include "calibration/grid_refinement.h"
#include "levmar/levmar.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int kParameterCount = 5;
constexpr int kIterationLimit = 1000;
constexpr int kGridRefinementStop = 99;
constexpr int kNonFiniteStop = 7;
constexpr double kBoundTolerance = 1e-4;
constexpr double kSecondRunTimeRefinement = 1.2;
constexpr double kAgreement = 0.01;
constexpr int kRho = 4;

const char* const kCalibrating = "\nCalibrating . . .\n";
const char* const kBoxHit =
    "*** CAUTION *** : One of the parameter box constraints has been hit. The model may be stressed.\n";
const char* const kTryAccurate =
    "Try calibrating with the accurate option (1) to allow a wider parameter range\n\n";

// The grid raises of one level: the normal value and the one of coarse refinement.
struct Raise {
    int normal;
    int coarse;
    int of(bool coarseRefinement) const { return coarseRefinement ? coarse : normal; }
};

// Nv for NvLevel 1..4.
constexpr Raise kNvRaise[4] = {{80, 40}, {120, 50}, {180, 70}, {240, 90}};
// NS and Nv for NSLevel 1..3.
constexpr Raise kNsRaiseNS[3] = {{100, 100}, {200, 140}, {240, 180}};
constexpr Raise kNsRaiseNv[3] = {{80, 40}, {100, 50}, {100, 50}};
constexpr int kRhoRefinedNT = 60;

void raise(int& size, int value) { size = std::max(size, value); }

void fillUnset(double (&info)[LM_INFO_SZ])
{
    std::fill(std::begin(info), std::end(info), std::numeric_limits<double>::quiet_NaN());
}

// A run failed when the driver refused its input (info never filled) or met non-finite model IVs:
// either way the objective could not give the IVs, and no result of the run may be reported.
bool runFailed(int returned, const double (&info)[LM_INFO_SZ])
{
    if (!std::isfinite(info[6]) || !std::isfinite(info[1]) || !std::isfinite(info[0])) {
        return true;
    }
    return returned < 0 && static_cast<int>(info[6]) == kNonFiniteStop;
}

}  // namespace

CalibrationSettings initialSettings(const ModelSetup& setup)
{
    CalibrationSettings s;
    s.NS = setup.NS;
    s.Nv = setup.Nv;
    s.NT = setup.NT;
    s.schemeNumber = 2;
    s.priceModeSelector = 2;
    s.strikeVectorFlag = 0;
    s.stretchSelector = setup.stretchSelector;
    s.quantileSelector = setup.quantileSelector;
    s.modelCode = setup.modelCode;
    s.accurateMode = setup.calibrationMode != 0 ? 1 : 0;
    s.rhoLevel = 0;
    s.NSLevel = nsLevelOf(setup.NS);
    s.NvLevel = nvLevelOf(setup.Nv);
    return s;
}

int nsLevelOf(int NS)
{
    if (NS < 100) return 0;
    if (NS < 200) return 1;
    if (NS < 240) return 2;
    return 3;
}

int nvLevelOf(int Nv)
{
    if (Nv < 80) return 0;
    if (Nv < 120) return 1;
    if (Nv < 180) return 2;
    if (Nv < 240) return 3;
    return 4;
}

bool applyRefinementLevels(CalibrationSettings& s, bool coarse)
{
    bool applied = false;
    if (s.NvLevel >= 1 && s.NvLevel <= 4) {
        raise(s.Nv, kNvRaise[s.NvLevel - 1].of(coarse));
        applied = true;
    }
    if (s.rhoLevel == 1) {
        s.NT = kRhoRefinedNT;
        s.rhoLevel = 2;
        applied = true;
    }
    if (s.NSLevel >= 1 && s.NSLevel <= 3) {
        raise(s.NS, kNsRaiseNS[s.NSLevel - 1].of(coarse));
        raise(s.Nv, kNsRaiseNv[s.NSLevel - 1].of(coarse));
        applied = true;
    }
    return applied;
}

void boundedRunOptions(bool accurateMode, double (&opts)[5])
{
    opts[0] = 1e-3;
    opts[1] = 1e-15;
    opts[2] = accurateMode ? 5e-5 : 5e-4;
    opts[3] = 1e-9;
    opts[4] = 1e-6;
}

void secondRunOptions(double (&opts)[5])
{
    opts[0] = 1e-3;
    opts[1] = 1e-15;
    opts[2] = 5e-8;
    opts[3] = 1e-9;
    opts[4] = 1e-6;
}

bool boxHit(const double* p, const double* lb, const double* ub, bool& rhoAtBound)
{
    bool hit = false;
    rhoAtBound = false;
    for (int i = 0; i < kParameterCount; ++i) {
        if (std::fabs(p[i] - lb[i]) < kBoundTolerance || std::fabs(p[i] - ub[i]) < kBoundTolerance) {
            hit = true;
            rhoAtBound = rhoAtBound || i == kRho;
        }
    }
    return hit;
}

std::string boxCaution(bool hit, bool rhoAtBound, bool secondRun, int calibrationMode)
{
    if (!hit) {
        return std::string();
    }
    if (secondRun || rhoAtBound) {
        return std::string(kBoxHit) + "\n";
    }
    if (calibrationMode == 0) {
        return std::string(kBoxHit) + kTryAccurate;
    }
    return std::string();
}

bool extrapolateParameters(double* p, const double* c)
{
    for (int i = 0; i < kParameterCount; ++i) {
        // A NaN quotient fails the test too, and leaves p as the second run gave it.
        if (!(std::fabs((p[i] - c[i]) / p[i]) <= kAgreement)) {
            return false;
        }
    }
    // (1.44 fine - coarse) / 0.44 for steps in the ratio 1.2, as (36 fine - 25 coarse) / 11.
    for (int i = 0; i < kParameterCount; ++i) {
        p[i] = (36.0 * p[i] - 25.0 * c[i]) / 11.0;
    }
    return true;
}

void CalibrationClock::start() { start_ = std::chrono::steady_clock::now(); }

double CalibrationClock::seconds() const
{
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) /
           1000.0;
}

void RunsTime::startPhase()
{
    clock_.start();
    running_ = true;
}

void RunsTime::endPhase()
{
    if (running_) {
        finished_ += clock_.seconds();
        running_ = false;
    }
}

double RunsTime::total() const { return finished_ + (running_ ? clock_.seconds() : 0.0); }

RunsResult runCalibration(ObjectiveFunction objective, ModelSetup& setup, CalibrationSettings& settings,
                          double* p, std::vector<double>& x, std::ostream& out, RunsTime& time)
{
    RunsResult result;
    const int n = static_cast<int>(x.size());
    double opts[5];
    double info[LM_INFO_SZ];
    boundedRunOptions(settings.accurateMode != 0, opts);
    out << kCalibrating << std::flush;

    const auto boundedRun = [&]() {
        fillUnset(info);
        const LevmarIterationHook hook = gridRefinementHook(settings);
        const int returned =
            dlevmar_bc_dif_hooked(objective, p, x.data(), kParameterCount, n, setup.lb, setup.ub,
                                  nullptr, kIterationLimit, opts, info, nullptr, nullptr, &settings,
                                  &hook);
        ++result.boundedRuns;
        return !runFailed(returned, info);
    };

    if (!boundedRun()) {
        result.objectiveFailed = true;
        return result;
    }
    result.initialRmse = std::sqrt(info[0] / n);
    // Every stop for refinement comes with a raised level; one with nothing left to apply would
    // only repeat the same run, so it ends the runs instead.
    while (static_cast<int>(info[6]) == kGridRefinementStop &&
           applyRefinementLevels(settings, setup.coarseRefinement)) {
        if (!boundedRun()) {
            result.objectiveFailed = true;
            return result;
        }
    }
    result.finalSquaredError = info[1];
    out << "\n";
    time.endPhase();

    bool rhoAtBound = false;
    const bool hit = boxHit(p, setup.lb, setup.ub, rhoAtBound);
    if (rhoAtBound) {
        setup.secondRun = false;
    }
    out << boxCaution(hit, rhoAtBound, setup.secondRun, setup.calibrationMode);
    if (settings.rhoLevel == 2) {
        setup.secondRun = false;
    }
    if (!setup.secondRun) {
        return result;
    }

    settings.NT = static_cast<int>(settings.NT * kSecondRunTimeRefinement);
    double c[kParameterCount];
    std::copy(p, p + kParameterCount, c);
    secondRunOptions(opts);
    time.startPhase();
    fillUnset(info);
    const int returned = dlevmar_dif(objective, p, x.data(), kParameterCount, n, kIterationLimit, opts,
                                     info, nullptr, nullptr, &settings);
    result.secondRunMade = true;
    time.endPhase();
    if (runFailed(returned, info)) {
        result.objectiveFailed = true;
        return result;
    }
    out << "\n";
    result.finalSquaredError = info[1];
    if (!hit) {
        result.extrapolated = extrapolateParameters(p, c);
    }
    return result;
}
