#pragma once

#include <algorithm>

// Plain vector of doubles: the abscissa lists handed to Grid2D_interp and its row-result buffer.
// It owns its block; copies are deep, and release() may be called any number of times, so neither an
// exception between creation and release nor a second release can leak or double-free the block.
class NumVector {
public:
    int count = 0;
    double* data = nullptr;  // count doubles, null when empty

    NumVector() = default;
    // count zeros (no block when count < 1).
    explicit NumVector(int n) {
        if (n > 0) {
            data = new double[static_cast<unsigned>(n)]();
            count = n;
        }
    }
    NumVector(const NumVector& other) : NumVector(other.count) {
        if (data != nullptr)
            std::copy(other.data, other.data + count, data);
    }
    NumVector(NumVector&& other) noexcept : count(other.count), data(other.data) {
        other.count = 0;
        other.data = nullptr;
    }
    NumVector& operator=(NumVector other) noexcept {
        std::swap(count, other.count);
        std::swap(data, other.data);
        return *this;
    }
    ~NumVector() { release(); }

    // Frees the block; the vector is then empty.
    void release() noexcept {
        delete[] data;
        data = nullptr;
        count = 0;
    }
};
