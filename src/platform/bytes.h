// Big-endian field access for wire and file layouts. Every DVR integer is
// big-endian; these helpers read and write unaligned fields without casts.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

inline uint16_t GetU16BE(const void* p) {
  const auto* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}
inline uint32_t GetU32BE(const void* p) {
  const auto* b = static_cast<const uint8_t*>(p);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}
inline void PutU16BE(void* p, uint16_t v) {
  auto* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v >> 8);
  b[1] = static_cast<uint8_t>(v);
}
inline void PutU32BE(void* p, uint32_t v) {
  auto* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v >> 24);
  b[1] = static_cast<uint8_t>(v >> 16);
  b[2] = static_cast<uint8_t>(v >> 8);
  b[3] = static_cast<uint8_t>(v);
}

// Copies at most src_len bytes of a possibly unterminated text into dst,
// stopping at the first NUL, and always terminates dst. Returns the length
// copied. dst_size must be at least 1.
inline size_t CopyTextBounded(char* dst, size_t dst_size, const void* src, size_t src_len) {
  if (dst_size == 0) return 0;
  const auto* s = static_cast<const char*>(src);
  size_t n = 0;
  while (n + 1 < dst_size && n < src_len && s[n] != '\0') {
    dst[n] = s[n];
    ++n;
  }
  dst[n] = '\0';
  return n;
}

}  // namespace platform
