// CH264DllDecoder: H.264 through libzelvadec, for DVRs whose records carry
// the 48-byte frame descriptor and the marker-prefixed payload (platform
// 162). Pictures are packed to YUY2 by a libchromix converter, whose output
// buffer becomes the picture buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "decode/video_decoder.h"

class IH264DecoderDll;
class IYuvRgbConverter;

// Length of the first start-code-delimited unit at data: from data up to
// the start code of the next unit (or the end), so bytes in front of the
// first start code belong to it. 0 when data holds no start code. Reads
// nothing outside data[0 .. length).
size_t FindNalUnit(const uint8_t* data, size_t length);

// Bytes of a record in front of the payload (frame header + descriptor).
inline constexpr size_t kDllPayloadOffset = 80;
// Records shorter than this cannot hold the payload prefix.
inline constexpr size_t kDllMinRecordBytes = 132;

class CH264DllDecoder : public CVideoDecoder {
 public:
  CH264DllDecoder();
  ~CH264DllDecoder() override;

  DecodedPicture* Decode(const uint8_t* frame, uint32_t length_bytes, int32_t reserved) override;

 private:
  // Builds the outside decoder and the converter from a key picture's
  // payload.
  bool Create(const uint8_t* payload, size_t size_bytes);
  void ReleaseObjects();

  IH264DecoderDll* decoder_ = nullptr;
  IYuvRgbConverter* converter_ = nullptr;
  bool created_ = false;
  int32_t coded_width_ = 0;
  int32_t coded_height_ = 0;
  uint8_t resolution_ = 2;
  uint8_t pal_ = 0;
  // The payload is copied here before the marker block is written into
  // it: the caller's record stays untouched.
  std::unique_ptr<uint8_t[]> payload_;
};
