// Inside libchromix: processor detection, the converter that owns the output
// buffer, and the three conversion paths. The shared library wraps
// CYuvRgbConverter in the exported object; tests and benchmarks link the
// static chromix_core directly to reach a chosen path.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "chromix/chromix.h"

// The SIMD paths exist on x86 processors only, and not at all in a portable
// build (CHROMIX_PORTABLE, from the TAVREL_CHROMIX_PORTABLE option), which
// compiles the plain path alone and detects no processor features.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(CHROMIX_PORTABLE)
#define CHROMIX_X86_PATHS 1
#else
#define CHROMIX_X86_PATHS 0
#endif

// Process-wide processor flags, each 0 or 1. avx2 also requires that the
// operating system saves the 256-bit registers. Without the x86 paths only
// `detected` is set.
struct CpuFlags {
  int detected = 0;
  int mmx = 0;
  int sse = 0;
  int sse2 = 0;
  int ssse3 = 0;
  int mmx_ext = 0;
  int amd_3dnow = 0;
  int amd_3dnow_ext = 0;
  int avx2 = 0;
};

// Base of the converter: its construction runs the processor detection once
// per process.
class CMMXSupport {
 public:
  CMMXSupport();
  virtual ~CMMXSupport() = default;
  static const CpuFlags& Flags();
};

namespace chromix {

// Conversion paths. kPlain follows the full-range JFIF equations; the others
// follow the studio-range 16-bit lane equations and give identical output to
// each other. kSsse3 is kSse2 with byte shuffles for the 24-bit packing.
enum class Path { kPlain, kSse2, kSsse3, kAvx2 };

bool PathSupported(Path path);
Path DefaultPath();  // the fastest path this processor supports

// Largest buffer Create accepts (bytes, before the 16 bytes of slack).
inline constexpr int64_t kMaxBufferBytes = int64_t{256} << 20;

// Coefficients of the lane equations, in 16-bit fixed point.
struct LaneCoeffs {
  int16_t ky, kr, kgu, kgv, kb;
};
inline constexpr LaneCoeffs kCoeffsA = {9576, 13123, -3218, -6686, 16591};  // ToRgb24, ToRgb565
inline constexpr LaneCoeffs kCoeffsB = {9535, 13074, -3203, -6660, 16531};  // ToRgb32

enum class Format { kRgb565, kRgb24, kRgb32, kYuy2 };

// One conversion, already checked: `pairs` source row pairs of `width`
// pixels. Source row s goes to out + s * out_pitch (out_pitch is negative for
// the bottom-up RGB formats). Pixel x of a row uses chroma sample
// min(x / 2, chroma_width - 1): a chroma row is read for chroma_width
// samples and never beyond.
struct Job {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  ptrdiff_t luma_pitch;
  ptrdiff_t chroma_pitch;
  uint8_t* out;
  ptrdiff_t out_pitch;
  int width;
  int pairs;
  int chroma_width;  // ChromaWidth(width, chroma_pitch)
};

// Chroma samples a row of `width` pixels reads: (width + 1) / 2, but no more
// than the chroma pitch, so that a row never reaches into the next one (or,
// for the last row, past the plane). They differ only when the luma pitch
// equals an odd width; the last pixel then reuses its row's last sample. A
// chroma pitch of 0 (luma pitch 1) still has the one sample all rows share.
inline int ChromaWidth(int width, ptrdiff_t chroma_pitch) {
  return static_cast<int>(std::min<ptrdiff_t>((ptrdiff_t{width} + 1) / 2, std::max<ptrdiff_t>(chroma_pitch, 1)));
}

void ConvertPlain(Format format, const Job& job);
void ConvertSse2(Format format, const Job& job);
void ConvertSsse3(Format format, const Job& job);
void ConvertAvx2(Format format, const Job& job);

// Scalar form of the lane equations (for YUY2: the plain copy), used for the
// pixels of a row pair from x_begin on that do not fill a whole vector step.
void LanePixelRows(Format format, const Job& job, int row_pair, int x_begin);

}  // namespace chromix

// Owns the 16-byte aligned output buffer and remembers its size. Every
// conversion checks its arguments against that buffer: before Create, after
// FreeBuffers or into a buffer smaller than width x height x bytes per pixel
// it writes nothing and returns 0.
class CYuvRgbConverter : public CMMXSupport {
 public:
  CYuvRgbConverter();
  ~CYuvRgbConverter() override;
  CYuvRgbConverter(const CYuvRgbConverter&) = delete;
  CYuvRgbConverter& operator=(const CYuvRgbConverter&) = delete;

  int32_t Create(int32_t width, int32_t height, int32_t bytes_per_pixel);
  int32_t FreeBuffers();
  int32_t GetBuffer(uint8_t** buffer) const;

  int32_t ToRgb565(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t luma_pitch);
  int32_t ToRgb24(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t luma_pitch);
  int32_t ToRgb32(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t luma_pitch);
  int32_t ToYuy2(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t luma_pitch);

  // Chooses the path for later conversions; an unsupported path is refused
  // (returns false, the path stays).
  bool SetPath(chromix::Path path);
  chromix::Path path() const { return path_; }
  size_t buffer_size() const { return size_; }

 private:
  int32_t Convert(chromix::Format format, int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out,
                  int32_t luma_pitch);

  uint8_t* buffer_ = nullptr;
  size_t size_ = 0;  // width x height x bytes per pixel of the last Create
  chromix::Path path_;
};
