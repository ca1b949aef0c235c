// Video decoders: each turns frame records (32-byte media frame header
// included) of one channel into packed YUY2 pictures (Y0 U Y1 V, rows top
// down, pitch exactly twice the width). One decoder per channel; a decoder
// is used by one thread at a time and never reports errors other than by
// returning no picture.
#pragma once
#include <cstdint>
#include <memory>

// The picture a decoder hands out: the first fields of every decoder. It
// stays valid until the next call on the same decoder.
struct DecodedPicture {
  uint8_t* buffer = nullptr;    // YUY2 (or BGRA, see SetOutputFormat)
  uint32_t capacity_bytes = 0;  // size of the buffer the decoder owns
  int32_t width = -1;           // -1 = unknown
  int32_t height = -1;
};

inline constexpr uint32_t kPictureBufferBytes = 720 * 576 * 2;  // the largest picture shown
inline constexpr int32_t kOutputYuy2 = 1;

class CVideoDecoder {
 public:
  CVideoDecoder();
  CVideoDecoder(const CVideoDecoder&) = delete;
  CVideoDecoder& operator=(const CVideoDecoder&) = delete;

  // Virtual operations, in slot order.
  virtual ~CVideoDecoder();
  // frame points at the frame header, length_bytes is the whole record;
  // reserved is ignored. Returns the decoder's picture, or null.
  virtual DecodedPicture* Decode(const uint8_t* frame, uint32_t length_bytes, int32_t reserved) = 0;
  // Forgets the picture size (width = height = -1); returns -1.
  virtual int32_t Reset();
  virtual DecodedPicture* GetPicture();
  virtual uint8_t GetFlag();

  // 1 = YUY2 (the default); any other value makes the MPEG-4 decoder
  // produce 32-bit BGRA. The H.264 decoders always produce YUY2.
  void SetOutputFormat(int32_t format) { output_format_ = format; }

 protected:
  // Frees the picture buffer the base allocated (for decoders that write
  // into a buffer they get elsewhere).
  void FreePictureBuffer();

  DecodedPicture picture_;
  uint8_t flag_ = 0;
  int32_t output_format_ = kOutputYuy2;

 private:
  struct AlignedFree {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t, AlignedFree> owned_buffer_;
};

// The decoder a DVR of the given platform code needs: 162 our H.264
// library, 163 and 164 libavcodec's H.264, anything else MPEG-4 (XviD).
std::unique_ptr<CVideoDecoder> CreateDecoderForPlatform(int platform_code);
