// Definitions of the eleven time-stepping routines for test programs, while schemes/ does not yet
// define all of them: every program that builds an OrvHestonVanilla needs them to link. Include
// this file in exactly one source of a test program. The definitions are weak, so a program that
// also pulls a routine's real definition from the schemes library links that one instead of
// failing on a duplicate. Once schemes/ defines every routine, delete this file and its includes.
//
// The routines here only throw; tests that need a solve install scripted routines through
// setSchemeRoutineTable (tests/model/support/scripted_schemes.h).

#include "model/option_objects.h"
#include "numerics/numerical_error.h"

#define SARNEX_INTERIM_SCHEME_ROUTINE(name)                                                      \
    __attribute__((weak)) bool OrvHestonVanilla::name(Array<Array<double>>&, double*, bool, bool, double,               \
                                std::vector<double>*, std::vector<double>*, double,               \
                                std::vector<double>*, bool, bool, double, double)                 \
    {                                                                                             \
        throw NumericalError("time-stepping routine " #name " is not linked");                   \
    }

SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNeg4Fct)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegSqrtThetaPow)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegMCSPow)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegSqrtTheta)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegMCS)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegSqrtThetaSparse)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegSqrtThetaLogS)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegSqrtThetaLogS2)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegMCSLogS)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNegMCSSparseLogS)
SARNEX_INTERIM_SCHEME_ROUTINE(calcGARCHNUDirectNonNeg4FctLogS)

#undef SARNEX_INTERIM_SCHEME_ROUTINE
