#include "decode/video_decoder.h"

#include <cstdlib>
#include <new>

#include "decode/h264_decoder.h"
#include "decode/h264_dll_decoder.h"
#include "decode/mpeg4_decoder.h"

void CVideoDecoder::AlignedFree::operator()(uint8_t* p) const { std::free(p); }

CVideoDecoder::CVideoDecoder() {
  // 64-byte alignment suits every SIMD packing routine that writes here.
  owned_buffer_.reset(static_cast<uint8_t*>(std::aligned_alloc(64, kPictureBufferBytes)));
  picture_.buffer = owned_buffer_.get();
  // Without a buffer no picture fits, so the decoder simply yields none.
  picture_.capacity_bytes = picture_.buffer ? kPictureBufferBytes : 0;
}

CVideoDecoder::~CVideoDecoder() = default;

int32_t CVideoDecoder::Reset() {
  picture_.width = -1;
  picture_.height = -1;
  return -1;
}

DecodedPicture* CVideoDecoder::GetPicture() { return &picture_; }

uint8_t CVideoDecoder::GetFlag() { return flag_; }

void CVideoDecoder::FreePictureBuffer() {
  owned_buffer_.reset();
  picture_.buffer = nullptr;
}

std::unique_ptr<CVideoDecoder> CreateDecoderForPlatform(int platform_code) {
  switch (platform_code) {
    case 162:
      return std::make_unique<CH264DllDecoder>();
    case 163:
    case 164:
      return std::make_unique<CH264Decoder>();
    default:
      return std::make_unique<CMpeg4Decoder>();
  }
}
