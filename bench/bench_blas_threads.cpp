// Eight scheme-15 solves (the robust solves' last fallback, a sparse LU per time step) on eight
// threads at once against the same eight one after the other, with no BLAS environment variable:
// the library keeps BLAS at one thread per call by itself. A third run gives BLAS back one
// thread per processor, as OpenBLAS starts by default, to show what the setting saves.

#include "bench/support/heston_option.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <ctime>
#include <thread>
#include <vector>

namespace {

using namespace bench_support;

constexpr int kSolves = 8;

void solveSchemeFifteen()
{
    auto o = makeOption(15, 100, 50, 50);
    solve(*o);
    benchmark::DoNotOptimize(o->results[2]);
}

void concurrentSolves()
{
    std::vector<std::thread> threads;
    for (int k = 0; k < kSolves; ++k)
        threads.emplace_back(solveSchemeFifteen);
    for (std::thread& t : threads)
        t.join();
}

// CPU seconds of the whole process (every thread, BLAS's own included) per iteration: the column
// CPU counts the calling thread only.
class ProcessCpu {
public:
    explicit ProcessCpu(benchmark::State& state) : state_(state), start_(std::clock()) {}
    ~ProcessCpu()
    {
        const double seconds = static_cast<double>(std::clock() - start_) / CLOCKS_PER_SEC;
        state_.counters["process_cpu_s"] =
            benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
    }
    ProcessCpu(const ProcessCpu&) = delete;
    ProcessCpu& operator=(const ProcessCpu&) = delete;

private:
    benchmark::State& state_;
    std::clock_t start_;
};

// OpenBLAS's own setter, when the BLAS is OpenBLAS; null otherwise.
using SetThreadCount = void (*)(int);
SetThreadCount openBlasSetter()
{
    return reinterpret_cast<SetThreadCount>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"));
}

void BM_SchemeFifteenSerial(benchmark::State& state)
{
    ProcessCpu cpu(state);
    for (auto _ : state)
        for (int k = 0; k < kSolves; ++k)
            solveSchemeFifteen();
}
BENCHMARK(BM_SchemeFifteenSerial)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SchemeFifteenConcurrent(benchmark::State& state)
{
    ProcessCpu cpu(state);
    for (auto _ : state)
        concurrentSolves();
}
BENCHMARK(BM_SchemeFifteenConcurrent)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SchemeFifteenConcurrentThreadedBlas(benchmark::State& state)
{
    const SetThreadCount set = openBlasSetter();
    if (!set) {
        state.SkipWithError("the BLAS starts no threads of its own");
        return;
    }
    solveSchemeFifteen();  // the library's one-time setting happens here, before ours
    set(platform::processorCount());
    {
        ProcessCpu cpu(state);
        for (auto _ : state)
            concurrentSolves();
    }
    set(1);
}
BENCHMARK(BM_SchemeFifteenConcurrentThreadedBlas)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
