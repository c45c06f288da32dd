#include "model/scheme_dispatch.h"

#include "numerics/implied_vol.h"
#include "numerics/numerical_error.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

namespace {

const char* const kBracketFailure = "Root must be bracketed in Brent solver";

constexpr double kIvLow = 1e-15;
constexpr double kIvHigh = 2.0;
constexpr double kIvTolerance = 1e-16;

constexpr double kPlausibleLow = -0.05;
constexpr double kPlausibleHigh = 50.0;
constexpr double kStrikeWindowLow = -0.02;
constexpr double kStrikeWindowHigh = 1.5;

bool isBracketFailure(const std::exception& e)
{
    return std::strcmp(e.what(), kBracketFailure) == 0;
}

// The member routines behind plain function pointers, so that a test can swap the whole table.
#define SARNEX_MEMBER_THUNK(name)                                                                 \
    bool name##Thunk(OrvHestonVanilla& o, Array<Array<double>>& outputs, double* cpuTime,         \
                     bool fillOutputs, bool unusedFlag, double v1, std::vector<double>* a,        \
                     std::vector<double>* b, double v2, std::vector<double>* c, bool widenS,      \
                     bool widenV, double sParam, double vStretch)                                 \
    {                                                                                             \
        return o.name(outputs, cpuTime, fillOutputs, unusedFlag, v1, a, b, v2, c, widenS,        \
                      widenV, sParam, vStretch);                                                  \
    }
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNeg4Fct)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegSqrtThetaPow)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegMCSPow)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegSqrtTheta)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegMCS)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegSqrtThetaSparse)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegSqrtThetaLogS)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegSqrtThetaLogS2)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegMCSLogS)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNegMCSSparseLogS)
SARNEX_MEMBER_THUNK(calcGARCHNUDirectNonNeg4FctLogS)
#undef SARNEX_MEMBER_THUNK

const SchemeRoutineTable kMemberTable = {
    {nullptr,
     calcGARCHNUDirectNonNeg4FctThunk,             // 1
     calcGARCHNUDirectNonNegSqrtThetaPowThunk,     // 2
     calcGARCHNUDirectNonNegMCSPowThunk,           // 3
     calcGARCHNUDirectNonNegSqrtThetaPowThunk,     // 4
     calcGARCHNUDirectNonNegMCSPowThunk,           // 5
     calcGARCHNUDirectNonNegSqrtThetaThunk,        // 6
     calcGARCHNUDirectNonNegMCSThunk,              // 7
     calcGARCHNUDirectNonNegSqrtThetaThunk,        // 8
     calcGARCHNUDirectNonNegMCSThunk,              // 9
     calcGARCHNUDirectNonNegSqrtThetaSparseThunk,  // 10
     calcGARCHNUDirectNonNegSqrtThetaLogSThunk,    // 11
     calcGARCHNUDirectNonNegSqrtThetaLogS2Thunk,   // 12
     calcGARCHNUDirectNonNegMCSLogSThunk,          // 13
     calcGARCHNUDirectNonNegMCSSparseLogSThunk,    // 14
     calcGARCHNUDirectNonNeg4FctLogSThunk},        // 15
    {false, false, false, false, true, true, false, false, true, true, true, false, false, false,
     true, false}};

std::atomic<const SchemeRoutineTable*> activeTable{&kMemberTable};

}  // namespace

const SchemeRoutineTable& memberSchemeRoutines() { return kMemberTable; }

bool schemeReadsEveryStrike(int schemeNumber)
{
    // The spot-grid sqrt-theta and MCS routines of 6 to 9 and the nine-point log-spot routine of
    // 11 finish every object as a single strike.
    switch (schemeNumber) {
    case 1: case 2: case 3: case 4: case 5: case 10: case 12: case 13: case 14: case 15:
        return true;
    default:
        return false;
    }
}

void setSchemeRoutineTable(const SchemeRoutineTable* table)
{
    activeTable.store(table != nullptr ? table : &kMemberTable);
}

