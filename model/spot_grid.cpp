// Spot grids of the option object: uniform, sinh-clustered about the strike, and sinh-clustered in
// log-spot. Every builder puts the strike exactly on node iToK and caches the grid in SGrid.

#include "model/option_objects.h"

#include "numerics/numerical_error.h"

#include <algorithm>
#include <climits>
#include <cmath>
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
    grid = nodes;
    SGrid = nodes;
    sGridReady = true;
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
    const double A = std::max(K, S);
    const double SK = std::max(1.5 * K, std::min(20.0 * K, A * std::exp(f * m * std::sqrt(Tp))));
    double Smax = std::max(SK, S * std::exp(3.0 * m * std::sqrt(Tp)));
    requireSizedBound(m, Smax, kSpotGridFailure);

    double g = 1.0;
    if (volvolWidening && !meanGiven)
        g = std::min(2.0, 1.0 + std::max(volvol - 5.0, 0.0) / 10.0);
    if (SmaxUser == 0.0)
        SmaxUser = 1.0;
    g = g * SmaxUser;
    if (widen)
        Smax = 2.0 * Smax;

    int minNodes = NS > NSOriginal ? 2 * nSNodes - 1 : NS + 1;
    minNodes = std::max(minNodes, NS + 1);
    nSNodes = NS + 1;

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
    const double denominator = std::sinh(stretch * centre);
    if (!(std::fabs(denominator) > 0.0) || !std::isfinite(denominator))
        throw NumericalError(kSpotGridFailure);

    std::vector<double> nodes;
    nodes.reserve(static_cast<std::size_t>(minNodes) + 8u);
    const std::size_t limit = nodeLimit(minNodes, NS);
    for (int n = 0;; ++n) {
        const double s =
            K * (1.0 + std::sinh(stretch * (static_cast<double>(n) / NS - centre)) / denominator);
        if (std::isnan(s) || nodes.size() >= limit)
            throw NumericalError(kSpotGridFailure);
        nodes.push_back(s);
        if (!(s < Smax) && static_cast<int>(nodes.size()) >= minNodes)
            break;
    }
    if (static_cast<std::size_t>(strikeNode) >= nodes.size())
        throw NumericalError(kSpotGridFailure);
    nodes[static_cast<std::size_t>(strikeNode)] = K;

    if (g > 1.0) {
        nSNodes = static_cast<int>(nodes.size());
        NS = nSNodes - 1;
    }
    iToK = strikeNode;
    sStretchCentre = centre;
    sStretch = stretch;

    Array<double> out(nodes.data(), static_cast<std::size_t>(nSNodes));
    grid = out;
    SGrid = out;
    sGridReady = true;
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
    const double A = std::max(K, S);
    const double SK = std::max(1.5 * K, std::min(20.0 * K, A * std::exp(f * m * std::sqrt(Tp))));
    double Smax = std::max(SK, S * std::exp(3.0 * m * std::sqrt(Tp)));
    requireSizedBound(m, Smax, kLogGridFailure);

    double g = 1.0;
    if (volvolWidening && !meanGiven)
        g = std::min(2.0, 1.0 + std::max(volvol - 5.0, 0.0) / 10.0);
    if (SmaxUser == 0.0)
        SmaxUser = 1.0;
    g = g * SmaxUser;
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
    xmin = std::min(xmin, std::log(K * logGridFraction));

    int minNodes = NS > NSOriginal ? 2 * nSNodes - 1 : NS + 1;
    minNodes = std::max(minNodes, NS + 1);
    nSNodes = NS + 1;

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
    const double denominator = std::sinh(stretch * centre);
    if (!(std::fabs(denominator) > 0.0) || !std::isfinite(denominator))
        throw NumericalError(kLogGridFailure);

    std::vector<double> nodes;
    nodes.reserve(static_cast<std::size_t>(minNodes) + 8u);
    const std::size_t limit = nodeLimit(minNodes, NS);
    for (int n = 0;; ++n) {
        const double y =
            D * (1.0 + std::sinh(stretch * (static_cast<double>(n) / NS - centre)) / denominator);
        if (std::isnan(y) || nodes.size() >= limit)
            throw NumericalError(kLogGridFailure);
        nodes.push_back(y);
        if (!(y < Lx) && static_cast<int>(nodes.size()) >= minNodes)
            break;
    }

    if (g > 1.0) {
        nSNodes = static_cast<int>(nodes.size());
        NS = nSNodes - 1;
    }
    if (strikeNode >= nSNodes)
        throw NumericalError(kLogGridFailure);
    iToK = strikeNode;
    sStretchCentre = centre;
    sStretch = stretch;

    Array<double> out(static_cast<std::size_t>(nSNodes));
    for (int i = 0; i < nSNodes; ++i)
        out[i] = xmin + nodes[static_cast<std::size_t>(i)];
    out[strikeNode] = std::log(K);

    grid = out;
    SGrid = out;
    sGridReady = true;
}
