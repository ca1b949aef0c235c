// tavrel-cli speaker-test and mic-test as an operator runs them: on the
// ALSA file device, and on a machine without any audio device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/alsa_file_device.h"
#include "support/process.h"

namespace {

const AlsaFileDevice& Device() {
  static AlsaFileDevice device;
  return device;
}

// Runs tavrel-cli with ALSA_CONFIG_PATH as the file device set it, or
// pointing at a configuration whose default device does not exist.
int RunCli(const std::vector<std::string>& args, bool with_device, std::string* out, std::string* err) {
  EXPECT_TRUE(Device().ok()) << Device().error();
  std::string saved = std::getenv("ALSA_CONFIG_PATH") != nullptr ? std::getenv("ALSA_CONFIG_PATH") : "";
  if (!with_device) {
    const std::string rc = Device().dir() + "/nodevice";
    FILE* f = std::fopen(rc.c_str(), "w");
    std::fputs("pcm.!default { type hw card 97 }\nctl.!default { type hw card 97 }\n", f);
    std::fclose(f);
    setenv("ALSA_CONFIG_PATH", (std::string(snd_config_topdir()) + "/alsa.conf:" + rc).c_str(), 1);
  }
  ChildProcess child(TAVREL_CLI_PATH, args);
  const int status = child.Wait(30000);
  for (const std::string& line : child.RestOfStdout()) *out += line + "\n";
  *err = child.Stderr();
  setenv("ALSA_CONFIG_PATH", saved.c_str(), 1);
  if (!with_device) std::remove((Device().dir() + "/nodevice").c_str());
  return status;
}

TEST(CliAudio, SpeakerTestWritesOneSecondOfCleanToneForEveryCodec) {
  for (const char* codec : {"17", "18", "19", "20"}) {
    std::string out, err;
    ASSERT_EQ(RunCli({"speaker-test", "--codec", codec, "--seconds", "1"}, true, &out, &err), 0) << err;
    EXPECT_NE(out.find("samples 8000 dropped 0"), std::string::npos) << out;
    std::ifstream in(Device().output_path(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 16000u) << "codec " << codec;
    // The tone dominates once the coder has adapted.
    const auto* s = reinterpret_cast<const int16_t*>(bytes.data());
    double re = 0, im = 0, total = 0;
    for (size_t i = 800; i < 8000; ++i) {
      const double w = 2 * M_PI * 1000 * static_cast<double>(i) / 8000;
      re += s[i] * std::cos(w);
      im += s[i] * std::sin(w);
      total += static_cast<double>(s[i]) * s[i];
    }
    EXPECT_GT(2 * (re * re + im * im) / 7200 / total, 0.95) << "codec " << codec;
  }
}

TEST(CliAudio, WithoutAnyAudioDeviceBothChecksFailCleanly) {
  std::string out, err;
  EXPECT_EQ(RunCli({"speaker-test", "--codec", "18", "--seconds", "1"}, false, &out, &err), 1);
  EXPECT_EQ(err, "Audio Device Open Error!\n");
  out.clear();
  err.clear();
  EXPECT_EQ(RunCli({"mic-test", "--talk-codec", "148", "--seconds", "1", "--out", Device().dir() + "/talk.bin"}, false,
                   &out, &err),
            1);
  EXPECT_NE(err.find("did not open"), std::string::npos) << err;
  std::remove((Device().dir() + "/talk.bin").c_str());
}

TEST(CliAudio, MicTestWritesOnePacketPer32msOfCapturedAudio) {
  std::vector<int16_t> tone(4 * 8000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(5000 * std::sin(2 * M_PI * 500 * static_cast<double>(i) / 8000));
  Device().WriteInput(tone);
  const std::string path = Device().dir() + "/talk.bin";
  std::string out, err;
  ASSERT_EQ(RunCli({"mic-test", "--talk-codec", "148", "--seconds", "2", "--out", path}, true, &out, &err), 0) << err;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  // 2 s of 256-sample blocks: 63 packets of 132 bytes (the last block ends
  // past the two seconds).
  EXPECT_EQ(bytes.size(), 63u * 132u);
  EXPECT_NE(out.find("packets 63 bytes 8316"), std::string::npos) << out;
}

}  // namespace
