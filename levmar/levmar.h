#pragma once

// The Levenberg-Marquardt layer of the calibrator: the public names and conventions of levmar 2.6
// (double precision only), so that callers written against levmar compile and behave unchanged.
//
// opts (LM_OPTS_SZ doubles, or null for the defaults):
//   [0] tau: scale of the initial damping factor mu          (default LM_INIT_MU)
//   [1] eps1: stop when the largest |J^T e| falls below it    (default LM_STOP_THRESH)
//   [2] eps2: stop when |Dp|^2 <= eps2^2 |p|^2                (default LM_STOP_THRESH)
//   [3] eps3: stop when |e|^2 <= eps3                         (default LM_STOP_THRESH)
//   [4] delta: finite-difference step; a negative value selects central differences with |delta|
//       (default LM_DIFF_DELTA; the *_der routines read only opts[0..3])
// info (LM_INFO_SZ doubles, or null):
//   [0] |e|^2 at the start point      [1] |e|^2 at the end      [2] largest |J^T e| (bounded
//   routines: over the components not at a bound)   [3] |Dp|^2 of the last step   [4] mu divided by
//   the largest diagonal entry of J^T J   [5] iterations   [6] stop reason   [7] function evaluations
//   (finite-difference ones included)   [8] Jacobian evaluations   [9] linear systems solved
// Stop reasons in info[6]:
//   1 small gradient J^T e            2 small relative step Dp        3 itmax reached
//   4 singular system (a step of absurd length)                       5 mu cannot grow any further
//   6 small error |e|^2               7 the objective returned values that are not finite
//   levmarHookStopReason (99): the iteration hook asked for a stop (bounded routines only)
// A call rejected for its inputs (m < 1, n < m, a bound or scale factor that is not a finite
// number, crossed bounds, a scale factor <= 0, no Jacobian function, a work area that cannot be
// allocated) prints its reason to stderr and returns LM_ERROR with info[6] = LM_ERROR,
// info[7..9] = 0 and NaN in the rest, so a caller that reads info after a failed call never reads
// stale values. No exception of the layer's own leaves a routine.
//
// Return value: the number of iterations, or LM_ERROR for rejected inputs and for stops 4 and 7.
//
// Every routine keeps its storage in its own containers (or in the caller's work area when one is
// given): the routines are re-entrant, and an exception thrown by func or jacf passes through to
// the caller unchanged, with nothing leaked and p holding the last accepted iterate (inside the box
// for the bounded routines).
//
// Objective: func(p, hx, m, n, adata) writes the n model values at p into hx; the routines minimise
// |x - hx|^2. jacf(p, j, m, n, adata) writes the n x m Jacobian of hx row by row.

#define LM_VERSION "2.6 (November 2011)"

#define LM_OPTS_SZ 5
#define LM_INFO_SZ 10
#define LM_ERROR -1
#define LM_INIT_MU 1E-03
#define LM_STOP_THRESH 1E-17
#define LM_DIFF_DELTA 1E-06

// Sizes of the optional work areas, in doubles.
#define LM_DIF_WORKSZ(npar, nmeas) (4 * (nmeas) + 4 * (npar) + (nmeas) * (npar) + (npar) * (npar))
#define LM_BC_DER_WORKSZ(npar, nmeas) (2 * (nmeas) + 4 * (npar) + (nmeas) * (npar) + (npar) * (npar))
#define LM_BC_DIF_WORKSZ(npar, nmeas) LM_BC_DER_WORKSZ((npar), (nmeas))

// Stop reason of a bounded run ended by its iteration hook.
constexpr int levmarHookStopReason = 99;

// A look at the iterate after every iteration of the bounded search that reached its damped step
// (whatever that step's outcome, also when it set stop 2, 4, 5 or 7). Not called after stops 1
// and 6, which end an iteration before its step, nor after a non-finite objective value met in a
// projected-gradient step. k is the 0-based index of the iteration within this run and p the
// current iterate (m values, in the caller's units). Returning true ends the run at once with stop
// reason levmarHookStopReason, replacing any stop set in the same iteration; the run then reports
// k iterations and returns k.
struct LevmarIterationHook {
    bool (*callback)(const double* p, int m, int k, void* context);
    void* context;
};

// Unconstrained minimisation with a finite-difference Jacobian, refreshed by secant (Broyden)
// updates between full recomputations.
int dlevmar_dif(void (*func)(double* p, double* hx, int m, int n, void* adata), double* p,
                double* x, int m, int n, int itmax, double* opts, double* info, double* work,
                double* covar, void* adata);

// Box-constrained minimisation (lb <= p <= ub componentwise; either bound may be null) with a
// finite-difference Jacobian. A forward-difference column steps backwards where the forward step
// would leave the box, so func is never asked for a point outside [lb, ub] (central differences,
// opts[4] < 0, may step past a bound as levmar's do). A parameter whose box is narrower than the
// step gets a zero column and no evaluation. Bounds must be finite numbers. dscl (optional, all positive and
// finite) scales the parameters inside the iteration.
int dlevmar_bc_dif(void (*func)(double* p, double* hx, int m, int n, void* adata), double* p,
                   double* x, int m, int n, double* lb, double* ub, double* dscl, int itmax,
                   double* opts, double* info, double* work, double* covar, void* adata);

// The box-constrained iteration with the caller's Jacobian.
int dlevmar_bc_der(void (*func)(double* p, double* hx, int m, int n, void* adata),
                   void (*jacf)(double* p, double* j, int m, int n, void* adata), double* p,
                   double* x, int m, int n, double* lb, double* ub, double* dscl, int itmax,
                   double* opts, double* info, double* work, double* covar, void* adata);

// The same two bounded routines with an iteration hook; a null hook gives the plain routine.
int dlevmar_bc_dif_hooked(void (*func)(double* p, double* hx, int m, int n, void* adata),
                          double* p, double* x, int m, int n, double* lb, double* ub, double* dscl,
                          int itmax, double* opts, double* info, double* work, double* covar,
                          void* adata, const LevmarIterationHook* hook);

int dlevmar_bc_der_hooked(void (*func)(double* p, double* hx, int m, int n, void* adata),
                          void (*jacf)(double* p, double* j, int m, int n, void* adata), double* p,
                          double* x, int m, int n, double* lb, double* ub, double* dscl, int itmax,
                          double* opts, double* info, double* work, double* covar, void* adata,
                          const LevmarIterationHook* hook);
