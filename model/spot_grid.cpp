// Spot grids of the option object: uniform, sinh-clustered about the strike, and sinh-clustered in
// log-spot. Every builder puts the strike exactly on node iToK and caches the grid in SGrid.

#include "model/input_checks.h"
#include "model/option_objects.h"

#include "numerics/numerical_error.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

const char* const kSpotGridFailure =
    "There was a problem while generating the PDE grid for this vanilla option.";
const char* const kLogGridFailure =
    "There was a problem while generating the PDE grid for this vanila option.";

// Truncation toward zero that refuses what an int cannot hold (NaN included).
int truncatedIndex(double x, const char* failure)
{
    if (!(x > -1.0) || !(x < static_cast<double>(INT_MAX)))
        throw NumericalError(failure);
    return static_cast<int>(x);
}

// The clustered grids grow beyond NS only to reach a stretched upper bound; a bound that needs
// more nodes than this is not a grid but a runaway.
std::size_t nodeLimit(int minNodes, int NS)
{
    return 64u * static_cast<std::size_t>(std::max(minNodes, NS + 1)) + 64u;
}

// Index of the node that a cached sinh centre puts on the strike, or -1 when the centre does not
// fall on a node of a grid with NS intervals (NS changed without the caches being cleared).
int nodeOnCachedCentre(double centre, int NS)
{
    const double x = centre * NS;
    if (!(x >= 1.0) || !(x < static_cast<double>(INT_MAX)))
        return -1;
    const double nearest = std::round(x);
    return std::fabs(x - nearest) <= 1e-9 * x ? static_cast<int>(nearest) : -1;
}

// The bounds min/max would quietly drop a NaN volatility scale (a negative or NaN variance) and
// size the grid without the model; such parameters are a failure of the build.
void requireSizedBound(double volatilityScale, double Smax, const char* failure)
{
    if (!std::isfinite(volatilityScale) || !std::isfinite(Smax) || !(Smax > 0.0))
        throw NumericalError(failure);
}

// Upper bound of a clustered grid: f scale-widths above the larger of strike and spot (between
// 1.5 and 20 strikes), and at least 3 widths above the spot.
double clusteredUpperBound(const OrvHestonVanilla& o, double m, double f, double Tp,
                           const char* failure)
{
    const double A = std::max(o.K, o.S);
    const double SK =
        std::max(1.5 * o.K, std::min(20.0 * o.K, A * std::exp(f * m * std::sqrt(Tp))));
    const double Smax = std::max(SK, o.S * std::exp(3.0 * m * std::sqrt(Tp)));
    requireSizedBound(m, Smax, failure);
    return Smax;
}

// Factor by which a clustered grid reaches beyond its upper bound: a large volvol, unless a mean
// variance sized the grid, times the user's factor (0.0 there means 1.0 and is stored as such).
double clusteredStretchFactor(OrvHestonVanilla& o, bool meanGiven)
{
    double g = 1.0;
    if (o.volvolWidening && !meanGiven)
        g = std::min(2.0, 1.0 + std::max(o.volvol - 5.0, 0.0) / 10.0);
    if (o.SmaxUser == 0.0)
        o.SmaxUser = 1.0;
    return g * o.SmaxUser;
}

// The node counts of the builders (NS + 1, twice the previous count) must not overflow.
void requireCountableNodes(const OrvHestonVanilla& o)
{
    if (o.NS < 0 || o.NS > kMaxGridIntervals || o.nSNodes < 0 || o.nSNodes > INT_MAX / 2)
        throw NumericalError("NS must lie in [0, " + std::to_string(kMaxGridIntervals) +
                             "], not " + std::to_string(o.NS));
}

// Nodes a refined rebuild must lay at least (twice the coarse intervals); nSNodes becomes NS + 1.
int clusteredMinimumNodes(OrvHestonVanilla& o)
{
    requireCountableNodes(o);
    const int minNodes = o.NS > o.NSOriginal ? 2 * o.nSNodes - 1 : o.NS + 1;
    o.nSNodes = o.NS + 1;
    return std::max(minNodes, o.NS + 1);
}

// The sinh map about the strike: node n lies at scale (1 + sinh(stretch (n / NS - centre)) /
// sinh(stretch centre)), so node 0 is 0 and node centre NS is `scale`. Nodes are laid up to the
// first one at or above `bound`, and at least minNodes of them.
std::vector<double> sinhNodes(double scale, double stretch, double centre, int NS, double bound,
                              int minNodes, const char* failure)
{
    const double denominator = std::sinh(stretch * centre);
    if (!(std::fabs(denominator) > 0.0) || !std::isfinite(denominator))
        throw NumericalError(failure);
    std::vector<double> nodes;
    nodes.reserve(static_cast<std::size_t>(minNodes) + 8u);
    const std::size_t limit = nodeLimit(minNodes, NS);
    for (int n = 0;; ++n) {
        const double x =
            scale * (1.0 + std::sinh(stretch * (static_cast<double>(n) / NS - centre)) / denominator);
        if (std::isnan(x) || nodes.size() >= limit)
            throw NumericalError(failure);
        nodes.push_back(x);
        if (!(x < bound) && static_cast<int>(nodes.size()) >= minNodes)
            return nodes;
    }
}

