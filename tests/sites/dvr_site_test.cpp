// The site engine without a DVR: its live frame consumer fed with generated
// frame records, its answers driven through the control session's dispatch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "audio/fake_audio_device.h"
#include "audio/talk_packet.h"
#include "audio/wave_out_player.h"
#include "decode/audio_decoder.h"
#include "decode/video_decoder.h"
#include "dvrsim/audio_media.h"
#include "dvrsim/scenario.h"
#include "dvrsim/simulator.h"
#include "mediagen/mediagen.h"
#include "platform/bytes.h"
#include "sites/dvr_site.h"
#include "streaming/live_stream.h"
#include "support/fake_peer.h"

namespace {

class RecordingSink : public IPictureSink {
 public:
  bool IsSuspended() override { return suspended; }
  int SoleChannel() override { return sole; }
  uint16_t PaneChannelMask() override { return mask; }
  void SetRate(int channel, int bytes_per_second) override {
    std::lock_guard<std::mutex> l(lock);
    rates.push_back({channel, bytes_per_second});
  }
  void SetFrameRate(int channel, int fps) override {
    std::lock_guard<std::mutex> l(lock);
    frame_rates.push_back({channel, fps});
  }
  void SetChannelTime(int channel, const std::tm& t) override {
    std::lock_guard<std::mutex> l(lock);
    times.push_back({channel, t});
  }
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t*) override {
    std::lock_guard<std::mutex> l(lock);
    pictures.push_back({channel, width, height, size_bytes});
  }
  void SetChannelName(int channel, const char* name) override {
    std::lock_guard<std::mutex> l(lock);
    names.push_back({channel, name});
  }

  std::atomic<bool> suspended{false};
  std::atomic<int> sole{-1};
  std::atomic<uint16_t> mask{0xFFFF};
  std::mutex lock;
  struct Picture {
    int channel, width, height, size;
  };
  std::vector<std::pair<int, int>> rates, frame_rates;
  std::vector<std::pair<int, std::tm>> times;
  std::vector<Picture> pictures;
  std::vector<std::pair<int, std::string>> names;
};

class CodeRecorder : public ISiteObserver {
 public:
  void OnSiteCode(int site_id, int code) override {
    std::lock_guard<std::mutex> l(lock);
    codes.push_back(code);
    ids.push_back(site_id);
    changed.notify_all();
  }
  void OnSiteEvent(int, const EventRecord&) override {}
  bool Has(int code) {
    std::lock_guard<std::mutex> l(lock);
    return std::find(codes.begin(), codes.end(), code) != codes.end();
  }
  // Waits up to 10 s for the code.
  bool WaitFor(int code) {
    std::unique_lock<std::mutex> l(lock);
    return changed.wait_for(l, std::chrono::seconds(10),
                            [&] { return std::find(codes.begin(), codes.end(), code) != codes.end(); });
  }
  std::mutex lock;
  std::condition_variable changed;
  std::vector<int> codes;
  std::vector<int> ids;
};

mediagen::EncodedClip Clip(int platform, int channel, int frames = 6) {
  mediagen::ClipRecipe recipe;
  recipe.platform_code = platform;
  recipe.size = mediagen::PictureSize::kQcif;
  recipe.channel_index = channel;
  recipe.frame_count = frames;
  recipe.gop = frames;
  recipe.bitrate_bps = 200000;
  return mediagen::GenerateClip(recipe);
}

struct SiteFixture {
  RecordingSink sink;
  CodeRecorder codes;
  std::unique_ptr<CDvrSite> site;

