#include "decode/mpeg4_decoder.h"

#include <xvid.h>

#include <cstring>
#include <mutex>
#include <new>

#include "decode/xvid_runtime.h"
#include "platform/notice.h"
#include "streaming/frame_header.h"

namespace decode_detail {

void EnsureXvidInitialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    xvid_gbl_init_t init;
    std::memset(&init, 0, sizeof init);
    init.version = XVID_VERSION;
    init.cpu_flags = 0;  // detect the processor
    xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr);
  });
}

}  // namespace decode_detail

namespace {

// MSB-first bit reader that reads zeros past the end.
class BitReader {
 public:
  BitReader(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  uint32_t Read(int bits) {
    uint32_t v = 0;
    for (int i = 0; i < bits; ++i, ++pos_) {
      const size_t byte = pos_ >> 3;
      const uint32_t bit = byte < n_ ? (d_[byte] >> (7 - (pos_ & 7))) & 1 : 0;
      v = (v << 1) | bit;
    }
    return v;
  }
  bool exhausted() const { return (pos_ >> 3) > n_; }

 private:
  const uint8_t* d_;
  size_t n_;
  size_t pos_ = 0;
};

// Picture size of a video object layer header (after its start code), as
// far as a rectangular layer declares one.
bool ParseVolSize(const uint8_t* d, size_t n, int* width, int* height) {
  BitReader bits(d, n);
  bits.Read(1);  // random_accessible_vol
  bits.Read(8);  // video_object_type_indication
  uint32_t verid = 1;
  if (bits.Read(1)) {  // is_object_layer_identifier
    verid = bits.Read(4);
    bits.Read(3);  // priority
  }
  if (bits.Read(4) == 15) bits.Read(16);  // extended pixel aspect ratio
  if (bits.Read(1)) {                     // vol_control_parameters
    bits.Read(3);                         // chroma_format, low_delay
    if (bits.Read(1)) bits.Read(79);      // vbv_parameters
  }
  const uint32_t shape = bits.Read(2);
  if (shape == 3 && verid != 1) bits.Read(4);
  bits.Read(1);  // marker
  const uint32_t resolution = bits.Read(16);
  bits.Read(1);  // marker
  if (bits.Read(1)) {  // fixed_vop_rate
    int increment_bits = 1;
    while ((1u << increment_bits) < resolution && increment_bits < 16) ++increment_bits;
    bits.Read(increment_bits);
  }
  if (shape != 0) return false;  // not rectangular: no size here
  bits.Read(1);
  *width = static_cast<int>(bits.Read(13));
  bits.Read(1);
  *height = static_cast<int>(bits.Read(13));
  return !bits.exhausted();
}

// The largest picture the display path shows (kPictureBufferBytes holds it
// in YUY2): a layer wider or taller cannot be shown, whatever its area.
constexpr int kMaxShownWidth = 720;
constexpr int kMaxShownHeight = 576;

// Sizes of the layer headers (00 00 01 20..2F) in a frame: false when one
// of them declares a picture wider or taller than the display path shows or
// larger than max_pixels, so that the decoder never sets itself up for a
// picture that could not be shown. Such shapes are no camera's, and XviD
// does not survive all of them (a layer of 8 x 4096 pixels makes it read
// outside its pictures). *found tells whether any size was read.
bool VolSizesFit(const uint8_t* d, size_t n, uint64_t max_pixels, bool* found) {
  *found = false;
  for (size_t i = 0; i + 4 < n; ++i) {
    if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1 || (d[i + 3] & 0xF0) != 0x20) continue;
    int w = 0, h = 0;
    if (!ParseVolSize(d + i + 4, n - i - 4, &w, &h)) continue;
    *found = true;
    if (w > kMaxShownWidth || h > kMaxShownHeight || uint64_t(w) * uint64_t(h) > max_pixels) return false;
  }
  return true;
}

constexpr size_t kBitstreamPaddingBytes = 64;
constexpr size_t kBitstreamCapacityBytes = streaming::kMaxRecordSize;
// While the picture size is unknown XviD is given the pitch of a 720-pixel row.
constexpr int kDefaultRowPixels = 720;

}  // namespace

