#include "audio/wav_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

bool ParseWav(const uint8_t* b, size_t size_bytes, std::vector<int16_t>* samples, std::string* why) {
  auto u16 = [&](size_t o) { return static_cast<uint32_t>(b[o] | (b[o + 1] << 8)); };
  auto u32 = [&](size_t o) { return u16(o) | (u16(o + 2) << 16); };
  if (size_bytes < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) {
    *why = "not a WAV file";
    return false;
  }
  bool format_ok = false;
  for (size_t pos = 12; pos + 8 <= size_bytes;) {
    const uint32_t size = u32(pos + 4);
    const size_t body = pos + 8;
    if (size > size_bytes - body) break;
    if (std::memcmp(b + pos, "fmt ", 4) == 0 && size >= 16) {
      format_ok = u16(body) == 1 && u16(body + 2) == 1 && u32(body + 4) == 8000 && u16(body + 14) == 16;
    } else if (std::memcmp(b + pos, "data", 4) == 0) {
      if (!format_ok) break;
      samples->resize(size / 2);
      for (size_t i = 0; i < samples->size(); ++i) (*samples)[i] = static_cast<int16_t>(u16(body + 2 * i));
      return true;
    }
    // Chunks are padded to even sizes; a pad byte past the end ends the walk.
    pos = body + size + (size & 1);
  }
  *why = "must be 8,000 Hz mono 16-bit PCM";
  return false;
}

bool ReadWavFile(const std::string& path, std::vector<int16_t>* samples, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = "cannot read " + path;
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!ParseWav(bytes.data(), bytes.size(), samples, why)) {
    *why = path + ": " + *why;
    return false;
  }
  return true;
}
