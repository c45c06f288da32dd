#include "calibration/calibration_objective.h"

#include "calibration/fit_iv.h"
#include "calibration/header_chain.h"
#include "calibration/heston_model_ivs.h"
#include "calibration/quote_filters.h"
#include "calibration/work_balance.h"
#include "density/pdesolver1d.h"
#include "density/stationary_variance_quantile.h"
#include "model/robust_solve.h"
#include "model/solver_failure_log.h"
#include "numerics/array.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <fstream>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* const kUnknownError =
    "Unknown error: the calibration objective caught an exception that is not a standard exception";
const char* const kBadSpot = "The spot price in the option chain is not a positive number";

constexpr int kHestonCode = 3;
constexpr int kPowerLawCode = 2;
constexpr int kOrvX1Code = 4;
constexpr double kPowerLawExponent = 0.8;

// Critical-variance solves.
constexpr int kVcritNX = 800;
constexpr int kVcritNTGroup = 100;  // codes 4 and 6
constexpr int kVcritNT = 50;
constexpr int kVcritScheme = 2;
constexpr int kVcritHalfWidth = 5;
constexpr int kVcritModelGroup = 2;      // dv = theta sqrt(v) (vL - v) dt + xi v dW
constexpr int kVcritModelPowerLaw = 1;  // dv = theta (vL - v) dt + xi v^power dW
constexpr int kVcritModel = 0;          // dv = theta (vL - v) dt + xi v dW
constexpr int kVcritBoundaryMode = 1;
constexpr double kStationaryDivisorGroup = 3.0;
constexpr double kMeanVarianceCeiling = 2.0;

// Variance-grid bound of the solves.
constexpr double kRaisedVmaxLevel = 0.999999;
constexpr double kCheapForVmax = 0.0001;  // of the spot
constexpr double kVmaxFloorFactorHigh = 0.05;  // codes above 2
constexpr double kVmaxFloorFactor = 0.1;

struct Range {
    const char* name;
    double lo;
    double hi;
};

// The failure of a loop iteration as text, or nothing. Nothing may leave a parallel region, so
// every iteration runs its work through this.
template <class Work>
std::optional<std::string> runCaught(Work&& work)
{
    try {
        work();
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::string("bad allocation");
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (const char* text) {
        return std::string(text ? text : kUnknownError);
    } catch (...) {
        return std::string(kUnknownError);
    }
}

void throwFirst(const std::vector<std::optional<std::string>>& failures)
{
    for (const std::optional<std::string>& f : failures) {
        if (f) {
            throw std::runtime_error(*f);
        }
    }
}

std::string failureRecord(const std::string& message)
{
    const std::string stars(85, '*');
    return stars + "\n" + message + "\n" + stars + "\n\n";
}

void logObjectiveFailure(const std::string& message)
{
    try {
        appendSolverLog(failureRecord(message));
    } catch (...) {
        // The record is lost; what the evaluation returns still tells the search.
    }
}

std::vector<double> distinctExpiries(const std::vector<ExpiryBucket>& buckets)
{
    std::vector<double> expiries;
    for (const ExpiryBucket& b : buckets) {
        expiries.push_back(b.T);
    }
    std::sort(expiries.begin(), expiries.end());
    expiries.erase(std::unique(expiries.begin(), expiries.end()), expiries.end());
    return expiries;
}

// Steps 3 to 13 of one call: everything that is logged when it fails.
void priceChain(const double* p, double* hx, int n, const CalibrationSettings& settings,
                const ObjectiveSetup& setup)
{
    std::ifstream in(optionsDataPath());
    // An unopened stream reads as empty lines, and the spot conversion reports it.
    HeaderChain chain = readHeaderChain(in);
    if (!(std::isfinite(chain.spot) && chain.spot > 0.0)) {
        throw std::runtime_error(kBadSpot);
    }
    preparePricingChain(chain.quotes);
    if (!holdsMarketCount(chain.quotes, n)) {
        markEvaluationFailed(hx, n);
        return;
    }

    std::vector<ExpiryBucket> buckets = formExpiryBuckets(chain.quotes);
    const CriticalVariances cv = vcritPerExpiryLoop(distinctExpiries(buckets), p,
                                                    settings.modelCode, setup.vmaxQuantileLevel);
    sizeExpiryBuckets(buckets, settings, setup, p[2]);

    std::vector<double> costs;
    for (const ExpiryBucket& b : buckets) {
        costs.push_back(b.cost);
    }
    const WorkDeal deal = dealByCost(costs, workSlotCount());
    const std::vector<double> ivs = modelIVPerExpiryLoop(buckets, deal.slots, cv, p, settings, setup);
    for (std::size_t i = 0; i < ivs.size(); ++i) {
        hx[i] = ivs[i];
    }
}

}  // namespace

