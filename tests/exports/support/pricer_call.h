#pragma once

// OrvOptionPricer with its buffers and arguments, for the test programs that call it in-process.

#include "exports/single_option_exports.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

namespace pricer_test {

// The arguments of OrvOptionPricer with their buffers; a test changes what it needs and calls.
struct PricerCall {
    int NS = 60;
    int Nv = 30;
    int NT = 30;
    double S = 100.0, K = 100.0, rootT = 1.0, r = 0.03, d = 0.0;
    double params[6] = {0.5, 0.04, 0.04, 2.0, -0.7, 0.0};
    double firstFive[5] = {0, 0, 0, 0, 0};
    double secondFive[5] = {0, 0, 0, 0, 0};
    double cpuTime = 0.0;
    int callPut = 0, exerciseType = 0, priceMode = 3;
    double VmaxParam = 1.0;
    bool bumpMaturity = false, bumpVariance = false;
    std::vector<std::vector<double>> out;

    explicit PricerCall(int capacityNS = 60) : out(6, std::vector<double>(capacityNS + 1, 7.0)) {}

    std::string call()
    {
        platform::Bstr result = OrvOptionPricer(
            out[0].data(), out[1].data(), out[2].data(), out[3].data(), out[4].data(),
            out[5].data(), &cpuTime, S, K, NT, rootT, params, r, d, 0.0, &NS, &Nv, callPut,
            exerciseType, priceMode, 0, firstFive, secondFive, -3.0, 0.0, VmaxParam, bumpMaturity,
            bumpVariance, true, false, 0);
        EXPECT_NE(result, nullptr);
        const std::string text = platform::narrowFromBstr(result);
        platform::freeBstr(result);
        return text;
    }
};

// Index of the spot node nearest to x.
inline std::size_t nearestNode(const std::vector<double>& nodes, int count, double x)
{
    std::size_t best = 0;
    for (int i = 1; i < count; ++i) {
        if (std::fabs(nodes[i] - x) < std::fabs(nodes[best] - x)) best = static_cast<std::size_t>(i);
    }
    return best;
}

}  // namespace pricer_test
