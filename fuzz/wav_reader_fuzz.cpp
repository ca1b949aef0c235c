// Feeds arbitrary bytes to the WAV reader of the talk command. Checked: a
// file is either refused with a reason or gives at most one sample per two
// input bytes, and never a read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<int16_t> samples;
  std::string why;
  // Copied so that ASan sees the exact end of the input.
  const std::vector<uint8_t> bytes(data, data + size);
  if (ParseWav(bytes.data(), bytes.size(), &samples, &why)) {
    if (samples.size() > size / 2) {
      std::fprintf(stderr, "wav_reader_fuzz: %zu samples from %zu bytes\n", samples.size(), size);
      std::abort();
    }
  } else if (why.empty()) {
    std::fprintf(stderr, "wav_reader_fuzz: refused without a reason\n");
    std::abort();
  }
  return 0;
}
