// Terminal values on the spot grid: the vanilla payoff, the copy in which the node nearest the
// strike holds the payoff's mean over its cell (so the kink does not spoil the convergence order),
// and the value at S = 0.

#include "model/option_objects.h"

#include "numerics/numerical_error.h"
#include "numerics/row_matrix.h"

#include <algorithm>
#include <cmath>

namespace {

// The builders leave nSNodes nodes in SGrid; anything else means no grid was built for this solve.
std::size_t builtNodeCount(const OrvHestonVanilla& option)
{
    if (option.nSNodes < 1 || static_cast<std::size_t>(option.nSNodes) > option.SGrid.size())
        throw NumericalError("The spot grid has not been built");
    return static_cast<std::size_t>(option.nSNodes);
}

// Node nearest the strike (the lower one on a tie) and its cell [lo, hi] between the midpoints to
// its neighbours; false when the strike is above every node or its node has no neighbour on one
// side, so there is no cell to average over.
bool strikeCell(const Array<double>& nodes, std::size_t count, double k, std::size_t& node,
                double& lo, double& hi)
{
    std::size_t i = 0;
    while (i < count && !(nodes[i] > k))
        ++i;
    if (i == count || i == 0)
        return false;
    node = k > (nodes[i - 1] + nodes[i]) / 2.0 ? i : i - 1;
    if (node == 0 || node + 1 >= count)
        return false;
    lo = (nodes[node - 1] + nodes[node]) / 2.0;
    hi = (nodes[node] + nodes[node + 1]) / 2.0;
    return true;
}

void applyBoundaryValues(OrvHestonVanilla& option, std::size_t count)
{
    if (option.upperBoundaryValue > -1.0)
        option.values[count - 1] = option.upperBoundaryValue;
    if (option.lowerBoundaryValue > -1.0)
        option.values[0] = option.lowerBoundaryValue;
}

}  // namespace

void OrvHestonVanilla::setPayoff()
{
    const std::size_t count = builtNodeCount(*this);
    payoff.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double s = SGrid[i];
        payoff[i] = callPut == 1 ? std::max(K - s, 0.0) : std::max(s - K, 0.0);
    }
}

void OrvHestonVanilla::setPayoffLogS()
{
    const std::size_t count = builtNodeCount(*this);
    payoff.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double s = std::exp(SGrid[i]);
        payoff[i] = callPut == 1 ? std::max(K - s, 0.0) : std::max(s - K, 0.0);
    }
}

void OrvHestonVanilla::smoothPayoff()
{
    const std::size_t count = builtNodeCount(*this);
    if (payoff.size() < count)
        throw NumericalError("The payoff has not been set on the spot grid");
    values = payoff;
    applyBoundaryValues(*this, count);

    std::size_t j;
    double lo, hi;
    if (!strikeCell(SGrid, count, K, j, lo, hi))
        return;
    // Exact means of max(s - K, 0) and max(K - s, 0) over [lo, hi].
    if (callPut == 0) {
        const double p = (hi + K) / 2.0 - K;
        values[j] = p > 0.0 ? (hi - K) * p / (hi - lo) : 0.0;
    } else if (callPut == 1) {
        const double p = K - (lo + K) / 2.0;
        values[j] = p > 0.0 ? (K - lo) * p / (hi - lo) : 0.0;
    }
}

void OrvHestonVanilla::smoothPayoffLogS()
{
    const std::size_t count = builtNodeCount(*this);
    if (payoff.size() < count)
        throw NumericalError("The payoff has not been set on the spot grid");
    values = payoff;
    applyBoundaryValues(*this, count);

    const double k = std::log(K);
    std::size_t j;
    double lo, hi;
    if (!strikeCell(SGrid, count, k, j, lo, hi))
        return;
    // Midpoint rule in log-spot over the part of the cell where the payoff is positive.
    if (callPut == 0) {
        const double m = (hi + k) / 2.0;
        const double p = m > k ? std::exp(m) - K : 0.0;
        values[j] = (hi - k) * p / (hi - lo);
    } else if (callPut == 1) {
        const double m = (lo + k) / 2.0;
        const double p = k > m ? K - std::exp(m) : 0.0;
        values[j] = (k - lo) * p / (hi - lo);
    }
}

void OrvHestonVanilla::setLowerBoundary(RowMatrix& U, double t)
{
    if (U.rows < Nv + 2 || U.cols < 1)
        throw NumericalError("The value table is too small for the lower boundary");
    const double b = american ? K : K * std::exp(-r * t);
    const double value = callPut == 1 ? b : 0.0;
    for (int j = 1; j <= Nv + 1; ++j)
        U.data[j][0] = value;
}
