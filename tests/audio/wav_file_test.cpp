#include "audio/wav_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void Put32(std::vector<uint8_t>* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void Tag(std::vector<uint8_t>* b, const char* tag) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<uint8_t>(tag[i]));
}

// A WAV file with the given format, optional chunk before "fmt " and data.
std::vector<uint8_t> Wav(uint32_t rate, uint32_t channels, const std::vector<uint8_t>& before,
                         const std::vector<uint8_t>& data, uint32_t data_size_field) {
  std::vector<uint8_t> b;
  Tag(&b, "RIFF");
  Put32(&b, 0);
  Tag(&b, "WAVE");
  b.insert(b.end(), before.begin(), before.end());
  Tag(&b, "fmt ");
  Put32(&b, 16);
  Put16(&b, 1);
  Put16(&b, channels);
  Put32(&b, rate);
  Put32(&b, rate * channels * 2);
  Put16(&b, channels * 2);
  Put16(&b, 16);
  Tag(&b, "data");
  Put32(&b, data_size_field);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(WavFile, ReadsSamplesAfterAnOddSizedChunkAndRefusesOtherFormats) {
  // An odd-sized chunk is followed by a pad byte before the next chunk.
  std::vector<uint8_t> list;
  Tag(&list, "LIST");
  Put32(&list, 3);
  list.insert(list.end(), {'a', 'b', 'c', 0});
  const std::vector<uint8_t> data{0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80};
  std::vector<int16_t> samples;
  std::string why;
  const auto good = Wav(8000, 1, list, data, 6);
  ASSERT_TRUE(ParseWav(good.data(), good.size(), &samples, &why)) << why;
  EXPECT_EQ(samples, (std::vector<int16_t>{1, 32767, -32768}));

  for (const auto& bad : {Wav(16000, 1, {}, data, 6), Wav(8000, 2, {}, data, 6)}) {
    EXPECT_FALSE(ParseWav(bad.data(), bad.size(), &samples, &why));
    EXPECT_NE(why.find("8,000 Hz"), std::string::npos);
  }
}

TEST(WavFile, ADataSizeBeyondTheFileIsRefusedNotRead) {
  const std::vector<uint8_t> data{1, 0, 2, 0};
  const auto lying = Wav(8000, 1, {}, data, 0xFFFFFFF0u);
  std::vector<int16_t> samples;
  std::string why;
  EXPECT_FALSE(ParseWav(lying.data(), lying.size(), &samples, &why));
  EXPECT_TRUE(samples.empty());
  const uint8_t text[] = "not a wav";
  EXPECT_FALSE(ParseWav(text, sizeof text, &samples, &why));
  EXPECT_EQ(why, "not a WAV file");
}

}  // namespace
