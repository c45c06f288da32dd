#include "exports/single_option_exports.h"

#include "exports/price_mode_selector.h"
#include "model/input_checks.h"
#include "model/option_objects.h"
#include "model/robust_solve.h"
#include "model/solver_failure_log.h"
#include "numerics/implied_vol.h"
#include "numerics/numerical_error.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <exception>
#include <memory>
#include <new>
#include <sstream>
#include <string>

namespace {

constexpr double kErrorValue = -999.0;
constexpr int kLargestSolvedNS = 50000;  // an object with more spot intervals is not solved
constexpr double kMaturityBump = 0.00001;  // relative
constexpr double kVolatilityBump = 0.00001;  // absolute, in volatility
constexpr double kDaysPerYear = 365.0;
constexpr double kVolatilityPoint = 100.0;
constexpr int kPricerScheme = 1;
constexpr std::size_t kModelParamCount = 6;
constexpr std::size_t kFiveArrayCount = 5;
constexpr std::size_t kSolutionArrays = 5;
constexpr int kFirstScheme = 1;
constexpr int kLastScheme = 15;

const char* const kUnknownError = "Unknown error...";

bool positiveFinite(double x) { return std::isfinite(x) && x > 0.0; }

// The pricer's volvol: params[0] taken as an exponent of 1 + rootT, less 5 r.
double rescaledVolvol(double param, double rootT, double r)
{
    return std::exp(std::log(1.0 + rootT) * (param - 5.0 * r));
}

// Copies the first count values of a solution Array into a caller array. The Arrays of a solve
// hold one value per spot node; a shorter one would be read past its end.
void copyNodes(double* destination, const Array<double>& source, int count)
{
    if (count < 0 || source.size() < static_cast<std::size_t>(count)) {
        throw NumericalError("The solve returned fewer node values than its spot grid has nodes");
    }
    for (int i = 0; i < count; ++i) {
        destination[i] = source[static_cast<std::size_t>(i)];
    }
}

void fillZeros(double* destination, int count)
{
    for (int i = 0; i < count; ++i) {
        destination[i] = 0.0;
    }
}

platform::Bstr messageBstr(const char* text) { return platform::allocBstr(text ? text : ""); }

std::string spotGridLimitError(int NS)
{
    return "OrvOptionPricer: NS = " + std::to_string(NS) + " spot intervals exceed the limit of " +
           std::to_string(kLargestSolvedNS) + "; nothing was solved";
}

// The checks that keep a call from reaching memory the caller does not own, or grids that cannot
// be laid; the text of the first failed check, or null.
const char* pricerArgumentError(double* spotNodes, double* values, double* firstDerivative,
                                double* secondDerivative, double* fifthOutput, double* vegaOutput,
                                double* cpuTime, double S, double K, int NT, double rootT,
                                double* params, double r, double d, int* NS, int* Nv,
                                double* firstFiveArray, double* secondFiveArray,
                                bool bumpVariance)
{
    if (!cpuTime || !params || !NS || !Nv || !firstFiveArray || !secondFiveArray) {
        return "OrvOptionPricer: cpuTime, params, NS, Nv and the two five-value arrays must not be "
               "null";
    }
    if (!spotNodes || !values || !firstDerivative || !secondDerivative || !fifthOutput ||
        (bumpVariance && !vegaOutput)) {
        return "OrvOptionPricer: an output array is null";
    }
    if (!positiveFinite(S) || !positiveFinite(K) || !positiveFinite(rootT) || !std::isfinite(r) ||
        !std::isfinite(d)) {
        return "OrvOptionPricer: S, K and rootT must be positive numbers, r and d numbers";
    }
    if (*NS < 1 || *Nv < 1 || NT < 1) {
        return "OrvOptionPricer: NS, Nv and NT must be positive";
    }
    return nullptr;
}

// What no model can price, in the parameter array, the codes or the sizes.
std::string pricerInputError(double S, double K, int NT, double rootT, const double* params,
                             double r, double d, int NS, int Nv, int callPut, int exerciseType,
                             double tolExp, double SmaxUser, double VmaxParam)
{
    const char* const names[kModelParamCount] = {"params[0] (volvol)", "params[1] (v0)",
                                                  "params[2] (vL)",     "params[3] (theta)",
                                                  "params[4] (rho)",    "params[5] (modelCode)"};
    for (std::size_t i = 0; i < kModelParamCount; ++i) {
        const std::string error = finiteError(names[i], params[i]);
        if (!error.empty()) {
            return error;
        }
    }
    const double volvol = rescaledVolvol(params[0], rootT, r);
    std::string error = contractInputError(S, K, rootT * rootT, r, d);
    if (error.empty() && !std::isfinite(volvol)) {
        error = "params[0] (volvol) rescaled by rootT and r is not a finite number";
    }
    if (error.empty()) error = modelInputError(params[1], params[2], params[3], volvol, params[4]);
    if (error.empty()) error = modelCodeValueError(params[5]);
    if (error.empty()) error = contractCodeError(callPut, exerciseType);
    if (error.empty()) error = finiteError("tolExp", tolExp);
    if (error.empty()) error = finiteError("SmaxUser", SmaxUser);
    if (error.empty()) error = finiteError("VmaxParam", VmaxParam);
    if (error.empty() && NS > kLargestSolvedNS) return spotGridLimitError(NS);
    if (error.empty()) error = gridSizeError(NS, Nv, NT);
    return error.empty() ? error : "OrvOptionPricer: " + error;
}

platform::Bstr priceOption(double* spotNodes, double* values, double* firstDerivative,
                           double* secondDerivative, double* fifthOutput, double* vegaOutput,
                           double* cpuTime, double S, double K, int NT, double rootT,
                           double* params, double r, double d, int* NS, int* Nv, int callPut,
                           int exerciseType, int priceMode, int reservedInt,
                           double* firstFiveArray, double* secondFiveArray, double tolExp,
                           double SmaxUser, double VmaxParam, bool bumpMaturity,
                           bool bumpVariance, bool nonUniformSGrid, bool reservedFlag,
                           int exercisePeriods)
{
    // The caller sized the output arrays from the NS it passed: never write past that.
    const int capacityNS = *NS;

    const double T = rootT * rootT;
    params[0] = rescaledVolvol(params[0], rootT, r);

    Array<double> modelParams(params, kModelParamCount);
    Array<double> firstFive(firstFiveArray, kFiveArrayCount);
    Array<double> secondFive(secondFiveArray, kFiveArrayCount);
    std::unique_ptr<OrvHestonVanilla> option = std::make_unique<OrvHestonVanilla>(
        S, K, T, modelParams, r, d, *NS, *Nv, NT, callPut, priceMode, reservedInt, exerciseType,
        firstFive, secondFive, nonUniformSGrid, tolExp, SmaxUser, VmaxParam, exercisePeriods,
        reservedFlag, 0, 0.0, kPricerScheme, false);

    *NS = option->getNS();
    if (*NS > kLargestSolvedNS) {
        throw NumericalError(spotGridLimitError(*NS));
    }

    Array<double> solution[kSolutionArrays];
    option->calcPrice(solution[0], solution[1], solution[2], solution[3], solution[4], cpuTime);
    {
        // A value no option can have is a failed solve, not a solution to hand back.
        const Array<double> first = option->getResults();
        const std::string error = priceBoundsError(first.size() > 1 ? first[1] : 0.0, S, K, T, r,
                                                   d, callPut);
        if (!error.empty()) {
            throw NumericalError(error);
        }
    }

    *NS = option->getNS();
    const Array<double> results = option->getResults();
    for (std::size_t i = 0; i < kModelParamCount && i < results.size(); ++i) {
        params[i] = results[i];
    }

    const int ns = option->getNS();
    *NS = ns;
    if (ns > capacityNS) {
        throw NumericalError("The spot grid of the option has more nodes than the output arrays "
                             "hold");
    }
    const int nodes = ns + 1;
    copyNodes(spotNodes, solution[0], nodes);
    copyNodes(values, solution[1], nodes);
    copyNodes(firstDerivative, solution[2], nodes);
    copyNodes(secondDerivative, solution[3], nodes);
    copyNodes(fifthOutput, solution[4], nodes);

    double cpu = *cpuTime;

    if (bumpMaturity) {
        option->setT(T * (1.0 + kMaturityBump));
        option->calcPrice(solution[0], solution[1], solution[2], solution[3], solution[4],
                          cpuTime);
        cpu += *cpuTime;
        if (option->getNS() == ns && solution[1].size() >= static_cast<std::size_t>(nodes)) {
            for (int i = 0; i < nodes; ++i) {
                fifthOutput[i] = (values[i] - solution[1][static_cast<std::size_t>(i)]) /
                                 (T * kMaturityBump) / kDaysPerYear;
            }
        } else {
            fillZeros(fifthOutput, nodes);
        }
    }

    if (bumpVariance) {
        option->setT(T);
        option->bumpVol(kVolatilityBump);
        option->calcPrice(solution[0], solution[1], solution[2], solution[3], solution[4],
                          cpuTime);
        cpu += *cpuTime;
        if (option->getNS() == ns && solution[1].size() >= static_cast<std::size_t>(nodes)) {
            for (int i = 0; i < nodes; ++i) {
                vegaOutput[i] = (solution[1][static_cast<std::size_t>(i)] - values[i]) /
                                kVolatilityBump / kVolatilityPoint;
            }
        } else {
            fillZeros(vegaOutput, nodes);
        }
    }

    *cpuTime = cpu;
    return platform::allocBstr("");
}

std::string solverFailureRecord(const std::string& message, const SolverLogParameters& p)
{
    const std::string stars(85, '*');
    return stars + "\n" + message + "\n" + stars + "\n" + solverLogParameterBlock(p) + "\n";
}

}  // namespace

