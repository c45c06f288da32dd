#include "model/solver_failure_log.h"

#include "platform/file_beside_module.h"
#include "platform/platform.h"

#include <sstream>

namespace {

const char* const kLogFileName = "SV_PDESolverLog.txt";
constexpr int kLogPrecision = 16;
const std::string kStarLine(85, '*');

std::string bannerLine()
{
    return std::string(57, '*') + "Possible instability issue" + std::string(28, '*');
}

std::ostringstream logStream()
{
    std::ostringstream out;
    out.precision(kLogPrecision);
    return out;
}

platform::FileBesideModule& logFile()
{
    static platform::FileBesideModule file(kLogFileName);
    return file;
}

}  // namespace

std::string solverFailureLogPath() { return logFile().path(); }

void setSolverFailureLogPath(const std::string& path) { logFile().redirect(path); }

bool appendSolverLog(const std::string& text)
{
    return platform::appendText(solverFailureLogPath(), text);
}

std::string solverLogParameterBlock(const SolverLogParameters& p)
{
    std::ostringstream out = logStream();
    out << "S:\t\t" << p.S << "\n";
    if (p.hasStrike) {
        out << "K:\t\t" << p.K << "\n";
    }
    out << "T:\t\t" << p.T << "\n"
        << "r:\t\t" << p.r << "\n"
        << "d:\t\t" << p.d << "\n"
        << "v0:\t\t" << p.v0 << "\n"
        << "vL:\t\t" << p.vL << "\n"
        << "theta:\t\t" << p.theta << "\n"
        << "volvol:\t\t" << p.volvol << "\n"
        << "rho:\t\t" << p.rho << "\n"
        << "NS:\t\t" << p.NS << "\n"
        << "Nv:\t\t" << p.Nv << "\n"
        << "NT:\t\t" << p.NT << "\n"
        << "Call/Put: \t" << p.callPut << "\n"
        << "Euro/Amer:\t" << p.exerciseType << "\n";
    return out.str();
}

std::string solverLogExceptionRecord(const std::string& message, const SolverLogParameters& p,
                                     int priceMode)
{
    std::ostringstream out = logStream();
    out << bannerLine() << "\n"
        << message << "\n"
        << kStarLine << "\n"
        << solverLogParameterBlock(p) << "Precision:\t" << priceMode << "\n"
        << "\n";
    return out.str();
}

std::string solverLogInstabilityLine(long calcID, int memoryRetries)
{
    std::ostringstream out = logStream();
    out << calcID << ": " << "Possible instability issue. Retrying evaluation : " << memoryRetries
        << "\n";
    return out.str();
}

std::string solverLogMemoryRetryLine(long calcID, int memoryRetries)
{
    std::ostringstream out = logStream();
    out << calcID << ": " << "Failed to allocate memory. Retrying evaluation:" << memoryRetries
        << "\n";
    return out.str();
}

std::string solverLogFailedRecord(long calcID, int retries, const SolverLogParameters& p,
                                  double value)
{
    std::ostringstream out = logStream();
    out << kStarLine << "\n"
        << calcID << ": " << "Failed to get a positive value after " << retries
        << " retries. Returning zero instead." << "\n"
        << solverLogParameterBlock(p) << "Value:\t" << value << "\n"
        << kStarLine << "\n";
    return out.str();
}

std::string solverLogSuccessRecord(long calcID, int retries, int NS, int Nv, int NT,
                                   double safeValue)
{
    std::ostringstream out = logStream();
    out << kStarLine << "\n"
        << calcID << ": " << "Succeeded at re-evaluation " << retries << " with NS = " << NS
        << ", NV = " << Nv << " and NT = " << NT << ". Value is: " << safeValue << "." << "\n"
        << kStarLine << "\n"
        << "\n";
    return out.str();
}

std::string solverLogMemoryGiveUpRecord(long calcID, bool hasPrice, double price)
{
    std::ostringstream out = logStream();
    out << kStarLine << "\n"
        << calcID << ": "
        << "There was a memory failure so returning the best we could do which was...: ";
    if (hasPrice) {
        out << price;
    }
    out << "." << "\n" << kStarLine << "\n" << "\n";
    return out.str();
}
