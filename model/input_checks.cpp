#include "model/input_checks.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

std::string format(double value)
{
    std::ostringstream text;
    text.precision(16);
    text << value;
    return text.str();
}

bool positiveFinite(double x) { return std::isfinite(x) && x > 0.0; }

// e^x is a normal double: neither overflows nor underflows to zero or a denormal.
bool representableExp(double x)
{
    const double e = std::exp(x);
    return std::isfinite(e) && std::isnormal(e);
}

}  // namespace

std::string finiteError(const char* name, double value)
{
    if (std::isfinite(value)) {
        return std::string();
    }
    return std::string(name) + " is not a finite number (" + format(value) + ")";
}

std::string contractInputError(double S, double K, double T, double r, double d)
{
    const struct {
        const char* name;
        double value;
    } positive[] = {{"S", S}, {"K", K}, {"T", T}};
    for (const auto& p : positive) {
        if (!positiveFinite(p.value)) {
            return std::string(p.name) + " must be a positive number (" + format(p.value) + ")";
        }
    }
    const struct {
        const char* name;
        double value;
    } rates[] = {{"r", r}, {"d", d}};
    for (const auto& p : rates) {
        std::string error = finiteError(p.name, p.value);
        if (!error.empty()) {
            return error;
        }
        if (!representableExp(-p.value * T)) {
            const std::string name(p.name);
            return name + " is too large in magnitude for the expiry: exp(-" + name +
                   " T) cannot be represented (" + name + " = " + format(p.value) +
                   ", T = " + format(T) + ")";
        }
    }
    return std::string();
}

std::string modelInputError(double v0, double vL, double theta, double volvol, double rho)
{
    const struct {
        const char* name;
        double value;
    } nonNegative[] = {{"v0", v0}, {"vL", vL}, {"theta", theta}, {"volvol", volvol}};
    for (const auto& p : nonNegative) {
        std::string error = finiteError(p.name, p.value);
        if (!error.empty()) {
            return error;
        }
        if (p.value < 0.0) {
            return std::string(p.name) + " must not be negative (" + format(p.value) + ")";
        }
    }
    std::string error = finiteError("rho", rho);
    if (!error.empty()) {
        return error;
    }
    if (std::fabs(rho) > 1.0) {
        return "rho must lie in [-1, 1] (" + format(rho) + ")";
    }
    return std::string();
}

std::string contractCodeError(int callPut, int exerciseType)
{
    if (callPut != 0 && callPut != 1) {
        return "callPut must be 0 (call) or 1 (put), not " + std::to_string(callPut);
    }
    if (exerciseType < 0 || exerciseType > 2) {
        return "exerciseType must be 0 (European), 1 (American) or 2, not " +
               std::to_string(exerciseType);
    }
    return std::string();
}

std::string modelCodeError(int modelCode)
{
    if (modelCode < 0 || modelCode > 4) {
        return "modelCode must be 0 to 4, not " + std::to_string(modelCode);
    }
    return std::string();
}

std::string modelCodeValueError(double modelCode)
{
    // The object rounds half away from zero: -0.5 would be -1, 4.5 would be 5.
    if (!(modelCode > -0.5 && modelCode < 4.5)) {
        return "modelCode must be 0 to 4, not " + format(modelCode);
    }
    return std::string();
}

std::string gridSizeError(int NS, int Nv, int NT)
{
    if (NS < 0 || NS > kMaxGridIntervals) {
        return "NS must lie in [0, " + std::to_string(kMaxGridIntervals) + "], not " +
               std::to_string(NS);
    }
    if (Nv < 0 || Nv > kMaxGridIntervals) {
        return "Nv must lie in [0, " + std::to_string(kMaxGridIntervals) + "], not " +
               std::to_string(Nv);
    }
    if (NT < 0 || NT > kMaxTimeSteps) {
        return "NT must lie in [0, " + std::to_string(kMaxTimeSteps) + "], not " +
               std::to_string(NT);
    }
    const long long nodes = (static_cast<long long>(NS) + 1) * (static_cast<long long>(Nv) + 1);
    if (nodes > kMaxGridNodes) {
        return "The grid of NS = " + std::to_string(NS) + " by Nv = " + std::to_string(Nv) +
               " has more than " + std::to_string(kMaxGridNodes) + " nodes";
    }
    return std::string();
}

std::string solveInputError(double S, double K, double T, double r, double d, double v0, double vL,
                            double theta, double volvol, double rho, int NS, int Nv, int NT,
                            int callPut, int exerciseType, int modelCode, double SmaxUser,
                            double VmaxParam)
{
    std::string error = contractInputError(S, K, T, r, d);
    if (error.empty()) error = modelInputError(v0, vL, theta, volvol, rho);
    if (error.empty()) error = contractCodeError(callPut, exerciseType);
    if (error.empty()) error = modelCodeError(modelCode);
    if (error.empty()) error = finiteError("SmaxUser", SmaxUser);
    if (error.empty()) error = finiteError("VmaxParam", VmaxParam);
    if (error.empty()) error = gridSizeError(NS, Nv, NT);
    return error;
}

double optionPriceUpperBound(double S, double K, double T, double r, double d, int callPut)
{
    if (callPut == 0) {
        return std::max(S, S * std::exp(-d * T));
    }
    return std::max(K, K * std::exp(-r * T));
}

std::string priceBoundsError(double price, double S, double K, double T, double r, double d,
                             int callPut)
{
    const double upper = optionPriceUpperBound(S, K, T, r, d, callPut);
    const double tolerance = kPriceBoundTolerance * upper;
    if (price >= -tolerance && price <= upper + tolerance) {
        return std::string();
    }
    return "The price " + format(price) + " lies outside [0, " + format(upper) +
           "], the bounds of every " + (callPut == 0 ? "call" : "put") +
           " price (tolerance " + format(tolerance) + ")";
}
