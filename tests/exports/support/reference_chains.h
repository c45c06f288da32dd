#pragma once

// The reference sets of the calibration fixtures written in the count-first layout the chain
// exports read: the count, then per option its IV, S, K, T, r, d, callPut (the out-of-the-money
// side, call for K >= S) and exerciseType.

#include "calibration/support/chain_fixtures.h"

#include <climits>
#include <sstream>
#include <string>

namespace chain_test {

// Heston set A (v0 = vL = 0.04, mean reversion 1.5, volvol 0.3, rho -0.9), strikes Kmin to Kmax.
inline fixtures::Set hestonA(double Kmin, double Kmax, const std::vector<double>& expiries = {})
{
    fixtures::Set s = fixtures::hestonSet("A", expiries);
    std::vector<fixtures::Option> kept;
    for (const fixtures::Option& o : s.options)
        if (o.K >= Kmin && o.K <= Kmax) kept.push_back(o);
    s.options = kept;
    return s;
}

constexpr long long kSetSize = LLONG_MIN;

// count: the number announced (by default the set's size).
inline std::string countFirst(const fixtures::Set& s, long long count = kSetSize)
{
    std::ostringstream out;
    out.precision(17);
    out << (count == kSetSize ? static_cast<long long>(s.options.size()) : count) << "\n";
    for (const fixtures::Option& o : s.options)
        out << o.iv << "\t" << s.S << "\t" << o.K << "\t" << o.T << "\t" << o.r << "\t" << o.d << "\t"
            << (o.K >= s.S ? 0 : 1) << "\t0\n";
    return out.str();
}

}  // namespace chain_test
