#include "decode/h264_dll_decoder.h"

#include <cstring>
#include <new>

#include "chromix/chromix.h"
#include "decode/comb_filter.h"
#include "platform/notice.h"
#include "streaming/frame_header.h"
#include "zelvadec/zelvadec.h"

namespace {

constexpr int kCombFilterMinLines = 480;
constexpr size_t kPayloadCapacityBytes = streaming::kMaxRecordSize - kDllPayloadOffset;
// The converter's buffer has room for the padded picture.
constexpr int32_t kConverterMarginPixels = 32;

// Finds the next start code at or after position i: 00 00 00 01 (4 bytes)
// or 00 00 01 (3 bytes). Where two zero bytes are followed by neither, the
// scan moves on by two. Returns length when there is none.
size_t ScanForStartCode(const uint8_t* d, size_t length, size_t i, size_t* code_bytes) {
  while (length - i >= 3) {
    if (d[i] != 0 || d[i + 1] != 0) {
      i += 1;
      continue;
    }
    if (length - i >= 4 && d[i + 2] == 0 && d[i + 3] == 1) {
      *code_bytes = 4;
      return i;
    }
    if (d[i + 2] == 1) {
      *code_bytes = 3;
      return i;
    }
    i += 2;
  }
  return length;
}

}  // namespace

size_t FindNalUnit(const uint8_t* data, size_t length) {
  if (!data) return 0;
  size_t code_bytes = 0;
  const size_t first = ScanForStartCode(data, length, 0, &code_bytes);
  if (first == length) return 0;
  size_t next_code_bytes = 0;
  return ScanForStartCode(data, length, first + code_bytes, &next_code_bytes);
}

CH264DllDecoder::CH264DllDecoder() : payload_(new (std::nothrow) uint8_t[kPayloadCapacityBytes]) {
  // The converter's output buffer is the picture buffer.
  FreePictureBuffer();
  InitCombFilter(1, 1, 73);
}

CH264DllDecoder::~CH264DllDecoder() { ReleaseObjects(); }

void CH264DllDecoder::ReleaseObjects() {
  if (decoder_) {
    decoder_->Release();
    decoder_ = nullptr;
  }
  if (converter_) {
    converter_->FreeBuffers();
    converter_->Release();
    converter_ = nullptr;
  }
  picture_.buffer = nullptr;
}

bool CH264DllDecoder::Create(const uint8_t* payload, size_t size_bytes) {
  created_ = false;
  ReleaseObjects();
  if (!CreateConverterYH(&converter_) || !converter_ || !CreateVDecoder(&decoder_) || !decoder_) {
    platform::ShowNotice("ERROR: Decoder Create !!");
    return false;
  }
  ZvOpenInfo info;
  std::memset(&info, 0, sizeof info);
  info.size_bytes = sizeof info;
  info.flags = kZvOpenUnitInput;
  if (!decoder_->Open(payload, static_cast<int32_t>(size_bytes), &info)) return false;
  coded_width_ = info.coded_width;
  coded_height_ = info.coded_height;
  // Larger pictures than the display path holds are never shown.
  if (coded_width_ <= 0 || coded_height_ <= 0 ||
      uint64_t(coded_width_) * uint64_t(coded_height_) * 2 > kPictureBufferBytes) {
    return false;
  }
  if (!converter_->Create(coded_width_ + kConverterMarginPixels, coded_height_ + kConverterMarginPixels, 2)) {
    return false;
  }
  picture_.capacity_bytes = static_cast<uint32_t>((coded_width_ + kConverterMarginPixels) *
                                                  (coded_height_ + kConverterMarginPixels) * 2);
  created_ = true;
  return true;
}

DecodedPicture* CH264DllDecoder::Decode(const uint8_t* frame, uint32_t length_bytes, int32_t /*reserved*/) {
  streaming::FrameInfo info;
  if (!frame || length_bytes < kDllMinRecordBytes || !payload_) return nullptr;
  if (!streaming::ParseFrameHeaderQuiet(frame, length_bytes, &info)) return nullptr;
  const size_t size = length_bytes - kDllPayloadOffset;
  if (size > kPayloadCapacityBytes) return nullptr;
  uint8_t* payload = payload_.get();
  std::memcpy(payload, frame + kDllPayloadOffset, size);
  std::memcpy(payload + kZvMarkerOffset, kZvMarkerBlock, kZvMarkerBytes);

  if (!created_) {
    if (info.picture_type != streaming::kPictureTypeKey) return nullptr;
    if (!Create(payload, size)) return nullptr;
    resolution_ = info.resolution;
    pal_ = info.pal;
  }
  if (info.resolution != resolution_ || info.pal != pal_) {
    // Rebuilt from this record; both values are taken together (see
    // CH264Decoder).
    if (!Create(payload, size)) return nullptr;
    resolution_ = info.resolution;
    pal_ = info.pal;
  }

  const int32_t pitch = coded_width_ + kConverterMarginPixels;
  size_t pos = 0;
  while (pos < size) {
    const size_t unit = FindNalUnit(payload + pos, size - pos);
    if (unit == 0) return nullptr;
    ZvDecodeIo io;
    std::memset(&io, 0, sizeof io);
    io.data = payload + pos;
    io.length = static_cast<int32_t>(unit);
    pos += unit;
    if (!decoder_->Decode(&io) || !io.y) continue;
    if (coded_height_ >= kCombFilterMinLines) ApplyCombFilter(pitch, coded_height_, io.y);
    const YuvPlanes planes{io.y, io.u, io.v};
    if (converter_->ToYuy2(coded_width_, coded_height_, &planes, &picture_.buffer, pitch)) {
      // Units after the first picture of a record are not decoded.
      picture_.width = coded_width_;
      picture_.height = coded_height_;
      return &picture_;
    }
  }
  return nullptr;
}
