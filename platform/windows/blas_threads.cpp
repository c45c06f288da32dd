#include "platform/platform.h"

#include <windows.h>

namespace platform {

namespace {

using SetThreadCount = void (*)(int);

}  // namespace

void keepBlasSingleThreaded(const void* blasRoutine) {
  // The builds link a static reference BLAS, which exports nothing and starts no threads; a BLAS
  // DLL that does (OpenBLAS) exports its setter.
  HMODULE module = nullptr;
  constexpr DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!blasRoutine || !GetModuleHandleExA(flags, static_cast<LPCSTR>(blasRoutine), &module)) {
    return;
  }
  if (FARPROC symbol = GetProcAddress(module, "openblas_set_num_threads")) {
    reinterpret_cast<SetThreadCount>(reinterpret_cast<void*>(symbol))(1);
  }
}

}  // namespace platform
