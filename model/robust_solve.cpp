#include "model/robust_solve.h"

#include "model/input_checks.h"
#include "model/option_objects.h"
#include "model/solver_failure_log.h"

#include "numerics/numerical_error.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <sstream>
#include <string>

namespace {

const char* const kInstability = "Possible instability issue";
const char* const kBadAllocation = "bad allocation";

constexpr int kMaxInstabilityRestarts = 3;
constexpr int kMaxMemoryRetries = 2;
constexpr int kFallbackScheme = 15;
constexpr double kFallbackLogGridFraction = 0.5;
constexpr double kLadderClustering = 7.5;
constexpr int kLadderNS = 400;
constexpr int kLadderNv = 200;
constexpr int kStageNS = 700;
constexpr int kStageNv = 180;
constexpr int kStageNvLimit = 225;
constexpr int kLastNS = 900;
constexpr int kLastNv = 400;
constexpr int kZeroStepNvThreshold = 240;

// Everything one robust solve was asked for; the one-strike and the strikes solve differ only
// in the object they build and in what they remember of a solve.
struct Request {
    double S, K, T, r, d, v0, vL, theta, volvol, rho;
    int* NS;
    int* Nv;
    int NT;
    int callPut;
    int exerciseType;
    int* priceMode;
    int schemeNumber;
    int requestIVs;
    double SmaxUser;
    double VmaxParam;
    int volvolWidening;
    bool plainModeOnRetry;
    int modelCode;
    // strikes solve only
    bool multi;
    const std::vector<double>* strikes;
    int strikeFlag;
    double varianceExponent;
    double vMean;
};

struct Outcome {
    double safeValue = 0.0;
    double result = 0.0;            // one-strike return value
    Array<double> strikeIVs;        // strikes solve: what goes to strikeIVsOut
    bool unrecovered = false;       // refused, or ended by an exception that was not retried
    bool failed = false;            // no usable price (see RobustSolveStatus)
    std::string message;
    std::vector<bool> strikeFailed;
    std::vector<bool> strikeWithoutIV;
};

// The stream of one attempt: nothing reaches the file before the first negative safe value
// opens it, and then every record goes in one append.
class AttemptLog {
public:
    void open()
    {
        if (!opened_) {
            appendSolverLog(std::string());
            opened_ = true;
        }
    }
    void write(const std::string& record) const
    {
        if (opened_) {
            appendSolverLog(record);
        }
    }

private:
    bool opened_ = false;
};

// Fresh grids on the next solve, with the sizes the object now holds. The strike index goes too:
// a builder that keeps a preset index would lay the old grid's step on the new size.
void resetGridCaches(OrvHestonVanilla& option)
{
    option.sStretchCentre = 0.0;
    option.sStretch = 0.0;
    option.vCentreFraction = 0.0;
    option.vStretch = 0.0;
    option.iToV0 = 0;
    option.vUpperIntervals = 0;
    option.iToK = 0;
    option.NSOriginal = option.NS;
    option.sGridReady = false;
}

std::unique_ptr<OrvHestonVanilla> buildOption(const Request& q, int schemeInForce, int workingNT)
{
    Array<double> modelParams(6);
    modelParams[0] = q.volvol;
    modelParams[1] = q.v0;
    modelParams[2] = q.vL;
    modelParams[3] = q.theta;
    modelParams[4] = q.rho;
    modelParams[5] = static_cast<double>(q.modelCode);
    const Array<double> unused(0.0, 5);
    const double tolExp = -static_cast<double>(*q.priceMode);
    if (q.multi) {
        return std::make_unique<OrvHestonVanilla>(
            q.S, *q.strikes, q.T, modelParams, q.r, q.d, *q.NS, *q.Nv, workingNT, q.callPut,
            *q.priceMode, 1, q.exerciseType, unused, unused, true, tolExp, q.SmaxUser,
            q.VmaxParam, 0, true, 0, 0.0, schemeInForce, q.volvolWidening != 0,
            q.strikeFlag != 0, q.varianceExponent, q.vMean);
    }
    return std::make_unique<OrvHestonVanilla>(
        q.S, q.K, q.T, modelParams, q.r, q.d, *q.NS, *q.Nv, workingNT, q.callPut, *q.priceMode, 1,
        q.exerciseType, unused, unused, true, tolExp, q.SmaxUser, q.VmaxParam, 0, true, 0, 0.0,
        schemeInForce, q.volvolWidening != 0);
}

SolverLogParameters logParameters(const Request& q, int workingNT)
{
    SolverLogParameters p;
    p.S = q.S;
    p.hasStrike = !q.multi;
    p.K = q.K;
    p.T = q.T;
    p.r = q.r;
    p.d = q.d;
    p.v0 = q.v0;
    p.vL = q.vL;
    p.theta = q.theta;
    p.volvol = q.volvol;
    p.rho = q.rho;
    p.NS = q.NS ? *q.NS : 0;
    p.Nv = q.Nv ? *q.Nv : 0;
    p.NT = workingNT;
    p.callPut = q.callPut;
    p.exerciseType = q.exerciseType;
    return p;
}

bool isPrice(double safeValue) { return safeValue > noPriceMarker; }

// The first input that no model can price, or an empty string.
std::string refusedInput(const Request& q)
{
    if (!q.NS || !q.Nv || !q.priceMode) {
        return "NS, Nv and priceMode must not be null";
    }
    if (q.multi) {
        for (std::size_t i = 0; i < q.strikes->size(); ++i) {
            const double K = (*q.strikes)[i];
            if (!(std::isfinite(K) && K > 0.0)) {
                std::ostringstream text;
                text.precision(16);
                text << "strike " << i << " must be a positive number (" << K << ")";
                return text.str();
            }
        }
    }
    // A strikes solve without strikes still has a spot to check the contract with.
    const double K = !q.multi ? q.K : q.strikes->empty() ? q.S : q.strikes->front();
    std::string error =
        solveInputError(q.S, K, q.T, q.r, q.d, q.v0, q.vL, q.theta, q.volvol, q.rho, *q.NS,
                        *q.Nv, q.NT, q.callPut, q.exerciseType, q.modelCode, q.SmaxUser,
                        q.VmaxParam);
    if (error.empty() && q.multi) error = finiteError("varianceExponent", q.varianceExponent);
    if (error.empty() && q.multi) error = finiteError("vMean", q.vMean);
    return error;
}

// Largest price of strike K_m in a strikes solve: its read-out reports puts below the spot and
// calls above it, so a price must stay below the larger of the two bounds.
std::string strikePriceBoundsError(const Request& q, double K, double price)
{
    const double callBound = optionPriceUpperBound(q.S, K, q.T, q.r, q.d, 0);
    const double putBound = optionPriceUpperBound(q.S, K, q.T, q.r, q.d, 1);
    return priceBoundsError(price, q.S, K, q.T, q.r, q.d, callBound >= putBound ? 0 : 1);
}

// Whether a finished solve is a usable price. A failure goes to the log as an exception record,
// except a strike that merely has no implied volatility: the wings of a chain often have none,
// and a calibration would fill the log with them.
void judgeOutcome(const Request& q, int workingNT, double price, const Array<double>& strikePrices,
                  Outcome& outcome)
{
    std::string logged;
    if (!q.multi) {
        std::string error = priceBoundsError(price, q.S, q.K, q.T, q.r, q.d, q.callPut);
        if (error.empty() && q.requestIVs != 0 && !(outcome.result > 0.0)) {
            error = "No implied volatility reproduces the price";
        }
        if (!error.empty()) {
            outcome.failed = true;
            outcome.message = error;
            outcome.result = 0.0;
            logged = error;
        }
    } else {
        // The object sorts its strikes; prices and volatilities come in that order.
        std::vector<double> sorted(*q.strikes);
        std::sort(sorted.begin(), sorted.end());
        outcome.strikeFailed.assign(sorted.size(), false);
        outcome.strikeWithoutIV.assign(sorted.size(), false);
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            std::string error = i < strikePrices.size()
                                    ? strikePriceBoundsError(q, sorted[i], strikePrices[i])
                                    : std::string("The solve returned no price");
            const bool outOfBounds = !error.empty();
            if (error.empty() && q.requestIVs != 0 &&
                !(i < outcome.strikeIVs.size() && outcome.strikeIVs[i] > 0.0)) {
                error = "No implied volatility reproduces the price";
                outcome.strikeWithoutIV[i] = true;
            }
            if (!error.empty()) {
                std::ostringstream text;
                text.precision(16);
                text << "Strike " << sorted[i] << ": " << error;
                outcome.strikeFailed[i] = true;
                if (!outcome.failed) {
                    outcome.message = text.str();
                }
                if (outOfBounds && logged.empty()) {
                    logged = text.str();
                }
                outcome.failed = true;
            }
        }
    }
    if (!logged.empty()) {
        appendSolverLog(
            solverLogExceptionRecord(logged, logParameters(q, workingNT), *q.priceMode));
    }
}

