// Feeds frame records to a site's live frame consumer as its stream threads
// would, with a recording picture sink and a player on a silent output:
// header checks, rate statistics, channel clocks, video decoding into the
// sink and audio decoding into the player. Whatever reaches the sink or the
// device must be in range and readable to its last byte.
//
// Input: byte 0 picks the platform (160..164, hence the decoders), byte 1
// the channel shown alone (below 16, else none), the only one whose sound is
// played. Then records, each a flags byte, a 16-bit big-endian length and
// that many bytes. Flags: bits 0-2 advance the statistics clock by that many
// seconds; bit 7 rewrites the record's 32-byte header into a valid one with
// the fields it holds (the record size is the true one unless bit 6 keeps
// the declared size), so the fuzzer reaches the decoders without having to
// find the header's markers first.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/audio_device.h"
#include "audio/wave_out_player.h"
#include "sites/dvr_site.h"
#include "streaming/frame_header.h"
#include "streaming/live_stream.h"

extern "C" {
#include <libavutil/log.h>
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVREL_LSAN 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define TAVREL_LSAN 1
#endif
#ifdef TAVREL_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "live_consumer_fuzz: %s\n", what);
    std::abort();
  }
}

// Holds written blocks until Release returns them, as a device that plays
// them later would.
class SilentOutput final : public IAudioOutput {
 public:
  bool Open(AudioBlockDoneFn done, void* user) override {
    std::lock_guard<std::mutex> l(lock_);
    done_ = done;
    user_ = user;
    open_ = true;
    return true;
  }
  bool IsOpen() const override {
    std::lock_guard<std::mutex> l(lock_);
    return open_;
  }
  bool SetPitch(uint32_t) override { return IsOpen(); }
  bool Prepare(AudioBlock* block) override {
    std::lock_guard<std::mutex> l(lock_);
    if (!open_) return false;
    block->prepared = true;
    return true;
  }
  bool Unprepare(AudioBlock* block) override {
    std::lock_guard<std::mutex> l(lock_);
    if (block->queued) return false;
    block->prepared = false;
    return true;
  }
  bool Write(AudioBlock* block) override {
    Check(block->length_bytes <= block->capacity_bytes && block->length_bytes % 2 == 0, "a block longer than its buffer");
    volatile int64_t sum = 0;
    for (size_t i = 0; i < block->length_bytes / 2; ++i) sum = sum + block->samples[i];
    std::lock_guard<std::mutex> l(lock_);
    if (!open_ || !block->prepared) return false;
    block->queued = true;
    held_.push_back(block);
    return true;
  }
  void Reset() override { Release(); }
  void Close() override {
    Release();
    std::lock_guard<std::mutex> l(lock_);
    open_ = false;
  }
  void Release() {
    std::deque<AudioBlock*> blocks;
    {
      std::lock_guard<std::mutex> l(lock_);
      blocks.swap(held_);
    }
    for (AudioBlock* b : blocks) {
      b->queued = false;
      done_(b, user_);
    }
  }

 private:
  mutable std::mutex lock_;
  bool open_ = false;
  AudioBlockDoneFn done_ = nullptr;
  void* user_ = nullptr;
  std::deque<AudioBlock*> held_;
};

class CheckingSink final : public IPictureSink {
 public:
  std::atomic<int> sole{-1};

  bool IsSuspended() override { return false; }
  int SoleChannel() override { return sole.load(); }
  uint16_t PaneChannelMask() override { return 0xFFFF; }
  void SetRate(int channel, int bytes_per_second) override {
    Check(ValidChannel(channel) && bytes_per_second >= 0, "a rate out of range");
  }
  void SetFrameRate(int channel, int frames_per_second) override {
    Check(ValidChannel(channel) && frames_per_second >= 0, "a frame rate out of range");
  }
  void SetChannelTime(int channel, const std::tm& t) override {
    Check(ValidChannel(channel) && t.tm_mon >= 0 && t.tm_mon <= 11 && t.tm_mday >= 1 && t.tm_mday <= 31 &&
              t.tm_hour >= 0 && t.tm_hour <= 23 && t.tm_min >= 0 && t.tm_min <= 59 && t.tm_sec >= 0 && t.tm_sec <= 60,
          "a channel time out of range");
  }
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) override {
    Check(ValidChannel(channel), "a picture for a channel out of range");
    // Any shape a decoder's buffer holds may come (a DVR may send odd ones);
    // the bytes are read to the last below.
    if (width <= 0 || height <= 0 || pixels == nullptr) {
      std::fprintf(stderr, "live_consumer_fuzz: a picture of %dx%d\n", width, height);
      std::abort();
    }
    Check(size_bytes == width * height * 2, "a picture whose byte count is not width x height x 2");
    volatile uint8_t sum = 0;
    for (int i = 0; i < size_bytes; i += 61) sum = sum + pixels[i];
    sum = sum + pixels[size_bytes - 1];
  }
  void SetChannelName(int channel, const char*) override { Check(ValidChannel(channel), "a name out of range"); }

 private:
  static bool ValidChannel(int channel) { return channel >= 0 && channel < CDvrSite::kChannels; }
};

