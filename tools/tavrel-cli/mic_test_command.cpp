// tavrel-cli mic-test: checks a machine's microphone the way two-way talk
// uses it. CTalkSender captures the default input, every captured block is
// coded with the DVR talk codec into the talk packet the site would send
// (payload of command 0x4033), and the packets are written to a file.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "audio/talk_packet.h"
#include "audio/wave_in_recorder.h"
#include "cli_args.h"
#include "commands.h"
#include "output.h"

namespace {

struct MicTest {
  int talk_codec = kTalkCodecG726;
  long wanted_samples = 0;
  FILE* out = nullptr;
  CTalkPacketizer packetizer;
  std::mutex lock;
  std::condition_variable changed;
  long captured_samples = 0;
  long packets = 0;
  long bytes = 0;
  bool write_failed = false;

  static void OnBlock(void* owner, const AudioBlock* block) {
    auto* self = static_cast<MicTest*>(owner);
    std::lock_guard<std::mutex> guard(self->lock);
    if (self->captured_samples >= self->wanted_samples) return;
    self->captured_samples += static_cast<long>(block->length_bytes / kAudioBlockAlign);
    uint8_t packet[kTalkPacketMaxBytes];
    const size_t n = self->packetizer.Packetize(self->talk_codec, *block, packet, sizeof packet);
    if (n > 0) {
      if (std::fwrite(packet, 1, n, self->out) != n) self->write_failed = true;
      ++self->packets;
      self->bytes += static_cast<long>(n);
    }
    self->changed.notify_all();
  }
};

}  // namespace

int RunMicTest(const std::vector<std::string>& args) {
  CliArgs cli(args, {"--talk-codec", "--seconds", "--out"}, {});
  const long codec = cli.Int("--talk-codec", kTalkCodecG726, kTalkCodecG726, kTalkCodecVoice);
  const long seconds = cli.Int("--seconds", 1, 1, 600);
  const auto path = cli.Value("--out");
  if (!cli.Ok() || !path || codec == kTalkCodecNone) {
    ErrLine("mic-test: %s", !cli.Ok() ? cli.Error().c_str() : "--talk-codec 148|150 and --out FILE are required");
    return 2;
  }

  MicTest test;
  test.talk_codec = static_cast<int>(codec);
  test.wanted_samples = seconds * 8000;
  test.out = std::fopen(path->c_str(), "wb");
  if (test.out == nullptr) {
    ErrLine("mic-test: cannot write %s", path->c_str());
    return 1;
  }

  int status = 0;
  {
    CTalkSender sender(&test, &MicTest::OnBlock);
    sender.set_talk_codec(test.talk_codec);
    if (sender.Open(kWaveInBufferSamples) == 0 || sender.AddBuffers(kWaveInBufferCount) == 0) {
      ErrLine("mic-test: the audio input device did not open (error %d)", sender.last_error());
      status = 1;
    } else {
      OutLine("talk-codec %ld seconds %ld", codec, seconds);
      // Audio arrives in real time; allow some slack before giving up.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds + 5);
      std::unique_lock<std::mutex> lock(test.lock);
      while (test.captured_samples < test.wanted_samples && !StopRequested() &&
             std::chrono::steady_clock::now() < deadline) {
        test.changed.wait_for(lock, std::chrono::milliseconds(100));
      }
      if (test.captured_samples < test.wanted_samples) status = 1;
    }
    sender.SetStopping();
    sender.Close();
  }
  if (std::fclose(test.out) != 0) test.write_failed = true;
  OutLine("packets %ld bytes %ld captured-samples %ld", test.packets, test.bytes, test.captured_samples);
  if (test.write_failed) {
    ErrLine("mic-test: writing %s failed", path->c_str());
    status = 1;
  }
  return status;
}
