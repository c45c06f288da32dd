#pragma once

// The records of "SV_PDESolverLog.txt", the append-only failure log beside the module that the
// robust solves (and the exception handlers of the calibrations) write. Each function returns one
// whole record as text; appendSolverLog writes it with one append, so records of concurrent
// solves never interleave.

#include <string>

// The inputs of a robust solve as the parameter block prints them. Lines NS, Nv and NT show the
// sizes in force when the record is written; the strikes solve has no "K:" line.
struct SolverLogParameters {
    double S = 0.0;
    bool hasStrike = true;
    double K = 0.0;
    double T = 0.0;
    double r = 0.0;
    double d = 0.0;
    double v0 = 0.0;
    double vL = 0.0;
    double theta = 0.0;
    double volvol = 0.0;
    double rho = 0.0;
    int NS = 0;
    int Nv = 0;
    int NT = 0;
    int callPut = 0;
    int exerciseType = 0;
};

// Full path of "SV_PDESolverLog.txt" beside the module (or of the file set below).
std::string solverFailureLogPath();

// Sends the records to another file, process-wide; an empty path restores the file beside the
// module. For test programs, which must not share one log between concurrent runs.
void setSolverFailureLogPath(const std::string& path);

// Appends text to the failure log as one record; false when the file cannot be opened (the
// record is then lost, silently for the solve).
bool appendSolverLog(const std::string& text);

// The parameter block: one "label<TAB>...value" line per input.
std::string solverLogParameterBlock(const SolverLogParameters& p);

// Record of a caught exception: banner, message, star line, parameter block, "Precision:" line
// and an empty line.
std::string solverLogExceptionRecord(const std::string& message, const SolverLogParameters& p,
                                     int priceMode);

// The line that follows an exception record when the solve restarts after an instability
// (it prints the memory-retry count of the attempt) ...
std::string solverLogInstabilityLine(long calcID, int memoryRetries);
// ... or retries after a memory failure (the count after its increment).
std::string solverLogMemoryRetryLine(long calcID, int memoryRetries);

// A give-up without a usable price; value is the last price, or the lowest per-strike price.
std::string solverLogFailedRecord(long calcID, int retries, const SolverLogParameters& p,
                                  double value);

// Success after retries in an attempt that also had a memory retry.
std::string solverLogSuccessRecord(long calcID, int retries, int NS, int Nv, int NT,
                                   double safeValue);

// Give-up after the memory retries of the denser stage; the one-strike solve prints its
// remembered price, the strikes solve no value (hasPrice false).
std::string solverLogMemoryGiveUpRecord(long calcID, bool hasPrice, double price);
