#include "schemes/scheme_frame.h"

#include "model/input_checks.h"
#include "model/scheme_dispatch.h"
#include "numerics/numerical_error.h"
#include "numerics/poly_interp.h"

#include <algorithm>
#include <cmath>
#include <string>

const int dampingSubsteps = 2;
const double negativeValueRatio = -0.005;

namespace {

const int kInterpOrder = 6;
// Negative values count only near today's state: spot within 5 %, variance within (0.5, 1.5) v0.
const double kNearSpot = 0.05;
const double kNearVarianceLow = 0.5;
const double kNearVarianceHigh = 1.5;
const double kNegligible = -1e-15;
const int kMinSpotNodes = 6;

// The greeks routine of the option object picks its formulas from the object's flag; the spot
// routines always build the clustered grid, so the flag is held set while the greeks are taken.
class ClusteredGridFlag {
public:
    explicit ClusteredGridFlag(OrvEquityOption& o) : option_(o), saved_(o.nonUniformSGrid)
    {
        option_.nonUniformSGrid = true;
    }
    ~ClusteredGridFlag() { option_.nonUniformSGrid = saved_; }
    ClusteredGridFlag(const ClusteredGridFlag&) = delete;
    ClusteredGridFlag& operator=(const ClusteredGridFlag&) = delete;

private:
    OrvEquityOption& option_;
    bool saved_;
};

}  // namespace

SchemeFrameSettings routineFrameSettings(bool widenSGrid, bool widenVmax, double sGridParam,
                                         double vGridStretch)
{
    SchemeFrameSettings s;
    s.widenSGrid = widenSGrid;
    s.widenVmax = widenVmax;
    s.sGridParam = sGridParam;
    s.vGridStretch = vGridStretch;
    return s;
}

SchemeFrame::SchemeFrame(OrvHestonVanilla& o, const SchemeFrameSettings& s)
    : option(o), settings(s), start_(std::clock())
{
    if (!(option.S > 0.0) || !(option.K > 0.0) || !(option.T > 0.0) || !std::isfinite(option.S) ||
        !std::isfinite(option.K) || !std::isfinite(option.T))
        throw NumericalError("The spot, the strike and the expiry of a PDE solve must be positive");
    if (option.NT < 1)
        throw NumericalError("A PDE solve needs at least one time step");
    // Sizes beyond these overflow the index arithmetic of the grids and operators long before
    // their arrays could be allocated.
    const std::string sizeError = gridSizeError(option.NS, option.Nv, option.NT);
    if (!sizeError.empty())
        throw NumericalError(sizeError);
    if (option.Nv < settings.minVarianceIntervals)
        throw NumericalError("A PDE solve needs at least " +
                             std::to_string(settings.minVarianceIntervals) +
                             " variance intervals");

    double vmax = option.calcVmax(option.T + option.extraT);
    if (settings.widenVmax)
        vmax *= 1.5;
    if (settings.volatilityCoordinate)
        vmax = 2.0 * std::sqrt(vmax);
    gridTop = vmax;

    buildTimeGrid();
    buildSpotGrid();
    buildVarianceGrid(vmax);
    buildInitialRow();
}

SchemeFrame::~SchemeFrame() = default;

void SchemeFrame::buildTimeGrid()
{
    const int periods = option.nPeriods;
    if (periods > 1) {
        const int least = option.priceMode == 3 ? 5 : 1;
        const int perPeriod =
            static_cast<int>(static_cast<double>(option.NT) / periods + 0.5);
        const long long steps = static_cast<long long>(periods) * std::max(least, perPeriod);
        if (steps > kMaxTimeSteps)
            throw NumericalError("exercisePeriods = " + std::to_string(periods) +
                                 " needs more than " + std::to_string(kMaxTimeSteps) +
                                 " time steps");
        option.NT = static_cast<int>(steps);
    }
    NT = option.NT;
    dt = option.T / NT;
}

