#include "platform/platform.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace platform {

namespace {

// The lookup anchor. The platform library is linked statically into whichever module uses it (the
// program or a DLL of ours), so any function of it lies in the same module as the code that asks,
// exactly as an exported function of that module would.
void moduleAnchor() {}

}  // namespace

std::string moduleDirectoryOf(const void* address) {
  HMODULE module = nullptr;
  constexpr DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;  // 6
  if (!GetModuleHandleExA(flags, static_cast<LPCSTR>(address), &module)) {
    // Go on with the null handle, which names the running executable.
    std::fprintf(stderr, "GetModuleHandle returned %d\n", static_cast<int>(GetLastError()));
    module = nullptr;
  }
  // MAX_PATH first; a longer path would come back cut off and name a wrong directory, so grow.
  std::vector<char> name(MAX_PATH, '\0');
  DWORD len = 0;
  for (;;) {
    len = GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
    if (len == 0) return ".";
    if (len < name.size() || name.size() >= 32768) break;
    name.assign(name.size() * 2, '\0');
  }
  std::string path(name.data(), len < name.size() ? len : name.size() - 1);
  const auto cut = path.find_last_of('\\');
  if (cut != std::string::npos) path.erase(cut);
  return path;
}

std::string moduleDirectory() {
  return moduleDirectoryOf(reinterpret_cast<const void*>(&moduleAnchor));
}

char pathSeparator() { return '\\'; }

}  // namespace platform
