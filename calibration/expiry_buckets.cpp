#include "calibration/expiry_buckets.h"

#include "numerics/black_scholes.h"

#include <algorithm>

namespace {

constexpr double kTimeStepWeight = 0.015;

// Floors of the grid by the smallest price m of a bucket, relative to the spot. Each band's
// upper edge is inclusive except the first's.
struct PriceBand {
    double above;  // m / S above this ...
    double upTo;   // ... and at most this (strictly below for the first band)
    int NS;
    int Nv;
};
constexpr PriceBand kBands[] = {
    {0.00075, 0.005, 120, 70},
    {0.0002, 0.00075, 160, 80},
    {0.0001, 0.0002, 200, 80},
    {0.000035, 0.0001, 200, 80},
};
constexpr int kCheapestNS = 300;  // m <= 0.000035 S
constexpr int kCheapestNv = 100;

}  // namespace

std::vector<ExpiryBucket> formExpiryBuckets(const std::vector<OptionQuote>& chain)
{
    std::vector<ExpiryBucket> buckets;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const OptionQuote& q = chain[i];
        if (i == 0 || q.T != chain[i - 1].T) {
            buckets.emplace_back();
            buckets.back().index = static_cast<std::int32_t>(buckets.size() - 1);
        }
        ExpiryBucket& b = buckets.back();
        b.strikes.push_back(q.K);
        b.marketIVs.push_back(q.marketIV);
        b.smallestPrice =
            std::min(b.smallestPrice, blackScholesPrice(q.S, q.K, q.r, q.d, q.marketIV, q.T, q.callPut));
        b.S = q.S;
        b.T = q.T;
        b.r = q.r;
        b.d = q.d;
    }
    return buckets;
}

BucketGrid bucketGrid(double m, double S, double T, int baseNS, int baseNv, int baseNT)
{
    BucketGrid g;
    g.NS = baseNS;
    g.Nv = baseNv;
    int floorNS = 0;
    int floorNv = 0;
    if (m <= kBands[3].above * S) {
        floorNS = kCheapestNS;
        floorNv = kCheapestNv;
    } else {
        for (std::size_t k = 0; k < sizeof kBands / sizeof kBands[0]; ++k) {
            const PriceBand& band = kBands[k];
            const bool belowTop = k == 0 ? m < band.upTo * S : m <= band.upTo * S;
            if (band.above * S < m && belowTop) {
                floorNS = band.NS;
                floorNv = band.Nv;
                break;
            }
        }
    }
    g.NS = std::max(baseNS, floorNS);
    g.Nv = std::max(baseNv, floorNv);
    g.cost *= static_cast<double>(g.NS) / static_cast<double>(baseNS);
    g.cost *= static_cast<double>(g.Nv) / static_cast<double>(baseNS);
    g.NT = std::max(baseNT, static_cast<int>(static_cast<double>(baseNT) * T));
    g.cost *= (g.NT * kTimeStepWeight + 1.0) / (baseNT * kTimeStepWeight + 1.0);
    return g;
}
