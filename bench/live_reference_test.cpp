// The live reference does the client's decoding work: for every picture the
// client shows of a shadowed channel it decodes the next record of that
// channel's loop to the very picture the client's own decoder makes of it,
// and it does nothing for the channels it does not shadow.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "decode/h264_decoder.h"
#include "dvrsim/media_store.h"
#include "dvrsim/sim_config.h"
#include "live_reference.h"

namespace {

struct Seen {
  std::mutex lock;
  std::map<std::pair<int, int>, std::vector<std::vector<uint8_t>>> luma;  // (site, channel) -> pictures
  static void On(int site, int channel, const uint8_t* y, int pitch, int w, int h, void* user) {
    auto* seen = static_cast<Seen*>(user);
    std::vector<uint8_t> plane(static_cast<size_t>(w) * h);
    for (int row = 0; row < h; ++row) std::copy(y + row * pitch, y + row * pitch + w, plane.begin() + row * w);
    std::lock_guard<std::mutex> l(seen->lock);
    seen->luma[{site, channel}].push_back(std::move(plane));
  }
};

TEST(LiveReference, DecodesTheClientsRecordsToTheClientsPictures) {
  dvrsim::SimConfig config;
  std::string error;
  ASSERT_EQ(dvrsim::ParseOptions({"--platform", "164", "--channels", "4", "--resolution", "cif", "--camera-like",
                                  "--loop-frames", "10"},
                                 &config, &error),
            dvrsim::ParseOutcome::kRun)
      << error;
  dvrsim::MediaStore media(config);
  Seen seen;
  LiveReference::Options options;
  options.sites = 2;
  options.channels = 4;
  options.every = 3;  // site 0: channels 0 and 3; site 1: channel 2 (16 + 2 = 18)
  options.scale_width = 238;
  options.scale_height = 133;
  options.on_picture = &Seen::On;
  options.on_picture_user = &seen;
  LiveReference reference(media, options);
  ASSERT_TRUE(reference.error().empty()) << reference.error();
  // One loop and a half: the reference goes round the loop as the simulator does.
  constexpr int kPictures = 15;
  for (int i = 0; i < kPictures; ++i) {
    for (int site = 0; site < 2; ++site) {
      for (int c = 0; c < 4; ++c) reference.OnClientPicture(site, c);
    }
  }
  reference.Finish();
  EXPECT_EQ(reference.Pictures(), 3 * kPictures);
  EXPECT_GT(reference.CpuSeconds(), 0.0);
  EXPECT_EQ(seen.luma.size(), 3u);

  for (const auto& [who, pictures] : seen.luma) {
    SCOPED_TRACE(testing::Message() << "site " << who.first << " channel " << who.second);
    EXPECT_TRUE(reference.Shadows(who.first, who.second));
    ASSERT_EQ(pictures.size(), static_cast<size_t>(kPictures));
    // The client's decoder on the same records gives the same luma.
    CH264Decoder client;
    const mediagen::EncodedClip& clip = media.Video(who.second);
    for (int i = 0; i < kPictures; ++i) {
      const size_t r = static_cast<size_t>(i) % clip.frames.size();
      const DecodedPicture* p = client.Decode(clip.Record(r), clip.frames[r].record_size_bytes, 0);
      ASSERT_NE(p, nullptr) << "record " << i;
      ASSERT_EQ(static_cast<size_t>(p->width) * p->height, pictures[i].size());
      for (size_t k = 0; k < pictures[i].size(); ++k) {
        ASSERT_EQ(p->buffer[2 * k], pictures[i][k]) << "record " << i << " pixel " << k;
      }
    }
  }
}

}  // namespace
