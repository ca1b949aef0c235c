// Conversion between UTF-8 (camera names on the wire) and the system code
// page (the locale's character set, as nl_langinfo(CODESET) names it) through
// iconv. Invalid or unconvertible input never fails the call: unconvertible
// characters become '?', and invalid bytes are skipped.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The name of the system code page ("UTF-8", "ISO-8859-1", "EUC-KR", ...).
std::string SystemCodePage();

std::string Utf8ToSystem(std::string_view utf8);
std::string SystemToUtf8(std::string_view text);

// Bounded forms for fixed-size fields: src holds at most src_len bytes and
// ends at its first NUL; the result is cut at a character boundary so that it
// fits dst_size - 1 bytes, and dst is always terminated. Returns the length
// written. dst_size 0 writes nothing.
size_t Utf8ToSystem(const char* src, size_t src_len, char* dst, size_t dst_size);
size_t SystemToUtf8(const char* src, size_t src_len, char* dst, size_t dst_size);

// For tests and for callers that know better: converts between any two
// iconv character sets, with the rules above.
std::string ConvertCodePage(std::string_view text, const char* from, const char* to);

}  // namespace platform
