#pragma once

// The reference prices of tests/data as test cases for the schemes: the semi-analytic Heston
// prices and the GARCH diffusion Monte Carlo prices, with the implied-volatility error of a PDE
// price against them.

#include "schemes/support/frame_test_option.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace scheme_refs {

struct Reference {
    std::string set;
    frame_test::Contract contract;
    frame_test::Model model;
    double call = 0.0;
    double put = 0.0;
};

inline std::vector<std::string> splitCsv(const std::string& line)
{
    std::vector<std::string> cells;
    std::stringstream in(line);
    std::string cell;
    while (std::getline(in, cell, ','))
        cells.push_back(cell);
    return cells;
}

// A reference file of tests/data as rows of numbers, past its header and its first column (the
// set's name).
inline std::vector<std::vector<double>> numericRows(const std::string& file)
{
    std::ifstream in(std::string(SARNEX_TEST_DATA_DIR) + "/" + file);
    EXPECT_TRUE(in.good()) << file;
    std::vector<std::vector<double>> rows;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const std::vector<std::string> cells = splitCsv(line);
        std::vector<double> row;
        for (std::size_t i = 1; i < cells.size(); ++i) row.push_back(std::stod(cells[i]));
        rows.push_back(row);
    }
    return rows;
}

// heston_analytic.csv (set,S,K,T,r,d,v0,vL,meanReversion,volvol,rho,call,put,impliedVol): the rows
// (modelCode 0) with K in [kLow, kHigh] and T in [tLow, tHigh].
inline std::vector<Reference> hestonReferences(double kLow, double kHigh, double tLow, double tHigh)
{
    std::ifstream file(std::string(SARNEX_TEST_DATA_DIR) + "/heston_analytic.csv");
    EXPECT_TRUE(file.good());
    std::vector<Reference> rows;
    std::string line;
    std::getline(file, line);
    while (std::getline(file, line)) {
        const std::vector<std::string> c = splitCsv(line);
        if (c.size() < 14)
            continue;
        Reference ref;
        ref.set = c[0];
        ref.contract.S = std::stod(c[1]);
        ref.contract.K = std::stod(c[2]);
        ref.contract.T = std::stod(c[3]);
        ref.contract.r = std::stod(c[4]);
        ref.contract.d = std::stod(c[5]);
        ref.model.v0 = std::stod(c[6]);
        ref.model.vL = std::stod(c[7]);
        ref.model.kappa = std::stod(c[8]);
        ref.model.volvol = std::stod(c[9]);
        ref.model.rho = std::stod(c[10]);
        ref.model.modelCode = 0;
        ref.call = std::stod(c[11]);
        ref.put = std::stod(c[12]);
        const double K = ref.contract.K, T = ref.contract.T;
        if (K >= kLow && K <= kHigh && T >= tLow - 1e-12 && T <= tHigh + 1e-12)
            rows.push_back(ref);
    }
    return rows;
}

// The out-of-the-money side, whose implied volatility is the better-conditioned one.
inline frame_test::Contract outOfTheMoney(frame_test::Contract c)
{
    c.callPut = c.K < c.S ? 1 : 0;
    return c;
}

// Below this out-of-the-money price (spot 100) one cent moves the implied volatility by tens of
// basis points, so those rows are judged by their price instead.
const double kWingPrice = 0.2;

struct AccuracyResult {
    double worstBp = 0.0;
    double worstWing = 0.0;  // absolute price error of the wing rows
};

// Every picked row of heston_analytic.csv (K 80-120, T 0.25-2) priced with `scheme` on `grid`:
// the implied-volatility error within ivToleranceBp, rows priced below wingPrice within
// wingTolerance in price. logGridFraction: the lowest node of a log-spot grid as a fraction of
// the strike (the option's own default unless given).
template <class Pick>
AccuracyResult checkAgainstHeston(int scheme, frame_test::Grid grid, double ivToleranceBp,
                                  double wingTolerance, Pick pick, double wingPrice = kWingPrice,
                                  double logGridFraction = 0.0)
{
    AccuracyResult worst;
    grid.scheme = scheme;
    const std::vector<Reference> refs = hestonReferences(80.0, 120.0, 0.25, 2.0);
    EXPECT_GE(refs.size(), 50u);
    int cases = 0;
    for (const Reference& ref : refs) {
        if (!pick(ref))
            continue;
        const frame_test::Contract c = outOfTheMoney(ref.contract);
        const double truth = c.callPut == 1 ? ref.put : ref.call;
        auto option = frame_test::makeOption(ref.model, c, grid);
        if (logGridFraction > 0.0)
            option->logGridFraction = logGridFraction;
        const double pde = frame_test::solve(*option).results[1];
        ++cases;
        if (truth < wingPrice) {
            const double err = std::fabs(pde - truth);
            worst.worstWing = std::max(worst.worstWing, err);
            EXPECT_LT(err, wingTolerance) << "scheme " << scheme << " set " << ref.set << " K "
                                          << c.K << " T " << c.T;
            continue;
        }
        const double err = frame_test::ivGapBp(c, pde, truth);
        worst.worstBp = std::max(worst.worstBp, err);
        EXPECT_LT(err, ivToleranceBp) << "scheme " << scheme << " set " << ref.set << " K " << c.K
                                      << " T " << c.T;
    }
    std::printf("scheme %d %d/%d/%d, %d cases: worst IV error %.3f bp, worst wing price error "
                "%.2e\n",
                scheme, grid.NS, grid.Nv, grid.NT, cases, worst.worstBp, worst.worstWing);
    return worst;
}

inline bool everyRow(const Reference&) { return true; }

// Wings and the money, short and long, both sets: a spread of the range for the fine grid.
inline bool fineSample(const Reference& ref)
{
    const double K = ref.contract.K, T = ref.contract.T;
    return (K == 80.0 || K == 100.0 || K == 120.0) && (T == 0.25 || T == 2.0);
}

}  // namespace scheme_refs
