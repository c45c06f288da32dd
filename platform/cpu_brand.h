#pragma once

// Shared by both platform implementations; not part of the platform interface.

#include <string>

namespace platform::detail {

// The CPUID brand string (leaves 0x80000002..0x80000004) with surrounding blanks removed; empty
// when the processor is not x86 or does not report one.
std::string cpuidBrandString();

// s without leading and trailing white space.
std::string trimmed(const std::string& s);

}  // namespace platform::detail