Outcome robustSolve(const Request& q)
{
    const std::string refusal = refusedInput(q);
    if (!refusal.empty()) {
        appendSolverLog(solverLogExceptionRecord(refusal, logParameters(q, q.NT),
                                                 q.priceMode ? *q.priceMode : 0));
        Outcome refused;
        refused.unrecovered = true;
        refused.message = refusal;
        return refused;
    }

    const long calcID = static_cast<long>(std::clock());
    int instabilityRestarts = 0;
    int workingNT = q.NT;
    int schemeInForce = q.schemeNumber;
    int& NS = *q.NS;
    int& Nv = *q.Nv;
    int& priceMode = *q.priceMode;

    // The caller's sizes are halved for the two-grid price modes once per call; a restart keeps
    // the sizes in force instead of halving them again.
    bool firstAttempt = true;

    for (;;) {
        // Attempt start.
        if (priceMode == 1 && static_cast<double>(NS) / static_cast<double>(Nv) > 1.5) {
            priceMode = 3;
        }
        const int NSAtStart = NS;
        if (firstAttempt && (priceMode == 4 || priceMode == 5)) {
            NS /= 2;
            Nv /= 2;
        }
        firstAttempt = false;

        std::unique_ptr<OrvHestonVanilla> option = buildOption(q, schemeInForce, workingNT);

        AttemptLog log;
        int retryCount = 0;
        int memoryRetries = 0;
        bool denserGridStage = false;
        bool afterMemoryRetry = false;
        double rememberedPrice = 0.0;
        double rememberedResult = 0.0;
        const std::size_t strikeCount = q.multi ? q.strikes->size() : 0;
        Array<double> rememberedStrikeIVs(0.0, strikeCount);
        Array<double> rememberedStrikePrices;
        double lowestStrikePrice = 0.0;
        bool allStrikePricesPositive = true;
        const double cpuStart = q.requestIVs != 0 ? -1.0 : 0.0;
        double cpuTime = cpuStart;
        Array<double> out0, out1, out2, out3, out4;
        Array<double> results;
        double safeValue = -1.0;
        double price = 0.0;

        bool restart = false;
        for (;;) {  // re-entered after a memory retry
            try {
                do {
                    option->calcPrice(out0, out1, out2, out3, out4, &cpuTime);
                    results = option->getResults();
                    safeValue = results[2];
                    price = results[1];
                    if (q.multi) {
                        const Array<double> strikePrices = option->getStrikePrices();
                        allStrikePricesPositive = true;
                        for (std::size_t i = 0; i < strikePrices.size(); ++i) {
                            if (!(strikePrices[i] > 0.0)) {
                                allStrikePricesPositive = false;
                            }
                            if (strikePrices[i] < lowestStrikePrice) {
                                lowestStrikePrice = strikePrices[i];
                            }
                        }
                        if (allStrikePricesPositive) {
                            rememberedStrikeIVs = option->getStrikeIVs();
                            rememberedStrikePrices = strikePrices;
                        }
                    } else if (price > 0.0) {
                        rememberedPrice = price;
                        rememberedResult = results[4];
                    }

                    if (safeValue < 0.0) {
                        log.open();
                        if (retryCount == 0) {
                            // Fallback: scheme 15 on grids sized from the entry sizes.
                            resetGridCaches(*option);
                            option->setNS(q.multi && q.strikeFlag == 2 ? NSAtStart : NS);
                            option->logGridFraction = kFallbackLogGridFraction;
                            if (schemeInForce == 1 || schemeInForce == kFallbackScheme) {
                                workingNT = std::max(20, workingNT);
                            } else {
                                workingNT = std::min(std::max(workingNT / 3, 20), 50);
                            }
                            option->setNT(workingNT);
                            schemeInForce = kFallbackScheme;
                            option->schemeNumber = kFallbackScheme;
                            const int N0 = NSAtStart;
                            if (N0 < 2 * Nv) {
                                NS = std::max(2 * Nv, 4 * N0 / 3);
                                if (NS > kLadderNS) {
                                    NS = kLadderNS;
                                    Nv = 160;
                                    option->Nv = 160;
                                }
                                option->setNS(NS);
                            } else if (N0 < (5 * Nv) / 2) {
                                NS = std::max((5 * Nv) / 2, 4 * N0 / 3);
                                Nv = (2 * NS) / 5;
                                if (NS > kLadderNS) {
                                    NS = kLadderNS;
                                    Nv = 160;
                                }
                                option->setNS(NS);
                                option->Nv = Nv;
                            } else {
                                Nv = (10 * NS) / 23;
                                option->Nv = Nv;
                            }
                            retryCount = 1;
                        } else {
                            option->clustering = kLadderClustering;
                            // Sizes too small to grow by half (a single interval, or none)
                            // would repeat the same step forever: they give up instead.
                            const int grownNS = retryCount == 1 ? std::min(2 * NS, kLadderNS)
                                                                : std::min(3 * NS / 2, kLadderNS);
                            const int grownNv = retryCount == 1 ? std::min(2 * Nv, kLadderNv)
                                                                : std::min(3 * Nv / 2, kLadderNv);
                            const bool grows = grownNS != NS || grownNv != Nv;
                            if ((NS < kLadderNS || Nv < kLadderNv) && !denserGridStage && grows) {
                                NS = grownNS;
                                Nv = grownNv;
                                resetGridCaches(*option);
                                option->Nv = Nv;
                                option->setNS(NS);
                                ++retryCount;
                            } else if (NS == kLadderNS && Nv == kLadderNv && !denserGridStage) {
                                resetGridCaches(*option);
                                option->retryLevel = 1;
                                option->Nv = Nv;
                                denserGridStage = true;
                                ++retryCount;
                            } else if (NS == kLadderNS && Nv <= kStageNvLimit && denserGridStage) {
                                resetGridCaches(*option);
                                NS = kStageNS;
                                option->setNS(kStageNS);
                                Nv = kStageNv;
                                option->Nv = kStageNv;
                                workingNT = (schemeInForce >= 2 && schemeInForce <= 14) ? 300 : 50;
                                option->setNT(workingNT);
                                ++retryCount;
                            } else if (NS == kStageNS && denserGridStage) {
                                resetGridCaches(*option);
                                NS = kLastNS;
                                option->setNS(kLastNS);
                                Nv = kLastNv;
                                option->Nv = kLastNv;
                                ++retryCount;
                            } else {
                                safeValue = 0.0;
                                const bool hadPrice =
                                    q.multi ? allStrikePricesPositive : rememberedPrice > 0.0;
                                if (!hadPrice) {
                                    log.write(solverLogFailedRecord(
                                        calcID, memoryRetries + retryCount,
                                        logParameters(q, workingNT),
                                        q.multi ? lowestStrikePrice : price));
                                }
                            }
                        }
                        resetGridCaches(*option);
                        if (q.plainModeOnRetry) {
                            option->priceMode = 3;
                            priceMode = 3;
                        }
                    } else if (isPrice(safeValue)) {
                        if (retryCount > 0 && afterMemoryRetry) {
                            log.write(solverLogSuccessRecord(calcID, memoryRetries + retryCount,
                                                             NS, Nv, workingNT, safeValue));
                        }
                    } else {
                        // Zero, NaN, or a positive value not above the no-price marker.
                        if (!denserGridStage && Nv < kZeroStepNvThreshold) {
                            throw NumericalError(kInstability);
                        }
                        if (!denserGridStage) {
                            option->retryLevel = 1;
                            denserGridStage = true;
                            NS = kLadderNS;
                            Nv = 3 * Nv / 4;
                            option->Nv = Nv;
                            option->setNS(kLadderNS);
                            // All caches, not only the spot stretch: stale variance caches would
                            // override the new Nv, and a stale NSOriginal the fine grid size.
                            resetGridCaches(*option);
                            ++retryCount;
                            safeValue = -1.0;
                        } else if (memoryRetries < kMaxMemoryRetries) {
                            ++memoryRetries;
                            resetGridCaches(*option);
                            safeValue = -1.0;
                        } else {
                            log.write(solverLogMemoryGiveUpRecord(calcID, !q.multi,
                                                                  rememberedPrice));
                        }
                    }
                    if (q.requestIVs != 0) {
                        cpuTime = -1.0;
                    }
                } while (safeValue < 0.0);
            } catch (const std::exception& e) {
                const bool outOfMemory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
                const std::string message = outOfMemory ? kBadAllocation : e.what();
                std::string record =
                    solverLogExceptionRecord(message, logParameters(q, workingNT), priceMode);
                if (message == kInstability && instabilityRestarts < kMaxInstabilityRestarts) {
                    ++instabilityRestarts;
                    record += solverLogInstabilityLine(calcID, memoryRetries);
                    appendSolverLog(record);
                    restart = true;
                    break;
                }
                if (message == kBadAllocation && memoryRetries < kMaxMemoryRetries) {
                    ++memoryRetries;
                    afterMemoryRetry = true;
                    record += solverLogMemoryRetryLine(calcID, memoryRetries);
                    appendSolverLog(record);
                    resetGridCaches(*option);
                    cpuTime = cpuStart;
                    continue;
                }
                appendSolverLog(record);
                Outcome failed;
                failed.unrecovered = true;
                failed.message = message;
                return failed;
            }
            break;
        }
        if (restart) {
            continue;
        }

        Outcome outcome;
        outcome.safeValue = safeValue;
        double finalPrice = rememberedPrice;
        Array<double> finalStrikePrices = rememberedStrikePrices;
        if (isPrice(safeValue)) {
            rememberedResult = results[4];
            outcome.strikeIVs = option->getStrikeIVs();
            finalPrice = price;
            finalStrikePrices = option->getStrikePrices();
        } else {
            outcome.strikeIVs = rememberedStrikeIVs;
        }
        outcome.result = rememberedResult;
        const bool gaveUp = !isPrice(safeValue) && (q.multi ? rememberedStrikePrices.size() == 0 &&
                                                                  strikeCount > 0
                                                            : !(rememberedPrice > 0.0));
        if (gaveUp) {
            // Its record is in the log already.
            outcome.failed = true;
            outcome.message = "Failed to get a positive value";
            outcome.strikeFailed.assign(strikeCount, true);
            outcome.strikeWithoutIV.assign(strikeCount, false);
        } else {
            judgeOutcome(q, workingNT, finalPrice, finalStrikePrices, outcome);
        }
        return outcome;
    }
}