// A grid stretched beyond its bound keeps every node laid; the map is cached for rebuilds.
void adoptClusteredMap(OrvHestonVanilla& o, std::size_t laid, double g, int strikeNode,
                       double centre, double stretch, const char* failure)
{
    if (g > 1.0) {
        o.nSNodes = static_cast<int>(laid);
        o.NS = o.nSNodes - 1;
    }
    if (strikeNode >= o.nSNodes)
        throw NumericalError(failure);
    o.iToK = strikeNode;
    o.sStretchCentre = centre;
    o.sStretch = stretch;
}

// The builder's nodes become the object's grid for the rest of the solve.
void cacheGrid(OrvHestonVanilla& o, Array<double>& grid, const Array<double>& nodes)
{
    grid = nodes;
    o.SGrid = nodes;
    o.sGridReady = true;
}

}  // namespace

void OrvHestonVanilla::generateSGrid(Array<double>& grid)
{
    if (nonUniformSGrid)
        generateNonUniformSGrid(grid, 4.5, false);
    else
        generateUniformSGrid(grid, false);
}

void OrvHestonVanilla::generateUniformSGrid(Array<double>& grid, bool widen)
{
    if (sGridReady) {
        grid = SGrid;
        return;
    }
    const double Tp = T + extraT;
    double m = (std::sqrt(v0) + std::sqrt(vL)) / 2.0;
    if (Tp > 0.5)
        m = m + (std::sqrt(vL) - m) * std::min(Tp - 0.5, 1.0);
    double f = 5.0;
    if (Tp > 1.0)
        f = 5.0 - 2.0 * std::min(Tp - 1.0, 1.0);
    double SK = std::max(1.5 * K, std::min(20.0 * K, K * std::exp(f * m * std::sqrt(Tp))));
    if (widen)
        SK = 1.5 * SK;
    double Smax = std::max(SK, S * std::exp(3.0 * m * std::sqrt(Tp)));
    if (SmaxUser > 0.0)
        Smax = std::max(SmaxUser, 1.5 * K);
    requireSizedBound(m, Smax, kSpotGridFailure);

    requireCountableNodes(*this);
    nSNodes = NS + 1;
    int strikeNode = iToK;
    if (strikeNode == 0)
        strikeNode = truncatedIndex(K / Smax * NS, kSpotGridFailure);
    // A strike below the first step or beyond the grid leaves no grid that carries it on a node.
    if (NS < 1 || strikeNode < 1 || strikeNode > NS || !(K > 0.0) || !std::isfinite(K))
        throw NumericalError(kSpotGridFailure);

    const double step = K / strikeNode;
    Array<double> nodes(static_cast<std::size_t>(nSNodes));
    for (int i = 0; i <= NS; ++i)
        nodes[i] = i * step;
    nodes[strikeNode] = K;

    iToK = strikeNode;
    cacheGrid(*this, grid, nodes);
}

void OrvHestonVanilla::generateNonUniformSGrid(Array<double>& grid, double clustering, bool widen)
{
    if (sGridReady) {
        grid = SGrid;
        return;
    }
    const double c = clustering;
    const double Tp = T + extraT;
    const bool meanGiven = vMean > 0.001 && vMean <= 1.0;

    double m;
    if (modelCode <= 2)
        m = meanGiven ? std::sqrt(vMean) : (std::sqrt(v0) + std::sqrt(vL)) / 2.0;
    else
        m = meanGiven ? vMean : (v0 + vL) / 2.0;
    double f = modelCode <= 3 ? 5.0 : 4.0;
    if (!meanGiven) {
        if (Tp > 0.5) {
            const double L = modelCode <= 2 ? std::sqrt(vL) : vL;
            m = m + (L - m) * std::min(Tp - 0.5, 1.0);
        }
        if (Tp > 1.0 && S > 2.0 * K) {
            const double w = std::min((S / K - 2.0) / 2.0, 1.0);
            f = f - (f - 3.0) * w;
        }
    }
    double Smax = clusteredUpperBound(*this, m, f, Tp, kSpotGridFailure);

    const double g = clusteredStretchFactor(*this, meanGiven);
    if (widen)
        Smax = 2.0 * Smax;
    const int minNodes = clusteredMinimumNodes(*this);

    const double a = Smax / K - 1.0;
    const double ratio = (std::exp(c) + a) / (std::exp(-c) + a);
    if (!(ratio > 0.0) || !std::isfinite(ratio) || NS < 1)
        throw NumericalError(kSpotGridFailure);
    const double x0 = std::log(ratio) / (2.0 * c);
    if (!(x0 > 0.0) || !std::isfinite(x0))
        throw NumericalError(kSpotGridFailure);
    if (g >= 0.5)
        Smax = g * Smax;

    // A cached centre fixes which node the strike sits on (a refined grid keeps the coarse map);
    // only when it no longer falls on a node of this NS is a new one chosen.
    double centre = sStretchCentre;
    int strikeNode = centre != 0.0 ? nodeOnCachedCentre(centre, NS) : -1;
    if (strikeNode < 0) {
        strikeNode = truncatedIndex(NS * x0, kSpotGridFailure);
        if (strikeNode < 1)
            throw NumericalError(kSpotGridFailure);
        centre = static_cast<double>(strikeNode) / NS;
    }
    const double stretch = sStretch != 0.0 ? sStretch : c;
    std::vector<double> nodes =
        sinhNodes(K, stretch, centre, NS, Smax, minNodes, kSpotGridFailure);
    adoptClusteredMap(*this, nodes.size(), g, strikeNode, centre, stretch, kSpotGridFailure);
    nodes[static_cast<std::size_t>(strikeNode)] = K;

    cacheGrid(*this, grid, Array<double>(nodes.data(), static_cast<std::size_t>(nSNodes)));
}

