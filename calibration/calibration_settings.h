#pragma once

// The settings record that main hands to the bounded Levenberg-Marquardt search (as its user data)
// and on to every objective call: thirteen 32-bit integers in a fixed order. The objective reads
// the first nine; the search's grid-refinement check reads modelCode and accurateMode and raises
// the three levels; main turns raised levels into larger grids between runs.

#include <atomic>
#include <cstdint>

struct CalibrationSettings {
    std::int32_t NS = 0;                 // base spot intervals
    std::int32_t Nv = 0;                 // base variance intervals
    std::int32_t NT = 0;                 // base time steps (longer expiries get proportionally more)
    std::int32_t schemeNumber = 2;       // time-stepping scheme of the option objects
    std::int32_t priceModeSelector = 2;  // 1 -> one solve, 2 -> Richardson in space, other -> in time
    std::int32_t strikeVectorFlag = 0;   // per-strike negative-value check of the multi-strike read-out
    std::int32_t stretchSelector = 0;    // spot-grid stretch choice
    std::int32_t quantileSelector = 0;   // variance-grid quantile level choice
    std::int32_t modelCode = 1;          // 1 GARCH, 2 power law, 3 Heston, 4 ORV-X1, 5 I-Ga vol, 6 XGBM vol
    std::int32_t accurateMode = 0;       // non-zero unless the user chose speed mode
    std::int32_t rhoLevel = 0;           // refinement levels, raised by the search only
    std::int32_t NSLevel = 0;
    std::int32_t NvLevel = 0;
};

static_assert(sizeof(CalibrationSettings) == 13 * sizeof(std::int32_t),
              "the settings record is thirteen packed 32-bit integers");

// Set by the objective just before it throws a parameter-range exception, so that main can tell
// a range stop (resume at the high-precision stage) from any other failure. Atomic because the
// objective may be called from a worker thread of a host program.
extern std::atomic<bool> optimizationStopped;