namespace detail {

double singleStrikeImpliedVol(const OrvHestonVanilla& option, double price,
                              bool zeroOnBracketFailure)
{
    if (!(price >= 0.0)) {
        return 0.0;
    }
    const ImpliedVolTarget target{option.S, option.K, option.T, option.r, option.d, price,
                                  option.callPut};
    try {
        return brentImpliedVol(&target, kIvLow, kIvHigh, kIvTolerance);
    } catch (const std::exception& e) {
        if (zeroOnBracketFailure && isBracketFailure(e)) {
            return 0.0;
        }
        throw;
    }
}

double atLeastExerciseValue(const OrvHestonVanilla& option, double price)
{
    if (!option.american) {
        return price;
    }
    const double exercise =
        std::max(option.callPut == 1 ? option.K - option.S : option.S - option.K, 0.0);
    return std::max(price, exercise);
}

void strikeImpliedVols(OrvHestonVanilla& option, bool zeroOnBracketFailure)
{
    const std::size_t count = option.strikes.size();
    if (option.strikeIVs.size() != count) {
        Array<double> resized(0.0, count);
        for (std::size_t i = 0; i < count && i < option.strikeIVs.size(); ++i) {
            resized[i] = option.strikeIVs[i];
        }
        option.strikeIVs = resized;
    }
    const double windowLow = kStrikeWindowLow * option.S;
    const double windowHigh = kStrikeWindowHigh * option.K;
    for (std::size_t i = 0; i < count; ++i) {
        if (i >= option.strikePrices.size()) {
            option.strikeIVs[i] = 0.0;
            continue;
        }
        const double price = option.strikePrices[i];
        const bool outsideWindow = price < windowLow || price > windowHigh;
        if (price > 0.0 && !outsideWindow) {
            const double strike = option.strikes[i];
            const ImpliedVolTarget target{option.S, strike, option.T, option.r, option.d, price,
                                          strike <= option.S ? 1 : 0};
            try {
                option.strikeIVs[i] = brentImpliedVol(&target, kIvLow, kIvHigh, kIvTolerance);
            } catch (const std::exception& e) {
                if (!(zeroOnBracketFailure && isBracketFailure(e))) {
                    throw;
                }
                option.strikeIVs[i] = 0.0;
            }
        } else {
            option.strikeIVs[i] = 0.0;
            if (outsideWindow) {
                option.results[2] = noPriceMarker;
            }
        }
    }
}

void applyPlausibilityRule(OrvHestonVanilla& option)
{
    if (option.modelCode != 2 && option.modelCode != 4) {
        return;
    }
    const double safeValue = option.results[2];
    if (safeValue < kPlausibleLow * option.S || safeValue > kPlausibleHigh * option.S) {
        option.results[2] = noPriceMarker;
    }
}

}  // namespace detail

void OrvHestonVanilla::PricingSchemeDispatch(Array<Array<double>>& outputs, double* cpuTime,
                                             bool flag, bool fillOutputs, double value1,
                                             std::vector<double>* containerA,
                                             std::vector<double>* containerB, double value2,
                                             std::vector<double>* containerC, bool /*unused1*/,
                                             bool /*unused2*/, bool /*unused3*/)
{
    try {
        if (schemeNumber < 1 || schemeNumber > SchemeRoutineTable::kSchemeCount) {
            // Solving nothing would leave the previous solve's price in results as if it were
            // this one's.
            throw NumericalError("Unknown scheme number " + std::to_string(schemeNumber) +
                                 ": the time-stepping schemes are numbered 1 to 15");
        }
        const SchemeRoutineTable& table = *activeTable.load();
        const std::clock_t start = std::clock();
        if (table.damped[schemeNumber]) {
            dampingFlag = true;
        }
        table.routine[schemeNumber](*this, outputs, cpuTime, fillOutputs, flag, value1,
                                    containerA, containerB, value2, containerC, false, false,
                                    0.0, 0.0);
        const std::clock_t end = std::clock();
        *cpuTime = static_cast<double>(end - start) / CLOCKS_PER_SEC;

        detail::applyPlausibilityRule(*this);
        if (!computeIVs) {
            return;
        }
        if (multiStrike) {
            detail::strikeImpliedVols(*this, true);
        } else {
            results[4] = detail::singleStrikeImpliedVol(*this, results[4], true);
        }
    } catch (const std::bad_alloc&) {
        // The robust solves recognise a memory failure by this text alone, whatever the C++
        // library calls it.
        throw NumericalError("bad allocation");
    } catch (const std::exception& e) {
        if (isBracketFailure(e)) {
            return;
        }
        throw NumericalError(e.what());
    }
}
