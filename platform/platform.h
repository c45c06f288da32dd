#pragma once

// Operating-system services used by the rest of the system. Everything that differs between
// Windows and POSIX lives behind these declarations; platform/windows/ and platform/posix/ hold
// the two implementations and the build picks one.

#include <string>

namespace platform {

// Directory of the module (shared library, DLL or executable) that holds the running code,
// without a trailing separator. Falls back to the current directory (".") when the operating
// system cannot name the module.
std::string moduleDirectory();

// The separator between a directory and a file name on this platform.
char pathSeparator();

// dir + separator + name.
std::string joinPath(const std::string& dir, const std::string& name);

// The path of a file that lives beside the module: joinPath(moduleDirectory(), name).
std::string pathBesideModule(const std::string& name);

// Appends text to the file at path, creating it when missing. One call is one record: concurrent
// callers in this process never interleave inside a record. Returns false when the file cannot be
// opened; nothing is reported then.
bool appendText(const std::string& path, const std::string& text);

// Number of logical processors.
int processorCount();

// The processor's brand string (CPUID), trimmed; "unknown processor" when it cannot be read.
std::string processorBrand();

}  // namespace platform
