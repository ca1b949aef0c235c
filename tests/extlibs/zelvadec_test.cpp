// libzelvadec through its exported entry point, as a client uses it.
#include "zelvadec/zelvadec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mediagen/mediagen.h"
#include "mediagen/reference.h"

#ifndef ZELVADEC_PATH
#error "ZELVADEC_PATH must name the built library"
#endif

namespace {

using mediagen::EncodedClip;
using mediagen_test::Psnr;

EncodedClip Generate(mediagen::PictureSize size, bool pal, int frames, int slices) {
  mediagen::ClipRecipe recipe;
  recipe.platform_code = 162;
  recipe.size = size;
  recipe.pal = pal;
  recipe.frame_count = frames;
  recipe.gop = frames;
  recipe.bitrate_bps = 1'500'000;
  recipe.h264_slices = slices;
  recipe.keep_source = true;
  EncodedClip clip = mediagen::GenerateClip(recipe);
  EXPECT_TRUE(clip.ok()) << clip.error;
  return clip;
}

// The payload as the client hands it over: record offset 80 onwards.
const uint8_t* Payload(const EncodedClip& clip, size_t i) { return clip.Record(i) + 80; }
int32_t PayloadBytes(const EncodedClip& clip, size_t i) {
  return static_cast<int32_t>(clip.frames[i].record_size_bytes - 80);
}

// Units cut at start codes; the first one keeps the payload prefix.
std::vector<std::pair<const uint8_t*, int32_t>> Units(const uint8_t* p, int32_t n) {
  std::vector<size_t> starts{0};
  for (int32_t i = static_cast<int32_t>(kZvPrefixBytes) + 3; i + 2 < n; ++i) {
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) starts.push_back(p[i - 1] == 0 ? i - 1 : i);
  }
  std::vector<std::pair<const uint8_t*, int32_t>> units;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t end = k + 1 < starts.size() ? starts[k + 1] : static_cast<size_t>(n);
    units.emplace_back(p + starts[k], static_cast<int32_t>(end - starts[k]));
  }
  return units;
}

struct Decoder {
  IH264DecoderDll* dec = nullptr;
  Decoder() { EXPECT_EQ(CreateVDecoder(&dec), 1); }
  ~Decoder() {
    if (dec) {
      EXPECT_EQ(dec->Release(), 1);
    }
  }
  ZvOpenInfo info{};
  int32_t Open(const uint8_t* p, int32_t n) {
    std::memset(&info, 0, sizeof info);
    info.size_bytes = sizeof info;
    info.flags = kZvOpenUnitInput;
    return dec->Open(p, n, &info);
  }
};

TEST(ZelvadecLibrary, ExportsOnlyCreateVDecoder) {
  FILE* nm = popen("nm -D --defined-only " ZELVADEC_PATH, "r");
  ASSERT_NE(nm, nullptr);
  std::vector<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, nm)) {
    std::string s(line);
    const size_t space = s.find_last_of(' ');
    names.push_back(s.substr(space + 1, s.find_first_of("\r\n") - space - 1));
  }
  pclose(nm);
  EXPECT_EQ(names, std::vector<std::string>{"CreateVDecoder"});
  IH264DecoderDll* none = nullptr;
  EXPECT_EQ(CreateVDecoder(nullptr), 0);
  ASSERT_EQ(CreateVDecoder(&none), 1);
  EXPECT_NE(none, nullptr);
  none->Release();
}

