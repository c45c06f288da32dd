// The export machinery of the Windows deliverables, proven on the stand-in DLL
// sarnex_export_probe.dll (tests/platform/support/export_probe.cpp), which is built through the
// same generated module-definition file as the programs. Nothing to check on other platforms.

#include "platform/export_api.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#if defined(_WIN32)

namespace {

#if defined(__i386__)
const char* const kAddName = "_SarnexProbeAdd@8";
const char* const kWeightedName = "_SarnexProbeWeighted@16";

// Calls fn(5, 7) with hand-pushed arguments and returns the argument bytes still on the stack
// after the call: 0 when the callee removed them, as the standard Windows convention demands.
int bytesLeftOnStack(void* fn, int* result) {
  int left = 0, r = 0;
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "pushl $7\n\t"
      "pushl $5\n\t"
      "call *%%ebx\n\t"
      "movl %%esi, %%edx\n\t"
      "subl %%esp, %%edx\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(r), "=d"(left)
      : "b"(fn)
      : "ecx", "esi", "memory", "cc");
  *result = r;
  return left;
}
#else
const char* const kAddName = "SarnexProbeAdd";
const char* const kWeightedName = "SarnexProbeWeighted";
#endif

using AddFn = int(SARNEX_CALL*)(int, int);
using WeightedFn = double(SARNEX_CALL*)(double, int, const double*);

}  // namespace

TEST(Exports, CalledThroughTheirExportedNames) {
  platform::LibraryHandle lib = platform::loadLibrary("sarnex_export_probe.dll");
  ASSERT_NE(lib, nullptr);
  void* add = platform::findSymbol(lib, kAddName);
  void* weighted = platform::findSymbol(lib, kWeightedName);
  ASSERT_NE(add, nullptr);
  ASSERT_NE(weighted, nullptr);
  EXPECT_EQ(reinterpret_cast<AddFn>(add)(40, 2), 42);
  const double w[2] = {1.5, 0.25};
  EXPECT_EQ(reinterpret_cast<WeightedFn>(weighted)(2.5, 4, w), 11.25);
  // Only the table's spelling is exported.
  EXPECT_EQ(platform::findSymbol(lib, "SarnexProbeAdd@8"), nullptr);
#if defined(__i386__)
  EXPECT_EQ(platform::findSymbol(lib, "SarnexProbeAdd"), nullptr);
  int sum = 0;
  EXPECT_EQ(bytesLeftOnStack(add, &sum), 0);
  EXPECT_EQ(sum, 12);
#endif
  platform::freeLibrary(lib);
}

#endif
