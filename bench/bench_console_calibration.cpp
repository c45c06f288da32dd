// Whole calibrations as the console program runs them, on the bundled example chain: every model
// in speed mode, and GARCH diffusion in accuracy mode. One run each (Iterations(1)); the counters
// give the objective calls, the refinement restarts, whether the second run was made, the final
// RMSE in basis points, and the time of the one high-precision evaluation that follows.

#include <benchmark/benchmark.h>

#include "calibration/calibration_objective.h"
#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"
#include "console/calibration_runs.h"
#include "console/model_setup.h"
#include "console/report_files.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kChain = std::string(SARNEX_SOURCE_DIR) + "/examples/OptionsData.txt";

std::atomic<long> objectiveCalls{0};

void countingObjective(double* p, double* hx, int m, int n, void* adata)
{
    ++objectiveCalls;
    CalibrationObjective(p, hx, m, n, adata);
}

void BM_ConsoleCalibration(benchmark::State& state, int menuNumber, int mode)
{
    setOptionsDataPath(kChain);
    std::ifstream in(kChain);
    HeaderChain chain = readHeaderChain(in);
    sortAndDropRepeats(chain.quotes);
    dropCheapOptions(chain.quotes);
    if (chain.quotes.empty()) {
        state.SkipWithError("no example chain");
        return;
    }
    for (auto _ : state) {
        ModelSetup setup = setUpModel(modelCodeFromMenu(menuNumber), mode);
        CalibrationSettings settings = initialSettings(setup);
        std::vector<double> x;
        for (const OptionQuote& q : chain.quotes) x.push_back(q.marketIV);
        double p[5];
        std::copy(setup.p, setup.p + 5, p);
        std::ostringstream console;
        RunsTime time;
        objectiveCalls = 0;
        time.startPhase();
        RunsResult runs;
        try {
            runs = runCalibration(countingObjective, setup, settings, p, x, console, time);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
        time.endPhase();
        state.counters["objective_calls"] = static_cast<double>(objectiveCalls.load());
        state.counters["restarts"] = runs.boundedRuns - 1;
        state.counters["second_run"] = runs.secondRunMade ? 1 : 0;
        state.counters["final_rmse_bp"] = 1e4 * std::sqrt(runs.finalSquaredError / x.size());
        state.counters["runs_seconds"] = time.total();

        setHighPrecisionGrids(settings);
        clampForHighPrecision(p, setup.modelCode);
        const auto t0 = std::chrono::steady_clock::now();
        CalibrationObjective(p, x.data(), 5, static_cast<int>(x.size()), &settings);
        state.counters["high_precision_seconds"] =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    setOptionsDataPath("");
}

// One run each: a whole calibration is long enough to time once.
const bool registered = [] {
    const struct {
        const char* name;
        int menuNumber, mode;
    } runs[] = {{"garch_speed", 1, 0},       {"garch_accuracy", 1, 1},
                {"power_law_speed", 2, 0},   {"orv_x1_speed", 3, 0},
                {"inverse_gamma_vol_speed", 4, 0}, {"xgbm_vol_speed", 5, 0},
                {"heston_speed", 6, 0}};
    for (const auto& r : runs) {
        benchmark::RegisterBenchmark((std::string("BM_ConsoleCalibration/") + r.name).c_str(),
                                     BM_ConsoleCalibration, r.menuNumber, r.mode)
            ->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    }
    return true;
}();

}  // namespace
