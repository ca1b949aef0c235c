// The media generator: synthetic moving pictures per channel, encoded with
// libavcodec and wrapped in frame records exactly as a DVR of a given
// platform code sends them. Tests, benchmarks and the simulator use it for
// real encoded video; nothing recorded is ever checked in.
//
// A picture shows a colour field chosen by the channel, the channel number
// drawn large, a vertical bar that moves a little every frame, the capture
// clock (HH:MM:SS) and a frame counter. The camera-like mode adds what makes
// DVR streams expensive to decode: a textured background that pans, objects
// moving at different speeds and sensor noise on every pixel.
//
// Record layout by platform code:
//   160, 161  header + MPEG-4 Visual elementary stream (every key frame
//             starts with VOS, VO and VOL headers, then the VOP)
//   162       header + 48-byte frame descriptor + payload in the layout of
//             libzelvadec (see extlibs/zelvadec/zelvadec.h): 20 reserved
//             bytes, the 32-byte marker block, then H.264 Annex-B units
//   163, 164  header + H.264 Annex-B units (SPS and PPS before each IDR)
// Time stamps count in the platform's unit: 1/90000 s for 160, 1 us for
// 164, 10 us for every other code.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mediagen {

enum class Codec { kMpeg4, kH264 };

// Picture sizes DVRs send. kQcif is the small size some models offer; its
// header resolution code is 3.
enum class PictureSize { kD1, kHalfD1, kCif, kQcif };

struct Dimensions {
  int width = 0;
  int height = 0;
};

// 720 x 480/576, 720 x 240/288, 352 x 240/288, 176 x 120/144.
Dimensions DimensionsOf(PictureSize size, bool pal);
// Header resolution code: 0 D1, 1 half D1, 2 CIF, 3 QCIF.
uint8_t ResolutionCodeOf(PictureSize size);
// MPEG-4 for 160 and 161 (and any unknown code), H.264 for 162-164.
Codec CodecForPlatform(int platform_code);
// Time-stamp ticks per second of a platform code.
uint32_t StampTicksPerSecond(int platform_code);
// Bytes in front of the elementary stream in a record of this platform:
// 32, or 32 + 48 + 52 for 162.
size_t DataOffsetForPlatform(int platform_code);

struct ClipRecipe {
  int platform_code = 163;
  PictureSize size = PictureSize::kCif;
  bool pal = false;
  // Non-zero: the picture has this size instead (even numbers); the header
  // keeps the resolution code of size. For streams no DVR should send.
  Dimensions custom_size;
  int channel_index = 0;   // 0..15; the picture shows channel_index + 1
  int frame_count = 30;
  int gop = 15;            // a key picture every gop frames, the first one included
  int bitrate_bps = 1'000'000;
  int frame_rate = 0;      // frames per second; 0 = 30 for NTSC, 25 for PAL
  uint32_t start_capture_time = 1'700'000'000;  // seconds since 1970 of frame 0
  uint32_t start_time_stamp = 0;                // time stamp of frame 0
  int first_picture_index = 0;  // content phase: frame i shows picture first_picture_index + i
  bool camera_like = false;     // texture, pan, moving objects, sensor noise
  bool interlace_artifact = false;  // a box whose odd lines are shifted, like a moving object in a field-coded camera
  int h264_slices = 1;          // slices per H.264 picture
  const char* h264_preset = "veryfast";
  uint32_t noise_seed = 1;
  bool keep_source = false;     // keep every rendered picture (I420) in the clip
};

// The picture size a recipe produces: custom_size when set, else size's.
Dimensions PictureDimensions(const ClipRecipe& recipe);

struct ClipFrame {
  size_t record_offset = 0;     // into EncodedClip::bytes
  size_t record_size_bytes = 0;
  size_t data_offset = 0;       // elementary stream start, relative to the record
  size_t data_size_bytes = 0;
  bool key = false;
  uint32_t capture_time = 0;
  uint32_t time_stamp = 0;
};

struct EncodedClip {
  std::string error;  // empty when the clip was made
  Codec codec = Codec::kH264;
  int platform_code = 0;
  int width = 0;
  int height = 0;
  uint8_t resolution_code = 0;
  bool pal = false;
  std::vector<uint8_t> bytes;     // every record, back to back
  std::vector<ClipFrame> frames;  // in stream order
  std::vector<uint8_t> source;    // keep_source: frame i at i * SourceFrameBytes(), I420

  bool ok() const { return error.empty(); }
  const uint8_t* Record(size_t i) const { return bytes.data() + frames[i].record_offset; }
  const uint8_t* Data(size_t i) const { return Record(i) + frames[i].data_offset; }
  size_t SourceFrameBytes() const { return static_cast<size_t>(width) * height * 3 / 2; }
  const uint8_t* SourceLuma(size_t i) const { return source.data() + i * SourceFrameBytes(); }
};

// Renders and encodes a clip. Deterministic for a given recipe.
EncodedClip GenerateClip(const ClipRecipe& recipe);

// A planar 4:2:0 picture: plane pointers and pitches.
struct PlanarPicture {
  uint8_t* y = nullptr;
  uint8_t* u = nullptr;
  uint8_t* v = nullptr;
  int y_pitch = 0;
  int uv_pitch = 0;
};

// Draws picture number picture_index of the recipe's channel. Camera-like
// pictures depend on state built once per clip, so they come only from
// GenerateClip; this draws the plain kind.
void RenderPicture(const ClipRecipe& recipe, int picture_index, uint32_t capture_time, const PlanarPicture& out);

// Record header fields of one video frame.
struct RecordFields {
  int platform_code = 163;
  uint8_t channel_index = 0;
  bool key = true;
  uint8_t resolution_code = 2;
  bool pal = false;
  uint32_t capture_time = 0;
  uint32_t time_stamp = 0;
  uint32_t back_link_bytes = 0;
  uint32_t sequence = 0;  // 162 only: written into the frame descriptor
  uint16_t width = 0;     // 162 only: written into the frame descriptor
  uint16_t height = 0;
};

// Appends one frame record wrapping an elementary-stream frame (MPEG-4
// data, or H.264 Annex-B units) in the platform's layout. Returns the
// record size, or 0 when it would exceed the largest record (nothing is
// appended then).
size_t AppendFrameRecord(std::vector<uint8_t>* out, const RecordFields& fields, const uint8_t* data,
                         size_t size_bytes);

// Rewrites capture time, time stamp and back-link of a record in place,
// keeping every other header field: how a pre-encoded loop is replayed.
void RestampRecord(uint8_t* record, uint32_t capture_time, uint32_t time_stamp, uint32_t back_link_bytes);

}  // namespace mediagen