void SchemeFrame::buildSpotGrid()
{
    double clustering = settings.objectClustering ? option.clustering : settings.sGridParam;
    if (!settings.objectClustering && clustering == 0.0)
        clustering = 4.5;

    Array<double> grid;
    if (settings.logSpot)
        option.generateLogSGrid(grid, clustering, settings.widenSGrid);
    else
        option.generateNonUniformSGrid(grid, clustering, settings.widenSGrid);

    n = option.nSNodes;
    if (n < kMinSpotNodes || grid.size() < static_cast<std::size_t>(n))
        throw NumericalError("A PDE solve needs at least six spot nodes");
    // A stretched grid may lay more nodes than NS asked for.
    if (static_cast<long long>(n) * (static_cast<long long>(option.Nv) + 1) > kMaxGridNodes)
        throw NumericalError("The grid of " + std::to_string(n) + " spot nodes by Nv = " +
                             std::to_string(option.Nv) + " has more than " +
                             std::to_string(kMaxGridNodes) + " nodes");
    S = Array<double>(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        S[i] = grid[i];
    option.SGrid = S;

    dS = Array<double>(static_cast<std::size_t>(n) + 1);
    for (int i = 1; i < n; ++i) {
        dS[i] = S[i] - S[i - 1];
        if (!(dS[i] > 0.0))
            throw NumericalError("The spot grid is not strictly increasing");
    }
    dS[0] = dS[1];
    dS[n] = 2.0 * dS[n - 1] - dS[n - 2];
    if (!(dS[n] > 0.0))
        dS[n] = dS[n - 1];
}

void SchemeFrame::buildVarianceGrid(double vmax)
{
    double stretch = 4.5;
    if (option.modelCode != 0)
        stretch = settings.vGridStretch != 0.0 ? settings.vGridStretch : 4.0;

    Array<double> grid;
    if (option.useFirstVGrid)
        option.firstVGridGenerator(option.v0, option.Nv, vmax, stretch, grid);
    else
        option.hybridVGridGenerator(option.v0, option.Nv, vmax, stretch, grid);

    Nv = static_cast<int>(grid.size()) - 1;
    if (Nv < settings.minVarianceIntervals)
        throw NumericalError("A PDE solve needs at least " +
                             std::to_string(settings.minVarianceIntervals) +
                             " variance intervals");
    option.Nv = Nv;
    grid[0] = 0.0;
    option.VGrid = grid;
    V = grid;

    dv = Array<double>(static_cast<std::size_t>(Nv) + 1);
    for (int j = 1; j <= Nv; ++j) {
        dv[j] = V[j] - V[j - 1];
        if (!(dv[j] > 0.0))
            throw NumericalError("The variance grid is not strictly increasing");
    }
    dv[0] = dv[1];
}

void SchemeFrame::buildInitialRow()
{
    if (settings.logSpot)
        option.setPayoffLogS();
    else
        option.setPayoff();

    driftV = Array<double>(static_cast<std::size_t>(Nv) + 1);
    for (int j = 0; j <= Nv; ++j)
        driftV[j] = option.theta * (option.vL - V[j]);

    if (settings.logSpot)
        option.smoothPayoffLogS();
    else
        option.smoothPayoff();

    u0 = Array<double>(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i < n; ++i)
        u0[i] = option.values[i];
    u0[n] = 2.0 * u0[n - 1] - u0[n - 2];
}

std::vector<TimeStep> SchemeFrame::timeSteps(double theta) const
{
    std::vector<TimeStep> steps;
    const double T = option.T;
    // tau from the step count, not by summing dt, so that the last step ends on T exactly.
    auto tauAfter = [&](int fullSteps) { return fullSteps == NT ? T : T * fullSteps / NT; };
    int first = 0;
    if (option.dampingFlag) {
        const double h = dt / dampingSubsteps;
        for (int k = 0; k < dampingSubsteps; ++k) {
            const double tauOld = k == 0 ? 0.0 : h * k;
            const double tauNew = k + 1 == dampingSubsteps ? tauAfter(1) : h * (k + 1);
            steps.push_back({k, 1.0, h, tauOld, tauNew, true, k == 0});
        }
        first = 1;
    }
    for (int k = first; k < NT; ++k)
        steps.push_back({k, theta, dt, tauAfter(k), tauAfter(k + 1), false, k == first});
    return steps;
}

double SchemeFrame::slopeFactor(double tau) const
{
    return option.callPut == 1 ? 0.0 : std::exp(-option.d * tau);
}

double SchemeFrame::spotZeroValue(double tau) const
{
    if (option.callPut != 1)
        return 0.0;
    return option.american ? option.K : option.K * std::exp(-option.r * tau);
}

double SchemeFrame::spotOf(int i) const { return settings.logSpot ? std::exp(S[i]) : S[i]; }

void SchemeFrame::readOut(const std::function<double(int, int)>& valueAt)
{
    table_ = std::make_unique<RowMatrix>(n, Nv + 1, 0.0);
    maxNearbyNegVal_ = 0.0;
    const double spot = option.S;
    const double v0 = option.v0;
    for (int i = 0; i < n; ++i) {
        const bool nearSpot = std::fabs(spot - spotOf(i)) / spot < kNearSpot;
        for (int j = 0; j <= Nv; ++j) {
            const double u = valueAt(i, j);
            table_->data[i][j] = u;
            if (nearSpot && V[j] > kNearVarianceLow * v0 && V[j] < kNearVarianceHigh * v0 &&
                u < maxNearbyNegVal_)
                maxNearbyNegVal_ = u;
        }
    }
    x1_ = NumVector(n);
    for (int i = 0; i < n; ++i)
        x1_.data[i] = S[i];
    x2_ = NumVector(Nv + 1);
    for (int j = 0; j <= Nv; ++j)
        x2_.data[j] = V[j];
    interp_ = std::make_unique<Grid2D_interp>(x1_, x2_, *table_, kInterpOrder, kInterpOrder);
}

double SchemeFrame::interpAtSpot(double spot, double v)
{
    if (!interp_)
        throw NumericalError("The solution has not been read out");
    return interp_->interp(settings.logSpot ? std::log(spot) : spot, v);
}

void SchemeFrame::prepareOutputs(Array<Array<double>>& outputs)
{
    if (outputs.size() < 5)
        outputs.resize(5);
    for (std::size_t k = 0; k < outputs.size() && k < 5; ++k)
        outputs[k] = Array<double>(0.0, static_cast<std::size_t>(n));
    option.SGrid = S;
    option.values = Array<double>(0.0, static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        outputs[0][i] = S[i];
        option.values[i] = interp_->interp(S[i], option.v0);
        outputs[1][i] = option.values[i];
    }
}

void SchemeFrame::writeResults(double price, double adjusted, double fifth)
{
    if (option.results.size() < 6) {
        Array<double> grown(0.0, 6);
        for (std::size_t k = 0; k < option.results.size(); ++k)
            grown[k] = option.results[k];
        option.results = grown;
    }
    option.results[0] = gridTop;
    option.results[1] = price;
    option.results[2] = adjusted;
    option.results[3] = static_cast<double>(NT);
    option.results[4] = fifth;
}

void SchemeFrame::finishSingle(Array<Array<double>>& outputs, SpotGreeks greeks)
{
    if (!interp_)
        throw NumericalError("The solution has not been read out");
    prepareOutputs(outputs);
    const double interpolated = interpAtSpot(option.S, option.v0);
    // A solution that blew up is no price; the robust solves retry on this failure.
    if (!std::isfinite(interpolated))
        throw NumericalError("Instability detected");
    // The interpolant of an exercised region need not stay on the payoff between the nodes.
    const double price = detail::atLeastExerciseValue(option, interpolated);

    // A zero price makes any clearly negative nearby value dominant.
    const double neg = maxNearbyNegVal_;
    const bool dominant = price == 0.0 ? true : neg / price < negativeValueRatio;
    const double adjusted = neg < kNegligible && dominant ? neg : price;

    if (greeks == SpotGreeks::SpotNodes) {
        ClusteredGridFlag flag(option);
        option.spotDerivativesUniform(outputs[2], outputs[3]);
    } else if (greeks == SpotGreeks::LogSpotNodes) {
        option.spotDerivativesNonUniform(outputs[2], outputs[3]);
    }
    writeResults(price, adjusted, price);
}

void SchemeFrame::finishMultiStrike(Array<Array<double>>& outputs)
{
    if (!interp_)
        throw NumericalError("The solution has not been read out");
    prepareOutputs(outputs);
    const std::vector<double>& strikes = option.strikes;
    const std::size_t count = strikes.size();
    const double spot = option.S;
    const double K = option.K;
    const double T = option.T;
    const double growth = std::exp((option.r - option.d) * T);
    const double discount = std::exp(-option.r * T);

    option.strikePrices = Array<double>(0.0, count);
    double reported = 0.0;
    double runningMin = 0.0;  // over all strikes so far, not reset between strikes
    for (std::size_t m = 0; m < count; ++m) {
        const double Km = strikes[m];
        const double scaled = spot * K / Km;
        double p = interpAtSpot(scaled, option.v0) * Km / K;
        // The solve is for the reference strike's payoff; above the spot the other side is
        // reported, by parity.
        if (Km > spot)
            p += (growth * spot - Km) * discount;
        if (!std::isfinite(p))
            throw NumericalError("Instability detected");
        option.strikePrices[m] = p;
        if (!option.strikeFlag)
            continue;
        if (p <= 0.0)
            reported = p;
        for (int i = 0; i < n; ++i) {
            const double node = spotOf(i) * K / Km;
            if (std::fabs(scaled - node) / scaled < kNearSpot) {
                double value = interpAtSpot(node, option.v0) * Km / K;
                if (Km > spot)
                    value += (growth * spotOf(i) - Km) * discount;
                runningMin = std::min(runningMin, value);
            }
        }
        const bool dominant = p == 0.0 ? true : runningMin / p < negativeValueRatio;
        if (runningMin < kNegligible && dominant && runningMin < reported)
            reported = runningMin;
    }
    if (reported == 0.0 && count > 0)
        reported = option.strikePrices[0];
    option.strikeIVs = option.strikePrices;
    writeResults(0.0, reported, 0.0);
}

void SchemeFrame::reportTime(double* cpuTime) const
{
    if (cpuTime != nullptr)
        *cpuTime = static_cast<double>(std::clock() - start_) / CLOCKS_PER_SEC;
}
