// The 32-byte header in front of every media frame record: live units,
// playback units, backup file records and talk audio frames all share it.
//
//   0  3  start code 00 00 01
//   3  1  stream id: high nibble 0xE video / 0xC audio, low nibble channel
//   4  2  record size - 6 (0 when that exceeds 65535)
//   6  3  87 C1 17
//   9  5  time stamp, PTS layout (prefix 0x3)
//  14  5  time stamp, DTS layout (prefix 0x1)
//  19  2  0F 8B
//  21  3  back-link: record size of the previous frame of the same stream
//  24  3  record size (header + data), at most kMaxRecordSize
//  27  1  bits 0-1 picture type, 2-3 resolution, 4 PAL flag
//  28  4  video: capture time (seconds since 1970);
//         audio: codec code, channel flag (1 or 2), FF FF
//
// Back-link and record size are 22-bit "marker-coded" values (see
// EncodeMarker22). Multi-byte integers are big-endian.
#pragma once
#include <cstddef>
#include <cstdint>

namespace streaming {

inline constexpr size_t kFrameHeaderSize = 32;
inline constexpr uint32_t kMaxRecordSize = 262144;
inline constexpr uint32_t kMarker22Max = (1u << 22) - 1;

inline constexpr uint8_t kMediumVideo = 2;
inline constexpr uint8_t kMediumAudio = 3;

inline constexpr uint8_t kStreamIdVideo = 0xE0;
inline constexpr uint8_t kStreamIdAudio = 0xC0;

inline constexpr uint8_t kPictureTypeKey = 1;  // 0 never appears in a valid record

inline constexpr uint8_t kResolutionD1 = 0;
inline constexpr uint8_t kResolutionHalfD1 = 1;
inline constexpr uint8_t kResolutionCif = 2;

inline constexpr uint8_t kAudioCodecDefault = 0x11;

inline constexpr uint8_t kPtsPrefix = 0x3;
inline constexpr uint8_t kDtsPrefix = 0x1;

// A parsed header. For audio records capture_time holds bytes 28-31 as they
// are (codec code, channel flag, FF FF); see AudioCodecOf/AudioChannelFlagOf.
struct FrameInfo {
  uint8_t channel_index = 0;  // 0..15
  uint8_t medium = 0;         // kMediumVideo or kMediumAudio
  uint8_t picture_type = 0;   // 1 = key frame
  uint8_t resolution = 0;     // kResolutionD1 / HalfD1 / Cif
  uint8_t pal = 0;            // 1 PAL, 0 NTSC
  uint32_t capture_time = 0;  // seconds since 1970 (video)
  uint32_t time_stamp = 0;    // low 32 bits of the DTS field
  uint32_t record_size_bytes = 0;
  uint32_t back_link_bytes = 0;

  bool operator==(const FrameInfo&) const = default;
};

inline uint8_t AudioCodecOf(const FrameInfo& info) { return static_cast<uint8_t>(info.capture_time >> 24); }
inline uint8_t AudioChannelFlagOf(const FrameInfo& info) { return static_cast<uint8_t>(info.capture_time >> 16); }

// Everything BuildFrameHeader needs to write a complete header.
struct FrameHeaderFields {
  uint8_t medium = kMediumVideo;  // anything but kMediumAudio is written as video
  uint8_t channel_index = 0;      // only the low nibble is kept
  uint32_t record_size_bytes = kFrameHeaderSize;
  uint32_t back_link_bytes = 0;
  uint8_t picture_type = kPictureTypeKey;  // low 2 bits kept
  uint8_t resolution = kResolutionD1;      // low 2 bits kept
  uint8_t pal = 0;                         // non-zero = PAL
  uint32_t capture_time = 0;               // video only
  uint8_t audio_codec = kAudioCodecDefault;  // audio only
  uint8_t audio_channel_flag = 1;            // audio only: 2 is kept, anything else becomes 1
  uint32_t time_stamp = 0;
};

// The fields to rebuild the header a FrameInfo was parsed from. For audio,
// bytes 30-31 are always rewritten as FF FF and a channel flag other than 2
// becomes 1.
FrameHeaderFields FieldsFromInfo(const FrameInfo& info);

// 22-bit marker-coded value in three bytes:
//   byte0 = 0x80 | v[21:15], byte1 = v[14:11] << 4 | 0x08 | v[10:8], byte2 = v[7:0].
// Values above kMarker22Max are truncated to 22 bits.
void EncodeMarker22(uint32_t v, uint8_t out[3]);
uint32_t DecodeMarker22(const uint8_t in[3]);

// 32-bit time stamp in the 5-byte MPEG PTS/DTS layout; prefix_nibble is
// kPtsPrefix or kDtsPrefix. Bit 32 of the layout is always written as 0.
void EncodePts(uint32_t t, uint8_t prefix_nibble, uint8_t out[5]);
uint32_t DecodeTimeStamp(const uint8_t in[5]);

// Parses a header in place (no allocation). Rejects, with one console line on
// standard output: a stream id that is neither video nor audio, a record size
// above kMaxRecordSize or below kFrameHeaderSize, picture type 0. On failure
// *out may be partly filled.
bool ParseFrameHeader(const uint8_t* bytes, FrameInfo* out);
// As above; fewer than kFrameHeaderSize available bytes is rejected silently.
bool ParseFrameHeader(const uint8_t* bytes, size_t available, FrameInfo* out);

// The same rules without any console output, for decoders.
bool ParseFrameHeaderQuiet(const uint8_t* bytes, FrameInfo* out);
bool ParseFrameHeaderQuiet(const uint8_t* bytes, size_t available, FrameInfo* out);

// Writes a complete video or audio header. Bytes 4-5 hold record size - 6,
// or 0 when that does not fit in 16 bits.
void BuildFrameHeader(uint8_t out[kFrameHeaderSize], const FrameHeaderFields& fields);

// Header for an outgoing talk audio frame of data_length bytes: channel 0,
// codec 0x11, key picture type; channels_flag 2 is kept, anything else is 1.
// The back-link keeps the fixed value of the talk template.
void BuildAudioFrameHeader(uint8_t out[kFrameHeaderSize], uint32_t data_length, uint32_t time_stamp,
                           int channels_flag);

}  // namespace streaming
