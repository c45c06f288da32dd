#pragma once

// Grid sizes and estimated solve costs of the chain calibrations. Cheap options (a market price
// that is small against the spot) get finer grids, long expiries more time steps, and the cost
// estimate grows with both, so that the work can be dealt into lists of about equal cost.

// The price bands of the two ways of pricing a chain.
enum class PriceBands {
    perOption,  // one solve per out-of-the-money call
    perExpiry,  // one solve per expiry, by the expiry's smallest price
};

struct ChainGridSize {
    int NS = 0;
    int Nv = 0;
    int NT = 0;
    double cost = 1.0;  // relative to a solve on the base grid
};

// The sizes of one solve from the base sizes (all positive): raised to the floors of the band
// that price / S falls into when raise is set, and NT = max(NT, NT x T truncated). Spot and
// variance sizes enter the cost linearly (both over the base NS), time steps as 1 + 0.015 NT; a
// solve outside every band costs 1 before its time steps are weighed (the objective's buckets,
// calibration/expiry_buckets.h, carry Nv / NS there, which changes only how the work is dealt).
ChainGridSize chainGridSize(PriceBands bands, bool raise, double price, double S, double T,
                            int baseNS, int baseNv, int baseNT);

// Throws NumericalError, naming the expiry T, when the sizes of a solve at T cannot be laid (see
// gridSizeError in model/input_checks.h): a long expiry multiplies the time steps.
void refuseUnlaidGrid(int NS, int Nv, int NT, double T);
