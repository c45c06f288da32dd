#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace platform {

void pauseForKey() {
  // The shell writes its prompt to the same console: what the program printed must come first.
  std::cout.flush();
  std::fflush(stdout);
  std::system("pause");
}

}  // namespace platform
