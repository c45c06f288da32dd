#include "platform/platform.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace platform {

Bstr allocBstr(const std::string& text) {
  // Like SysAllocString itself, the text ends at its first NUL.
  const std::string narrow(text.c_str());
  if (narrow.empty()) return SysAllocString(L"");
  const int n = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()),
                                    nullptr, 0);
  if (n <= 0) return nullptr;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), &wide[0], n);
  return SysAllocString(wide.c_str());
}

void freeBstr(Bstr s) { SysFreeString(s); }

std::uint32_t bstrLength(const BstrChar* s) {
  return s ? SysStringLen(const_cast<BSTR>(s)) : 0;
}

std::string narrowFromBstr(const BstrChar* s) {
  const int len = static_cast<int>(bstrLength(s));
  if (len == 0) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, s, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, s, len, &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace platform