  explicit SiteFixture(int channels = 4, int platform_code = 163) {
    SiteRecord r;
    r.name = "test";
    r.address = "127.0.0.1";
    r.base_port = FakePeer::UnusedPort() - 1;  // control on the closed port
    r.user_id = "admin";
    r.password = "1234";
    r.channel_count = channels;
    r.platform_code = platform_code;
    site = std::make_unique<CDvrSite>(r);
    site->SetObserver(&codes);
    site->SetPictureSink(&sink);
    // The control session fails to connect; its callbacks stay installed so
    // the test can feed answers through its dispatch.
    site->StartControl();
    for (int i = 0; i < 300 && !codes.Has(3); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(codes.Has(3));
    EXPECT_TRUE(site->HasError());
  }
  void Answer(uint16_t command, const std::vector<uint8_t>& payload) {
    site->Control().Dispatch(command, payload.data(), static_cast<int>(payload.size()));
  }
  void Description(const char* platform_text) {
    std::vector<uint8_t> p = FakePeer::Be16s({496});
    p.resize(2 + 496, 0);
    std::memcpy(p.data() + 2 + 116, platform_text, std::strlen(platform_text) + 1);
    platform::PutU16BE(p.data() + 2 + 420, 4);
    Answer(0x7802, p);
  }
  void Feed(const mediagen::EncodedClip& clip, size_t i) {
    site->ConsumeLiveFrame(clip.Record(i), static_cast<int>(clip.frames[i].record_size_bytes));
  }
};

TEST(SiteConsumer, DropsWhatTheGridMustNotShow) {
  SiteFixture f;
  f.site->StartLive();  // H.264 decoders for the default platform 163
  const auto ch0 = Clip(163, 0);
  const auto ch5 = Clip(163, 5);
  ASSERT_TRUE(ch0.ok() && ch5.ok());

  // Not the site shown: nothing at all.
  f.Feed(ch0, 0);
  EXPECT_EQ(f.site->FramesReceived(0), 0u);

  f.site->SetLiveDisplay(true);
  for (size_t i = 0; i < ch0.frames.size(); ++i) f.Feed(ch0, i);
  EXPECT_EQ(f.site->FramesReceived(0), ch0.frames.size());
  EXPECT_EQ(f.site->PicturesDecoded(0), ch0.frames.size());
  {
    std::lock_guard<std::mutex> l(f.sink.lock);
    ASSERT_FALSE(f.sink.pictures.empty());
    EXPECT_EQ(f.sink.pictures[0].width, ch0.width);
    EXPECT_EQ(f.sink.pictures[0].size, ch0.width * ch0.height * 2);
  }

  // A channel beyond the site's four.
  f.Feed(ch5, 0);
  EXPECT_EQ(f.site->FramesReceived(5), 0u);

  // A record whose header claims more bytes than were collected.
  f.site->ConsumeLiveFrame(ch0.Record(0), static_cast<int>(ch0.frames[0].record_size_bytes) - 1);
  EXPECT_EQ(f.site->FramesReceived(0), ch0.frames.size());

  // Playback mode and a suspended grid.
  f.site->SetPlaybackMode(true);
  f.Feed(ch0, 0);
  f.site->SetPlaybackMode(false);
  f.sink.suspended = true;
  f.Feed(ch0, 0);
  EXPECT_EQ(f.site->FramesReceived(0), ch0.frames.size());
  f.site->StopAll();
}

TEST(SiteConsumer, DecodersFollowThePlatformTheDescriptionNames) {
  SiteFixture f;
  f.site->SetLiveDisplay(true);
  f.site->StartLive();  // platform 163 until the description says otherwise
  const auto mpeg4 = Clip(161, 1);
  ASSERT_TRUE(mpeg4.ok());
  f.Description("SOLO6010");  // platform 161: MPEG-4
  EXPECT_EQ(f.site->PlatformCode(), 161);
  EXPECT_EQ(f.site->TalkFormat(), 148);
  for (size_t i = 0; i < mpeg4.frames.size(); ++i) f.Feed(mpeg4, i);
  EXPECT_EQ(f.site->PicturesDecoded(1), mpeg4.frames.size());

  // The system information grows the channel count; the new channels get
  // decoders too.
  std::vector<uint8_t> info(76, 0);
  platform::PutU16BE(info.data() + 34, 16);
  f.Answer(0x2F01, info);
  EXPECT_EQ(f.site->ChannelCount(), 16);
  const auto ch9 = Clip(161, 9);
  for (size_t i = 0; i < ch9.frames.size(); ++i) f.Feed(ch9, i);
  EXPECT_EQ(f.site->PicturesDecoded(9), ch9.frames.size());
  f.site->StopAll();
}

int64_t g_fake_seconds = 1000;
int64_t FakeSeconds() { return g_fake_seconds; }

TEST(SiteConsumer, RatesOverFiveCountedSecondsAndTheChannelClock) {
  SiteFixture f;
  f.site->SetLiveDisplay(true);
  f.site->SetSecondsClock(&FakeSeconds);
  f.site->StartLive();
  const auto clip = Clip(163, 2, 10);
  ASSERT_TRUE(clip.ok());
  uint64_t bytes = 0;
  // Two frames in each of five distinct seconds: one report at the fifth.
  for (int second = 0; second < 5; ++second) {
    g_fake_seconds = 1000 + second;
    for (int k = 0; k < 2; ++k) {
      const size_t i = static_cast<size_t>(second * 2 + k);
      bytes += clip.frames[i].record_size_bytes;
      f.Feed(clip, i);
    }
  }
  {
    std::lock_guard<std::mutex> l(f.sink.lock);
    ASSERT_EQ(f.sink.frame_rates.size(), 1u);
    EXPECT_EQ(f.sink.frame_rates[0], std::make_pair(2, 1));  // 9 frames / 5 s, integer: the 10th came after
    ASSERT_EQ(f.sink.rates.size(), 1u);
    EXPECT_GT(f.sink.rates[0].second, 0);
    EXPECT_LE(static_cast<uint64_t>(f.sink.rates[0].second) * 5, bytes);
  }

  // Capture times: platform 163 without a known zone shows local time; with
  // the zone known (0x7F02), UTC plus the zone's offset.
  {
    std::lock_guard<std::mutex> l(f.sink.lock);
    ASSERT_FALSE(f.sink.times.empty());
    const time_t t = clip.frames[0].capture_time;
    std::tm local{};
    localtime_r(&t, &local);
    EXPECT_EQ(f.sink.times[0].second.tm_hour, local.tm_hour);
    f.sink.times.clear();
  }
  std::vector<uint8_t> tz;
  FakePeer::AppendBe32(tz, 3600);
  tz.push_back(1);  // daylight: one more hour
  f.Answer(0x7F02, tz);
  EXPECT_TRUE(f.site->TimeZoneKnown());
  EXPECT_EQ(f.site->TimeZoneOffset(), 7200);
  const auto later = Clip(163, 2, 2);
  std::vector<uint8_t> record(later.Record(0), later.Record(0) + later.frames[0].record_size_bytes);
  platform::PutU32BE(record.data() + 28, 0);  // 1970-01-01 00:00:00 UTC
  f.site->ConsumeLiveFrame(record.data(), static_cast<int>(record.size()));
  {
    std::lock_guard<std::mutex> l(f.sink.lock);
    ASSERT_EQ(f.sink.times.size(), 1u);
    EXPECT_EQ(f.sink.times[0].second.tm_hour, 2);
    EXPECT_EQ(f.sink.times[0].second.tm_year, 70);
  }
  f.site->StopAll();
}

TEST(SiteConsumer, SoundOnlyForTheChannelShownAlone) {
  auto device = std::make_unique<FakeAudioOutput>();
  FakeAudioOutput* fake = device.get();
  CWaveOutPlayer player(std::move(device), CWaveOutPlayer::Options{.header_count = 16});
  player.SetMuted(0);
  SiteFixture f;
  f.site->SetPlayer(&player);
  f.site->SetLiveDisplay(true);
  f.site->StartLive();
  const dvrsim::AudioLoop loop = dvrsim::MakeAudioLoop(dvrsim::kAudioCodecG726, 1);
  ASSERT_FALSE(loop.offsets.empty());
  auto feed = [&] {
    f.site->ConsumeLiveFrame(loop.bytes.data() + loop.offsets[0], static_cast<int>(loop.sizes[0]));
  };
  f.sink.sole = -1;  // several panes
  feed();
  EXPECT_TRUE(fake->Writes().empty());
  f.sink.sole = 0;  // another channel alone
  feed();
  EXPECT_TRUE(fake->Writes().empty());
  f.sink.sole = 1;
  feed();
  ASSERT_EQ(fake->Writes().size(), 1u);
  EXPECT_EQ(fake->Writes()[0].size(), static_cast<size_t>(dvrsim::kAudioFrameSamples));
  fake->CompleteOldest(16);
  f.site->StopAll();
}

TEST(SiteEngine, AnswersBecomeSiteStateAndCodes) {
  SiteFixture f;
  // Rights, names in UTF-8, sensor masks.
  std::vector<uint8_t> rights = FakePeer::Be16s({0});
  rights.push_back(0);  // no set-up permission
  rights.push_back(1);
  FakePeer::AppendBe32(rights, 2);  // playback only
  rights.resize(13, 0);
  f.Answer(0x7E02, rights);
  EXPECT_EQ(f.site->RightsWord(), 2u);
  EXPECT_EQ(f.site->SetupPermission(), 0);

  std::vector<uint8_t> names = FakePeer::Be16s({0, 2});
  names.resize(4 + 64, 0);
  std::memcpy(names.data() + 4, "Gate", 4);
  std::memcpy(names.data() + 36, "Yard", 4);
  f.Answer(0x2F12, names);
  EXPECT_EQ(f.site->ChannelName(0), "Gate");
  EXPECT_EQ(f.site->ChannelName(1), "Yard");
  // Kept, but written into the grid (shared by every site) only by the site
  // shown.
  EXPECT_TRUE(f.sink.names.empty());
  f.site->SetLiveDisplay(true);
  f.Answer(0x2F12, names);
  EXPECT_EQ(f.sink.names, (std::vector<std::pair<int, std::string>>{{0, "Gate"}, {1, "Yard"}}));

  f.Answer(0x2F22, FakePeer::Be16s({0, 2, 0, 0x0003, 1, 0x0100}));
  EXPECT_EQ(f.site->SensorChannelMask(0), 0x0003);
  EXPECT_EQ(f.site->SensorChannelMask(1), 0x0100);
  EXPECT_TRUE(f.codes.Has(25));
  EXPECT_TRUE(f.codes.Has(50));
  EXPECT_TRUE(f.codes.Has(53));
  const DvrStateBlocks copy = f.site->StateCopy();
  EXPECT_TRUE(copy.camera_names.received);
  EXPECT_EQ(copy.sensor_map.count, 2);

  // Talk answers: 33 grants, 29 ends it; neither sends anything here.
  f.Answer(0x4032, FakePeer::Be16s({0x400B}));
  EXPECT_TRUE(f.site->TalkGranted());
  f.Answer(0x4032, FakePeer::Be16s({0x4010}));
  EXPECT_FALSE(f.site->TalkGranted());
  EXPECT_TRUE(f.codes.Has(33));
  EXPECT_TRUE(f.codes.Has(29));
  f.site->StopAll();
}

TEST(SiteEngine, ResetLiveDecodersStartsEveryChannelOver) {
  SiteFixture f;
  f.site->SetLiveDisplay(true);
  f.site->StartLive();
  const auto clip = Clip(163, 3, 2);
  ASSERT_TRUE(clip.ok());
  f.Feed(clip, 0);
  CDualLiveStream* live = f.site->LivePair();
  EXPECT_EQ(live->VideoDecoder(3)->GetPicture()->width, clip.width);
  const CAudioDecoder* audio_before = live->AudioDecoder(3);
  f.site->ResetLiveDecoders();
  for (int c = 0; c < 4; ++c) EXPECT_EQ(live->VideoDecoder(c)->GetPicture()->width, -1) << c;
  EXPECT_NE(live->AudioDecoder(3), audio_before);
  f.site->StopAll();
}

// The first call after armed is set blocks until released.
struct Hold {
  void Pass() {
    if (!armed.exchange(false)) return;
    inside.set_value();
    release.get_future().wait();
  }
  std::atomic<bool> armed{false};
  std::promise<void> inside, release;
};

class HeldSink : public RecordingSink {
 public:
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) override {
    hold->Pass();
    RecordingSink::ShowPicture(channel, width, height, size_bytes, pixels);
  }
  size_t Pictures() {
    std::lock_guard<std::mutex> l(lock);
    return pictures.size();
  }
  std::unique_ptr<Hold> hold = std::make_unique<Hold>();
};

