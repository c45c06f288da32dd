#include "platform/platform.h"

#include <dlfcn.h>

namespace platform {

namespace {

using SetThreadCount = void (*)(int);

const char* const kSetThreadCount = "openblas_set_num_threads";

}  // namespace

void keepBlasSingleThreaded(const void* blasRoutine) {
  // The library that holds the routine, and its dependencies: a host that loaded us with
  // RTLD_LOCAL keeps our BLAS out of the global scope. The global scope is the fallback.
  void* symbol = nullptr;
  Dl_info info;
  if (blasRoutine && dladdr(blasRoutine, &info) != 0 && info.dli_fname && info.dli_fname[0]) {
    if (void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
      symbol = dlsym(library, kSetThreadCount);
      dlclose(library);
    }
  }
  if (!symbol) symbol = dlsym(RTLD_DEFAULT, kSetThreadCount);
  if (symbol) reinterpret_cast<SetThreadCount>(symbol)(1);
}

}  // namespace platform
