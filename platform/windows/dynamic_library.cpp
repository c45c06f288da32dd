#include "platform/platform.h"

#include <windows.h>

#include <string>

namespace platform {

LibraryHandle loadLibrary(const std::string& name) {
  if (name.empty()) return nullptr;
  const int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
  if (n <= 0) return nullptr;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, &wide[0], n);
  return reinterpret_cast<LibraryHandle>(LoadLibraryW(wide.c_str()));
}

void* findSymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace platform
