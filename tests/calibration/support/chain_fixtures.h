#pragma once

// Chains for the calibration tests: header-layout files built from rows or from the reference sets
// of tests/data, and the chain file and both failure logs pointed at files of the running test
// (the tests of one program run in parallel under ctest).

#include "calibration/header_chain.h"
#include "heston/vanilla_heston_export.h"
#include "model/solver_failure_log.h"
#include "numerics/black_scholes.h"
#include "numerics/implied_vol.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fixtures {

// One data row: market IV, strike, days, rate, dividend yield.
struct Row {
    double iv, K, days, r, d;
};

inline std::string chainText(double spot, const std::vector<Row>& rows)
{
    std::ostringstream out;
    out << std::setprecision(17) << "Chain\nTEST\non\n2024-01-02\nspot\n" << spot << "\nIV K days r d\n";
    for (const Row& w : rows) out << w.iv << "\t" << w.K << "\t" << w.days << "\t" << w.r << "\t" << w.d << "\n";
    return out.str();
}

// Text mode: the logs are written as text, with the platform's line ends.
inline std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Files {
public:
    Files() : chain_(temp("chain")), solverLog_(temp("sv_log")), hestonLog_(temp("heston_log"))
    {
        setOptionsDataPath(chain_);
        setSolverFailureLogPath(solverLog_);
        setHestonPriceLogPath(hestonLog_);
    }
    ~Files()
    {
        setOptionsDataPath("");
        setSolverFailureLogPath("");
        setHestonPriceLogPath("");
        for (const std::string* p : {&chain_, &solverLog_, &hestonLog_}) std::remove(p->c_str());
    }
    void writeChain(const std::string& text) const { std::ofstream(chain_, std::ios::binary) << text; }
    void removeChain() const { std::remove(chain_.c_str()); }
    std::string solverLog() const { return readText(solverLog_); }
    std::string hestonLog() const { return readText(hestonLog_); }

private:
    static std::string temp(const std::string& stem)
    {
        const std::string path = ::testing::TempDir() + stem + "_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 "_" + std::to_string(std::random_device{}()) + ".txt";
        std::remove(path.c_str());
        return path;
    }
    std::string chain_, solverLog_, hestonLog_;
};

// A reference set: parameters and options with the IVs of their reference prices.
struct Option {
    double K, T, r, d, iv, ivError;  // T in years; ivError: one Monte Carlo standard error, or 0
};
struct Set {
    double S = 0, v0 = 0, vL = 0, kappa = 0, volvol = 0, rho = 0;
    std::vector<Option> options;
    std::vector<double> params() const { return {v0, vL, kappa, volvol, rho}; }
    std::vector<double> ivs() const
    {
        std::vector<double> x;
        for (const Option& o : options) x.push_back(o.iv);
        return x;
    }
    std::string chain() const
    {
        std::vector<Row> rows;
        for (const Option& o : options) rows.push_back({o.iv, o.K, o.T * 365.0, o.r, o.d});
        return chainText(S, rows);
    }
};

// Rows of a set in a reference file (columns set,S,K,T,r,d,v0,vL,meanReversion,volvol,rho, ...).
inline std::vector<std::vector<std::string>> rowsOf(const std::string& file, const std::string& set)
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/" + file);
    std::vector<std::vector<std::string>> rows;
    std::string line, field;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        while (std::getline(s, field, ',')) f.push_back(field);
        if (!f.empty() && f[0] == set) rows.push_back(f);
    }
    return rows;
}

inline void readParameters(Set& s, const std::vector<std::string>& f)
{
    s.S = std::stod(f[1]);
    s.v0 = std::stod(f[6]);
    s.vL = std::stod(f[7]);
    s.kappa = std::stod(f[8]);
    s.volvol = std::stod(f[9]);
    s.rho = std::stod(f[10]);
}

// heston_analytic.csv (IV in column 13), keeping the expiries asked for (all when none) and only
// options the cheap-option filter keeps (Black-Scholes price at least 1e-5 of the spot), in the
// file's (T, K) order.
inline Set hestonSet(const std::string& name, const std::vector<double>& expiries = {})
{
    Set s;
    for (const auto& f : rowsOf("heston_analytic.csv", name)) {
        readParameters(s, f);
        const Option o{std::stod(f[2]), std::stod(f[3]), std::stod(f[4]), std::stod(f[5]), std::stod(f[13]), 0.0};
        bool wanted = expiries.empty();
        for (double T : expiries) wanted = wanted || T == o.T;
        const double price = blackScholesPrice(s.S, o.K, o.r, o.d, o.iv, o.T, o.K <= s.S ? 1 : 0);
        if (wanted && price / s.S >= 1e-5) s.options.push_back(o);
    }
    return s;
}

// garch_diffusion_mc.csv: the out-of-the-money side's price (the call at the spot) turned into an
// IV, its standard error into one of the IV through the Black-Scholes vega.
inline Set garchSet(const std::string& name)
{
    Set s;
    for (const auto& f : rowsOf("garch_diffusion_mc.csv", name)) {
        readParameters(s, f);
        const double K = std::stod(f[2]), T = std::stod(f[3]), r = std::stod(f[4]), d = std::stod(f[5]);
        const int callPut = f[11] == "put" ? 1 : 0;
        if ((K < s.S) != (callPut == 1)) continue;
        const ImpliedVolTarget target{s.S, K, T, r, d, std::stod(f[12]), callPut};
        const double iv = brentImpliedVol(&target, 1e-6, 2.0, 1e-14);
        const double h = 1e-5;
        const double vega = (blackScholesPrice(s.S, K, r, d, iv + h, T, callPut) -
                             blackScholesPrice(s.S, K, r, d, iv - h, T, callPut)) / (2 * h);
        s.options.push_back({K, T, r, d, iv, std::stod(f[13]) / vega});
    }
    return s;
}

// A Heston chain priced by the system's own semi-analytic pricer (v0 0.04, vBar 0.05, kappa 2.5,
// xi 0.6, rho -0.7; spot 100, r 3%, d 1%; strikes 70-130, 30 days to 2 years), without the options
// the cheap-option filter drops. With jitter, every IV is scaled by 1 + jitter x u, u uniform in
// [-1, 1] from seed: copies of the chain that differ only in its last digits.
inline Set exactHestonSet(double jitter = 0.0, unsigned seed = 0)
{
    Set s;
    s.S = 100;
    s.v0 = 0.04, s.vL = 0.05, s.kappa = 2.5, s.volvol = 0.6, s.rho = -0.7;
    std::mt19937 draws(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (double days : {30, 60, 90, 180, 365, 730}) {
        for (double K : {70, 80, 85, 90, 95, 100, 105, 110, 115, 130}) {
            const double T = days / 365.0, r = 0.03, d = 0.01;
            const int put = K <= s.S ? 1 : 0;
            const ImpliedVolTarget target{
                s.S, K, T, r, d,
                VanillaHeston(s.S, K, r, d, s.v0, s.vL, s.kappa, s.volvol, s.rho, T, put), put};
            const double iv = brentImpliedVol(&target, 1e-15, 2.0, 1e-16);
            if (blackScholesPrice(s.S, K, r, d, iv, T, put) / s.S >= 1e-5)
                s.options.push_back({K, T, r, d, iv * (1.0 + jitter * u(draws)), 0.0});
        }
    }
    return s;
}

}  // namespace fixtures
