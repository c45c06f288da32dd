#pragma once

// The sparse operator of the implicit steps for a variance law chosen by the caller, for the
// routines whose law differs from the one assembleOperator / assembleOperatorPow select by model
// code (a log-spot routine that works in the volatility coordinate of the splitting schemes).
// Arguments as OrvHestonVanilla::assembleOperator, after the coordinate and the law.

#include "model/option_objects.h"
#include "model/variance_law.h"

#include <vector>

void assembleOperatorForLaw(const OrvHestonVanilla& option, bool logSpot, const VarianceLaw& law,
                            std::vector<Eigen::Triplet<double>>& triplets,
                            const Array<double>& spotD2Lower, const Array<double>& spotD2Upper,
                            const Array<double>& spotD2Diag, const Array<double>& spotD1Lower,
                            const Array<double>& spotD1Upper, const Array<double>& spotD1Diag,
                            const Array<double>& spotSteps, const Array<double>& varianceSteps,
                            const Array<double>& varianceD2Lower,
                            const Array<double>& varianceD2Upper,
                            const Array<double>& varianceD2Diag,
                            const Array<double>& varianceD1Lower,
                            const Array<double>& varianceD1Upper,
                            const Array<double>& varianceD1Diag, double zeroLineWeight0,
                            double zeroLineWeight1, double zeroLineWeight2, double stepFactor,
                            int leadCoefficientCode);
