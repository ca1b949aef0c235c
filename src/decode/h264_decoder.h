// CH264Decoder: H.264 through libavcodec, for DVRs that send plain Annex-B
// data after the frame header. Tall pictures (480 lines and more) pass the
// comb filter; packing to YUY2 uses XviD's colour-space conversion.
#pragma once
#include <cstdint>
#include <memory>

#include "decode/video_decoder.h"

struct AVCodecContext;
struct AVCodec;
struct AVFrame;
struct AVPacket;

// Luma copy for the comb filter (and repacked chroma when the decoder's
// chroma rows are not half the luma pitch): 720 x 576 x 3.
inline constexpr uint32_t kLumaCopyBytes = 720 * 576 * 3;

class CH264Decoder : public CVideoDecoder {
 public:
  CH264Decoder();
  ~CH264Decoder() override;

  DecodedPicture* Decode(const uint8_t* frame, uint32_t length_bytes, int32_t reserved) override;

 private:
  // Closes and frees the context, then opens a fresh one; false leaves the
  // decoder without a context, so the next Decode tries again.
  bool Reopen();
  // Comb filter (tall pictures) and YUY2 packing of frame_.
  DecodedPicture* Pack();

  AVCodecContext* context_ = nullptr;
  const AVCodec* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  struct AlignedFree {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t, AlignedFree> luma_copy_;
  bool started_ = false;   // a key picture has been seen since the last reset
  uint8_t resolution_ = 2;  // of the stream being decoded (CIF until the first key picture)
  uint8_t pal_ = 0;
};
