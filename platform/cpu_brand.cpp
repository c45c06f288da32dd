#include "platform/cpu_brand.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace platform::detail {

std::string trimmed(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  const auto last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

std::string cpuidBrandString() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned int maxLeaf = __get_cpuid_max(0x80000000u, nullptr);
  if (maxLeaf < 0x80000004u) return std::string();
  char brand[49] = {};
  for (unsigned int i = 0; i < 3; ++i) {
    unsigned int regs[4] = {0, 0, 0, 0};
    if (!__get_cpuid(0x80000002u + i, &regs[0], &regs[1], &regs[2], &regs[3])) return std::string();
    std::memcpy(brand + 16 * i, regs, sizeof regs);
  }
  return trimmed(std::string(brand));
#else
  return std::string();
#endif
}

}  // namespace platform::detail
