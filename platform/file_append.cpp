#include "platform/platform.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
// One lock for the whole process: records come from OpenMP worker threads, and a record written
// in several pieces must land in the file in one block.
std::mutex& appendMutex() {
  static std::mutex m;
  return m;
}
}  // namespace

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  const char sep = pathSeparator();
  const char last = dir.back();
  if (last == sep || last == '/') return dir + name;
  return dir + sep + name;
}

std::string pathBesideModule(const std::string& name) {
  return joinPath(moduleDirectory(), name);
}

bool appendText(const std::string& path, const std::string& text) {
  std::lock_guard<std::mutex> lock(appendMutex());
  // Text mode: the logs are read as text files on the platform they were written on.
  std::FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed;
}

}  // namespace platform
