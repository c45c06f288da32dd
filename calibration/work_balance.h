#pragma once

// Dealing costed pricing work (expiry buckets, or single options) into the work lists of one
// static-schedule parallel loop, so that the lists finish together. The objective of the console
// calibrator and the chain-calibration exports both deal this way.
//
// The rule: take the items largest cost first; a cursor starts at list 0; a list whose load has
// reached total / lists passes the item on to the next list; the item goes to the first list
// below that target, and the cursor moves one list on after every offer, cyclically.

#include <cstddef>
#include <vector>

// No more lists than this, whatever the thread count: beyond it the lists get too short to
// balance.
constexpr int kMaxWorkSlots = 20;

// min(kMaxWorkSlots, maxThreads), at least 1.
int workSlotCount(int maxThreads);

// workSlotCount(omp_get_max_threads()).
int workSlotCount();

struct WorkDeal {
    // slots[s] holds the indices (into the costs given) of the items of list s, in dealing order.
    std::vector<std::vector<std::size_t>> slots;
    // Sum of the costs dealt to each list; an item without a usable cost counts as the mean usable
    // cost (1 when there is none).
    std::vector<double> loads;
};

// Deals the items with the given costs into slotCount lists (at least one). Equal costs keep
// their given order. Items whose cost is not a positive finite number, and items that meet every
// list at or above the target (which rounding can cause), go to the least-loaded list (the first
// of equals); either way every item is dealt exactly once and the dealing always ends.
WorkDeal dealByCost(const std::vector<double>& costs, int slotCount);
