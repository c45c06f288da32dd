#pragma once

// Dense rows x cols matrix of doubles in one contiguous row-major block, reached through a table of
// row pointers: element (i, j) is data[i][j], and rows follow each other in memory, so whole tables
// copy as one block and rows are found without a multiplication.
//
// Shape and elements are read through the public fields. There are no index checks.
class RowMatrix {
public:
    int rows;
    int cols;
    // Table of `rows` row pointers; null when rows <= 0. data[0] is the block, null (as is every
    // row pointer) when rows * cols <= 0.
    double** data;

    // Throws std::bad_alloc when the table or the block cannot be allocated, including a shape
    // whose byte size does not fit in the address range.
    RowMatrix(int rows, int cols, const double& fill);
    RowMatrix(const RowMatrix& other);
    ~RowMatrix();

    // Keeps the storage when the shapes agree (only values are copied); otherwise the new storage is
    // allocated before the old is released, so a failed allocation leaves this matrix as it was.
    RowMatrix& operator=(const RowMatrix& other);

private:
    static double** allocate(int rows, int cols);
    static void release(double** table);
    void copyValuesFrom(const RowMatrix& other);
};
