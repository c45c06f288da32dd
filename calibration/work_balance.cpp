#include "calibration/work_balance.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

namespace {

bool usableCost(double cost) { return std::isfinite(cost) && cost > 0.0; }

std::size_t leastLoaded(const std::vector<double>& loads)
{
    return static_cast<std::size_t>(std::min_element(loads.begin(), loads.end()) - loads.begin());
}

}  // namespace

int workSlotCount(int maxThreads) { return std::max(1, std::min(kMaxWorkSlots, maxThreads)); }

int workSlotCount() { return workSlotCount(omp_get_max_threads()); }

WorkDeal dealByCost(const std::vector<double>& costs, int slotCount)
{
    const std::size_t slots = static_cast<std::size_t>(std::max(1, slotCount));
    WorkDeal deal;
    deal.slots.assign(slots, {});
    deal.loads.assign(slots, 0.0);

    std::vector<std::size_t> order;
    std::vector<std::size_t> unusable;
    double total = 0.0;
    for (std::size_t i = 0; i < costs.size(); ++i) {
        if (usableCost(costs[i])) {
            order.push_back(i);
            total += costs[i];
        } else {
            unusable.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [&costs](std::size_t a, std::size_t b) { return costs[a] > costs[b]; });

    const double target = total / static_cast<double>(slots);
    std::size_t cursor = 0;
    for (std::size_t item : order) {
        std::size_t offers = 0;
        while (!(deal.loads[cursor] < target) && offers < slots) {
            cursor = (cursor + 1) % slots;
            ++offers;
        }
        const std::size_t slot = offers < slots ? cursor : leastLoaded(deal.loads);
        deal.slots[slot].push_back(item);
        deal.loads[slot] += costs[item];
        cursor = (slot + 1) % slots;
    }
    // An item without a usable cost weighs as much as an average one, so that a run of them
    // spreads over the lists instead of piling onto one.
    const double standIn = order.empty() ? 1.0 : total / static_cast<double>(order.size());
    for (std::size_t item : unusable) {
        const std::size_t slot = leastLoaded(deal.loads);
        deal.slots[slot].push_back(item);
        deal.loads[slot] += standIn;
    }
    return deal;
}
