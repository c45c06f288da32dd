#include "platform/platform.h"

#include <dlfcn.h>

#include <cctype>
#include <string>

namespace platform {

namespace {

// Callers name outside libraries as Windows does ("heston.dll"); here the same library is built
// as "libheston.so". Other names (paths, or names in the local convention) are kept.
std::string localLibraryName(const std::string& name) {
  const std::string suffix = ".dll";
  if (name.size() <= suffix.size() || name.find('/') != std::string::npos) return name;
  const std::size_t stem = name.size() - suffix.size();
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[stem + i])) != suffix[i]) return name;
  }
  return "lib" + name.substr(0, stem) + ".so";
}

}  // namespace

LibraryHandle loadLibrary(const std::string& requested) {
  if (requested.empty()) return nullptr;
  const std::string name = localLibraryName(requested);
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
