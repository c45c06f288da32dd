// Dealing costed work into the lists of a parallel loop.

#include "calibration/work_balance.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using Lists = std::vector<std::vector<std::size_t>>;

TEST(WorkBalance, DealsLargestFirstPastListsAtTheTarget)
{
    EXPECT_EQ(workSlotCount(64), 20);
    EXPECT_EQ(workSlotCount(8), 8);
    EXPECT_EQ(workSlotCount(0), 1);
    // Worked by hand. Target 5: the largest item fills list 0, every later one passes it on.
    EXPECT_EQ(dealByCost({1, 1, 5, 1, 1, 1}, 2).slots, (Lists{{2}, {0, 1, 3, 4, 5}}));
    // The cursor moves on after each append: 4 -> 0, 3 -> 1, 2 -> 0 (4 is below 5), 1 -> 1.
    EXPECT_EQ(dealByCost({2, 4, 1, 3}, 2).slots, (Lists{{1, 0}, {3, 2}}));
}

TEST(WorkBalance, CostsWithoutAUsableValueStillEndSpreadOverTheLeastLoadedLists)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // 3 -> list 0, 1 -> list 1; the others weigh the mean usable cost 2 each and go one by one to
    // the least-loaded list: 2, 1, 2, 0
    const WorkDeal deal = dealByCost({3.0, nan, 0.0, -1.0, inf, 1.0}, 3);
    EXPECT_EQ(deal.slots, (Lists{{0, 4}, {5, 2}, {1, 3}}));
    EXPECT_EQ(deal.loads, (std::vector<double>{5.0, 3.0, 4.0}));
    EXPECT_EQ(dealByCost({nan, nan}, 4).slots, (Lists{{0}, {1}, {}, {}}));
}

}  // namespace
