// Time-stepping routines whose schemes are not in this build yet. Each throws, so a solve with
// one of their scheme numbers fails visibly (the robust solves log it and move on) instead of
// reporting a stale price. Whoever adds a routine's own source removes its line here.

#include "model/option_objects.h"
#include "numerics/numerical_error.h"

#define SARNEX_PENDING_SCHEME_ROUTINE(name)                                                      \
    bool OrvHestonVanilla::name(Array<Array<double>>&, double*, bool, bool, double,               \
                                std::vector<double>*, std::vector<double>*, double,               \
                                std::vector<double>*, bool, bool, double, double)                 \
    {                                                                                             \
        throw NumericalError("The time-stepping routine " #name " is not available");            \
    }


#undef SARNEX_PENDING_SCHEME_ROUTINE
