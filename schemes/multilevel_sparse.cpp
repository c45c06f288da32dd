// Schemes 1 and 15: one sparse linear system per time step over every unknown node of the
// (spot or log-spot) x variance grid, integrated by backward differentiation formulas of rising
// order. Each run of levels starts with four implicit Euler quarter steps and two half steps
// from the same level, combined by Richardson extrapolation into a level of second order; one
// BDF2 step follows, then BDF3 steps. The two members share everything here and differ only in
// their coordinate and variance law.
//
// Unknowns are spot nodes 1 .. NS of variance lines 0 .. Nv - 1, index j NS + i - 1. The S = 0
// column carries the lower boundary value, the top spot node the gradient condition dU/dS = g,
// and the Vmax line is taken equal to line Nv - 1, as the operator assumes.

#include "model/fd_weights.h"
#include "model/operator_assembly.h"
#include "model/option_objects.h"
#include "model/variance_law.h"
#include "numerics/numerical_error.h"
#include "schemes/scheme_frame.h"
#include "schemes/sparse_lu.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Lead-coefficient codes of the operator assembly.
constexpr int kImplicitEuler = 0;
constexpr int kBdf2 = 6;
constexpr int kBdf3 = 3;

// Start-up sub-steps: four quarter steps, then two half steps from the same level.
constexpr int kQuarterSteps = 4;
constexpr int kHalfSteps = 2;

struct Member {
    bool logSpot;
    VarianceLaw law;
};

// Both members price the model of the main-road splitting scheme, whatever the model code: the
// square-root law for code 0, the power law in the variance for codes 1 and 2, the volatility
// coordinate for 3 and 4. assembleOperatorPow selects the same law for codes 0 to 2, and
// assembleOperator for codes 0 and 1 when the exponent is 1.
Member memberOf(const OrvHestonVanilla& option, bool logSpot)
{
    return {logSpot, VarianceLaw::spotPowerSplitting(varianceModelOf(option))};
}

class MultiLevelSolve {
public:
    MultiLevelSolve(OrvHestonVanilla& option, const SchemeFrame& frame, const Member& member);

    // Steps the payoff back to tau = T.
    void run();

    // The final solution at spot node i (0 .. n - 1) and variance node j (0 .. Nv).
    double valueAt(int i, int j) const;

private:
    using Vector = Eigen::VectorXd;

    void buildWeights();
    void buildBoundaryWeights();
    // Makes (c0 I - omega A) current, refactorising only on a change of step or order.
    void useMatrix(double omega, int code);
    // One implicit step: solves (c0 I - omega A) x = history + omega (boundary terms at tauNew).
    Vector step(const Vector& history, double omega, int code, double tauNew);
    // Early exercise of an American option: every unknown at least the payoff at its node.
    void exercise(Vector& level) const;
    // `levels` levels of step dt from `start`, the first at level firstLevel; the first level
    // comes from the start-up unless the price mode asks for implicit Euler throughout.
    Vector runLevels(const Vector& start, int firstLevel, int levels);

    double lowerValue(double tau) const;
    double tauOfLevel(int level) const;
    int index(int i, int j) const { return j * NS_ + i - 1; }

    OrvHestonVanilla& option_;
    const SchemeFrame& frame_;
    Member member_;
    int NS_;
    int Nv_;
    int N_;
    double dt_;

    GridWeights spot_;
    GridWeights variance_;
    double ghostStep_ = 0.0;
    double zeroLine_[3] = {0.0, 0.0, 0.0};
    Array<double> lowerWeight_;  // per variance line: operator weight of the S = 0 value
    Array<double> upperWeight_;  // per variance line: factor of the top gradient g

    std::vector<SparseLuSolver::Triplet> triplets_;
    SparseLuSolver lu_;
    double currentOmega_ = -1.0;
    int currentCode_ = -1;

