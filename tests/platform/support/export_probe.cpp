// A stand-in module for the export machinery: built as a DLL through the same generated
// module-definition file as the deliverables, loaded by test_platform_exports.

#include "platform/export_api.h"

SARNEX_EXPORT int SARNEX_CALL SarnexProbeAdd(int a, int b) { return a + b; }

SARNEX_EXPORT double SARNEX_CALL SarnexProbeWeighted(double x, int k, const double* w) {
  return x * k + w[0] - w[1];
}
