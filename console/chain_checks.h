#pragma once

// What the console calibrator accepts as an option chain: the limits of the program (chain size,
// expiries, strikes, rates and dividends, market IVs, options either side of the spot) and the
// refusal texts.
// The chain is read by the shared header-layout reader; these checks run on top of it.

#include "calibration/option_quote.h"

#include <cstddef>
#include <string>
#include <vector>

// The most data rows the console accepts.
constexpr std::size_t kMaxChainRows = 1000;

extern const char* const kChainNotFoundMessage;
extern const char* const kChainFormatMessage;
extern const char* const kConflictingDuplicatesMessage;

// True when every record holds numbers the checks can judge: a positive finite spot, strike and
// IV, and a finite rate, dividend yield and day count.
bool chainValuesUsable(const std::vector<OptionQuote>& quotes, double spot);

// Removes every run of records with equal expiry and strike (the chain sorted by expiry and
// strike, exact repeats already gone); true when it removed any.
bool removeConflictingDuplicates(std::vector<OptionQuote>& quotes);

// The caution after the cheap-option filter removed `removed` records (two lines).
std::string cheapOptionCaution(std::size_t removed);

// The first of the program's limits the sorted, filtered chain breaks (its refusal text), or an
// empty string. Records carry T in days and callPut already set (1 for K <= S).
std::string chainRefusal(const std::vector<OptionQuote>& quotes);
