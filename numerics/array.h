#pragma once

#include <valarray>

// The owning numeric vector of the pricing code. The standard value array already gives what the
// grids, solution lines and result sets need: zero-filled construction with a count, n copies of one
// value (also of one prototype vector for Array<Array<double>>), deep copies, in-place assignment
// between equal sizes and reallocation between different ones, and release with its owner.
template <class T>
using Array = std::valarray<T>;
