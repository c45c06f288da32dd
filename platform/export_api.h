#pragma once

// How the exported functions are declared:
//   SARNEX_EXPORT double SARNEX_CALL ImpliedVol(...);
// C linkage, and in the 32-bit Windows build the standard Windows calling convention (the callee
// removes the arguments), which gives the decorated export names _Name@N. Which functions a
// Windows module exports, and under which names, is decided by the module-definition file the
// build generates from SARNEX_EXPORTS (cmake/SarnexDeliverables.cmake), not by the declarations.

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define SARNEX_CALL __stdcall
#else
#define SARNEX_CALL
#endif

#if defined(_WIN32)
#define SARNEX_EXPORT extern "C"
#else
#define SARNEX_EXPORT extern "C" __attribute__((visibility("default")))
#endif
