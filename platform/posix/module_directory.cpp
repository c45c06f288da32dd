#include "platform/platform.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

// The lookup anchor. The platform library is linked statically into whichever module uses it (the
// program or a shared library of ours), so any function of it lies in the same module as the code
// that asks, exactly as an exported function of that module would.
void moduleAnchor() {}

std::string directoryPart(const std::string& file) {
  const auto cut = file.find_last_of('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return file.substr(0, cut);
}

std::string executablePath() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  buf[n] = '\0';
  return std::string(buf);
}

std::string canonical(const char* path) {
  char* real = realpath(path, nullptr);
  if (!real) return std::string();
  std::string result(real);
  std::free(real);
  return result;
}

}  // namespace

std::string moduleDirectoryOf(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) != 0 && map) {
    // The main program's link map has an empty name, and dladdr then reports argv[0], which is
    // not a usable path (a program started through PATH gives a bare name).
    if (map->l_name && map->l_name[0] != '\0') {
      const std::string lib = canonical(map->l_name);
      if (!lib.empty()) return directoryPart(lib);
    } else {
      const std::string exe = executablePath();
      if (!exe.empty()) return directoryPart(exe);
    }
  }
  return ".";
}

std::string moduleDirectory() {
  return moduleDirectoryOf(reinterpret_cast<const void*>(&moduleAnchor));
}

char pathSeparator() { return '/'; }

}  // namespace platform
