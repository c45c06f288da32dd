#pragma once

// The one reader of the header layout of "OptionsData.txt", shared by main, the calibration
// objective and the Heston model-IV function:
//
//   line 1      any text (skipped)
//   line 2      any text, kept whole as forText
//   line 3      any text (skipped)
//   line 4      any text, kept whole as onText
//   line 5      any text (skipped)
//   line 6      the spot, converted as a whole line like std::stod (leading blanks allowed,
//               trailing text ignored)
//   line 7      column heads (skipped)
//   line 8 on   rows of five numbers: market IV, strike, days to expiry, rate, dividend yield
//
// The rows are read by formatted extraction, so any white space separates the numbers and the
// line structure of the data is not checked. Each caller applies its own checks and filters on
// top (quote_filters.h): main refuses a chain that was cut short or too long, the objective and
// the Heston model IVs simply price what was read whole.

#include "calibration/option_quote.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

struct HeaderChain {
    std::string forText;  // line 2, without a trailing carriage return
    std::string onText;   // line 4, likewise
    double spot = 0.0;    // line 6
    // One record per row read whole, in file order: index = row number from 0, S = spot, T in
    // days, callPut left 0 (the cheap-option filter sets it).
    std::vector<OptionQuote> quotes;
    bool rowCutShort = false;  // a row could not be read whole (bad number, or end of file)
    bool tooManyRows = false;  // a row beyond maxRows was found (and not read)
};

// Reads the whole layout from in. A stream shorter than seven lines leaves the missing lines
// empty. Throws std::invalid_argument("invalid stod argument") when line 6 holds no number and
// std::out_of_range("stod argument out of range") when its number does not fit a double (the
// texts the chain's users have always shown for these two failures). Reading stops at the first
// row that cannot be read whole, or before row maxRows + 1.
HeaderChain readHeaderChain(std::istream& in, std::size_t maxRows = SIZE_MAX);

// The spot conversion of line 6 on its own (same semantics and exceptions as above).
double spotFromLine(const std::string& line);

// Full path of "OptionsData.txt" beside the module that holds the exported functions (every
// library of the system is linked into that one module, so its own directory is the one). A
// path set below takes its place.
std::string optionsDataPath();

// Points optionsDataPath at another file, process-wide; an empty path restores the file beside
// the module. For test programs, which run in parallel and must not share one chain file.
void setOptionsDataPath(const std::string& path);
