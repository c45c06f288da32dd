#include "platform/platform.h"

#include <dlfcn.h>

#include <string>

namespace platform {

LibraryHandle loadLibrary(const std::string& name) {
  if (name.empty()) return nullptr;
  if (name.find('/') == std::string::npos) {
    // Windows looks in the program's own directory first; do the same with the module's.
    if (void* h = dlopen(pathBesideModule(name).c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
  }
  return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* findSymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return dlsym(library, name);
}

void freeLibrary(LibraryHandle library) {
  if (library) dlclose(library);
}

}  // namespace platform
