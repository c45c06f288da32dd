#include "platform/cpu_brand.h"
#include "platform/platform.h"

#include <unistd.h>

#include <fstream>
#include <string>

namespace platform {

int processorCount() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n >= 1 ? static_cast<int>(n) : 1;
}

std::string processorBrand() {
  std::string brand = detail::cpuidBrandString();
  if (!brand.empty()) return brand;
  // Other architectures name the processor in /proc/cpuinfo under one of these keys.
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = detail::trimmed(line.substr(0, colon));
    if (key == "model name" || key == "Hardware" || key == "cpu model" || key == "cpu") {
      brand = detail::trimmed(line.substr(colon + 1));
      if (!brand.empty()) return brand;
    }
  }
  return "unknown processor";
}

}  // namespace platform
