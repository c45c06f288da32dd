#include "platform/export_api.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

// UTF-8 to UTF-16; a byte that does not start a valid sequence becomes U+FFFD.
std::u16string utf16FromUtf8(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else {
      std::size_t need = 0;
      char32_t min = 0;
      if ((c & 0xE0) == 0xC0) { need = 1; cp = c & 0x1F; min = 0x80; }
      else if ((c & 0xF0) == 0xE0) { need = 2; cp = c & 0x0F; min = 0x800; }
      else if ((c & 0xF8) == 0xF0) { need = 3; cp = c & 0x07; min = 0x10000; }
      // A broken sequence becomes one U+FFFD covering its lead byte and the continuation
      // bytes that came before the break.
      std::size_t seen = 0;
      while (seen < need && i + 1 + seen < n && (p[i + 1 + seen] & 0xC0) == 0x80) {
        cp = (cp << 6) | (p[i + 1 + seen] & 0x3F);
        ++seen;
      }
      len = 1 + seen;
      if (need == 0 || seen < need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

Bstr allocBstr(const std::string& text) {
  // Like SysAllocString, the text ends at its first NUL.
  const std::u16string wide = utf16FromUtf8(std::string(text.c_str()));
  const std::uint32_t bytes = static_cast<std::uint32_t>(wide.size() * sizeof(char16_t));
  auto* block = static_cast<unsigned char*>(
      std::malloc(sizeof(std::uint32_t) + bytes + sizeof(char16_t)));
  if (!block) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  auto* chars = reinterpret_cast<char16_t*>(block + sizeof(std::uint32_t));
  std::memcpy(chars, wide.data(), bytes);
  chars[wide.size()] = u'\0';
  return chars;
}

void freeBstr(Bstr s) {
  if (s) std::free(reinterpret_cast<unsigned char*>(s) - sizeof(std::uint32_t));
}

std::uint32_t bstrLength(const BstrChar* s) {
  if (!s) return 0;
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(s) - sizeof bytes, sizeof bytes);
  return bytes / sizeof(char16_t);
}

std::string narrowFromBstr(const BstrChar* s) {
  std::string out;
  const std::uint32_t n = bstrLength(s);
  for (std::uint32_t i = 0; i < n; ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    appendUtf8(out, cp);
  }
  return out;
}

}  // namespace platform

// Programs that load the library release the strings it returns under the name they know from
// OLE, as they would on Windows.
SARNEX_EXPORT void SysFreeString(platform::BstrChar* s) { platform::freeBstr(s); }