void reportStatus(const Outcome& outcome, std::size_t strikeCount, RobustSolveStatus* status)
{
    if (!status) {
        return;
    }
    status->failed = outcome.unrecovered || outcome.failed;
    status->message = outcome.message;
    if (outcome.unrecovered) {
        status->strikeFailed.assign(strikeCount, true);
        status->strikeWithoutIV.assign(strikeCount, false);
    } else {
        status->strikeFailed = outcome.strikeFailed;
        status->strikeWithoutIV = outcome.strikeWithoutIV;
    }
}

}  // namespace

double RobustSvPdeSolve(double S, double K, double T, double r, double d, double v0, double vL,
                        double theta, double volvol, double rho, int* NS, int* Nv, int NT,
                        int callPut, int exerciseType, int* priceMode, int schemeNumber,
                        int requestIVs, double SmaxUser, double VmaxParam, int volvolWidening,
                        bool plainModeOnRetry, int modelCode, RobustSolveStatus* status)
{
    const Request q{S,        K,        T,           r,          d,     v0,     vL,
                    theta,    volvol,   rho,         NS,         Nv,    NT,     callPut,
                    exerciseType,       priceMode,   schemeNumber,      requestIVs,
                    SmaxUser, VmaxParam, volvolWidening, plainModeOnRetry, modelCode,
                    false,    nullptr,  0,           1.0,        0.0};
    const Outcome outcome = robustSolve(q);
    reportStatus(outcome, 0, status);
    return outcome.unrecovered ? 0.0 : outcome.result;
}

double RobustSvPdeSolveStrikes(double S, std::vector<double> strikes, Array<double>& strikeIVsOut,
                               double T, double r, double d, double v0, double vL, double theta,
                               double volvol, double rho, int* NS, int* Nv, int NT, int callPut,
                               int exerciseType, int* priceMode, int schemeNumber,
                               int requestIVs, double SmaxUser, double VmaxParam,
                               int volvolWidening, int strikeFlag, bool plainModeOnRetry,
                               int modelCode, double varianceExponent, double vMean,
                               RobustSolveStatus* status)
{
    const Request q{S,        0.0,      T,           r,          d,     v0,     vL,
                    theta,    volvol,   rho,         NS,         Nv,    NT,     callPut,
                    exerciseType,       priceMode,   schemeNumber,      requestIVs,
                    SmaxUser, VmaxParam, volvolWidening, plainModeOnRetry, modelCode,
                    true,     &strikes, strikeFlag,  varianceExponent,  vMean};
    const Outcome outcome = robustSolve(q);
    reportStatus(outcome, strikes.size(), status);
    if (outcome.unrecovered) {
        return 0.0;
    }
    strikeIVsOut = outcome.strikeIVs;
    return isPrice(outcome.safeValue) ? outcome.safeValue : 0.0;
}
