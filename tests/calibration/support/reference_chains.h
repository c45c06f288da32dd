#pragma once

// Header-layout chains built from the reference files of tests/data: the option rows of one
// parameter set with the implied volatilities of their reference prices.

#include "numerics/black_scholes.h"
#include "numerics/implied_vol.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace reference_chains {

struct Option {
    double K = 0.0;
    double T = 0.0;   // years
    double r = 0.0;
    double d = 0.0;
    double iv = 0.0;  // Black-Scholes IV of the out-of-the-money side's reference price
    double ivError = 0.0;  // one standard error of iv (Monte Carlo references), else 0
};

struct Set {
    double S = 0.0;
    double v0 = 0.0, vL = 0.0, kappa = 0.0, volvol = 0.0, rho = 0.0;
    std::vector<Option> options;
};

inline std::vector<std::vector<std::string>> csvRows(const std::string& file)
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/" + file);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    std::getline(in, line);  // heads
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, ',')) fields.push_back(field);
        if (!fields.empty()) rows.push_back(fields);
    }
    return rows;
}

// heston_analytic.csv: set,S,K,T,r,d,v0,vL,meanReversion,volvol,rho,call,put,impliedVol
inline Set hestonSet(const std::string& name)
{
    Set set;
    for (const auto& f : csvRows("heston_analytic.csv")) {
        if (f[0] != name) continue;
        set.S = std::stod(f[1]);
        set.v0 = std::stod(f[6]);
        set.vL = std::stod(f[7]);
        set.kappa = std::stod(f[8]);
        set.volvol = std::stod(f[9]);
        set.rho = std::stod(f[10]);
        set.options.push_back({std::stod(f[2]), std::stod(f[3]), std::stod(f[4]), std::stod(f[5]),
                               std::stod(f[13]), 0.0});
    }
    return set;
}

// garch_diffusion_mc.csv: set,S,K,T,r,d,v0,vL,meanReversion,volvol,rho,type,price,stderr. The IV
// is taken from the out-of-the-money side (the call at the spot), its error from the standard
// error over the Black-Scholes vega.
inline Set garchSet(const std::string& name)
{
    Set set;
    for (const auto& f : csvRows("garch_diffusion_mc.csv")) {
        if (f[0] != name) continue;
        const double S = std::stod(f[1]), K = std::stod(f[2]), T = std::stod(f[3]);
        const int callPut = f[11] == "put" ? 1 : 0;
        if ((K < S) != (callPut == 1)) continue;
        set.S = S;
        set.v0 = std::stod(f[6]);
        set.vL = std::stod(f[7]);
        set.kappa = std::stod(f[8]);
        set.volvol = std::stod(f[9]);
        set.rho = std::stod(f[10]);
        Option o{K, T, std::stod(f[4]), std::stod(f[5]), 0.0, 0.0};
        const ImpliedVolTarget target{S, K, T, o.r, o.d, std::stod(f[12]), callPut};
        o.iv = brentImpliedVol(&target, 1e-6, 2.0, 1e-14);
        const double h = 1e-5;
        const double vega = (blackScholesPrice(S, K, o.r, o.d, o.iv + h, T, callPut) -
                             blackScholesPrice(S, K, o.r, o.d, o.iv - h, T, callPut)) /
                            (2 * h);
        o.ivError = std::stod(f[13]) / vega;
        set.options.push_back(o);
    }
    return set;
}

}  // namespace reference_chains