    Vector payoff_;            // u0 on the unknowns
    Vector exerciseValue_;     // the payoff itself on the unknowns (American options)
    Vector solution_;          // the level at tau = T after run()
    Vector rhs_;
    double tauRestart_ = 0.0;  // time to expiry of the last exercise date passed
};

MultiLevelSolve::MultiLevelSolve(OrvHestonVanilla& option, const SchemeFrame& frame,
                                 const Member& member)
    : option_(option),
      frame_(frame),
      member_(member),
      NS_(frame.n - 1),
      Nv_(frame.Nv),
      N_(NS_ * Nv_),
      dt_(frame.dt),
      lu_(NS_ * Nv_)
{
    // The assembly numbers the unknowns from the object's own sizes.
    if (option.NS != NS_ || option.Nv != Nv_)
        throw NumericalError("The grids of the solve do not match the option's grid sizes");
    buildWeights();
    buildBoundaryWeights();

    payoff_.resize(N_);
    for (int j = 0; j < Nv_; ++j)
        for (int i = 1; i <= NS_; ++i)
            payoff_[index(i, j)] = frame_.u0[i];
    solution_ = payoff_;
    if (option.american) {
        exerciseValue_.resize(N_);
        for (int j = 0; j < Nv_; ++j)
            for (int i = 1; i <= NS_; ++i)
                exerciseValue_[index(i, j)] = option.payoff[i];
    }
    rhs_.resize(N_);
    triplets_.reserve(7u * static_cast<std::size_t>(N_));
}

void MultiLevelSolve::buildWeights()
{
    const Array<double>& x = frame_.S;
    const int n = frame_.n;
    const double hTop = x[n - 1] - x[n - 2];
    const double hBelow = x[n - 2] - x[n - 3];
    // Ghost step beyond the top node: linear continuation of the spacing on the spot grid, cubic
    // on the log-spot grid.
    ghostStep_ = member_.logSpot ? 3.0 * hTop - 3.0 * hBelow + (x[n - 3] - x[n - 4])
                                 : 2.0 * hTop - hBelow;
    if (!(ghostStep_ > 0.0))
        ghostStep_ = hTop;
    spot_ = buildGridWeights(x, ghostStep_);
    variance_ = buildGridWeights(frame_.V, 0.0);

    // The v = 0 line has only the variance drift in v, taken one-sided over lines 0, 1, 2.
    const StencilWeights f = forwardFirstDerivative(variance_.steps[1], variance_.steps[2]);
    const double g = member_.law.drift(frame_.V[0]);
    zeroLine_[0] = g * f.lower;
    zeroLine_[1] = g * f.diag;
    zeroLine_[2] = g * f.upper;
}