std::atomic<int64_t> g_seconds{1700000000};
int64_t FakeSeconds() { return g_seconds.load(); }

struct Site {
  CheckingSink sink;
  SilentOutput* output = nullptr;
  std::unique_ptr<CWaveOutPlayer> player;
  std::unique_ptr<CDvrSite> site;

  explicit Site(int platform) {
    auto device = std::make_unique<SilentOutput>();
    output = device.get();
    CWaveOutPlayer::Options options;
    options.header_count = 64;
    player = std::make_unique<CWaveOutPlayer>(std::move(device), options);
    player->SetMuted(0);
    SiteRecord record;
    record.address = "127.0.0.1";
    record.platform_code = platform;
    site = std::make_unique<CDvrSite>(record);
    site->SetSecondsClock(&FakeSeconds);
    // Makes the live pair and its decoders; without a logged-in control
    // session its streams end at once without connecting.
    site->StartLive();
    site->SetPictureSink(&sink);
    site->SetPlayer(player.get());
    site->SetLiveDisplay(true);
  }
};

// A valid header over the first 32 bytes of rec, from the fields they hold.
void RewriteHeader(std::vector<uint8_t>& rec, bool keep_declared_size) {
  if (rec.size() < streaming::kFrameHeaderSize) rec.resize(streaming::kFrameHeaderSize, 0);
  streaming::FrameHeaderFields f;
  f.medium = (rec[3] & 0xF0) == 0xC0 ? streaming::kMediumAudio : streaming::kMediumVideo;
  f.channel_index = rec[3] & 0x0F;
  f.record_size_bytes = keep_declared_size ? streaming::DecodeMarker22(rec.data() + 24) : static_cast<uint32_t>(rec.size());
  f.back_link_bytes = streaming::DecodeMarker22(rec.data() + 21);
  f.picture_type = static_cast<uint8_t>((rec[27] & 3) == 0 ? 1 : rec[27] & 3);
  f.resolution = static_cast<uint8_t>((rec[27] >> 2) & 3);
  f.pal = static_cast<uint8_t>((rec[27] >> 4) & 1);
  f.capture_time = (uint32_t{rec[28]} << 24) | (uint32_t{rec[29]} << 16) | (uint32_t{rec[30]} << 8) | rec[31];
  f.audio_codec = rec[28];
  f.audio_channel_flag = rec[29];
  f.time_stamp = streaming::DecodeTimeStamp(rec.data() + 14);
  streaming::BuildFrameHeader(rec.data(), f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quiet;
  // One site per platform, made on first use and kept: the decoders are
  // reset for every input instead.
  static Site* sites[5] = {};
  if (size < 2) return 0;
  Site*& slot = sites[data[0] % 5];
  if (slot == nullptr) {
#ifdef TAVREL_LSAN
    // The sites live as long as the process. XviD aligns its blocks inside
    // larger ones, and a decoder made before the picture size is known holds
    // empty blocks through pointers just past their end, which the leak
    // checker does not count as references: every live MPEG-4 decoder looks
    // leaked, though destroying one frees everything (video_decoder_fuzz
    // makes and destroys one per input without a report).
    __lsan::ScopedDisabler keep;
#endif
    slot = new Site(160 + data[0] % 5);
  }
  Site& s = *slot;
  s.site->ResetLiveDecoders();
  s.sink.sole.store(data[1] < CDvrSite::kChannels ? data[1] : -1);

  std::vector<uint8_t> rec;
  size_t pos = 2;
  while (pos + 3 <= size) {
    const uint8_t flags = data[pos];
    const size_t want = (static_cast<size_t>(data[pos + 1]) << 8) | data[pos + 2];
    pos += 3;
    const size_t take = std::min(want, size - pos);
    rec.assign(data + pos, data + pos + take);
    pos += take;
    if (flags & 0x80) RewriteHeader(rec, (flags & 0x40) != 0);
    g_seconds.fetch_add(flags & 7);
    // The record with the zeroed padding a stream keeps after every unit,
    // in an allocation of its own, so a read past the padding shows.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[rec.size() + CFragmentAssembler::kPaddingSize]());
    if (!rec.empty()) std::memcpy(exact.get(), rec.data(), rec.size());
    s.site->ConsumeLiveFrame(exact.get(), static_cast<int>(rec.size()));
  }
  s.output->Release();
  return 0;
}
