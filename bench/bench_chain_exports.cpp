// The chain calibration exports on a chain of about 100 options over 8 expiries (strikes 70 to 130
// by 5, expiries 0.1 to 3 years, market IVs from the Heston set A prices, without the options
// worth less than 1e-5 of the spot, which main leaves out of a calibration) at main's speed-mode grid
// (60/30/30, scheme 2, Richardson in space, critical variances at 0.999999): option by option
// against expiry by expiry, for the square-root (code 0) and GARCH-diffusion (code 1) variance
// models, and the semi-analytic Heston chain for comparison. One iteration is one export call.

#include <benchmark/benchmark.h>

#include "calibration/header_chain.h"
#include "exports/chain_calibration_exports.h"
#include "exports/heston_chain_calibration.h"
#include "heston/heston_pricer.h"
#include "heston/vanilla_heston_export.h"
#include "model/solver_failure_log.h"
#include "numerics/implied_vol.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const double v0 = 0.04, vL = 0.04, theta = 1.5, volvol = 0.3, rho = -0.9;
const double S = 100.0, r = 0.03, d = 0.01;

// Writes the chain once per process into a directory of its own and points the exports at it.
struct BenchChain {
    BenchChain()
    {
        dir = std::filesystem::temp_directory_path() / "sarnex_bench_chain";
        std::filesystem::create_directories(dir);
        const double expiries[] = {0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0};
        std::ostringstream rows;
        rows.precision(17);
        for (const double T : expiries) {
            for (int k = 0; k < 13; ++k) {
                const double K = 70.0 + 5.0 * k;
                const int callPut = K >= S ? 0 : 1;
                AnalyticHestonEngine engine = createGaussLobatto(1e-13, 1000000);
                const double price = hestonVanillaPrice(engine, S, K, T, r, d, v0, vL, theta,
                                                        volvol, rho, callPut == 0 ? 1 : -1);
                if (price < 1e-5 * S) continue;
                const ImpliedVolTarget target{S, K, T, r, d, price, callPut};
                rows << brentImpliedVol(&target, 1e-15, 2.0, 1e-16) << " " << S << " " << K << " "
                     << T << " " << r << " " << d << " " << callPut << " 0\n";
                ++count;
            }
        }
        std::ofstream(dir / "OptionsData.txt") << count << "\n" << rows.str();
        setOptionsDataPath((dir / "OptionsData.txt").string());
        setSolverFailureLogPath((dir / "SV_PDESolverLog.txt").string());
        setHestonPriceLogPath((dir / "GARCH_PDESolverLog.txt").string());
    }
    std::filesystem::path dir;
    int count = 0;
};

const BenchChain& useChain()
{
    static BenchChain chain;
    return chain;
}

void BM_ChainPerOption(benchmark::State& state)
{
    useChain();
    const int modelCode = static_cast<int>(state.range(0));
    double rmse = 0.0;
    for (auto _ : state) {
        rmse = GARCH_VanillaPDECalibration(v0, vL, theta, volvol, rho, 60, 30, 30, 2, 2, 0.0,
                                           0.999999, 0, modelCode);
    }
    state.counters["rmse_bp"] = rmse * 1e4;
    state.counters["options"] = useChain().count;
}
BENCHMARK(BM_ChainPerOption)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ChainPerExpiry(benchmark::State& state)
{
    useChain();
    const int modelCode = static_cast<int>(state.range(0));
    double rmse = 0.0;
    for (auto _ : state) {
        rmse = GARCH_VanillaPDECalibrationM(v0, vL, theta, volvol, rho, 60, 30, 30, 2, 2, 0.0,
                                            0.999999, 0, 0, modelCode);
    }
    state.counters["rmse_bp"] = rmse * 1e4;
}
BENCHMARK(BM_ChainPerExpiry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HestonChainSemiAnalytic(benchmark::State& state)
{
    // Its "Results.txt" goes to the current directory: the chain's, for the run.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(useChain().dir);
    double rmse = 0.0;
    for (auto _ : state) {
        rmse = HESTON_VanillaCalibration(v0, vL, theta, volvol, rho);
    }
    state.counters["rmse_bp"] = rmse * 1e4;
    std::filesystem::current_path(previous);
}
BENCHMARK(BM_HestonChainSemiAnalytic)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
