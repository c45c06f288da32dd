#include "console/chain_checks.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

const char* const kChainNotFoundMessage = "The 'OptionsData.txt' file was not found.\n";
const char* const kChainFormatMessage =
    "Please make sure the input file format is correct and that it contains at most 1000 entries.\n";
const char* const kConflictingDuplicatesMessage =
    "The input file should contain only one option for every (strike,expiration) point.\n";

namespace {

constexpr std::size_t kMinOptions = 20;
constexpr double kLongestExpiryDays = 1825.0;
constexpr double kShortestExpiryDays = 1.0;
constexpr int kOptionsEitherSide = 2;
constexpr double kLargestSpotOverStrike = 5.0;
constexpr double kLargestStrikeOverSpot = 3.0;
constexpr double kMaxRate = 0.2;
constexpr double kMaxDividend = 0.3;
constexpr double kMinRate = -0.01;
constexpr double kMinDividend = -0.2;
// The top of the model IV search's bracket: a market IV above it can never be matched.
constexpr double kMaxMarketIV = 2.0;

bool positiveFinite(double x) { return std::isfinite(x) && x > 0.0; }

// Every expiration bucket (a run of equal expiries) holds at least two puts and two calls.
bool bucketsHaveBothSides(const std::vector<OptionQuote>& quotes)
{
    std::size_t begin = 0;
    while (begin < quotes.size()) {
        int puts = 0;
        int calls = 0;
        std::size_t end = begin;
        for (; end < quotes.size() && quotes[end].T == quotes[begin].T; ++end) {
            (quotes[end].callPut == 1 ? puts : calls) += 1;
        }
        if (puts < kOptionsEitherSide || calls < kOptionsEitherSide) {
            return false;
        }
        begin = end;
    }
    return true;
}

}  // namespace

bool chainValuesUsable(const std::vector<OptionQuote>& quotes, double spot)
{
    if (!positiveFinite(spot)) {
        return false;
    }
    return std::all_of(quotes.begin(), quotes.end(), [](const OptionQuote& q) {
        return positiveFinite(q.K) && positiveFinite(q.marketIV) && std::isfinite(q.T) &&
               std::isfinite(q.r) && std::isfinite(q.d);
    });
}

bool removeConflictingDuplicates(std::vector<OptionQuote>& quotes)
{
    const auto before = quotes.size();
    quotes.erase(std::unique(quotes.begin(), quotes.end(), sameExpiryStrike), quotes.end());
    return quotes.size() != before;
}

std::string cheapOptionCaution(std::size_t removed)
{
    return " *** CAUTION *** : The input market IV's should not correspond to option prices of less than\n"
           " *** CAUTION *** : 0.001% of the asset spot. " +
           std::to_string(removed) + " IV's have been excluded from the calibration.\n";
}

std::string chainRefusal(const std::vector<OptionQuote>& quotes)
{
    if (quotes.size() < kMinOptions) {
        return "The minimum number of options to be inlcuded in the calibration is 20. \n";
    }
    const auto byT = [](const OptionQuote& a, const OptionQuote& b) { return a.T < b.T; };
    const auto byK = [](const OptionQuote& a, const OptionQuote& b) { return a.K < b.K; };
    const auto byR = [](const OptionQuote& a, const OptionQuote& b) { return a.r < b.r; };
    const auto byD = [](const OptionQuote& a, const OptionQuote& b) { return a.d < b.d; };
    const auto byIV = [](const OptionQuote& a, const OptionQuote& b) { return a.marketIV < b.marketIV; };
    const auto [shortest, longest] = std::minmax_element(quotes.begin(), quotes.end(), byT);
    const auto [smallestK, largestK] = std::minmax_element(quotes.begin(), quotes.end(), byK);
    const auto [lowestR, highestR] = std::minmax_element(quotes.begin(), quotes.end(), byR);
    const auto [lowestD, highestD] = std::minmax_element(quotes.begin(), quotes.end(), byD);
    const double spot = quotes.front().S;

    if (shortest->T == longest->T) {
        return "The input file should contain options of at least two different expirations.\n";
    }
    if (longest->T > kLongestExpiryDays) {
        return "The longest option expiration allowed is 5Y.\n";
    }
    if (shortest->T < kShortestExpiryDays) {
        return "The shortest option expiration allowed is 1D.\n";
    }
    if (!bucketsHaveBothSides(quotes)) {
        return "The input file should contain at least 2 options either side of the asset spot in each\n"
               "expiration bucket.\n";
    }
    if (spot / smallestK->K > kLargestSpotOverStrike) {
        return "The smaller strike in the input file shouldn't be less than 20% of the asset spot.\n";
    }
    if (largestK->K / spot > kLargestStrikeOverSpot) {
        return "The largest strike in the input file shouldn't be more than 3 x asset spot.\n";
    }
    if (highestR->r > kMaxRate) {
        return "The maximum interest rate allowed is 20%.\n";
    }
    if (highestD->d > kMaxDividend) {
        return "The maximum dividend yield allowed is 30%.\n";
    }
    if (lowestR->r < kMinRate) {
        return "The minimum interest rate allowed is -1%.\n";
    }
    if (lowestD->d < kMinDividend) {
        return "The minimum dividend yield allowed is -20%.\n";
    }
    // IVs written in percent (25 for 25%) would otherwise calibrate into nonsense without a word.
    if (std::max_element(quotes.begin(), quotes.end(), byIV)->marketIV > kMaxMarketIV) {
        return "The largest market IV allowed is 200% (IVs are decimals: 0.25 for 25%).\n";
    }
    return std::string();
}
