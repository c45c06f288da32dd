#pragma once

// Points the chain reader and both failure logs at files of the running test, and builds the
// header-layout chain of a reference set.

#include "calibration/header_chain.h"
#include "heston/vanilla_heston_export.h"
#include "model/solver_failure_log.h"
#include "numerics/black_scholes.h"
#include "calibration/support/chain_files.h"
#include "calibration/support/reference_chains.h"

#include <cstdio>
#include <string>
#include <vector>

class ObjectiveFiles {
public:
    ObjectiveFiles() : chain_("chain"), solverLog_("sv_log"), hestonLog_("heston_log")
    {
        setOptionsDataPath(chain_.str());
        setSolverFailureLogPath(solverLog_.str());
        setHestonPriceLogPath(hestonLog_.str());
    }
    ~ObjectiveFiles()
    {
        setOptionsDataPath("");
        setSolverFailureLogPath("");
        setHestonPriceLogPath("");
    }
    void writeChain(const std::string& text) const { chain_files::writeText(chain_.str(), text); }
    void removeChain() const { std::remove(chain_.str().c_str()); }
    std::string solverLog() const { return chain_files::readText(solverLog_.str()); }
    std::string hestonLog() const { return chain_files::readText(hestonLog_.str()); }

private:
    chain_files::TempPath chain_;
    chain_files::TempPath solverLog_;
    chain_files::TempPath hestonLog_;
};

// The options of a reference set that survive the cheap-option filter (Black-Scholes price at the
// market IV below 1e-5 of the spot), in the set's (T, K) order; the filter's put rule does not
// matter away from the spot.
inline std::vector<reference_chains::Option> pricedOptions(const reference_chains::Set& set)
{
    std::vector<reference_chains::Option> kept;
    for (const auto& o : set.options) {
        const double price =
            blackScholesPrice(set.S, o.K, o.r, o.d, o.iv, o.T, o.K <= set.S ? 1 : 0);
        if (price / set.S >= 1e-5) kept.push_back(o);
    }
    return kept;
}

inline std::string referenceChainText(const reference_chains::Set& set)
{
    std::vector<chain_files::Row> rows;
    for (const auto& o : set.options) rows.push_back({o.iv, o.K, o.T * 365.0, o.r, o.d});
    return chain_files::headerChainText(set.S, rows);
}
