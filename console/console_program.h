#pragma once

// The console calibrator from the chain file to the report: one pass through its stages (open the
// chain, dialogue, read and check the chain, set-up, runs, report, high-precision model IVs and
// files). A parameter out of range stops the search; the program then goes on, once, at the
// high-precision stage with the parameters reached.

#include <iosfwd>

// Runs the calibrator with answers from in and the console on out; the exit code of the program.
int runConsoleCalibrator(std::istream& in, std::ostream& out);
