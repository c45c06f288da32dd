// One evaluation of the calibration objective with main's speed-mode settings, for GARCH diffusion
// (code 1) and ORV-X1 (code 4), on a chain of 8 expiries (1 month to 2 years) with strikes from
// 70% to 130% of the spot, at 1, 2, 4 and 8 threads. The critical-variance loop and the pricing
// loop are also timed apart, and BM_ObjectiveBucketShares times each expiry's solve alone:
// "slowestShare" is the slowest solve's share of their sum, the bound on what the pricing loop
// can gain from threads.

#include <benchmark/benchmark.h>

#include "calibration/calibration_objective.h"
#include "calibration/header_chain.h"
#include "calibration/quote_filters.h"
#include "calibration/work_balance.h"

#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

namespace {

const double kSpot = 100.0;
const double kDays[] = {30, 61, 91, 182, 273, 365, 547, 730};

// A skewed smile, steeper for short expiries.
double marketIV(double K, double days)
{
    const double x = std::log(K / kSpot);
    const double t = days / 365.0;
    return 0.2 - 0.15 * x / std::sqrt(t + 0.1) + 0.3 * x * x;
}

// Writes the chain once per process and points the objective at it.
class BenchChain {
public:
    BenchChain() : path_("/tmp/sarnex_bench_chain_" + std::to_string(getpid()) + ".txt")
    {
        std::ofstream out(path_);
        out << std::setprecision(17) << "Benchmark chain\nBENCH\non\ntoday\nspot\n" << kSpot
            << "\nIV K days r d\n";
        std::vector<OptionQuote> quotes;
        for (double days : kDays) {
            for (double K = 70.0; K <= 130.0 + 1e-9; K += 5.0) {
                out << marketIV(K, days) << " " << K << " " << days << " 0.02 0.01\n";
                OptionQuote q;
                q.marketIV = marketIV(K, days);
                q.S = kSpot;
                q.K = K;
                q.T = days;
                q.r = 0.02;
                q.d = 0.01;
                quotes.push_back(q);
            }
        }
        out.close();
        preparePricingChain(quotes);
        chain_ = quotes;
        setOptionsDataPath(path_);
    }
    ~BenchChain() { std::remove(path_.c_str()); }
    const std::vector<OptionQuote>& chain() const { return chain_; }

private:
    std::string path_;
    std::vector<OptionQuote> chain_;
};

const BenchChain& benchChain()
{
    static BenchChain chain;
    return chain;
}

CalibrationSettings speedSettings(int modelCode)
{
    CalibrationSettings s;
    s.NS = modelCode == 4 ? 100 : 60;
    s.Nv = modelCode == 4 ? 100 : 30;
    s.NT = 30;
    s.schemeNumber = 2;
    s.priceModeSelector = 2;
    s.stretchSelector = 1;
    s.quantileSelector = 1;
    s.modelCode = modelCode;
    return s;
}

struct Prepared {
    CalibrationSettings settings;
    ObjectiveSetup setup;
    std::vector<ExpiryBucket> buckets;
    std::vector<double> expiries;
    CriticalVariances cv;
};

double params[5] = {0.04, 0.04, 2.0, 1.0, -0.5};

Prepared prepare(int modelCode)
{
    Prepared w;
    w.settings = speedSettings(modelCode);
    w.setup = objectiveSetup(w.settings);
    w.buckets = formExpiryBuckets(benchChain().chain());
    for (const ExpiryBucket& b : w.buckets) w.expiries.push_back(b.T);
    w.cv = vcritPerExpiryLoop(w.expiries, params, modelCode, w.setup.vmaxQuantileLevel);
    sizeExpiryBuckets(w.buckets, w.settings, w.setup, params[2]);
    return w;
}

class Threads {
public:
    explicit Threads(int n) : before_(omp_get_max_threads()) { omp_set_num_threads(n); }
    ~Threads() { omp_set_num_threads(before_); }

private:
    int before_;
};

void BM_ObjectiveEvaluation(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    const Threads threads(static_cast<int>(state.range(1)));
    CalibrationSettings settings = speedSettings(code);
    const int n = static_cast<int>(benchChain().chain().size());
    std::vector<double> hx(static_cast<std::size_t>(n));
    for (auto _ : state) {
        CalibrationObjective(params, hx.data(), 5, n, &settings);
        benchmark::DoNotOptimize(hx.data());
    }
    state.counters["options"] = n;
    state.counters["finite"] =
        static_cast<double>(std::count_if(hx.begin(), hx.end(), [](double x) { return std::isfinite(x); }));
}

void BM_ObjectiveVcritLoop(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    const Threads threads(static_cast<int>(state.range(1)));
    const Prepared w = prepare(code);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            vcritPerExpiryLoop(w.expiries, params, code, w.setup.vmaxQuantileLevel));
    }
}

void BM_ObjectivePricingLoop(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    const Threads threads(static_cast<int>(state.range(1)));
    const Prepared w = prepare(code);
    std::vector<double> costs;
    for (const ExpiryBucket& b : w.buckets) costs.push_back(b.cost);
    const WorkDeal deal = dealByCost(costs, workSlotCount());
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            modelIVPerExpiryLoop(w.buckets, deal.slots, w.cv, params, w.settings, w.setup));
    }
    state.counters["lists"] = static_cast<double>(deal.slots.size());
}

void BM_ObjectiveBucketShares(benchmark::State& state)
{
    const int code = static_cast<int>(state.range(0));
    const Threads threads(1);
    const Prepared w = prepare(code);
    std::vector<double> seconds(w.buckets.size(), 0.0);
    for (auto _ : state) {
        for (std::size_t b = 0; b < w.buckets.size(); ++b) {
            const std::vector<std::vector<std::size_t>> one = {{b}};
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(
                modelIVPerExpiryLoop(w.buckets, one, w.cv, params, w.settings, w.setup));
            seconds[b] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    double total = 0.0;
    for (double s : seconds) total += s;
    const auto slowest = std::max_element(seconds.begin(), seconds.end());
    state.counters["slowestShare"] = *slowest / total;
    state.counters["slowestT"] = w.buckets[static_cast<std::size_t>(slowest - seconds.begin())].T;
    state.counters["buckets"] = static_cast<double>(w.buckets.size());
}

void threadArgs(benchmark::internal::Benchmark* b)
{
    for (int code : {1, 4}) {
        for (int threads : {1, 2, 4, 8}) b->Args({code, threads});
    }
}

BENCHMARK(BM_ObjectiveEvaluation)->Apply(threadArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ObjectiveVcritLoop)->Apply(threadArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ObjectivePricingLoop)->Apply(threadArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ObjectiveBucketShares)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