// The parts of the operator that reach outside the unknowns, with the coefficients the assembly
// uses, so that the known values enter the right-hand side exactly as the matrix expects them.
void MultiLevelSolve::buildBoundaryWeights()
{
    const VarianceLaw& law = member_.law;
    const bool logSpot = member_.logSpot;
    const Array<double>& x = frame_.S;
    const Array<double>& V = frame_.V;
    const double carry = option_.r - option_.d;
    const Array<double>& hS = spot_.steps;
    const Array<double>& hV = variance_.steps;

    // Spot coordinates of node 1, the top node and the ghost node beyond it.
    const double s1 = x[1];
    const double sTop = logSpot ? std::exp(x[NS_]) : x[NS_];
    const double ghostRise = logSpot ? std::exp(x[NS_] + ghostStep_) - sTop : ghostStep_;

    lowerWeight_ = Array<double>(0.0, static_cast<std::size_t>(Nv_));
    upperWeight_ = Array<double>(0.0, static_cast<std::size_t>(Nv_));
    for (int j = 0; j < Nv_; ++j) {
        const double w = law.spotVariance(V[j]);

        // Lower edge, node 1: its west neighbour and, off the v = 0 line, the anti-diagonal
        // corner above it lie on S = 0. The top line has no mixed term.
        const double sigma = logSpot ? 0.5 * w : 0.5 * s1 * s1 * w;
        const double mu = logSpot ? carry - 0.5 * w : carry * s1;
        if (j < Nv_ - 1) {
            const double mixed = logSpot ? law.mixedCoefficient(V[j])
                                         : s1 * law.mixedCoefficient(V[j]);
            const AntiDiagonalMixed mix = antiDiagonalMixed(mixed, hS[1], hS[2], hV[j], hV[j + 1]);
            const double sigmaStar = (mix.xSquares + 2.0 * sigma) * 0.5;
            const double muStar = mix.xFirst + mu;
            lowerWeight_[j] = muStar * spot_.d1Lower[1] + sigmaStar * spot_.d2Lower[1] -
                              (j >= 1 ? mix.P : 0.0);
        } else {
            lowerWeight_[j] = sigma * spot_.d2Lower[1] + mu * spot_.d1Lower[1];
        }

        // Upper edge: the matrix takes the ghost value equal to the top value and leaves out the
        // spot drift; with dU/dS = g the ghost lies g times its spot distance higher, and the
        // drift term is the drift times g.
        if (logSpot) {
            const double muTop = carry - 0.5 * w;
            upperWeight_[j] = muTop * sTop + 0.5 * w * spot_.d2Upper[NS_] * ghostRise;
        } else {
            upperWeight_[j] = 0.5 * sTop * sTop * w * spot_.d2Upper[NS_] * ghostRise + carry * sTop;
        }
    }
}

void MultiLevelSolve::useMatrix(double omega, int code)
{
    if (omega == currentOmega_ && code == currentCode_)
        return;
    currentOmega_ = -1.0;
    currentCode_ = -1;
    triplets_.clear();
    assembleOperatorForLaw(option_, member_.logSpot, member_.law, triplets_, spot_.d2Lower,
                           spot_.d2Upper, spot_.d2Diag, spot_.d1Lower, spot_.d1Upper,
                           spot_.d1Diag, spot_.steps, variance_.steps, variance_.d2Lower,
                           variance_.d2Upper, variance_.d2Diag, variance_.d1Lower,
                           variance_.d1Upper, variance_.d1Diag, zeroLine_[0], zeroLine_[1],
                           zeroLine_[2], omega, code);
    lu_.factorize(triplets_);
    currentOmega_ = omega;
    currentCode_ = code;
}

double MultiLevelSolve::lowerValue(double tau) const
{
    if (option_.callPut != 1 || frame_.u0[0] == 0.0)
        return 0.0;
    const double K = option_.K;
    // At S = 0, or at the lowest log-spot node s0 > 0, an American put is worth its exercise
    // value.
    if (option_.american)
        return member_.logSpot ? K - std::exp(frame_.S[0]) : K;
    // A Bermudan put at S = 0 is exercised at every date; from the last one it is discounted.
    if (option_.secondExerciseFlag && !member_.logSpot)
        return K * std::exp(-option_.r * (tau - tauRestart_));
    if (member_.logSpot)
        return K * std::exp(-option_.r * tau) - std::exp(-option_.d * tau) * std::exp(frame_.S[0]);
    return K * std::exp(-option_.r * tau);
}

double MultiLevelSolve::tauOfLevel(int level) const
{
    // From the level count, so that the last level lies on T exactly.
    return level == frame_.NT ? option_.T : option_.T * level / frame_.NT;
}

MultiLevelSolve::Vector MultiLevelSolve::step(const Vector& history, double omega, int code,
                                              double tauNew)
{
    useMatrix(omega, code);
    rhs_ = history;
    const double lower = lowerValue(tauNew);
    const double slope = frame_.slopeFactor(tauNew);
    for (int j = 0; j < Nv_; ++j) {
        rhs_[index(1, j)] += omega * lowerWeight_[j] * lower;
        rhs_[index(NS_, j)] += omega * upperWeight_[j] * slope;
    }
    Vector x;
    lu_.solve(rhs_, x);
    if (option_.american)
        exercise(x);
    return x;
}

