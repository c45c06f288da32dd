#include "exports/chain_grid_sizing.h"

#include "model/input_checks.h"
#include "numerics/numerical_error.h"

#include <algorithm>
#include <climits>
#include <sstream>
#include <string>

namespace {

struct Band {
    double above;      // price / S must exceed this (0: no lower limit)
    double atMost;     // ... and be at most this
    bool strictUpper;  // the top band stops short of its upper limit
    int NS;
    int Nv;
};

constexpr Band kPerOptionBands[] = {
    {0.00075, 0.005, true, 120, 70},
    {0.0002, 0.00075, false, 160, 80},
    {0.0001, 0.0002, false, 300, 100},
    {-1.0, 0.0001, false, 400, 100},
};

constexpr Band kPerExpiryBands[] = {
    {0.00075, 0.005, true, 120, 70},
    {0.0002, 0.00075, false, 160, 80},
    {0.0001, 0.0002, false, 200, 80},
    {0.000035, 0.0001, false, 200, 80},
    {-1.0, 0.000035, false, 300, 100},
};

template <std::size_t N>
const Band* findBand(const Band (&bands)[N], double price, double S)
{
    for (const Band& band : bands) {
        const bool aboveLower = band.above < 0.0 || price > band.above * S;
        const bool belowUpper =
            band.strictUpper ? price < band.atMost * S : price <= band.atMost * S;
        if (aboveLower && belowUpper) {
            return &band;
        }
    }
    return nullptr;
}

constexpr double kCostPerStep = 0.015;

}  // namespace

ChainGridSize chainGridSize(PriceBands bands, bool raise, double price, double S, double T,
                            int baseNS, int baseNv, int baseNT)
{
    ChainGridSize size;
    size.NS = baseNS;
    size.Nv = baseNv;
    if (raise) {
        const Band* band = bands == PriceBands::perOption ? findBand(kPerOptionBands, price, S)
                                                          : findBand(kPerExpiryBands, price, S);
        if (band) {
            size.NS = std::max(baseNS, band->NS);
            size.Nv = std::max(baseNv, band->Nv);
            size.cost = (static_cast<double>(size.NS) / baseNS) *
                        (static_cast<double>(size.Nv) / baseNS);
        }
    }
    // Truncated toward zero like the int conversion it stands for; capped so that an absurd
    // expiry cannot overflow it.
    const double scaled = std::min(static_cast<double>(baseNT) * T, static_cast<double>(INT_MAX));
    size.NT = std::max(baseNT, static_cast<int>(scaled));
    size.cost *= (1.0 + kCostPerStep * size.NT) / (1.0 + kCostPerStep * baseNT);
    return size;
}

void refuseUnlaidGrid(int NS, int Nv, int NT, double T)
{
    const std::string error = gridSizeError(NS, Nv, NT);
    if (error.empty()) {
        return;
    }
    std::ostringstream text;
    text.precision(16);
    text << "The solves at expiry T = " << T << " cannot be laid: " << error;
    throw NumericalError(text.str());
}