bool isVolatilityOfVarianceGroup(int modelCode) { return modelCode == 4 || modelCode == 6; }

void checkParameterRanges(const double* p, int modelCode)
{
    const bool volModels = modelCode >= 4 && modelCode <= 6;
    const Range checks[] = {
        {"xi", 0.1, 30.0},
        {"rho", -1.0, 0.3},
        {"v0", volModels ? 0.0005 : 0.001, 1.2},
        {"vBar", 0.001, volModels ? 2.5 : 1.2},
        {"kappa", volModels ? 0.01 : 0.005, 100.0},
    };
    const double values[] = {p[3], p[4], p[0], p[1], p[2]};
    for (std::size_t i = 0; i < 5; ++i) {
        // Written so that NaN fails: a parameter that is no number is out of every range.
        if (!(checks[i].lo <= values[i] && values[i] <= checks[i].hi)) {
            optimizationStopped = true;
            throw std::runtime_error(std::string(checks[i].name) +
                                     " is out of range. Stopping optimization.");
        }
    }
}

ObjectiveSetup objectiveSetup(const CalibrationSettings& s)
{
    ObjectiveSetup setup;
    const bool first = s.stretchSelector == 1;
    const bool firstQ = s.quantileSelector == 1;
    switch (s.modelCode) {
    case 1:
        setup = {1.0, 1, first ? 1.0 : 1.5, firstQ ? 0.9999975 : 0.999999, 4};
        break;
    case 2:
        setup = {kPowerLawExponent, 1, first ? 1.0 : 1.5, 0.999999, 4};
        break;
    case 4:
        setup = {1.0, 2, first ? 1.0 : 2.0, firstQ ? 0.9999995 : 0.9999999, 4};
        break;
    case 5:
        setup = {1.0, 3, first ? 2.0 : 3.0, firstQ ? 0.999999 : 3.0, 4};
        break;
    case 6:
        setup = {1.0, 4, first ? 1.0 : 2.0, firstQ ? 0.9999999 : 0.99999999, 4};
        break;
    default:
        throw std::runtime_error("Unknown model code " + std::to_string(s.modelCode) +
                                 " in the calibration settings");
    }
    // Every strike's solve would be refused: a fault of the settings, not of the parameters.
    if (s.NS < 1 || s.Nv < 1 || s.NT < 1) {
        throw std::runtime_error("The grid sizes of the calibration settings must be positive");
    }
    setup.priceMode = s.priceModeSelector == 1 ? 3 : s.priceModeSelector == 2 ? 5 : 4;
    return setup;
}

void sizeExpiryBuckets(std::vector<ExpiryBucket>& buckets, const CalibrationSettings& s,
                       const ObjectiveSetup& setup, double kappa)
{
    for (ExpiryBucket& b : buckets) {
        const BucketGrid g = bucketGrid(b.smallestPrice, b.S, b.T, s.NS, s.Nv, s.NT);
        b.NS = g.NS;
        b.Nv = g.Nv;
        b.NT = g.NT;
        b.cost = g.cost;
        b.vmaxLevel = setup.vmaxQuantileLevel;
        if (b.smallestPrice < kCheapForVmax * b.S && setup.vmaxQuantileLevel < kRaisedVmaxLevel) {
            b.vmaxLevel = kRaisedVmaxLevel;
        }
        b.vmaxMultiplier = isVolatilityOfVarianceGroup(s.modelCode)
                               ? 1.0
                               : std::max(1.0, 3.0 - 0.5 * kappa * b.T);
    }
}

