// Writes the bundled example chain: implied volatilities of a GARCH diffusion model at stated
// parameters, from fine-grid PDE solves (one solve per expiry, all strikes at once), in the header
// layout that the calibrator reads. A few short-dated far strikes carry a deliberately low IV so
// that their Black-Scholes price falls under the calibrator's cheap-option limit and the caution
// shows.
//
// Usage: make_example_chain [output file] [grid factor]
//   output file  default "OptionsData.txt" in the current directory
//   grid factor  multiplies NS, Nv and NT (default 1); a run at 2 shows the discretisation error
//
// The output is only written when every solve gave a usable implied volatility and the solver
// failure log stayed empty; the exit code is 1 otherwise.

#include "calibration/quote_filters.h"
#include "density/pdesolver1d.h"
#include "model/robust_solve.h"
#include "model/solver_failure_log.h"
#include "numerics/black_scholes.h"

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The model behind the chain: dv = kappa (vBar - v) dt + xi v dW, correlation rho with the spot.
constexpr double kV0 = 0.04;
constexpr double kVBar = 0.05;
constexpr double kKappa = 2.0;
constexpr double kXi = 1.5;
constexpr double kRho = -0.6;

constexpr double kSpot = 100.0;
constexpr double kRate = 0.03;
constexpr double kDividend = 0.01;

// Grid of every solve (before the grid factor). Space Richardson solves on NS/2 x Nv/2 and on
// NS x Nv and combines them; expiries beyond a year get NT steps per year.
constexpr int kNS = 400;
constexpr int kNv = 200;
constexpr int kNT = 200;
constexpr int kPriceMode = 5;
constexpr int kScheme = 2;
constexpr double kSpotStretch = 1.5;
// Upper end of the variance grid: the critical variance of the expiry at this level, widened for
// short expiries and capped by the stationary quantile, the rule the calibration objective uses.
constexpr double kVmaxQuantile = 0.999999;

constexpr int kGarchModel = 1;
constexpr int kPutFlag = 1;  // the strikes solve reads out puts and calls by strike itself
constexpr int kEuropean = 0;

// IV of the cheap quotes; at their strikes and expiries it prices them far under the calibrator's
// cheap-option limit (kCheapPriceFraction of the spot).
constexpr double kCheapIV = 0.10;
// A model quote this close to the limit would sit on the edge of the filter: refuse to write it.
constexpr double kModelQuoteFloor = 10.0 * kCheapPriceFraction;

struct Expiry {
    int days;
    std::vector<double> strikes;       // priced by the model
    std::vector<double> cheapStrikes;  // written with kCheapIV
};

// Strikes from lo to hi in steps of step.
std::vector<double> strikeRange(double lo, double hi, double step)
{
    std::vector<double> out;
    const int n = static_cast<int>(std::lround((hi - lo) / step));
    for (int i = 0; i <= n; ++i)
        out.push_back(lo + i * step);
    return out;
}

// Strike ranges widen with the expiry, as quoted ranges do: about two standard deviations of
// the log-spot either side, within 70 % to 130 % of the spot.
std::vector<Expiry> chainLayout()
{
    return {
        {30, strikeRange(88.0, 112.0, 2.0), {70.0, 130.0}},
        {61, strikeRange(85.0, 115.0, 2.5), {70.0, 130.0}},
        {91, strikeRange(82.0, 118.0, 3.0), {}},
        {182, strikeRange(76.0, 124.0, 4.0), {}},
        {365, strikeRange(70.0, 130.0, 5.0), {}},
        {547, strikeRange(70.0, 130.0, 5.0), {}},
        {730, strikeRange(70.0, 130.0, 5.0), {}},
    };
}

struct Row {
    double iv;
    double K;
    int days;
    bool cheap;
};

// Upper end of the variance grid for one expiry (negative: the solve takes it as a fixed bound).
double varianceBound(double T)
{
    // 800 log-variance steps, 50 time steps, the combined stepping, five deviations either side,
    // the GARCH law, a reflecting top: the density settings of the calibration objective.
    PDESolver1D atExpiry(kVmaxQuantile, T, kV0, kVBar, kKappa, kXi, 800, 50, 2, 5, 0, 1.0, false,
                         1);
    const double vcrit = atExpiry.computeVcrit();
    PDESolver1D stationary(kVmaxQuantile, kV0, kVBar, kKappa, kXi);
    const double vStationary = stationary.computeVcrit();
    const double widening = std::max(1.0, 3.0 - 0.5 * kKappa * T);
    return -std::max(0.1 * vStationary, std::min(vStationary, widening * vcrit));
}

