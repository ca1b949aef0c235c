// Feeds arbitrary bytes to the frame header parser. Every accepted header
// must survive a rebuild: building from the parsed fields and parsing again
// gives the same FrameInfo. Audio tails are the one normalisation: the
// builder always writes FF FF in bytes 30-31 and a channel flag of 1 or 2.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "streaming/frame_header.h"

using namespace streaming;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FrameInfo info;
  if (!ParseFrameHeaderQuiet(data, size, &info)) return 0;

  if (info.record_size_bytes < kFrameHeaderSize || info.record_size_bytes > kMaxRecordSize ||
      info.picture_type == 0 || info.channel_index > 15 ||
      (info.medium != kMediumVideo && info.medium != kMediumAudio)) {
    std::abort();
  }

  uint8_t rebuilt[kFrameHeaderSize];
  BuildFrameHeader(rebuilt, FieldsFromInfo(info));
  FrameInfo again;
  if (!ParseFrameHeaderQuiet(rebuilt, sizeof rebuilt, &again)) std::abort();

  FrameInfo expected = info;
  if (info.medium == kMediumAudio) {
    const uint32_t flag = AudioChannelFlagOf(info) == 2 ? 2 : 1;
    expected.capture_time = (uint32_t{AudioCodecOf(info)} << 24) | (flag << 16) | 0xFFFF;
  }
  if (!(again == expected)) std::abort();

  // A second rebuild must be byte-identical: the builder is a fixed point.
  uint8_t twice[kFrameHeaderSize];
  BuildFrameHeader(twice, FieldsFromInfo(again));
  for (size_t i = 0; i < kFrameHeaderSize; ++i) {
    if (twice[i] != rebuilt[i]) std::abort();
  }
  return 0;
}
