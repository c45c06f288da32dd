#include "numerics/row_matrix.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>

double** RowMatrix::allocate(int rows, int cols)
{
    if (rows <= 0) {
        return nullptr;
    }
    // Both factors are below 2^31, so the element count cannot wrap in 64 bits; the byte size can.
    const bool hasBlock = cols > 0;
    const std::size_t count = hasBlock ? static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols) : 0;
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(double)) {
        throw std::bad_alloc();
    }
    std::unique_ptr<double*[]> table(new double*[static_cast<std::size_t>(rows)]);
    if (!hasBlock) {
        std::fill(table.get(), table.get() + rows, nullptr);
        return table.release();
    }
    double* block = new double[count];
    for (int i = 0; i < rows; ++i) {
        table[i] = block + static_cast<std::size_t>(i) * static_cast<std::size_t>(cols);
    }
    return table.release();
}

void RowMatrix::release(double** table)
{
    if (table != nullptr) {
        delete[] table[0];
        delete[] table;
    }
}

void RowMatrix::copyValuesFrom(const RowMatrix& other)
{
    if (rows > 0 && cols > 0) {
        const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
        std::copy(other.data[0], other.data[0] + count, data[0]);
    }
}

RowMatrix::RowMatrix(int rows_, int cols_, const double& fill)
    : rows(rows_), cols(cols_), data(allocate(rows_, cols_))
{
    if (rows > 0 && cols > 0) {
        const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
        std::fill(data[0], data[0] + count, fill);
    }
}

// The compiler's memberwise copy would share the table and the block between two owners, each of
// which frees them: a deep copy is the only safe copy.
RowMatrix::RowMatrix(const RowMatrix& other)
    : rows(other.rows), cols(other.cols), data(allocate(other.rows, other.cols))
{
    copyValuesFrom(other);
}

RowMatrix::~RowMatrix()
{
    release(data);
}

RowMatrix& RowMatrix::operator=(const RowMatrix& other)
{
    if (this == &other) {
        return *this;
    }
    if (rows != other.rows || cols != other.cols) {
        double** fresh = allocate(other.rows, other.cols);
        release(data);
        data = fresh;
        rows = other.rows;
        cols = other.cols;
    }
    copyValuesFrom(other);
    return *this;
}