// Model IVs of one expiry, in strike order. Throws when a solve gives no usable IV.
std::vector<double> modelIVs(const Expiry& e, int gridFactor)
{
    const double T = e.days / kDaysPerYear;
    int NS = kNS * gridFactor;
    int Nv = kNv * gridFactor;
    const int NT = std::max(kNT * gridFactor, static_cast<int>(kNT * gridFactor * T));
    int mode = kPriceMode;
    Array<double> ivs(0.0, e.strikes.size());
    RobustSvPdeSolveStrikes(kSpot, e.strikes, ivs, T, kRate, kDividend, kV0, kVBar, kKappa, kXi,
                            kRho, &NS, &Nv, NT, kPutFlag, kEuropean, &mode, kScheme, 1,
                            kSpotStretch, varianceBound(T), 0, 0, false, kGarchModel, 1.0, 0.0);
    if (ivs.size() != e.strikes.size())
        throw std::runtime_error("strike count changed in the solve at " + std::to_string(e.days) +
                                 " days");
    std::vector<double> out(std::begin(ivs), std::end(ivs));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double K = e.strikes[i];
        const double price = blackScholesPrice(kSpot, K, kRate, kDividend, out[i], T,
                                               putFlag(K, kSpot));
        if (!(out[i] > 0.0 && out[i] < 2.0) || !(price / kSpot >= kModelQuoteFloor))
            throw std::runtime_error("no usable IV at " + std::to_string(e.days) + " days, K " +
                                     std::to_string(K) + " (IV " + std::to_string(out[i]) + ")");
    }
    return out;
}

std::vector<Row> buildChain(int gridFactor)
{
    const std::vector<Expiry> layout = chainLayout();
    const int n = static_cast<int>(layout.size());
    std::vector<std::vector<double>> ivs(layout.size());
    std::vector<std::string> errors(layout.size());
    // Longest expiries first: they cost the most time steps.
#pragma omp parallel for schedule(dynamic, 1)
    for (int k = 0; k < n; ++k) {
        const int i = n - 1 - k;
        try {
            ivs[i] = modelIVs(layout[i], gridFactor);
        } catch (const std::exception& ex) {
            errors[i] = ex.what();
        } catch (...) {
            errors[i] = "unknown failure";
        }
    }
    for (const std::string& e : errors)
        if (!e.empty())
            throw std::runtime_error(e);

    std::vector<Row> rows;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const Expiry& e = layout[i];
        for (std::size_t j = 0; j < e.strikes.size(); ++j)
            rows.push_back({ivs[i][j], e.strikes[j], e.days, false});
        for (double K : e.cheapStrikes) {
            const double price =
                blackScholesPrice(kSpot, K, kRate, kDividend, kCheapIV, e.days / kDaysPerYear,
                                  putFlag(K, kSpot));
            if (!(price / kSpot < 0.01 * kCheapPriceFraction))
                throw std::runtime_error("a cheap quote is not cheap enough at " +
                                         std::to_string(e.days) + " days");
            rows.push_back({kCheapIV, K, e.days, true});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.days != b.days ? a.days < b.days : a.K < b.K;
    });
    return rows;
}

void writeChain(const std::string& path, const std::vector<Row>& rows)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    std::fprintf(f,
                 "Underlying (GARCH diffusion example: v0 %g, vBar %g, kappa %g, xi %g, rho %g)\n"
                 "EXAMPLE\n"
                 "Quote date\n"
                 "generated data\n"
                 "Spot\n"
                 "%g\n"
                 "IV\tStrike\tDays\tRate\tDividend\n",
                 kV0, kVBar, kKappa, kXi, kRho, kSpot);
    for (const Row& r : rows)
        std::fprintf(f, "%.6f\t%g\t%d\t%g\t%g\n", r.iv, r.K, r.days, kRate, kDividend);
    const bool ok = std::fflush(f) == 0;
    if (std::fclose(f) != 0 || !ok)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : "OptionsData.txt";
    const int gridFactor = argc > 2 ? std::atoi(argv[2]) : 1;
    if (gridFactor < 1) {
        std::fprintf(stderr, "grid factor must be a positive integer\n");
        return 1;
    }
    // Any retry or give-up of a solve is recorded there; a clean chain leaves it empty.
    const std::string log = path + ".solver-log.txt";
    std::remove(log.c_str());
    setSolverFailureLogPath(log);

    const auto start = std::chrono::steady_clock::now();
    try {
        const std::vector<Row> rows = buildChain(gridFactor);
        if (std::ifstream(log).good())
            throw std::runtime_error("the solves reported trouble, see " + log);
        writeChain(path, rows);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto cheap =
            std::count_if(rows.begin(), rows.end(), [](const Row& r) { return r.cheap; });
        std::printf("%s: %d options (%d below the cheap-option limit), grid %d x %d x %d, "
                    "%.1f s on %d threads\n",
                    path.c_str(), static_cast<int>(rows.size()), static_cast<int>(cheap),
                    kNS * gridFactor, kNv * gridFactor, kNT * gridFactor, seconds,
                    omp_get_max_threads());
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "make_example_chain: %s\n", ex.what());
        return 1;
    }
    return 0;
}