void OrvHestonVanilla::generateLogSGrid(Array<double>& grid, double clustering, bool widen)
{
    if (sGridReady) {
        grid = SGrid;
        return;
    }
    double c = clustering;
    const double Tp = T + extraT;
    const bool meanGiven = vMean != 0.0 && vMean <= 1.0;

    double m;
    double f = 5.0;
    if (meanGiven) {
        m = std::sqrt(vMean);
    } else {
        m = (std::sqrt(v0) + std::sqrt(vL)) / 2.0;
        if (Tp > 0.5)
            m = m + (std::sqrt(vL) - m) * std::min(Tp - 0.5, 1.0);
        if (Tp > 1.0)
            f = 5.0 - 2.0 * std::min(Tp - 1.0, 1.0);
    }
    double Smax = clusteredUpperBound(*this, m, f, Tp, kLogGridFailure);

    const double g = clusteredStretchFactor(*this, meanGiven);
    if (widen)
        Smax = 2.0 * Smax;

    const double xmax = std::log(Smax);
    double xmin = std::log(std::min(K, S)) + (r - d - m * m / 2.0) * Tp - 6.0 * m * std::sqrt(Tp);
    if ((modelCode == 1 || modelCode == 2) && rho > -0.5) {
        const double q = std::min(1.0, std::max(0.0, rho + 0.6) / 0.4);
        c = c + (8.5 - c) * q;
        xmin = std::min(xmin, std::log(K * (0.6 - 0.5 * q)));
    }
    xmin = std::min(xmin, std::log(0.6 * K));
    // The reach is paid for at the strike: the default 0.025 K puts about 40 % of the nodes below
    // 0.6 K and leaves the steps at the strike twice to two and a half times those of a reach of
    // 0.5 K, so a coarse grid prices short out-of-the-money options tens of basis points off.
    xmin = std::min(xmin, std::log(K * logGridFraction));

    const int minNodes = clusteredMinimumNodes(*this);

    double Lx = xmax - xmin;
    const double D = std::log(K) - xmin;
    const double a = Lx / D - 1.0;
    const double ratio = (std::exp(c) + a) / (std::exp(-c) + a);
    if (!(ratio > 0.0) || !std::isfinite(ratio) || !(D > 0.0) || !std::isfinite(D) || NS < 1)
        throw NumericalError(kLogGridFailure);
    const double x0 = std::log(ratio) / (2.0 * c);
    if (!(x0 > 0.0) || !std::isfinite(x0))
        throw NumericalError(kLogGridFailure);
    if (g > 1.0)
        Lx = Lx + std::log(g);

    double centre = sStretchCentre;
    int strikeNode = centre != 0.0 ? nodeOnCachedCentre(centre, NS) : -1;
    if (strikeNode < 0) {
        // The strike node is the last node of the uncached map at or below ln K.
        const double denominator = std::sinh(c * x0);
        strikeNode = 0;
        for (int n = 0;; ++n) {
            if (n > 4 * NS + 8)
                throw NumericalError(kLogGridFailure);
            const double y = D * (1.0 + std::sinh(c * (static_cast<double>(n) / NS - x0)) / denominator);
            if (std::isnan(y))
                throw NumericalError(kLogGridFailure);
            if (y > D) {
                strikeNode = n - 1;
                break;
            }
            if (y >= Lx)
                break;
        }
        if (strikeNode < 1)
            throw NumericalError(kLogGridFailure);
        centre = static_cast<double>(strikeNode) / NS;
    }
    const double stretch = sStretch != 0.0 ? sStretch : c;
    const std::vector<double> nodes =
        sinhNodes(D, stretch, centre, NS, Lx, minNodes, kLogGridFailure);
    adoptClusteredMap(*this, nodes.size(), g, strikeNode, centre, stretch, kLogGridFailure);

    Array<double> out(static_cast<std::size_t>(nSNodes));
    for (int i = 0; i < nSNodes; ++i)
        out[i] = xmin + nodes[static_cast<std::size_t>(i)];
    out[strikeNode] = std::log(K);
    cacheGrid(*this, grid, out);
}