SARNEX_EXPORT platform::Bstr SARNEX_CALL OrvOptionPricer(
    double* spotNodes, double* values, double* firstDerivative, double* secondDerivative,
    double* fifthOutput, double* vegaOutput, double* cpuTime, double S, double K, int NT,
    double rootT, double* params, double r, double d, double /*reservedValue*/, int* NS, int* Nv,
    int callPut, int exerciseType, int priceMode, int reservedInt, double* firstFiveArray,
    double* secondFiveArray, double tolExp, double SmaxUser, double VmaxParam, bool bumpMaturity,
    bool bumpVariance, bool nonUniformSGrid, bool reservedFlag, int exercisePeriods)
{
    try {
        const char* invalid = pricerArgumentError(
            spotNodes, values, firstDerivative, secondDerivative, fifthOutput, vegaOutput,
            cpuTime, S, K, NT, rootT, params, r, d, NS, Nv, firstFiveArray, secondFiveArray,
            bumpVariance);
        if (invalid) {
            return messageBstr(invalid);
        }
        const std::string refused =
            pricerInputError(S, K, NT, rootT, params, r, d, *NS, *Nv, callPut, exerciseType,
                             tolExp, SmaxUser, VmaxParam);
        if (!refused.empty()) {
            return messageBstr(refused.c_str());
        }
        return priceOption(spotNodes, values, firstDerivative, secondDerivative, fifthOutput,
                           vegaOutput, cpuTime, S, K, NT, rootT, params, r, d, NS, Nv, callPut,
                           exerciseType, priceMode, reservedInt, firstFiveArray, secondFiveArray,
                           tolExp, SmaxUser, VmaxParam, bumpMaturity, bumpVariance,
                           nonUniformSGrid, reservedFlag, exercisePeriods);
    } catch (const std::bad_alloc&) {
        return messageBstr("bad allocation");
    } catch (const std::exception& e) {
        return messageBstr(e.what());
    } catch (const char* text) {
        return messageBstr(text);
    } catch (...) {
        return messageBstr(kUnknownError);
    }
}

SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDESolver(
    double S, double K, double T, double r, double d, double v0, double vL, double theta,
    double volvol, double rho, int NS, int Nv, int NT, int callPut, int exerciseType,
    int priceModeSelector, int schemeNumber, int returnImpliedVol, double SmaxUser,
    double VmaxParam, int spotGridFlag, int modelCode)
{
    SolverLogParameters logged;
    logged.S = S;
    logged.K = K;
    logged.T = T;
    logged.r = r;
    logged.d = d;
    logged.v0 = v0;
    logged.vL = vL;
    logged.theta = theta;
    logged.volvol = volvol;
    logged.rho = rho;
    logged.NS = NS;
    logged.Nv = Nv;
    logged.NT = NT;
    logged.callPut = callPut;
    logged.exerciseType = exerciseType;

    std::string failure;
    try {
        if (!positiveFinite(S) || !positiveFinite(K) || !positiveFinite(T)) {
            failure = "GARCH_VanillaPDESolver: S, K and T must be positive numbers";
        } else if (NS < 1 || Nv < 1 || NT < 1) {
            failure = "GARCH_VanillaPDESolver: NS, Nv and NT must be positive";
        } else if (schemeNumber < kFirstScheme || schemeNumber > kLastScheme) {
            failure = "GARCH_VanillaPDESolver: unknown scheme number " +
                      std::to_string(schemeNumber) + " (valid: 1 to 15)";
        } else if (const std::string refused =
                       solveInputError(S, K, T, r, d, v0, vL, theta, volvol, rho, NS, Nv, NT,
                                       callPut, exerciseType, modelCode, SmaxUser, VmaxParam);
                   !refused.empty()) {
            failure = "GARCH_VanillaPDESolver: " + refused;
        } else {
            // The robust solve runs the same checks; here they come first so that a refusal
            // leaves one record, in the export's own format. The robust solve may change the grid
            // sizes and the price mode; the caller's own arguments stay as they were. A solve
            // without a usable price has its record in the log already.
            int ns = NS;
            int nv = Nv;
            int priceMode = priceModeFromSelector(priceModeSelector);
            RobustSolveStatus status;
            const double result = RobustSvPdeSolve(
                S, K, T, r, d, v0, vL, theta, volvol, rho, &ns, &nv, NT, callPut, exerciseType,
                &priceMode, schemeNumber, returnImpliedVol, SmaxUser, VmaxParam, spotGridFlag,
                false, modelCode, &status);
            return status.failed ? kErrorValue : result;
        }
    } catch (const std::bad_alloc&) {
        failure = "bad allocation";
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (const char* text) {
        failure = text ? text : kUnknownError;
    } catch (...) {
        failure = kUnknownError;
    }
    try {
        appendSolverLog(solverFailureRecord(failure, logged));
    } catch (...) {
        // The record is lost; the caller still learns of the failure from the result.
    }
    return kErrorValue;
}

SARNEX_EXPORT double SARNEX_CALL ImpliedVol(double price, double S, double K, double T, double r,
                                            double d, int callPut)
{
    if (!std::isfinite(price) || !positiveFinite(S) || !positiveFinite(K) || !positiveFinite(T) ||
        !std::isfinite(r) || !std::isfinite(d)) {
        return kErrorValue;
    }
    try {
        const ImpliedVolTarget target{S, K, T, r, d, price, callPut};
        return brentImpliedVol(&target, 1e-15, 2.0, 1e-16);
    } catch (...) {
        return kErrorValue;
    }
}
