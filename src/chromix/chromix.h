// The public interface of libchromix, the colour converter library: planar
// YUV 4:2:0 pictures (Y, U = Cb, V = Cr; chroma at half width and half
// height) into packed RGB 5-6-5, BGR 24, BGRX 32 or YUY2.
//
// CreateConverterYH hands out a converter object reached through the
// virtual operations below, in this slot order. Each converter owns one
// 16-byte aligned output buffer made by Create; every conversion writes into
// it and stores its address through out_buffer. Release destroys the object
// (there is no public destructor). All operations return 1 on success; a
// conversion returns 0 and writes nothing when no buffer exists or the
// buffer is too small for width x height x bytes per pixel.
//
// Geometry: RGB output is bottom-up (output row 0 from the last source row),
// YUY2 top-down; output rows are width x bytes per pixel apart. Rows are
// converted in pairs sharing one chroma row, so an odd height leaves the row
// of its last source row as it was. Pixel x takes chroma sample x / 2 of its
// row: a chroma row is read for (width + 1) / 2 samples, and the last pixel of
// an odd width uses the last of them (in YUY2 it carries that U sample only).
// A chroma row never reaches past the chroma pitch: when the luma pitch
// equals an odd width, rows hold (width - 1) / 2 samples and the last pixel
// takes the last of those. So the planes need only cover the picture: Y
// pitch x (height - 1) + width bytes, U and V chroma pitch x (height / 2 - 1)
// plus one row's samples. The luma pitch must be at least the width. Create
// accepts at most 256 MiB.
#pragma once
#include <cstdint>

// The planes argument: three plane pointers in the order Y, U, V. The luma
// pitch is given to each conversion; the chroma pitch is luma pitch / 2.
struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
};

class IYuvRgbConverter {
 public:
  virtual int32_t Create(int32_t width, int32_t height, int32_t bytes_per_pixel) = 0;  // slot 0
  virtual int32_t FreeBuffers() = 0;                                                   // slot 1
  virtual int32_t Release() = 0;                                                       // slot 2
  virtual int32_t GetBuffer(uint8_t** buffer) = 0;                                     // slot 3
  virtual int32_t ToRgb565(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out_buffer,
                           int32_t luma_pitch) = 0;                                    // slot 4
  virtual int32_t ToRgb24(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out_buffer,
                          int32_t luma_pitch) = 0;                                     // slot 5
  virtual int32_t ToRgb32(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out_buffer,
                          int32_t luma_pitch) = 0;                                     // slot 6
  virtual int32_t ToYuy2(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out_buffer,
                         int32_t luma_pitch) = 0;                                      // slot 7

 protected:
  ~IYuvRgbConverter() = default;  // objects end with Release
};

extern "C" {
// Stores a new converter in *out and returns 1; stores null and returns 0
// when it cannot be made.
__attribute__((visibility("default"))) int32_t CreateConverterYH(IYuvRgbConverter** out);
}