void MultiLevelSolve::exercise(Vector& level) const
{
    level = level.cwiseMax(exerciseValue_);
}

MultiLevelSolve::Vector MultiLevelSolve::runLevels(const Vector& start, int firstLevel,
                                                   int levels)
{
    const double tauStart = tauOfLevel(firstLevel - 1);
    if (option_.priceMode == 0) {
        Vector u = start;
        for (int k = 0; k < levels; ++k)
            u = step(u, dt_, kImplicitEuler, tauOfLevel(firstLevel + k));
        return u;
    }

    // Start-up: Richardson extrapolation of implicit Euler from dt/4 and dt/2 to the first level.
    Vector quarter = start;
    const double hq = dt_ / kQuarterSteps;
    for (int k = 1; k <= kQuarterSteps; ++k)
        quarter = step(quarter, hq, kImplicitEuler,
                       k == kQuarterSteps ? tauOfLevel(firstLevel) : tauStart + k * hq);
    Vector half = start;
    const double hh = dt_ / kHalfSteps;
    for (int k = 1; k <= kHalfSteps; ++k)
        half = step(half, hh, kImplicitEuler,
                    k == kHalfSteps ? tauOfLevel(firstLevel) : tauStart + k * hh);
    Vector u1 = 2.0 * quarter - half;
    if (option_.american)
        exercise(u1);
    if (levels == 1)
        return u1;

    // BDF2 for the second level, then BDF3 on the last three levels.
    Vector u2 = step(2.0 * u1 - 0.5 * start, dt_, kBdf2, tauOfLevel(firstLevel + 1));
    Vector u3 = start;
    for (int k = 2; k < levels; ++k) {
        Vector next = step(3.0 * u2 - 1.5 * u1 + (1.0 / 3.0) * u3, dt_, kBdf3,
                           tauOfLevel(firstLevel + k));
        u3 = u1;
        u1 = u2;
        u2 = next;
    }
    return u2;
}

void MultiLevelSolve::run()
{
    // A Bermudan spot solve restarts the level history at every exercise date, from the level
    // projected onto the payoff; otherwise one run spans the whole expiry.
    const int periods = option_.nPeriods;
    const bool bermudan = option_.secondExerciseFlag && !member_.logSpot && periods > 1;
    const int runs = bermudan ? periods : 1;
    const int levelsPerRun = frame_.NT / runs;

    Vector level = payoff_;
    int done = 0;
    for (int k = 0; k < runs; ++k) {
        const int levels = k + 1 == runs ? frame_.NT - done : levelsPerRun;
        level = runLevels(level, done + 1, levels);
        done += levels;
        if (k + 1 < runs) {
            level = level.cwiseMax(payoff_);
            tauRestart_ = tauOfLevel(done);
        }
    }
    solution_ = level;
}

double MultiLevelSolve::valueAt(int i, int j) const
{
    if (i == 0)
        return lowerValue(option_.T);
    // The operator takes the Vmax line equal to the line below it.
    return solution_[index(i, std::min(j, Nv_ - 1))];
}