class HeldObserver : public CodeRecorder {
 public:
  void OnSiteCode(int site_id, int code) override {
    hold.Pass();
    CodeRecorder::OnSiteCode(site_id, code);
  }
  Hold hold;
};

// Runs call on a thread that the hold stops inside the attached object, and
// checks that detach waits for it and returns once it is let go.
void ExpectDetachWaits(Hold& hold, const std::function<void()>& call, const std::function<void()>& detach) {
  hold.armed = true;
  std::thread caller(call);
  EXPECT_EQ(hold.inside.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
  auto detached = std::async(std::launch::async, detach);
  EXPECT_EQ(detached.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  hold.release.set_value();
  EXPECT_EQ(detached.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  caller.join();
}

TEST(SiteEngine, DetachingWaitsForCallsInFlight) {
  SiteFixture f;
  HeldSink held;
  f.site->SetPictureSink(&held);
  f.site->SetLiveDisplay(true);
  f.site->StartLive();
  const auto clip = Clip(163, 0, 3);
  ASSERT_TRUE(clip.ok());

  ExpectDetachWaits(*held.hold, [&] { f.Feed(clip, 0); }, [&] { f.site->SetPictureSink(nullptr); });
  f.Feed(clip, 1);
  EXPECT_EQ(held.Pictures(), 1u);

  // Once the display flag is cleared no picture of this site is drawn.
  f.site->SetPictureSink(&held);
  held.hold = std::make_unique<Hold>();
  ExpectDetachWaits(*held.hold, [&] { f.Feed(clip, 1); }, [&] { f.site->SetLiveDisplay(false); });
  f.Feed(clip, 2);
  EXPECT_EQ(held.Pictures(), 2u);

  HeldObserver observer;
  f.site->SetObserver(&observer);
  ExpectDetachWaits(observer.hold, [&] { f.Answer(0x2F22, FakePeer::Be16s({0, 0})); },
                    [&] { f.site->SetObserver(nullptr); });
  EXPECT_TRUE(observer.Has(53));
  f.site->StopAll();
}

TEST(SiteEngine, TheRecordSeedsThePlatformAndTakesTheDescriptionsPlatform) {
  SiteFixture f(4, 161);  // stored as an MPEG-4 DVR
  EXPECT_EQ(f.site->PlatformCode(), 161);
  f.Description("HI3515");
  EXPECT_EQ(f.site->Record().platform_code, 164);
  EXPECT_EQ(f.site->TalkFormat(), kTalkCodecVoice);
  EXPECT_TRUE(f.codes.Has(40));
}

template <typename Pred>
bool WaitUntil(Pred pred) {
  for (int i = 0; i < 2000 && !pred(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return pred();
}

// A site against the in-process simulated DVR (4 channels, QCIF), driven on
// the test's thread as the site panel drives it.
struct SimSite {
  std::unique_ptr<dvrsim::Simulator> sim;
  std::mutex log_lock;
  std::vector<std::string> log;
  CodeRecorder codes;
  std::unique_ptr<CDvrSite> site = std::make_unique<CDvrSite>(SiteRecord{});

  explicit SimSite(const char* scenario = "") {
    dvrsim::SimConfig c;
    c.base_port = 0;
    c.channels = 4;
    c.resolution = 3;
    c.log_requests = true;
    std::string error;
    EXPECT_TRUE(dvrsim::ParseScenario(scenario, "test", &c.scenario, &error)) << error;
    sim = std::make_unique<dvrsim::Simulator>(c, [this](std::string_view line) {
      std::lock_guard<std::mutex> l(log_lock);
      log.emplace_back(line);
    });
    EXPECT_TRUE(sim->Start(&error)) << error;
    // The site was made without an address: connecting proves the new record is used.
    SiteRecord r;
    r.address = "127.0.0.1";
    r.base_port = sim->base_port();
    r.user_id = "admin";
    r.password = "1234";
    site->SetRecord(r);
    site->SetObserver(&codes);
  }
  ~SimSite() {
    site.reset();
    sim->Stop();
  }
  bool ConnectLive() {
    site->StartControl();
    if (!codes.WaitFor(kNotifyLoggedIn)) return false;
    site->SendFollowUpRequests();
    if (!codes.WaitFor(51)) return false;
    site->StartLive();
    return codes.WaitFor(kNotifyStreamRunning) && codes.WaitFor(40);
  }
  long Requests(const std::string& text) {
    std::lock_guard<std::mutex> l(log_lock);
    return std::count_if(log.begin(), log.end(), [&](const std::string& s) { return s.find(text) != s.npos; });
  }
};

TEST(SiteSession, TalkFromTheMicrophoneUntilASendFails) {
  SimSite s;
  ASSERT_TRUE(s.ConnectLive());
  auto device = std::make_unique<FakeAudioInput>();
  FakeAudioInput* mic = device.get();
  ASSERT_EQ(s.site->StartTalk(std::move(device)), 1);
  ASSERT_TRUE(s.codes.WaitFor(kNotifyTalkGranted));
  const std::vector<int16_t> voice(320, 1000);
  auto speak_until = [&](auto done) { return WaitUntil([&] { return mic->Feed(voice.data(), 320), done(); }); };
  // Voice codec: every 40 ms block is one packet of 164 + 36 bytes.
  EXPECT_TRUE(speak_until([&] { return s.Requests("cmd=0x4033 length=206 ") >= 3; }));
  s.site->LivePair()->Stop();  // the stream connection is gone
  EXPECT_TRUE(speak_until([&] { return s.codes.Has(kSiteTalkSendFailed); }));
  EXPECT_FALSE(s.site->TalkGranted());
  EXPECT_TRUE(WaitUntil([&] { return s.Requests("cmd=0x4031 length=8 payload=0003") == 1; }));
  s.site->StopTalk();  // what the owner does on the report
  EXPECT_FALSE(s.site->Talking());
}

TEST(SiteSession, LossesAreReportedButNothingAfterTheOperatorsDisconnect) {
  SimSite lost("0.3 live close\n1 close\n");
  ASSERT_TRUE(lost.ConnectLive());
  for (int code : {kSiteStreamLostPrimary, kSiteStreamLostSecondary, int{kNotifyConnectionLost}}) {
    EXPECT_TRUE(lost.codes.WaitFor(code)) << code;
  }

  SimSite s;
  ASSERT_TRUE(s.ConnectLive());
  s.site->StopAll();  // every thread of the site is joined when it returns
  std::lock_guard<std::mutex> l(s.codes.lock);
  for (int code : {kSiteStreamLostPrimary, kSiteStreamLostSecondary, int{kNotifyConnectionLost}}) {
    EXPECT_EQ(std::count(s.codes.codes.begin(), s.codes.codes.end(), code), 0) << code;
  }
  EXPECT_NE(s.site->Id(), lost.site->Id());
  EXPECT_EQ(std::count(s.codes.ids.begin(), s.codes.ids.end(), s.site->Id()), std::ssize(s.codes.ids));
}

}  // namespace
