// Dealing costed work into the lists of a parallel loop.

#include "calibration/work_balance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

TEST(WorkBalance, AtMostTwentyListsAndAtLeastOne)
{
    EXPECT_EQ(workSlotCount(64), 20);
    EXPECT_EQ(workSlotCount(20), 20);
    EXPECT_EQ(workSlotCount(8), 8);
    EXPECT_EQ(workSlotCount(1), 1);
    EXPECT_EQ(workSlotCount(0), 1);
    EXPECT_GE(workSlotCount(), 1);
}

// Worked by hand: target 5 for two lists; the largest item fills list 0 at once, so every later
// item is passed on to list 1.
TEST(WorkBalance, LargestFirstWithTheCursorPassingFullLists)
{
    const WorkDeal deal = dealByCost({1, 1, 5, 1, 1, 1}, 2);
    EXPECT_EQ(deal.slots[0], (std::vector<std::size_t>{2}));
    EXPECT_EQ(deal.slots[1], (std::vector<std::size_t>{0, 1, 3, 4, 5}));
    EXPECT_EQ(deal.loads[0], 5.0);
    EXPECT_EQ(deal.loads[1], 5.0);

    // The cursor moves on after each append: 4 -> 0, 3 -> 1, 2 -> 0 (4 is below the target 5), 1 -> 1.
    const WorkDeal cyclic = dealByCost({2, 4, 1, 3}, 2);
    EXPECT_EQ(cyclic.slots[0], (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(cyclic.slots[1], (std::vector<std::size_t>{3, 2}));
}

TEST(WorkBalance, EveryItemDealtOnceAndNoListFarAboveTheMean)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> cost(0.5, 4.0);
    for (int slots : {1, 3, 8, 20}) {
        for (std::size_t items : {1u, 7u, 40u, 200u}) {
            std::vector<double> costs(items);
            for (double& c : costs) c = cost(gen);
            const WorkDeal deal = dealByCost(costs, slots);
            ASSERT_EQ(deal.slots.size(), static_cast<std::size_t>(slots));
            std::vector<int> seen(items, 0);
            for (const auto& list : deal.slots) {
                for (std::size_t i : list) ++seen[i];
            }
            EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
            double total = 0.0;
            for (double c : costs) total += c;
            const double largest = *std::max_element(costs.begin(), costs.end());
            for (double load : deal.loads) {
                // a list takes items only while below the mean load
                EXPECT_LT(load, total / slots + largest + 1e-12);
            }
        }
    }
}

TEST(WorkBalance, CostsWithoutAUsableValueStillEndAndGoToTheLeastLoadedList)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const WorkDeal deal = dealByCost({3.0, nan, 0.0, -1.0, inf, 1.0}, 3);
    std::size_t dealt = 0;
    for (const auto& list : deal.slots) dealt += list.size();
    EXPECT_EQ(dealt, 6u);
    for (double load : deal.loads) EXPECT_TRUE(std::isfinite(load));
    // 3 -> list 0, 1 -> list 1; the unusable ones, weighing the mean 2 each, go one by one to
    // the least-loaded list: 2, 1, 2, 0
    EXPECT_EQ(deal.slots[0], (std::vector<std::size_t>{0, 4}));
    EXPECT_EQ(deal.slots[1], (std::vector<std::size_t>{5, 2}));
    EXPECT_EQ(deal.slots[2], (std::vector<std::size_t>{1, 3}));

    const WorkDeal allBad = dealByCost({nan, nan}, 4);
    EXPECT_EQ(allBad.slots[0].size(), 1u);
    EXPECT_EQ(allBad.slots[1].size(), 1u);
}

}  // namespace
