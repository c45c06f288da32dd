#pragma once

// Sums of squares and norms of the layer's vectors.

// e = x - y and the return value sum e_i^2; a null x stands for a vector of zeros. e may be y.
double residualSquaredNorm(double* e, const double* x, const double* y, int n);

// Euclidean norm that neither overflows nor underflows in its intermediate sums: it is finite
// whenever every component is, even when the plain sum of squares overflows.
double scaledEuclideanNorm(const double* v, int n);

double squaredNorm(const double* v, int n);
double dotProduct(const double* a, const double* b, int n);

// True when each of the count entries is a finite number.
bool allFinite(const double* v, int count);
