// The shared library through its exported entry, as the decoder uses it, and
// the slot order of the object's operations called the way a C caller would:
// the function at each table slot with the object as first argument.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "chromix/chromix.h"
#include "chromix/converter.h"
#include "chromix_model.h"

namespace {

using chromix_test::Fmt;
using chromix_test::Picture;

TEST(ChromixExport, EntryComesFromTheSharedLibrary) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&CreateConverterYH), &info), 0);
  EXPECT_NE(std::strstr(info.dli_fname, "libchromix.so"), nullptr) << info.dli_fname;
  EXPECT_EQ(CreateConverterYH(nullptr), 0);
}

TEST(ChromixExport, DecoderCallingOrderGivesYuy2) {
  IYuvRgbConverter* conv = reinterpret_cast<IYuvRgbConverter*>(1);
  ASSERT_EQ(CreateConverterYH(&conv), 1);
  ASSERT_NE(conv, nullptr);
  const int w = 176, h = 144;
  ASSERT_EQ(conv->Create(w + 32, h + 32, 2), 1);
  const Picture pic(w, h, w + 32, 5);
  const YuvPlanes planes{pic.y.data(), pic.u.data(), pic.v.data()};
  uint8_t* out = nullptr;
  ASSERT_EQ(conv->ToYuy2(w, h, &planes, &out, w + 32), 1);
  const auto expected = chromix_test::Expected(Fmt::kYuy2, false, pic);
  EXPECT_EQ(std::memcmp(out, expected.data(), expected.size()), 0);
  EXPECT_EQ(conv->FreeBuffers(), 1);
  EXPECT_EQ(conv->ToYuy2(w, h, &planes, &out, w + 32), 0);
  EXPECT_EQ(conv->Release(), 1);
}

TEST(ChromixExport, SlotsAreInTheDocumentedOrder) {
  IYuvRgbConverter* conv = nullptr;
  ASSERT_EQ(CreateConverterYH(&conv), 1);
  void** table = *reinterpret_cast<void***>(conv);
  using CreateFn = int32_t (*)(void*, int32_t, int32_t, int32_t);
  using NoArgFn = int32_t (*)(void*);
  using GetBufferFn = int32_t (*)(void*, uint8_t**);
  using ConvertFn = int32_t (*)(void*, int32_t, int32_t, const YuvPlanes*, uint8_t**, int32_t);

  uint8_t* buffer = reinterpret_cast<uint8_t*>(1);
  EXPECT_EQ(reinterpret_cast<GetBufferFn>(table[3])(conv, &buffer), 0);  // before Create: null
  EXPECT_EQ(buffer, nullptr);
  ASSERT_EQ(reinterpret_cast<CreateFn>(table[0])(conv, 32, 3, 4), 1);  // room beyond every 32 x 2 picture
  ASSERT_EQ(reinterpret_cast<GetBufferFn>(table[3])(conv, &buffer), 1);

  // Each conversion slot recognised by the bytes it writes: grey Y = 128 at
  // the equations of the path the library picks for this processor.
  Picture pic(32, 2, 32, 0);
  pic.Fill(128, 128, 128);
  const YuvPlanes planes{pic.y.data(), pic.u.data(), pic.v.data()};
  uint8_t* out = nullptr;
  const int bpp[] = {2, 3, 4, 2};
  const Fmt fmts[] = {Fmt::kRgb565, Fmt::kRgb24, Fmt::kRgb32, Fmt::kYuy2};
  for (int slot = 4; slot <= 7; ++slot) {
    std::memset(buffer, 0xAA, 32 * 3 * 4);
    ASSERT_EQ(reinterpret_cast<ConvertFn>(table[slot])(conv, 32, 2, &planes, &out, 32), 1) << slot;
    EXPECT_EQ(out, buffer);
    const auto expected =
        chromix_test::Expected(fmts[slot - 4], chromix::DefaultPath() != chromix::Path::kPlain, pic);
    EXPECT_EQ(std::memcmp(out, expected.data(), expected.size()), 0) << "slot " << slot;
    EXPECT_EQ(out[32 * 2 * bpp[slot - 4]], 0xAA) << "slot " << slot << " wrote past its picture";
  }
  EXPECT_EQ(reinterpret_cast<NoArgFn>(table[1])(conv), 1);  // FreeBuffers
  EXPECT_EQ(reinterpret_cast<GetBufferFn>(table[3])(conv, &buffer), 0);
  EXPECT_EQ(reinterpret_cast<NoArgFn>(table[2])(conv), 1);  // Release
}

}  // namespace
