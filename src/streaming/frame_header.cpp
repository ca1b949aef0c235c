#include "streaming/frame_header.h"

#include <cstdio>
#include <cstring>

#include "platform/bytes.h"

namespace streaming {
namespace {

// Talk frame template; BuildAudioFrameHeader overwrites the length, time
// stamp, record size and bytes 27-31.
constexpr uint8_t kTalkTemplate[kFrameHeaderSize] = {
    0x00, 0x00, 0x01, 0xC0, 0x08, 0x3A, 0x87, 0xC1, 0x17, 0x31, 0x2F, 0xE9, 0xFF, 0x49, 0x11, 0x2F,
    0xE9, 0xFF, 0x49, 0x0F, 0x8B, 0x80, 0x18, 0x20, 0x80, 0x18, 0x20, 0x03, 0x07, 0x01, 0xFF, 0xFF,
};

enum class Verdict { kOk, kBadStreamId, kTooLarge, kTooSmall, kNoPictureType };

// Bytes 4-5: record size - 6, or 0 when that does not fit in 16 bits.
void PutShortLength(uint8_t* p, uint32_t record_size) {
  const uint32_t rest = record_size >= 6 ? record_size - 6 : 0;
  platform::PutU16BE(p, rest > 0xFFFF ? 0 : static_cast<uint16_t>(rest));
}

void PutTimeStamps(uint8_t* header, uint32_t t) {
  EncodePts(t, kPtsPrefix, header + 9);
  EncodePts(t, kDtsPrefix, header + 14);
}

Verdict Check(const uint8_t* b, FrameInfo* out) {
  const uint8_t kind = b[3] & 0xF0;
  if (kind != kStreamIdVideo && kind != kStreamIdAudio) return Verdict::kBadStreamId;

  out->channel_index = b[3] & 0x0F;
  out->medium = kind == kStreamIdVideo ? kMediumVideo : kMediumAudio;
  out->time_stamp = DecodeTimeStamp(b + 14);
  out->back_link_bytes = DecodeMarker22(b + 21);
  out->record_size_bytes = DecodeMarker22(b + 24);
  if (out->record_size_bytes > kMaxRecordSize) return Verdict::kTooLarge;
  if (out->record_size_bytes < kFrameHeaderSize) return Verdict::kTooSmall;

  out->picture_type = b[27] & 0x03;
  if (out->picture_type == 0) return Verdict::kNoPictureType;

  out->resolution = (b[27] >> 2) & 0x03;
  out->pal = (b[27] >> 4) & 0x01;
  out->capture_time = platform::GetU32BE(b + 28);
  return Verdict::kOk;
}

void Report(Verdict v, const uint8_t* b, const FrameInfo& info) {
  switch (v) {
    case Verdict::kOk:
      break;
    case Verdict::kBadStreamId:
      std::printf("File(corrupted, Invalid data type=%x\n", static_cast<unsigned>(b[3] & 0xF0));
      break;
    case Verdict::kTooLarge:
    case Verdict::kTooSmall:
      std::printf("File  corrupted, Invalid cur size=%ld\n", static_cast<long>(info.record_size_bytes));
      break;
    case Verdict::kNoPictureType:
      std::printf("File corrupted, Invalid PIC type=%d\n", static_cast<int>(info.picture_type));
      break;
  }
}

}  // namespace

void EncodeMarker22(uint32_t v, uint8_t out[3]) {
  v &= kMarker22Max;
  out[0] = static_cast<uint8_t>(0x80 | (v >> 15));
  out[1] = static_cast<uint8_t>(0x08 | ((v >> 8) & 0x07) | (((v >> 11) & 0x0F) << 4));
  out[2] = static_cast<uint8_t>(v);
}

uint32_t DecodeMarker22(const uint8_t in[3]) {
  return (uint32_t{in[0] & 0x7Fu} << 15) | ((uint32_t{in[1]} >> 4) << 11) | (uint32_t{in[1] & 0x07u} << 8) | in[2];
}

void EncodePts(uint32_t t, uint8_t prefix_nibble, uint8_t out[5]) {
  out[0] = static_cast<uint8_t>((prefix_nibble << 4) | ((t >> 29) & 0x0E) | 0x01);
  out[1] = static_cast<uint8_t>(t >> 22);
  out[2] = static_cast<uint8_t>(((t >> 15) << 1) | 0x01);
  out[3] = static_cast<uint8_t>(t >> 7);
  out[4] = static_cast<uint8_t>((t << 1) | 0x01);
}

uint32_t DecodeTimeStamp(const uint8_t in[5]) {
  return (uint32_t{in[0] & 0x0Eu} << 29) | (uint32_t{in[1]} << 22) | ((uint32_t{in[2]} >> 1) << 15) |
         (uint32_t{in[3]} << 7) | (uint32_t{in[4]} >> 1);
}

bool ParseFrameHeader(const uint8_t* bytes, FrameInfo* out) {
  const Verdict v = Check(bytes, out);
  Report(v, bytes, *out);
  return v == Verdict::kOk;
}

bool ParseFrameHeader(const uint8_t* bytes, size_t available, FrameInfo* out) {
  return available >= kFrameHeaderSize && ParseFrameHeader(bytes, out);
}

bool ParseFrameHeaderQuiet(const uint8_t* bytes, FrameInfo* out) { return Check(bytes, out) == Verdict::kOk; }

bool ParseFrameHeaderQuiet(const uint8_t* bytes, size_t available, FrameInfo* out) {
  return available >= kFrameHeaderSize && ParseFrameHeaderQuiet(bytes, out);
}

FrameHeaderFields FieldsFromInfo(const FrameInfo& info) {
  FrameHeaderFields f;
  f.medium = info.medium;
  f.channel_index = info.channel_index;
  f.record_size_bytes = info.record_size_bytes;
  f.back_link_bytes = info.back_link_bytes;
  f.picture_type = info.picture_type;
  f.resolution = info.resolution;
  f.pal = info.pal;
  f.capture_time = info.capture_time;
  f.audio_codec = AudioCodecOf(info);
  f.audio_channel_flag = AudioChannelFlagOf(info);
  f.time_stamp = info.time_stamp;
  return f;
}

void BuildFrameHeader(uint8_t out[kFrameHeaderSize], const FrameHeaderFields& f) {
  const bool audio = f.medium == kMediumAudio;
  out[0] = 0x00;
  out[1] = 0x00;
  out[2] = 0x01;
  out[3] = static_cast<uint8_t>((audio ? kStreamIdAudio : kStreamIdVideo) | (f.channel_index & 0x0F));
  PutShortLength(out + 4, f.record_size_bytes);
  out[6] = 0x87;
  out[7] = 0xC1;
  out[8] = 0x17;
  PutTimeStamps(out, f.time_stamp);
  out[19] = 0x0F;
  out[20] = 0x8B;
  EncodeMarker22(f.back_link_bytes, out + 21);
  EncodeMarker22(f.record_size_bytes, out + 24);
  out[27] = static_cast<uint8_t>((f.picture_type & 0x03) | ((f.resolution & 0x03) << 2) | (f.pal ? 0x10 : 0x00));
  if (audio) {
    out[28] = f.audio_codec;
    out[29] = f.audio_channel_flag == 2 ? 2 : 1;
    out[30] = 0xFF;
    out[31] = 0xFF;
  } else {
    platform::PutU32BE(out + 28, f.capture_time);
  }
}

void BuildAudioFrameHeader(uint8_t out[kFrameHeaderSize], uint32_t data_length, uint32_t time_stamp,
                           int channels_flag) {
  std::memcpy(out, kTalkTemplate, kFrameHeaderSize);
  const uint64_t rest = uint64_t{data_length} + 26;
  platform::PutU16BE(out + 4, rest > 0xFFFF ? 0 : static_cast<uint16_t>(rest));
  PutTimeStamps(out, time_stamp);
  EncodeMarker22(data_length + kFrameHeaderSize, out + 24);
  out[27] = kPictureTypeKey;
  out[28] = kAudioCodecDefault;
  out[29] = channels_flag == 2 ? 2 : 1;
  out[30] = 0xFF;
  out[31] = 0xFF;
}

}  // namespace streaming
