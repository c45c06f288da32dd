// The source of sarnex.dll, the Windows module that carries the exported functions (the code
// itself comes from the subsystem libraries linked in). The module stays loaded until the process
// ends: its OpenMP runtime is linked in statically, and the runtime's worker threads wait for the
// next parallel region in the module's own code, so a caller that unloaded the module after a call
// would unmap that code under them and the process would end in a page fault. Pinned, FreeLibrary
// only drops the caller's reference.

#include <windows.h>

namespace {

bool pinThisModule()
{
    HMODULE module = nullptr;
    constexpr DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN;
    return GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&pinThisModule), &module) != 0;
}

[[maybe_unused]] const bool pinned = pinThisModule();

}  // namespace
