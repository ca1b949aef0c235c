// CMpeg4Decoder: MPEG-4 Visual through XviD. The whole record goes to XviD;
// the frame header starts with a start-code prefix of a kind XviD skips.
#pragma once
#include <memory>

#include "decode/video_decoder.h"

class CMpeg4Decoder : public CVideoDecoder {
 public:
  CMpeg4Decoder();
  ~CMpeg4Decoder() override;

  DecodedPicture* Decode(const uint8_t* frame, uint32_t length_bytes, int32_t reserved) override;

  // XviD calls one frame may take; a picture on the last of them is not
  // returned.
  static constexpr int kMaxCallsPerFrame = 4;

 private:
  void* xvid_handle_ = nullptr;  // null when XviD's create failed
  bool oversized_layer_ = false;  // the stream's last layer header declared a picture too large to show
  // The frame is copied here with zero padding, because XviD's bit reader
  // reads a few bytes past the end of its input.
  std::unique_ptr<uint8_t[]> bitstream_;
};