// Open reads the size from the key picture (after cropping: 120 and 240
// lines are not whole macroblock rows) and checks record, flag and marker.
TEST(ZelvadecLibrary, OpenReportsTheCodedSizeAndChecksItsInput) {
  for (auto [size, pal] : {std::pair{mediagen::PictureSize::kQcif, false}, std::pair{mediagen::PictureSize::kCif, false},
                           std::pair{mediagen::PictureSize::kD1, true}}) {
    const EncodedClip clip = Generate(size, pal, 1, 1);
    Decoder d;
    ASSERT_EQ(d.Open(Payload(clip, 0), PayloadBytes(clip, 0)), 1);
    EXPECT_EQ(d.info.coded_width, clip.width);
    EXPECT_EQ(d.info.coded_height, clip.height);
  }

  const EncodedClip clip = Generate(mediagen::PictureSize::kCif, false, 1, 1);
  std::vector<uint8_t> payload(Payload(clip, 0), Payload(clip, 0) + PayloadBytes(clip, 0));
  Decoder d;
  ZvOpenInfo info{};
  info.size_bytes = 36;
  info.flags = kZvOpenUnitInput;
  EXPECT_EQ(d.dec->Open(payload.data(), static_cast<int32_t>(payload.size()), &info), 0);
  info.size_bytes = sizeof info;
  info.flags = 0;
  EXPECT_EQ(d.dec->Open(payload.data(), static_cast<int32_t>(payload.size()), &info), 0);
  EXPECT_EQ(d.dec->Open(payload.data(), static_cast<int32_t>(payload.size()), nullptr), 0);
  payload[kZvMarkerOffset + 31] ^= 1;
  EXPECT_EQ(d.Open(payload.data(), static_cast<int32_t>(payload.size())), 0);
  EXPECT_EQ(d.Open(payload.data(), static_cast<int32_t>(kZvPrefixBytes) - 1), 0);
  // Marker right but no picture behind it.
  payload[kZvMarkerOffset + 31] ^= 1;
  EXPECT_EQ(d.Open(payload.data(), static_cast<int32_t>(kZvPrefixBytes)), 0);
}

// Unit by unit: a picture appears exactly on the last slice of each
// picture, in padded planes close to the source; a prefixed unit needs the
// marker, a unit before Open is refused.
TEST(ZelvadecLibrary, DecodesUnitByUnitIntoPaddedPlanes) {
  const EncodedClip clip = Generate(mediagen::PictureSize::kCif, true, 4, 3);
  Decoder d;
  ZvDecodeIo io{Payload(clip, 0), PayloadBytes(clip, 0), nullptr, nullptr, nullptr};
  EXPECT_EQ(d.dec->Decode(&io), 0);
  ASSERT_EQ(d.Open(Payload(clip, 0), PayloadBytes(clip, 0)), 1);

  const int w = clip.width, h = clip.height, pitch = w + 32;
  for (size_t i = 0; i < clip.frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const auto units = Units(Payload(clip, i), PayloadBytes(clip, i));
    ASSERT_GE(units.size(), 3u);  // three slices at least
    for (size_t k = 0; k < units.size(); ++k) {
      ZvDecodeIo unit{units[k].first, units[k].second, nullptr, nullptr, nullptr};
      ASSERT_EQ(d.dec->Decode(&unit), 1);
      if (k + 1 < units.size()) {
        EXPECT_EQ(unit.y, nullptr) << "unit " << k;
        continue;
      }
      ASSERT_NE(unit.y, nullptr);
      EXPECT_EQ(unit.v - unit.u, static_cast<ptrdiff_t>(pitch / 2) * (h / 2));
      const uint8_t* src = clip.SourceLuma(i);
      EXPECT_GT(Psnr(unit.y, pitch, src, w, w, h), 30.0);
      EXPECT_GT(Psnr(unit.u, pitch / 2, src + w * h, w / 2, w / 2, h / 2), 30.0);
      EXPECT_GT(Psnr(unit.v, pitch / 2, src + w * h * 5 / 4, w / 2, w / 2, h / 2), 30.0);
    }
  }

  const auto units = Units(Payload(clip, 0), PayloadBytes(clip, 0));
  std::vector<uint8_t> first(units[0].first, units[0].first + units[0].second);
  first[kZvMarkerOffset] = 'z';
  ZvDecodeIo bad{first.data(), static_cast<int32_t>(first.size()), nullptr, nullptr, nullptr};
  EXPECT_EQ(d.dec->Decode(&bad), 0);
  EXPECT_EQ(bad.y, nullptr);
}

}  // namespace