CriticalVariances vcritPerExpiryLoop(const std::vector<double>& expiries, const double* p,
                                     int modelCode, double q)
{
    CriticalVariances cv;
    cv.expiries = expiries;
    const std::size_t count = expiries.size();
    cv.vcrits.assign(count, 0.0);
    cv.meanVariances.assign(count, 0.0);
    if (!(q < 1.0)) {
        return cv;
    }
    const bool group = isVolatilityOfVarianceGroup(modelCode);
    // The density of the variance that is priced. Inverse-gamma vol and XGBM vol keep the densities
    // and stationary values they were tuned with, which bound their grids well enough.
    const bool powerLaw = modelCode == kPowerLawCode;
    const int densityModel = group ? kVcritModelGroup : powerLaw ? kVcritModelPowerLaw : kVcritModel;
    const double power = powerLaw ? kPowerLawExponent : 1.0;

    std::vector<std::optional<std::string>> failures(count);
    const long iterations = static_cast<long>(count);
#pragma omp parallel for schedule(static)
    for (long i = 0; i < iterations; ++i) {
        const std::size_t j = static_cast<std::size_t>(i);
        failures[j] = runCaught([&] {
            PDESolver1D solver(q, expiries[j], p[0], p[1], p[2], p[3], kVcritNX,
                               group ? kVcritNTGroup : kVcritNT, kVcritScheme, kVcritHalfWidth,
                               densityModel, power, false, kVcritBoundaryMode);
            cv.vcrits[j] = solver.computeVcrit();
            if (group) {
                cv.meanVariances[j] = solver.vMean;
            }
        });
    }
    throwFirst(failures);

    if (powerLaw || modelCode == kOrvX1Code) {
        // The model's own stationary law: the GARCH-type law, let alone a third of it, lies below
        // the quantiles these variances reach within two years.
        const StationaryVarianceLaw law{p[1], p[2], p[3], power, modelCode == kOrvX1Code};
        cv.stationaryVcrit = law.quantile(q);
    } else {
        PDESolver1D stationary(q, p[0], p[1], p[2], p[3]);
        cv.stationaryVcrit = stationary.computeVcrit();
        if (group) {
            cv.stationaryVcrit /= kStationaryDivisorGroup;
        }
    }
    if (group) {
        // Mean variances of 2 or more come from densities that ran off the grid: they take the
        // mean of the sound ones. When none is sound they stay as computed (nothing better is
        // known, and the solves then only see a large mean).
        double sum = 0.0;
        int sound = 0;
        for (double mean : cv.meanVariances) {
            if (mean < kMeanVarianceCeiling) {
                sum += mean;
                ++sound;
            }
        }
        const double last = count > 0 ? cv.vcrits[count - 1] : 0.0;
        for (std::size_t j = 0; j < count; ++j) {
            if (sound > 0 && cv.meanVariances[j] >= kMeanVarianceCeiling) {
                cv.meanVariances[j] = sum / sound;
            }
            cv.vcrits[j] = std::min(cv.vcrits[j], 2.0 * last);
        }
    }
    return cv;
}

double bucketVmaxParam(const ExpiryBucket& b, const CriticalVariances& cv, int modelCode, double q,
                       double* meanArg)
{
    *meanArg = 0.0;
    if (!(q < 1.0)) {
        return b.vmaxLevel;
    }
    const auto at = std::find(cv.expiries.begin(), cv.expiries.end(), b.T);
    if (at == cv.expiries.end()) {
        throw std::runtime_error("No critical variance for the expiry of a bucket");
    }
    const std::size_t j = static_cast<std::size_t>(at - cv.expiries.begin());
    const double c = modelCode > 2 ? kVmaxFloorFactorHigh : kVmaxFloorFactor;
    const double vmax =
        std::max(c * cv.stationaryVcrit, std::min(cv.stationaryVcrit, b.vmaxMultiplier * cv.vcrits[j]));
    *meanArg = cv.meanVariances[j];
    return -vmax;
}

