#include "exports/chain_calibration_exports.h"

#include "calibration/count_first_chain.h"
#include "calibration/header_chain.h"
#include "exports/chain_request.h"
#include "exports/price_mode_selector.h"
#include "exports/per_expiry_calibration.h"
#include "exports/per_option_calibration.h"
#include "model/solver_failure_log.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <new>
#include <string>

namespace {

constexpr double kNoChainFile = 10000.0;
constexpr double kUnusableInput = -999.0;
constexpr double kFailedSolve = 0.0;
constexpr int kFirstScheme = 1;
constexpr int kLastScheme = 15;
constexpr int kPerOptionSelector = 3;

const char* const kUnknownError = "Unknown error...";

enum class Way { perOption, perExpiry };

void logFailure(const std::string& message)
{
    const std::string stars(85, '*');
    try {
        appendSolverLog(stars + "\n" + message + "\n" + stars + "\n\n");
    } catch (...) {
        // The record is lost; the caller still learns of the failure from the result.
    }
}

double rootMeanSquare(Way way, const ChainRequest& request)
{
    const std::string path = optionsDataPath();
    std::ifstream in(path);
    if (!in) {
        logFailure("The option chain " + path + " could not be opened");
        return kNoChainFile;
    }
    if (request.NS < 1 || request.Nv < 1 || request.NT < 1) {
        logFailure("The chain calibration needs positive grid sizes NS, Nv and NT");
        return kUnusableInput;
    }
    if (request.schemeNumber < kFirstScheme || request.schemeNumber > kLastScheme) {
        logFailure("The chain calibration has no scheme number " +
                   std::to_string(request.schemeNumber) + " (valid: 1 to 15)");
        return kUnusableInput;
    }
    const CountFirstChain chain = readCountFirstChain(in);
    if (chain.status != ChainReadStatus::ok) {
        logFailure(chain.problem);
        return kUnusableInput;
    }
    const double sum = way == Way::perOption ? perOptionSquaredErrors(chain.rows, request)
                                             : perExpirySquaredErrors(chain.rows, request);
    return std::sqrt(sum / static_cast<double>(chain.count));
}

double calibrate(Way way, const ChainRequest& request)
{
    try {
        try {
            return rootMeanSquare(way, request);
        } catch (const std::bad_alloc&) {
            logFailure("bad allocation");
        } catch (const std::exception& e) {
            logFailure(e.what());
        } catch (const char* text) {
            logFailure(text ? text : kUnknownError);
        } catch (...) {
            logFailure(kUnknownError);
        }
    } catch (...) {
        // Not even the record could be made; the result still tells the caller.
    }
    return kFailedSolve;
}

ChainRequest request(double v0, double vL, double theta, double volvol, double rho, int NS, int Nv,
                     int NT, int schemeNumber, int priceModeSelector, double SmaxUser,
                     double vcritQuantile, int spotGridFlag, int strikeVectorFlag, int modelCode)
{
    ChainRequest r;
    r.v0 = v0;
    r.vL = vL;
    r.theta = theta;
    r.volvol = volvol;
    r.rho = rho;
    r.NS = NS;
    r.Nv = Nv;
    r.NT = NT;
    r.schemeNumber = schemeNumber;
    r.priceMode = priceModeFromSelector(priceModeSelector);
    r.SmaxUser = SmaxUser;
    r.vcritQuantile = vcritQuantile;
    r.spotGridFlag = spotGridFlag;
    r.strikeVectorFlag = strikeVectorFlag;
    r.modelCode = modelCode;
    return r;
}

}  // namespace

SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int modelCode)
{
    return calibrate(Way::perOption,
                     request(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                             priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag, 0,
                             modelCode));
}

SARNEX_EXPORT double SARNEX_CALL GARCH_VanillaPDECalibrationM(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int strikeVectorFlag, int modelCode)
{
    return calibrate(Way::perExpiry,
                     request(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                             priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag,
                             strikeVectorFlag, modelCode));
}

SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag)
{
    return GARCH_VanillaPDECalibration(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                       priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag, 0);
}

SARNEX_EXPORT double SARNEX_CALL HESTON_VanillaPDECalibrationM(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag)
{
    return GARCH_VanillaPDECalibrationM(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                        priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag,
                                        0, 0);
}

SARNEX_EXPORT double SARNEX_CALL SVPDECalibration(
    double v0, double vL, double theta, double volvol, double rho, int NS, int Nv, int NT,
    int schemeNumber, int priceModeSelector, double SmaxUser, double vcritQuantile,
    int spotGridFlag, int variantSelector, int modelCode)
{
    if (variantSelector == kPerOptionSelector) {
        return GARCH_VanillaPDECalibration(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                           priceModeSelector, SmaxUser, vcritQuantile,
                                           spotGridFlag, modelCode);
    }
    return GARCH_VanillaPDECalibrationM(v0, vL, theta, volvol, rho, NS, Nv, NT, schemeNumber,
                                        priceModeSelector, SmaxUser, vcritQuantile, spotGridFlag,
                                        variantSelector, modelCode);
}
