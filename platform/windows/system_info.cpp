#include "platform/cpu_brand.h"
#include "platform/platform.h"

#include <windows.h>

#include <string>

namespace platform {

int processorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors >= 1 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

std::string processorBrand() {
  const std::string brand = detail::cpuidBrandString();
  return brand.empty() ? std::string("unknown processor") : brand;
}

}  // namespace platform