CMpeg4Decoder::CMpeg4Decoder() : bitstream_(new (std::nothrow) uint8_t[kBitstreamCapacityBytes + kBitstreamPaddingBytes]) {
  decode_detail::EnsureXvidInitialised();
  xvid_dec_create_t create;
  std::memset(&create, 0, sizeof create);
  create.version = XVID_VERSION;
  create.width = 0;  // taken from the stream's VOL
  create.height = 0;
  if (xvid_decore(nullptr, XVID_DEC_CREATE, &create, nullptr) < 0) {
    platform::ShowNotice("xvid_decore(XVID_DEC_CREATE) fail..");
    if (create.handle) xvid_decore(create.handle, XVID_DEC_DESTROY, nullptr, nullptr);
    xvid_handle_ = nullptr;
  } else {
    xvid_handle_ = create.handle;
  }
}

CMpeg4Decoder::~CMpeg4Decoder() {
  if (xvid_handle_) xvid_decore(xvid_handle_, XVID_DEC_DESTROY, nullptr, nullptr);
}

DecodedPicture* CMpeg4Decoder::Decode(const uint8_t* frame, uint32_t length_bytes, int32_t /*reserved*/) {
  if (!xvid_handle_ || !bitstream_ || !frame) return nullptr;
  if (length_bytes < streaming::kFrameHeaderSize || length_bytes > kBitstreamCapacityBytes) return nullptr;
  std::memcpy(bitstream_.get(), frame, length_bytes);
  std::memset(bitstream_.get() + length_bytes, 0, kBitstreamPaddingBytes);

  const bool yuy2 = output_format_ == kOutputYuy2;
  const int bytes_per_pixel = yuy2 ? 2 : 4;

  // A layer larger than the picture buffer is never handed to XviD (which
  // would allocate and decode pictures of that size for nothing); neither
  // is the rest of that layer's stream, up to a layer that fits.
  bool found_vol = false;
  if (!VolSizesFit(frame, length_bytes, picture_.capacity_bytes / bytes_per_pixel, &found_vol)) {
    oversized_layer_ = true;
    return nullptr;
  }
  if (found_vol) oversized_layer_ = false;
  if (oversized_layer_) return nullptr;

  xvid_dec_frame_t xframe;
  std::memset(&xframe, 0, sizeof xframe);
  xframe.version = XVID_VERSION;
  xframe.general = XVID_LOWDELAY;
  xframe.bitstream = bitstream_.get();
  xframe.length = static_cast<int>(length_bytes);

  for (int call = 1; call <= kMaxCallsPerFrame; ++call) {
    // XviD writes a picture of the size its last VOL declared. Output goes
    // to the picture buffer only when that size is known and fits; until
    // then XviD decodes without writing anything.
    const bool fits = picture_.width > 0 && picture_.height > 0 &&
                      uint64_t(picture_.width) * uint64_t(picture_.height) * bytes_per_pixel <= picture_.capacity_bytes;
    if (fits) {
      xframe.output.csp = yuy2 ? XVID_CSP_YUY2 : XVID_CSP_BGRA;
      xframe.output.plane[0] = picture_.buffer;
      xframe.output.stride[0] = picture_.width * bytes_per_pixel;
    } else {
      xframe.output.csp = XVID_CSP_NULL;
      xframe.output.plane[0] = nullptr;
      xframe.output.stride[0] = kDefaultRowPixels * bytes_per_pixel;
    }

    xvid_dec_stats_t stats;
    std::memset(&stats, 0, sizeof stats);
    stats.version = XVID_VERSION;
    const int used = xvid_decore(xvid_handle_, XVID_DEC_DECODE, &xframe, &stats);
    if (stats.type == XVID_TYPE_VOL) {
      picture_.width = stats.data.vol.width;
      picture_.height = stats.data.vol.height;
    }
    if (used > 0) {
      xframe.bitstream = static_cast<uint8_t*>(xframe.bitstream) + used;
      xframe.length -= used;
    }
    if (stats.type > 0) {
      // A picture: returned when it landed in the buffer, and not when it
      // took the last permitted call.
      if (call == kMaxCallsPerFrame || !fits || picture_.width == -1) return nullptr;
      return &picture_;
    }
    if (xframe.length <= 0) break;  // a negative length would ask XviD to flush
  }
  return nullptr;
}