// The reported value of a strike-vector solve on the log-spot grid: as the frame's multi-strike
// read-out, but the running minimum also takes, at each strike's scaled spot, the values on the
// variance nodes near v0, since this routine is the last fallback and a dip across the variance
// direction must reach the robust solves too.
double reportedWithVarianceSearch(OrvHestonVanilla& option, SchemeFrame& frame)
{
    const double nearSpot = 0.05;
    const double negligible = -1e-15;
    const double spot = option.S;
    const double K = option.K;
    const double T = option.T;
    const double growth = std::exp((option.r - option.d) * T);
    const double discount = std::exp(-option.r * T);
    const double v0 = option.v0;

    double reported = 0.0;
    double runningMin = 0.0;  // over all strikes so far
    for (std::size_t m = 0; m < option.strikes.size(); ++m) {
        const double Km = option.strikes[m];
        const double scaled = spot * K / Km;
        const double p = option.strikePrices[m];
        if (p <= 0.0)
            reported = p;
        for (int i = 0; i < frame.n; ++i) {
            const double node = frame.spotOf(i) * K / Km;
            if (std::fabs(scaled - node) / scaled < nearSpot) {
                double value = frame.interpAtSpot(node, v0) * Km / K;
                if (Km > spot)
                    value += (growth * frame.spotOf(i) - Km) * discount;
                runningMin = std::min(runningMin, value);
            }
        }
        for (int j = 0; j < frame.Nv; ++j) {
            const double v = frame.V[j];
            if (v > 0.5 * v0 && v < 1.5 * v0) {
                double value = frame.interpAtSpot(scaled, v) * Km / K;
                if (Km > spot)
                    value += (growth * spot - Km) * discount;
                runningMin = std::min(runningMin, value);
            }
        }
        const bool dominant = p == 0.0 ? true : runningMin / p < negativeValueRatio;
        if (runningMin < negligible && dominant && runningMin < reported)
            reported = runningMin;
    }
    if (reported == 0.0 && !option.strikes.empty())
        reported = option.strikePrices[0];
    return reported;
}

// Both members: the frame's set-up, the multi-level stepping, the frame's read-out.
void solveMultiLevel(OrvHestonVanilla& option, const Member& member,
                     Array<Array<double>>& outputs, double* cpuTime, bool widenSGrid,
                     bool widenVmax, double vGridStretch)
{
    // The clustering comes from the object, not from a spot-grid argument.
    SchemeFrameSettings settings = routineFrameSettings(widenSGrid, widenVmax, 0.0, vGridStretch);
    settings.logSpot = member.logSpot;
    settings.objectClustering = true;
    settings.volatilityCoordinate = member.law.volatilityCoordinate;
    SchemeFrame frame(option, settings);

    MultiLevelSolve solve(option, frame, member);
    solve.run();

    frame.readOut([&solve](int i, int j) { return solve.valueAt(i, j); });
    frame.reportTime(cpuTime);
    const SpotGreeks greeks = member.logSpot ? SpotGreeks::LogSpotNodes : SpotGreeks::SpotNodes;
    if (option.multiStrike) {
        frame.finishMultiStrike(outputs);
        if (member.logSpot && option.strikeFlag)
            option.results[2] = reportedWithVarianceSearch(option, frame);
    } else {
        frame.finishSingle(outputs, greeks);
    }
    if (member.logSpot) {
        for (int i = 0; i < frame.n; ++i)
            outputs[0][i] = frame.spotOf(i);
    }
}

}  // namespace

bool OrvHestonVanilla::calcGARCHNUDirectNonNeg4Fct(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double /*sGridParam*/, double vGridStretch)
{
    solveMultiLevel(*this, memberOf(*this, false), outputs, cpuTime, widenSGrid, widenVmax,
                    vGridStretch);
    return true;
}

bool OrvHestonVanilla::calcGARCHNUDirectNonNeg4FctLogS(
    Array<Array<double>>& outputs, double* cpuTime, bool /*fillOutputs*/, bool /*unusedFlag*/,
    double /*unusedValue1*/, std::vector<double>* /*unusedA*/, std::vector<double>* /*unusedB*/,
    double /*unusedValue2*/, std::vector<double>* /*unusedC*/, bool widenSGrid, bool widenVmax,
    double /*sGridParam*/, double vGridStretch)
{
    solveMultiLevel(*this, memberOf(*this, true), outputs, cpuTime, widenSGrid, widenVmax,
                    vGridStretch);
    return true;
}
