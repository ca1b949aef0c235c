// Feeds arbitrary bytes to the code-page conversions: camera names arrive
// from the DVR in UTF-8 and are shown in the system code page, and every
// text field is fixed-size. Checked: conversion to UTF-8 gives valid UTF-8,
// valid UTF-8 survives a UTF-8 round unchanged and keeps one character per
// code point through a single-byte code page, and the bounded forms always
// terminate within the field and give a prefix of the unbounded result cut
// at a character boundary.
//
// Input: byte 0 picks the field size, byte 1 the character sets and the
// system code page (the C and C.UTF-8 locales); the rest is the text.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "codepage_fuzz: %s\n", what);
    std::abort();
  }
}

// Code points of strictly valid UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF), or -1 when the text is not valid.
long CountUtf8(std::string_view s) {
  long count = 0;
  for (size_t i = 0; i < s.size(); ++count) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    uint32_t cp;
    if (c < 0x80) {
      n = 1;
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      n = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 4;
      cp = c & 0x07;
    } else {
      return -1;
    }
    if (i + n > s.size()) return -1;
    for (size_t k = 1; k < n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return -1;
      cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    i += n;
  }
  return count;
}

bool IsUtf8Boundary(std::string_view s, size_t at) {
  return at == s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80;
}

constexpr const char* kSets[] = {"UTF-8", "EUC-KR", "CP949", "ISO-8859-1", "CP1252", "SHIFT_JIS", "GB18030", "BIG5"};
constexpr size_t kSetCount = sizeof kSets / sizeof kSets[0];

void Bounded(std::string_view text, size_t field, bool from_utf8) {
  const bool utf8_system = platform::SystemCodePage() == "UTF-8";
  const std::string whole = from_utf8 ? platform::Utf8ToSystem(text.substr(0, text.find('\0')))
                                      : platform::SystemToUtf8(text.substr(0, text.find('\0')));
  std::vector<char> dst(field + 1, '\x55');
  const size_t n = from_utf8 ? platform::Utf8ToSystem(text.data(), text.size(), dst.data(), field)
                             : platform::SystemToUtf8(text.data(), text.size(), dst.data(), field);
  if (field == 0) {
    Check(n == 0 && dst[0] == '\x55', "a field of no bytes was written");
    return;
  }
  Check(n < field && dst[n] == '\0', "a bounded result not terminated within its field");
  Check(dst[field] == '\x55', "written past the field");
  const std::string_view got(dst.data(), n);
  Check(whole.compare(0, n, got) == 0, "a bounded result that is not a prefix of the whole");
  if (whole.size() < field) Check(n == whole.size(), "a result that fits was cut");
  // UTF-8 output is cut between characters (the C locale's ASCII has only those).
  if (!from_utf8 || utf8_system) Check(IsUtf8Boundary(whole, n), "cut inside a character");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t field = data[0] % 80;
  const uint8_t pick = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  std::setlocale(LC_CTYPE, (pick & 0x80) != 0 ? "C.UTF-8" : "C");

  const char* from = kSets[pick % kSetCount];
  const char* to = kSets[(pick / kSetCount) % kSetCount];
  const std::string converted = platform::ConvertCodePage(text, from, to);
  const std::string utf8 = platform::ConvertCodePage(text, from, "UTF-8");
  Check(CountUtf8(utf8) >= 0, "conversion to UTF-8 gave invalid UTF-8");
  if (std::strcmp(to, "UTF-8") == 0) Check(converted == utf8, "two conversions to UTF-8 differ");

  const long code_points = CountUtf8(text);
  if (code_points >= 0) {
    Check(platform::ConvertCodePage(text, "UTF-8", "UTF-8") == text, "valid UTF-8 changed in a UTF-8 round");
    Check(static_cast<long>(platform::ConvertCodePage(text, "UTF-8", "ISO-8859-1").size()) == code_points,
          "a single-byte code page did not keep one byte per character");
  }

  Bounded(text, field, (pick & 0x40) != 0);
  return 0;
}
