// An ALSA default device made of files, for tests of the real audio path.
// It writes an asoundrc whose default PCM is the `file` plugin over the
// null device: playback is written to output_path() as raw 16-bit samples,
// capture reads input_path(). ALSA_CONFIG_PATH is set to the system
// configuration followed by this asoundrc, so it must be constructed before
// PortAudio (and ALSA) first reads its configuration in this process.
#pragma once
#include <alsa/asoundlib.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class AlsaFileDevice {
 public:
  AlsaFileDevice() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tavrel-alsa-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      error_ = "cannot make a temporary folder";
      return;
    }
    dir_ = pattern;
    // The capture side exists only when its file does.
    WriteInput(std::vector<int16_t>(8000, 0));
    const std::string rc = dir_ + "/asoundrc";
    FILE* f = std::fopen(rc.c_str(), "w");
    if (f == nullptr) {
      error_ = "cannot write " + rc;
      return;
    }
    std::fprintf(f,
                 "pcm.!default {\n"
                 "  type file\n"
                 "  slave.pcm \"null\"\n"
                 "  file \"%s\"\n"
                 "  infile \"%s\"\n"
                 "  format \"raw\"\n"
                 "}\n",
                 output_path().c_str(), input_path().c_str());
    std::fclose(f);
    const std::string path = std::string(snd_config_topdir()) + "/alsa.conf:" + rc;
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
  }
  ~AlsaFileDevice() {
    if (dir_.empty()) return;
    for (const char* name : {"/asoundrc", "/out.raw", "/in.raw"}) unlink((dir_ + name).c_str());
    rmdir(dir_.c_str());
  }
  AlsaFileDevice(const AlsaFileDevice&) = delete;
  AlsaFileDevice& operator=(const AlsaFileDevice&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& dir() const { return dir_; }
  std::string output_path() const { return dir_ + "/out.raw"; }
  std::string input_path() const { return dir_ + "/in.raw"; }
  std::string asoundrc_path() const { return dir_ + "/asoundrc"; }

  // Replaces what the next opened input stream will capture.
  void WriteInput(const std::vector<int16_t>& samples) const {
    FILE* f = std::fopen(input_path().c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(samples.data(), 2, samples.size(), f);
    std::fclose(f);
  }

 private:
  std::string dir_;
  std::string error_;
};
