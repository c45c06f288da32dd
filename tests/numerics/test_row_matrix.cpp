#include "numerics/row_matrix.h"

#include <gtest/gtest.h>

#include <climits>
#include <new>

namespace {

void fillDistinct(RowMatrix& m)
{
    for (int i = 0; i < m.rows; ++i) {
        for (int j = 0; j < m.cols; ++j) {
            m.data[i][j] = 10.0 * i + j;
        }
    }
}

TEST(RowMatrix, ConstructionFillsOneContiguousRowMajorBlock)
{
    const RowMatrix m(3, 4, 2.5);
    EXPECT_EQ(m.rows, 3);
    EXPECT_EQ(m.cols, 4);
    ASSERT_NE(m.data, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.data[i], m.data[0] + 4 * i);
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(m.data[i][j], 2.5);
        }
    }
}

TEST(RowMatrix, EmptyShapes)
{
    const RowMatrix noRows(0, 5, 1.0);
    EXPECT_EQ(noRows.data, nullptr);
    const RowMatrix negativeRows(-2, 5, 1.0);
    EXPECT_EQ(negativeRows.data, nullptr);
    for (int cols : {0, -3}) {
        const RowMatrix noCols(3, cols, 1.0);
        ASSERT_NE(noCols.data, nullptr);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(noCols.data[i], nullptr);
        }
    }
}

TEST(RowMatrix, AssignmentReshapesOnlyWhenTheShapeDiffers)
{
    RowMatrix source(3, 4, 0.0);
    fillDistinct(source);

    RowMatrix reshaped(2, 5, 7.0);
    reshaped = source;
    EXPECT_EQ(reshaped.rows, 3);
    EXPECT_EQ(reshaped.cols, 4);
    EXPECT_NE(reshaped.data[0], source.data[0]);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reshaped.data[i], reshaped.data[0] + 4 * i);
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(reshaped.data[i][j], 10.0 * i + j);
        }
    }

    RowMatrix sameShape(3, 4, -1.0);
    double** table = sameShape.data;
    double* block = sameShape.data[0];
    sameShape = source;
    EXPECT_EQ(sameShape.data, table);
    EXPECT_EQ(sameShape.data[0], block);
    EXPECT_EQ(sameShape.data[2][3], 23.0);

    // Into and out of empty shapes.
    RowMatrix empty(0, 0, 0.0);
    empty = source;
    EXPECT_EQ(empty.data[1][2], 12.0);
    reshaped = RowMatrix(0, 3, 0.0);
    EXPECT_EQ(reshaped.rows, 0);
    EXPECT_EQ(reshaped.data, nullptr);
}

TEST(RowMatrix, SelfAssignmentChangesNothing)
{
    RowMatrix m(2, 3, 0.0);
    fillDistinct(m);
    double** table = m.data;
    RowMatrix& alias = m;
    m = alias;
    EXPECT_EQ(m.data, table);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 3);
    EXPECT_EQ(m.data[1][2], 12.0);
}

TEST(RowMatrix, CopiesOwnTheirStorage)
{
    // Copies made by construction (also by passing and returning by value) must not share storage:
    // each owner frees its own, and writes through one must not show in the other.
    RowMatrix original(4, 3, 0.0);
    fillDistinct(original);
    {
        RowMatrix copy(original);
        EXPECT_NE(copy.data, original.data);
        EXPECT_NE(copy.data[0], original.data[0]);
        EXPECT_EQ(copy.data[1], copy.data[0] + 3);
        copy.data[3][2] = -1.0;
        EXPECT_EQ(original.data[3][2], 32.0);
        const auto byValue = [](RowMatrix m) { return m.data[2][1]; };
        EXPECT_EQ(byValue(copy), 21.0);
    }
    EXPECT_EQ(original.data[3][2], 32.0);

    const RowMatrix emptyCopy(RowMatrix(0, 4, 0.0));
    EXPECT_EQ(emptyCopy.data, nullptr);
    const RowMatrix noColsCopy(RowMatrix(2, 0, 0.0));
    ASSERT_NE(noColsCopy.data, nullptr);
    EXPECT_EQ(noColsCopy.data[1], nullptr);
}

TEST(RowMatrix, UnrepresentableSizeThrowsBadAlloc)
{
    EXPECT_THROW(RowMatrix(INT_MAX, INT_MAX, 0.0), std::bad_alloc);
}


} // namespace
