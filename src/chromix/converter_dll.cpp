// The exported object and entry of libchromix. Only CreateConverterYH is
// visible outside the library; everything else is built with hidden
// visibility.
#include <new>

#include "chromix/chromix.h"
#include "chromix/converter.h"

namespace {

class CYuvRgbConverterDll final : public IYuvRgbConverter {
 public:
  int32_t Create(int32_t width, int32_t height, int32_t bytes_per_pixel) override {
    return converter_.Create(width, height, bytes_per_pixel);
  }
  int32_t FreeBuffers() override { return converter_.FreeBuffers(); }
  int32_t Release() override {
    delete this;
    return 1;
  }
  int32_t GetBuffer(uint8_t** buffer) override { return converter_.GetBuffer(buffer); }
  int32_t ToRgb565(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t pitch) override {
    return converter_.ToRgb565(width, height, planes, out, pitch);
  }
  int32_t ToRgb24(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t pitch) override {
    return converter_.ToRgb24(width, height, planes, out, pitch);
  }
  int32_t ToRgb32(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t pitch) override {
    return converter_.ToRgb32(width, height, planes, out, pitch);
  }
  int32_t ToYuy2(int32_t width, int32_t height, const YuvPlanes* planes, uint8_t** out, int32_t pitch) override {
    return converter_.ToYuy2(width, height, planes, out, pitch);
  }

 private:
  ~CYuvRgbConverterDll() = default;  // ends through Release
  CYuvRgbConverter converter_;
};

}  // namespace

extern "C" int32_t CreateConverterYH(IYuvRgbConverter** out) {
  if (out == nullptr) return 0;
  *out = nullptr;
  auto* object = new (std::nothrow) CYuvRgbConverterDll;
  if (object == nullptr) return 0;
  *out = object;
  return 1;
}
