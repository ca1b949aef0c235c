// Feeds frame records to one video decoder per input. The first byte picks
// the decoder (MPEG-4, libavcodec H.264, libzelvadec H.264); the rest is cut
// into records by the record size in each header (what is left when that
// size is missing or runs past the end), each record in an allocation of
// its own exact size, so a read past a record shows. Any picture returned
// must fit the decoder's buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "decode/h264_decoder.h"
#include "decode/h264_dll_decoder.h"
#include "decode/mpeg4_decoder.h"
#include "streaming/frame_header.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr int kMaxRecords = 48;

std::unique_ptr<CVideoDecoder> MakeDecoder(uint8_t selector) {
  switch (selector % 3) {
    case 0:
      return std::make_unique<CMpeg4Decoder>();
    case 1:
      return std::make_unique<CH264Decoder>();
    default:
      return std::make_unique<CH264DllDecoder>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quiet;
  if (size < 1) return 0;
  std::unique_ptr<CVideoDecoder> decoder = MakeDecoder(data[0]);
  size_t pos = 1;
  for (int n = 0; n < kMaxRecords && pos < size; ++n) {
    const size_t left = size - pos;
    size_t len = left;
    if (left >= streaming::kFrameHeaderSize) {
      const uint32_t declared = streaming::DecodeMarker22(data + pos + 24);
      if (declared > 0 && declared <= left) len = declared;
    }
    std::unique_ptr<uint8_t[]> exact(new uint8_t[len]);
    std::memcpy(exact.get(), data + pos, len);
    const DecodedPicture* pic = decoder->Decode(exact.get(), static_cast<uint32_t>(len), 0);
    if (pic) {
      if (pic->buffer == nullptr || pic->width <= 0 || pic->height <= 0 ||
          uint64_t(pic->width) * uint64_t(pic->height) * 2 > kPictureBufferBytes) {
        std::abort();
      }
    }
    pos += len;
  }
  return 0;
}
