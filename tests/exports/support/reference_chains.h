#pragma once

// Option chains with known model prices for the chain calibration tests, read from the reference
// files of the test data, and the count-first chain files the exports read.

#include "numerics/implied_vol.h"

#include <climits>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace chain_test {

struct ReferenceOption {
    double marketIV = 0.0;
    double S = 100.0, K = 100.0, T = 1.0, r = 0.0, d = 0.0;
    int callPut = 0;        // the out-of-the-money side: call for K >= S
    int exerciseType = 0;
    double ivError = 0.0;   // one standard error of the reference IV (Monte Carlo data)
    double price = 0.0;     // reference price of the out-of-the-money side
};

struct ModelParameters {
    double v0, vL, theta, volvol, rho;
};

// Heston set A of the reference file: v0 = vL = 0.04, mean reversion 1.5, volvol 0.3, rho -0.9.
constexpr ModelParameters kHestonA{0.04, 0.04, 1.5, 0.3, -0.9};
// GARCH diffusion set G1: v0 = vL = 0.04, mean reversion 2, volvol 1, rho -0.5.
constexpr ModelParameters kGarchG1{0.04, 0.04, 2.0, 1.0, -0.5};

inline std::vector<std::vector<std::string>> csvRows(const std::string& file)
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/" + file);
    std::string line;
    std::getline(in, line);  // column heads
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> row;
        std::string field;
        while (std::getline(fields, field, ',')) row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

// The options of Heston set A that keep is true for (by strike and expiry), priced at the
// reference file's implied volatilities.
inline std::vector<ReferenceOption> hestonChain(const std::function<bool(double, double)>& keep)
{
    std::vector<ReferenceOption> chain;
    for (const auto& f : csvRows("heston_analytic.csv")) {
        if (f.size() < 14 || f[0] != "A") continue;
        ReferenceOption o;
        o.S = std::stod(f[1]);
        o.K = std::stod(f[2]);
        o.T = std::stod(f[3]);
        o.r = std::stod(f[4]);
        o.d = std::stod(f[5]);
        o.marketIV = std::stod(f[13]);
        o.callPut = o.K >= o.S ? 0 : 1;
        o.price = std::stod(f[o.callPut == 0 ? 11 : 12]);
        if (keep(o.K, o.T)) chain.push_back(o);
    }
    return chain;
}

inline double normalPdf(double x) { return std::exp(-0.5 * x * x) / 2.5066282746310002; }

// The GARCH diffusion chain of the Monte Carlo reference file, out-of-the-money side, with each
// option's standard error carried over to its implied volatility through the Black-Scholes vega.
inline std::vector<ReferenceOption> garchChain()
{
    std::vector<ReferenceOption> chain;
    for (const auto& f : csvRows("garch_diffusion_mc.csv")) {
        if (f.size() < 14) continue;
        ReferenceOption o;
        o.S = std::stod(f[1]);
        o.K = std::stod(f[2]);
        o.T = std::stod(f[3]);
        o.r = std::stod(f[4]);
        o.d = std::stod(f[5]);
        o.callPut = f[11] == "call" ? 0 : 1;
        if ((o.K >= o.S) != (o.callPut == 0)) continue;
        const ImpliedVolTarget target{o.S, o.K, o.T, o.r, o.d, std::stod(f[12]), o.callPut};
        o.marketIV = brentImpliedVol(&target, 1e-15, 2.0, 1e-16);
        const double sd = o.marketIV * std::sqrt(o.T);
        const double d1 = (std::log(o.S / o.K) + (o.r - o.d) * o.T) / sd + 0.5 * sd;
        const double vega = o.S * std::exp(-o.d * o.T) * normalPdf(d1) * std::sqrt(o.T);
        o.ivError = std::stod(f[13]) / vega;
        chain.push_back(o);
    }
    return chain;
}

constexpr long long kChainSize = LLONG_MIN;

// The count-first layout: the count (by default the chain's size), then one row per option.
inline void writeChain(const std::string& path, const std::vector<ReferenceOption>& chain,
                       long long count = kChainSize)
{
    std::ofstream out(path);
    out.precision(17);
    out << (count == kChainSize ? static_cast<long long>(chain.size()) : count) << "\n";
    for (const ReferenceOption& o : chain) {
        out << o.marketIV << "\t" << o.S << "\t" << o.K << "\t" << o.T << "\t" << o.r << "\t"
            << o.d << "\t" << o.callPut << "\t" << o.exerciseType << "\n";
    }
}

}  // namespace chain_test
