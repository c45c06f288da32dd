#include "heston/vanilla_heston_export.h"

#include "heston/analytic_heston_engine.h"
#include "heston/heston_pricer.h"
#include "platform/file_beside_module.h"
#include "platform/platform.h"

#include <cmath>
#include <exception>
#include <new>
#include <sstream>

namespace {

const char* const kLogFileName = "GARCH_PDESolverLog.txt";
constexpr int kLogPrecision = 16;
constexpr double kErrorValue = -999.0;
constexpr double kZeroVolvolStandIn = 1e-10;
constexpr double kZeroSpotStandIn = 1e-12;
constexpr double kRelativeAccuracy = 1e-13;
constexpr unsigned long kMaxEvaluations = 1000000;

const char* const kBadInputs = "VanillaHeston: S, K and T must be positive numbers";
const char* const kNoFinitePrice = "VanillaHeston: the price is not a finite number";
const char* const kUnknownError = "VanillaHeston: unknown error (not a standard exception)";

platform::FileBesideModule& logFile()
{
    static platform::FileBesideModule file(kLogFileName);
    return file;
}

bool positiveFinite(double x) { return std::isfinite(x) && x > 0.0; }

void logFailure(const std::string& message, double S, double K, double T, double r, double d,
                double v0, double vL, double theta, double volvol, double rho, int callPut)
{
    const std::string stars(85, '*');
    std::ostringstream out;
    out.precision(kLogPrecision);
    out << stars << "\n"
        << message << "\n"
        << stars << "\n"
        << "S:\t\t" << S << "\n"
        << "K:\t\t" << K << "\n"
        << "T:\t\t" << T << "\n"
        << "r:\t\t" << r << "\n"
        << "d:\t\t" << d << "\n"
        << "v0:\t\t" << v0 << "\n"
        << "vL:\t\t" << vL << "\n"
        << "theta:\t\t" << theta << "\n"
        << "volvol:\t\t" << volvol << "\n"
        << "rho:\t\t" << rho << "\n"
        << "Call/Put: \t" << callPut << "\n"
        << "\n";
    platform::appendText(hestonPriceLogPath(), out.str());
}

}  // namespace

std::string hestonPriceLogPath() { return logFile().path(); }

void setHestonPriceLogPath(const std::string& path) { logFile().redirect(path); }

SARNEX_EXPORT double SARNEX_CALL VanillaHeston(double S, double K, double r, double d, double v0,
                                               double vL, double theta, double volvol, double rho,
                                               double T, int callPut)
{
    const int type = callPut != 0 ? -1 : 1;
    if (volvol == 0.0) {
        volvol = kZeroVolvolStandIn;
    }
    if (S == 0.0) {
        S = kZeroSpotStandIn;
    }
    std::string failure;
    try {
        if (!positiveFinite(S) || !positiveFinite(K) || !positiveFinite(T)) {
            failure = kBadInputs;
        } else {
            AnalyticHestonEngine engine = createGaussLobatto(kRelativeAccuracy, kMaxEvaluations);
            const double price =
                hestonVanillaPrice(engine, S, K, T, r, d, v0, vL, theta, volvol, rho, type);
            if (std::isfinite(price)) {
                return price;
            }
            failure = kNoFinitePrice;
        }
    } catch (const std::bad_alloc&) {
        failure = "bad allocation";
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = kUnknownError;
    }
    try {
        logFailure(failure, S, K, T, r, d, v0, vL, theta, volvol, rho, callPut);
    } catch (...) {
        // The record is lost; the caller still learns of the failure from the result.
    }
    return kErrorValue;
}
