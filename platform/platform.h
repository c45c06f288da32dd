#pragma once

// Operating-system services used by the rest of the system. Everything that differs between
// Windows and POSIX lives behind these declarations; platform/windows/ and platform/posix/ hold
// the two implementations and the build picks one.

#include <cstdint>
#include <string>

namespace platform {

// Directory of the module (shared library, DLL or executable) that holds the running code,
// without a trailing separator. Falls back to the current directory (".") when the operating
// system cannot name the module.
std::string moduleDirectory();

// Directory of the module that holds the given code address (same rules and fallback as
// moduleDirectory). Lets a caller anchor the lookup on a function of its choice.
std::string moduleDirectoryOf(const void* address);

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

// Waits for a key before the program goes on, as the console's "pause" does. On Windows it is the
// shell's own command (its prompt included). Elsewhere it prompts and waits for one key only when
// standard input is a terminal; with input from a pipe or a file, or none, it returns at once and
// prints nothing, so that runs with piped answers never hang.
void pauseForKey();

// Number of logical processors.
int processorCount();

// The processor's brand string (CPUID), trimmed; "unknown processor" when it cannot be read.
std::string processorBrand();

// OLE Automation string (BSTR): UTF-16 text, NUL-terminated, with its length in bytes stored as a
// 32-bit integer right before the first character. On Windows these are the system's own BSTRs,
// so a caller may free them with SysFreeString; elsewhere they have the same layout.
#if defined(_WIN32)
using BstrChar = wchar_t;
#else
using BstrChar = char16_t;
#endif
using Bstr = BstrChar*;

// A new BSTR holding the narrow text (the system code page on Windows, UTF-8 elsewhere) up to its
// first NUL. Null when memory runs out. Release it with freeBstr.
Bstr allocBstr(const std::string& text);

// Releases a BSTR from allocBstr; null is allowed.
void freeBstr(Bstr s);

// Number of characters of a BSTR (its byte-length prefix / 2); 0 for null.
std::uint32_t bstrLength(const BstrChar* s);

// The text of a BSTR as a narrow string (inverse of allocBstr); empty for null.
std::string narrowFromBstr(const BstrChar* s);

// Dynamic loading. loadLibrary takes a file name ("heston.dll") or a path. A bare name is searched
// the way the system loader does; on POSIX the directory of the running module comes first, as the
// program's own directory does on Windows, and a Windows library name "name.dll" stands for the
// shared library "libname.so". Null when it cannot be loaded. findSymbol gives the address of an
// exported name, null when it is missing.
using LibraryHandle = void*;
LibraryHandle loadLibrary(const std::string& name);
void* findSymbol(LibraryHandle library, const char* name);
void freeLibrary(LibraryHandle library);

// Keeps the BLAS library that holds blasRoutine (the address of one of its routines) at one thread
// per call, when it is one that starts threads of its own (OpenBLAS, found by its
// openblas_set_num_threads). The solves that call BLAS run in parallel loops of their own, where
// BLAS threads would only oversubscribe the cores. Process-wide; a BLAS without threads (the
// reference BLAS of the Windows builds) is left as it is.
void keepBlasSingleThreaded(const void* blasRoutine);

}  // namespace platform
