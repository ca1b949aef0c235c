// The live connection handler driven from byte buffers and a clock the test
// sets: admission by session id, stream slots, start by kind, the frame and
// audio pacing, masks and the scripted faults.
#include <gtest/gtest.h>

#include "dvrsim/framing.h"
#include "dvrsim/live_session.h"
#include "platform/bytes.h"

namespace {

struct Unit {
  int channel;
  uint16_t sequence;
  int count;
  int index;
};

struct LiveHarness {
  dvrsim::SimConfig config;
  dvrsim::SessionRegistry registry{8, 2};
  std::unique_ptr<dvrsim::MediaStore> media;
  std::unique_ptr<dvrsim::LiveSession> session;
  std::vector<std::vector<uint8_t>> writes;
  int64_t now = 5000;

  explicit LiveHarness(std::function<void(dvrsim::SimConfig&)> adjust = {}) {
    config.platform = 164;
    config.channels = 4;
    config.resolution = 3;  // QCIF keeps the encoding quick
    config.fps = 25;
    config.loop_frames = 5;
    if (adjust) adjust(config);
    media = std::make_unique<dvrsim::MediaStore>(config);
    Make();
  }
  void Make() {
    session = std::make_unique<dvrsim::LiveSession>(
        config, registry, *media, nullptr,
        [this](std::span<const uint8_t> b) {
          writes.emplace_back(b.begin(), b.end());
          return true;
        },
        dvrsim::LineSink{}, 7622);
  }
  bool Send(uint16_t code, std::vector<uint8_t> payload) {
    dvrsim::Bytes m = dvrsim::EncodeMessage(code, payload);
    return session->OnReceived(m.data(), m.size(), now);
  }
  // Every message in the writes so far: (code, payload).
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> Messages() {
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> out;
    for (const auto& w : writes) {
      size_t pos = 0;
      while (pos + 6 <= w.size()) {
        const uint16_t code = platform::GetU16BE(&w[pos + 2]);
        const uint16_t total = platform::GetU16BE(&w[pos + 4]);
        if (platform::GetU16BE(&w[pos]) != 0x2818 || total < 6 || pos + total > w.size()) {
          out.push_back({0, {}});  // not a message
          break;
        }
        out.push_back({code, std::vector<uint8_t>(w.begin() + pos + 6, w.begin() + pos + total)});
        pos += total;
      }
    }
    return out;
  }
  std::vector<Unit> Fragments() {
    std::vector<Unit> out;
    for (const auto& [code, p] : Messages()) {
      if (code != 0x4104 || p.size() < 24) continue;
      out.push_back({platform::GetU16BE(p.data()), platform::GetU16BE(&p[4]), p[20], p[21]});
    }
    return out;
  }
};

std::vector<uint8_t> U16s(std::initializer_list<uint16_t> v) {
  std::vector<uint8_t> out;
  for (uint16_t x : v) {
    out.push_back(static_cast<uint8_t>(x >> 8));
    out.push_back(static_cast<uint8_t>(x));
  }
  return out;
}

TEST(DvrsimLive, AdmitsOnlyLoggedInSessionsWithinTheStreamBound) {
  LiveHarness h;
  // An id nobody logged in with: 0xF001 and the connection closes.
  EXPECT_FALSE(h.Send(0x1021, U16s({0x0101})));
  EXPECT_EQ(h.Messages().back(), (std::pair<uint16_t, std::vector<uint8_t>>{0x1022, U16s({0xF001})}));

  const uint16_t id = *h.registry.Acquire(false);
  h.writes.clear();
  h.Make();
  EXPECT_TRUE(h.Send(0x1021, U16s({id})));
  EXPECT_EQ(h.Messages().back().second, U16s({1}));
  auto second = std::make_unique<dvrsim::LiveSession>(h.config, h.registry, *h.media, nullptr,
                                                      [](std::span<const uint8_t>) { return true; },
                                                      dvrsim::LineSink{}, 7622);
  dvrsim::Bytes open = dvrsim::EncodeMessage(0x1021, U16s({id}));
  EXPECT_TRUE(second->OnReceived(open.data(), open.size(), h.now));
  // A third stream is beyond the bound of two.
  h.writes.clear();
  std::vector<uint8_t> answer;
  dvrsim::LiveSession third(h.config, h.registry, *h.media, nullptr,
                            [&](std::span<const uint8_t> b) {
                              answer.assign(b.begin(), b.end());
                              return true;
                            },
                            dvrsim::LineSink{}, 7622);
  EXPECT_FALSE(third.OnReceived(open.data(), open.size(), h.now));
  EXPECT_EQ(platform::GetU16BE(&answer[6]), 0xF002);
  // A slot comes back when a stream ends.
  second.reset();
  EXPECT_TRUE(h.registry.AcquireStream());
}

TEST(DvrsimLive, SendsItsMaskAtTheFrameRateAndFollowsMaskChanges) {
  LiveHarness h;
  const uint16_t id = *h.registry.Acquire(false);
  ASSERT_TRUE(h.Send(0x1021, U16s({id})));
  ASSERT_TRUE(h.Send(0x4100, U16s({0x0005, 1})));  // channels 1 and 3, video
  h.writes.clear();
  // One second: 25 frames of each of the two channels, nothing else.
  for (int step = 0; step <= 1000; step += 10) {
    h.now = 5000 + step;
    ASSERT_TRUE(h.session->OnTimer(h.now));
  }
  int per_channel[4] = {};
  for (const Unit& u : h.Fragments()) {
    if (u.index == u.count - 1) ++per_channel[u.channel];
  }
  EXPECT_EQ(per_channel[0], 26);  // ticks at 0, 40, ..., 1000 ms
  EXPECT_EQ(per_channel[2], 26);
  EXPECT_EQ(per_channel[1] + per_channel[3], 0);

  // Kind 2 would carry only audio; a mask change reaches the next tick.
  ASSERT_TRUE(h.Send(0x4106, U16s({0x0002})));
  h.writes.clear();
  h.now += 40;
  ASSERT_TRUE(h.session->OnTimer(h.now));
  const auto units = h.Fragments();
  ASSERT_FALSE(units.empty());
  for (const Unit& u : units) EXPECT_EQ(u.channel, 1);
  EXPECT_EQ(units.front().index, 0);  // a new channel starts at its key picture
}

TEST(DvrsimLive, DuplicateVideoPutsTheMasksVideoOnTheSecondaryStreamToo) {
  for (bool duplicate : {false, true}) {
    LiveHarness h([&](dvrsim::SimConfig& c) { c.duplicate_video = duplicate; });
    const uint16_t id = *h.registry.Acquire(false);
    ASSERT_TRUE(h.Send(0x1021, U16s({id})));
    ASSERT_TRUE(h.Send(0x4100, U16s({0x0002, 2})));
    h.writes.clear();
    h.now += 200;
    ASSERT_TRUE(h.session->OnTimer(h.now));
    // Stream ids of the units' frame headers, by medium.
    int video = 0, audio = 0;
    for (const auto& [code, p] : h.Messages()) {
      if (code != 0x4104 || p.size() < 24 + 4 || p[21] != 0) continue;
      EXPECT_EQ(p[24 + 3] & 0x0F, 1);
      ((p[24 + 3] & 0xF0) == 0xE0 ? video : audio)++;
    }
    EXPECT_GT(audio, 0) << duplicate;
    EXPECT_EQ(video > 0, duplicate);
  }
}

TEST(DvrsimLive, ScriptedFaults) {
  LiveHarness h([](dvrsim::SimConfig& c) {
    c.platform = 161;
    c.resolution = 0;  // D1 MPEG-4: a key picture takes several fragments
    std::string error;
    ASSERT_TRUE(dvrsim::ParseScenario("0.1 live shuffle\n0.2 live garbage\n0.3 live stall 0.5\n1.0 live close\n",
                                      "s", &c.scenario, &error))
        << error;
  });
  const uint16_t id = *h.registry.Acquire(false);
  ASSERT_TRUE(h.Send(0x1021, U16s({id})));
  ASSERT_TRUE(h.Send(0x4100, U16s({0x0001, 1})));
  h.writes.clear();
  h.now += 100;
  ASSERT_TRUE(h.session->OnTimer(h.now));
  // The key picture right after the shuffle comes last fragment first.
  const auto units = h.Fragments();
  ASSERT_FALSE(units.empty());
  ASSERT_GT(units.front().count, 2);
  for (int k = 0; k < units.front().count; ++k) {
    EXPECT_EQ(units[static_cast<size_t>(k)].index, units.front().count - 1 - k);
  }
  h.writes.clear();
  h.now += 100;
  ASSERT_TRUE(h.session->OnTimer(h.now));
  const auto messages = h.Messages();
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const auto& m) { return m.first == 0; }));
  h.now += 100;
  ASSERT_TRUE(h.session->OnTimer(h.now));
  h.writes.clear();
  h.now += 400;  // inside the stall
  ASSERT_TRUE(h.session->OnTimer(h.now));
  EXPECT_TRUE(h.writes.empty());
  h.now += 200;  // after it
  ASSERT_TRUE(h.session->OnTimer(h.now));
  EXPECT_FALSE(h.writes.empty());
  h.now += 300;
  EXPECT_FALSE(h.session->OnTimer(h.now));  // closed
}

}  // namespace
