#pragma once

// Base of the tabulated-function interpolators: the table (borrowed, not owned) and the two bracket
// searches that find which `window` consecutive points to use around an abscissa.
//
// Lookups made by the pricing schemes walk the table in order, so each search remembers its last
// bracket; when consecutive brackets stay within `huntDistance` of each other, `correlated` tells the
// caller that the next search may `hunt` outward from the previous bracket instead of bisecting.
class Base_interp {
public:
    int count;         // number of tabulated points
    int window;        // points used per evaluation (polynomial degree + 1)
    int lastIndex;     // lower bracket index of the last search
    int correlated;    // 1 when the last bracket lay within huntDistance of the one before
    int huntDistance;  // max(1, trunc(count^0.25))
    const double* xs;  // count abscissae, ascending or descending
    const double* ys;  // ordinates; may be re-pointed between evaluations

    Base_interp(const double* xs, const double* ys, int count, int window);
    virtual ~Base_interp() = default;

    // First index of the `window` points to use around x, found by expanding from lastIndex and then
    // bisecting. Throws NumericalError "hunt size error" when the table is too small for its window.
    int hunt(double x);
    // The same window by bisection over the whole table. Throws "locate size error" likewise.
    int locate(double x);

    // Value at x of the interpolant through points start .. start + window - 1.
    virtual double interpWindow(int start, double x) = 0;

protected:
    Base_interp(const Base_interp&) = default;
    Base_interp& operator=(const Base_interp&) = default;

private:
    // Records the bracket jl (correlated, lastIndex) and turns it into the window's first index.
    int bracketResult(int jl);
};