std::vector<double> modelIVPerExpiryLoop(const std::vector<ExpiryBucket>& buckets,
                                         const std::vector<std::vector<std::size_t>>& lists,
                                         const CriticalVariances& cv, const double* p,
                                         const CalibrationSettings& s, const ObjectiveSetup& setup)
{
    // Each bucket writes its own stretch of the result, so the order of the chain comes back
    // whatever list and thread priced it.
    std::vector<std::size_t> offset(buckets.size() + 1, 0);
    for (std::size_t b = 0; b < buckets.size(); ++b) {
        offset[b + 1] = offset[b] + buckets[b].strikes.size();
    }
    std::vector<double> ivs(offset.back(), kNaN);

    // A bucket whose solve throws has no IVs at these parameters, like a strike its solve could
    // not price: its strikes enter as 0.0 and the evaluation goes on. Its message is logged after
    // the loop, so that no thread writes the log while others price.
    std::vector<std::optional<std::string>> bucketFailures(buckets.size());
    const long slots = static_cast<long>(lists.size());
#pragma omp parallel for schedule(static)
    for (long slot = 0; slot < slots; ++slot) {
        for (std::size_t index : lists[static_cast<std::size_t>(slot)]) {
            const ExpiryBucket& b = buckets[index];
            double* const out = ivs.data() + offset[index];
            bucketFailures[index] = runCaught([&] {
                std::fill(out, out + b.strikes.size(), 0.0);
                double meanArg = 0.0;
                const double vmaxParam =
                    bucketVmaxParam(b, cv, s.modelCode, setup.vmaxQuantileLevel, &meanArg);
                // The solve may change its grid sizes and price mode: copies.
                int NS = b.NS;
                int Nv = b.Nv;
                int priceMode = setup.priceMode;
                Array<double> results(kNaN, b.strikes.size());
                RobustSolveStatus status;
                RobustSvPdeSolveStrikes(b.S, b.strikes, results, b.T, b.r, b.d, p[0], p[1], p[2],
                                        p[3], p[4], &NS, &Nv, b.NT, b.callPut, b.exerciseType,
                                        &priceMode, s.schemeNumber, 1, setup.spotGridStretch,
                                        vmaxParam, 0, s.strikeVectorFlag != 0, true,
                                        setup.pdeModelType, setup.varianceExponent, meanArg,
                                        &status);
                if (results.size() != b.strikes.size()) {
                    return;
                }
                for (std::size_t u = 0; u < b.strikes.size(); ++u) {
                    const bool flagged = u < status.strikeFailed.size() ? status.strikeFailed[u]
                                                                        : status.failed;
                    out[u] = modelIVOrZero(flagged, results[u]);
                }
            });
        }
    }
    for (const std::optional<std::string>& failure : bucketFailures) {
        if (failure) {
            logObjectiveFailure(*failure);
        }
    }
    return ivs;
}

void CalibrationObjective(double* p, double* hx, int /*m*/, int n, void* adata)
{
    const CalibrationSettings& settings = *static_cast<const CalibrationSettings*>(adata);
    checkParameterRanges(p, settings.modelCode);
    if (settings.modelCode == kHestonCode) {
        calcHestonModelIVs(hx, n, p[0], p[1], p[2], p[3], p[4]);
        return;
    }
    const std::optional<std::string> failure = runCaught([&] {
        const ObjectiveSetup setup = objectiveSetup(settings);
        priceChain(p, hx, n, settings, setup);
    });
    if (failure) {
        logObjectiveFailure(*failure);
        markEvaluationFailed(hx, n);
    }
}
