#pragma once

// The price mode of the option objects from the selector that the exported functions take:
// 1 -> one solve (3), 2 -> Richardson in space (5), any other value -> Richardson in time (4).
inline int priceModeFromSelector(int selector)
{
    if (selector == 1) {
        return 3;
    }
    if (selector == 2) {
        return 5;
    }
    return 4;
}
