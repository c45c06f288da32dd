#pragma once

// Scripted time-stepping routines for the tests of the dispatcher, the price modes and the robust
// solves. They are installed through the dispatcher's routine table, so they work the same with
// or without the real schemes linked. Each call is recorded and then handed to a test-supplied
// behaviour, which writes results and outputs or throws.

#include "model/option_objects.h"
#include "model/scheme_dispatch.h"

#include <functional>
#include <vector>

namespace scripted {

// What a routine saw when it was called.
struct Call {
    int routine;        // the first scheme number served by the routine (1, 2, 3, 6, 7, 10 ... 15)
    int schemeNumber;
    int NS;
    int Nv;
    int NT;
    int NSOriginal;
    int priceMode;
    int retryLevel;
    int iToK;
    int iToV0;
    int vUpperIntervals;
    double clustering;
    double logGridFraction;
    bool dampingFlag;
    bool sGridReady;
    bool fillOutputs;
    bool unusedFlag;
    bool widenSGrid;
    bool widenVmax;
    double sGridParam;
    double vGridStretch;
};

using Behaviour = std::function<void(OrvHestonVanilla&, Array<Array<double>>&)>;

inline std::vector<Call>& calls()
{
    static std::vector<Call> list;
    return list;
}

inline Behaviour& behaviour()
{
    static Behaviour b;
    return b;
}

template <int Routine>
bool routine(OrvHestonVanilla& o, Array<Array<double>>& outputs, double* /*cpuTime*/,
             bool fillOutputs, bool unusedFlag, double, std::vector<double>*,
             std::vector<double>*, double, std::vector<double>*, bool widenSGrid, bool widenVmax,
             double sGridParam, double vGridStretch)
{
    calls().push_back(Call{Routine, o.schemeNumber, o.NS, o.Nv, o.NT, o.NSOriginal, o.priceMode,
                           o.retryLevel, o.iToK, o.iToV0, o.vUpperIntervals, o.clustering,
                           o.logGridFraction, o.dampingFlag, o.sGridReady, fillOutputs,
                           unusedFlag, widenSGrid, widenVmax, sGridParam, vGridStretch});
    if (behaviour()) {
        behaviour()(o, outputs);
    }
    return true;
}

inline SchemeRoutine routineServing(int firstScheme)
{
    switch (firstScheme) {
    case 1: return routine<1>;
    case 2: return routine<2>;
    case 3: return routine<3>;
    case 6: return routine<6>;
    case 7: return routine<7>;
    case 10: return routine<10>;
    case 11: return routine<11>;
    case 12: return routine<12>;
    case 13: return routine<13>;
    case 14: return routine<14>;
    default: return routine<15>;
    }
}

// Same routine sharing and damping as the member table: 4 shares 2's routine, 5 shares 3's,
// 8 shares 6's and 9 shares 7's.
inline const SchemeRoutineTable& table()
{
    static const SchemeRoutineTable t = [] {
        SchemeRoutineTable s{};
        const int firstServed[16] = {0, 1, 2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 12, 13, 14, 15};
        for (int n = 1; n <= SchemeRoutineTable::kSchemeCount; ++n) {
            s.routine[n] = routineServing(firstServed[n]);
            s.damped[n] = memberSchemeRoutines().damped[n];
        }
        return s;
    }();
    return t;
}

// Installs the scripted routines for one test and restores the member routines afterwards.
class Install {
public:
    explicit Install(Behaviour b)
    {
        calls().clear();
        behaviour() = std::move(b);
        setSchemeRoutineTable(&table());
    }
    ~Install()
    {
        setSchemeRoutineTable(nullptr);
        behaviour() = nullptr;
    }
    Install(const Install&) = delete;
    Install& operator=(const Install&) = delete;
};

// What a routine writes after a solve: a uniform spot grid of NS + 1 nodes on [0, smax], every
// output array one value per node from node(k, x), and results[0..4] as the schemes write them.
inline void writeSolve(OrvHestonVanilla& o, Array<Array<double>>& outputs, double price,
                       double safeValue, const std::function<double(int, double)>& node,
                       double smax = 200.0)
{
    const int n = o.NS + 1;
    o.nSNodes = n;
    for (int k = 0; k < 5; ++k) {
        outputs[k].resize(static_cast<std::size_t>(n));
        for (int j = 0; j < n; ++j) {
            const double x = smax * j / o.NS;
            outputs[k][j] = k == 0 ? x : node(k, x);
        }
    }
    o.results[0] = 1.0;
    o.results[1] = price;
    o.results[2] = safeValue;
    o.results[3] = o.NT;
    o.results[4] = price;
}

inline void writeSolve(OrvHestonVanilla& o, Array<Array<double>>& outputs, double price,
                       double safeValue)
{
    writeSolve(o, outputs, price, safeValue, [](int, double) { return 0.0; });
}

}  // namespace scripted
