// tavrel-cli live and talk against dvrsim: pictures for every platform,
// snapshots in each channel's colour, talk audio that comes back out of the
// simulator, refusals, and stream faults survived.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "support/process.h"
#include "support/sim_process.h"

namespace {

// Every simulator here knows the user the client logs in with.
struct Sim : SimProcess {
  explicit Sim(std::vector<std::string> args) : SimProcess(DVRSIM_PATH, WithUser(std::move(args))) {}
  static std::vector<std::string> WithUser(std::vector<std::string> args) {
    args.insert(args.begin(), {"--user", "netuser:pass"});
    return args;
  }
};

CliRun Cli(const std::string& command, const Sim& sim, std::vector<std::string> extra) {
  return RunCliCommand(TAVREL_CLI_PATH, command, sim, "netuser", "pass", extra, 60000);
}

std::string TempDir(const std::string& name) {
  const std::string dir = ::testing::TempDir() + "/" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// Mean B, G, R of a 24-bit BMP.
bool MeanColour(const std::string& path, double bgr[3], int* width, int* height) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
  auto le32 = [&](size_t o) { return static_cast<int>(b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (b[o + 3] << 24)); };
  *width = le32(18);
  *height = le32(22);
  const size_t row = (static_cast<size_t>(*width) * 3 + 3) & ~size_t{3};
  if (b.size() < 54 + row * static_cast<size_t>(*height)) return false;
  double sum[3] = {0, 0, 0};
  for (int y = 0; y < *height; ++y) {
    for (int x = 0; x < *width; ++x) {
      for (int c = 0; c < 3; ++c) sum[c] += b[54 + y * row + x * 3 + c];
    }
  }
  for (int c = 0; c < 3; ++c) bgr[c] = sum[c] / (static_cast<double>(*width) * *height);
  return true;
}

TEST(CliLive, EveryPlatformShowsEveryChannelInItsOwnColour) {
  for (const char* platform : {"160", "161", "162", "163", "164"}) {
    SCOPED_TRACE(platform);
    Sim sim({"--platform", platform, "--channels", "4"});
    ASSERT_FALSE(sim.base.empty());
    const std::string dir = TempDir(std::string("snap") + platform);
    CliRun run = Cli("live", sim, {"--seconds", "4", "--snapshot-dir", dir});
    EXPECT_EQ(run.status, 0) << run.err;
    std::map<int, std::string> pictures;
    std::map<int, std::pair<long, long>> summary;
    for (const auto& line : run.lines) {
      std::smatch m;
      if (std::regex_match(line, m, std::regex("picture channel=([0-9]+) ([0-9]+x[0-9]+)"))) {
        pictures[std::stoi(m[1])] = m[2];
      } else if (std::regex_match(line, m, std::regex("summary channel=([0-9]+) frames=([0-9]+) pictures=([0-9]+)"))) {
        summary[std::stoi(m[1])] = {std::stol(m[2]), std::stol(m[3])};
      }
    }
    std::vector<std::array<double, 3>> colours;
    for (int ch = 1; ch <= 4; ++ch) {
      EXPECT_EQ(pictures[ch], "352x288") << "channel " << ch;
      EXPECT_GT(summary[ch].first, 40) << "channel " << ch;
      EXPECT_GE(summary[ch].second, summary[ch].first - 1) << "channel " << ch;
      double bgr[3];
      int w = 0, h = 0;
      ASSERT_TRUE(MeanColour(dir + "/channel0" + std::to_string(ch) + ".bmp", bgr, &w, &h));
      EXPECT_EQ(w, 352);
      EXPECT_EQ(h, 288);
      colours.push_back({bgr[0], bgr[1], bgr[2]});
    }
    // Each channel has its own colour field.
    for (size_t a = 0; a < colours.size(); ++a) {
      for (size_t b = a + 1; b < colours.size(); ++b) {
        double d = 0;
        for (int c = 0; c < 3; ++c) d += std::fabs(colours[a][c] - colours[b][c]);
        EXPECT_GT(d, 30) << "channels " << a + 1 << " and " << b + 1;
      }
    }
  }
}

// The value of key=<number> in line, or -1.
long Field(const std::string& line, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(line, m, std::regex("(^| )" + key + "=([0-9]+)"))) return -1;
  return std::stol(m[2]);
}

std::string LineStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return "";
}

TEST(CliLive, EachStreamFaultHasItsOutcome) {
  const std::string dir = TempDir("faults");
  const std::string path = dir + "/faults.scenario";
  // One channel of D1 MPEG-4: its key pictures (one a second, starting the
  // loop) take five fragments, the other pictures one.
  std::ofstream(path) << "0.5 live garbage\n0.6 live shuffle\n1.5 live oversize\n2.0 live stall 1.5\n";
  Sim sim({"--platform", "161", "--channels", "4", "--resolution", "d1", "--prepare-media", "--scenario", path});
  ASSERT_FALSE(sim.base.empty());
  CliRun run = Cli("live", sim, {"--channels", "1", "--seconds", "7", "--stats"});
  EXPECT_EQ(run.status, 0) << run.err;
  // Garbage: the header check drops it six bytes at a time; with no
  // resynchronisation the stream is read in six-byte steps, each a dropped
  // header, until a message happens to start on one. Where the garbage falls
  // here (before the loop's picture 13) that comes within two pictures, and
  // the stream carries on. Had the video held the magic at one of those
  // steps with a length beyond a packet, the stream would have ended
  // instead: what garbage does depends on the bytes that follow it.
  // Shuffle: the next key picture comes last fragment first; its fragments
  // before index 0 belong to no unit, and the unit begun by index 0 is
  // broken off by the next picture. Oversize: dropped once it outgrows the
  // buffer, its remaining fragments ignored. Stall: 1.5 s of silence is a
  // silent receive round and a half; a live stream has no silence limit, so
  // it stays and pictures resume.
  const std::string primary = LineStarting(run.lines, "stream primary ");
  ASSERT_FALSE(primary.empty()) << run.err;
  EXPECT_GT(Field(primary, "bad_headers"), 10) << primary;  // more than the 64 bytes of garbage make
  EXPECT_GT(Field(primary, "multi_fragment"), 0) << primary;
  EXPECT_EQ(Field(primary, "dropped_broken"), 1) << primary;
  EXPECT_EQ(Field(primary, "dropped_oversize"), 1) << primary;
  EXPECT_EQ(LineStarting(run.lines, "stream-lost"), "");
  // Pictures after every fault: before the stall at most two seconds' worth
  // (50) can have come.
  const std::string summary = LineStarting(run.lines, "summary channel=1 ");
  EXPECT_GT(Field(summary, "frames"), 75) << summary;
  EXPECT_GT(Field(summary, "pictures"), 75) << summary;

  // Close: the stream's end is reported at once; the control session and
  // the run go on.
  std::ofstream(path) << "0.5 live close\n";
  Sim closing({"--platform", "163", "--channels", "4", "--scenario", path});
  ASSERT_FALSE(closing.base.empty());
  ChildProcess cli(TAVREL_CLI_PATH, {"live", "--host", "127.0.0.1", "--port", closing.base, "--user", "netuser",
                                     "--password", "pass", "--seconds", "4"});
  ASSERT_FALSE(cli.WaitForLine("live channels=", 10000).empty());
  // Both streams are closed half a second after their start requests.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
  std::vector<std::string> lines;
  auto seen = [&](const char* text) { return std::find(lines.begin(), lines.end(), text) != lines.end(); };
  std::string line;
  while (!(seen("stream-lost primary") && seen("stream-lost secondary"))) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !cli.ReadLine(&line, left.count())) break;
    lines.push_back(line);
  }
  EXPECT_TRUE(seen("stream-lost primary"));
  EXPECT_TRUE(seen("stream-lost secondary"));
  EXPECT_EQ(cli.Wait(10000), 0);
  for (const auto& rest : cli.RestOfStdout()) lines.push_back(rest);
  EXPECT_FALSE(seen("notify 11"));
}

TEST(CliLive, WithoutChannelsTheGridHasThePanesOfTheDvrsChannelCount) {
  // The site starts live with the mask of its channel count; the grid then
  // asks for the channels of its panes (8 channels take the nine-pane
  // layout), in the start request when that has not gone out yet.
  struct Case {
    const char* channels;
    int panes;
    std::vector<int> start_masks;
  };
  for (const Case& c : {Case{"4", 0x000F, {0x000F}}, Case{"8", 0x01FF, {0x00FF, 0x01FF}}}) {
    SCOPED_TRACE(c.channels);
    Sim sim({"--channels", c.channels, "--log-requests"});
    ASSERT_FALSE(sim.base.empty());
    CliRun run = Cli("live", sim, {"--seconds", "2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), std::string("live channels=") + c.channels + " platform=164"),
              run.lines.end());
    // The client is done: every request it sent is in the log already.
    int start = -1;
    std::vector<int> masks;  // of the start requests and the mask requests, in order
    std::string line;
    while (sim.proc->ReadLine(&line, 500)) {
      std::smatch m;
      if (!std::regex_search(line, m, std::regex("cmd=0x410([06]) length=[0-9]+ payload=([0-9a-f]{4})([0-9a-f]{4})?"))) {
        continue;
      }
      const int mask = std::stoi(m[2], nullptr, 16);
      if (m[1] == "0" && m[3] == "0001") start = mask;
      masks.push_back(mask);
    }
    EXPECT_NE(std::find(c.start_masks.begin(), c.start_masks.end(), start), c.start_masks.end()) << start;
    int last = 0;
    for (int mask : masks) {
      EXPECT_EQ(mask & ~c.panes, 0) << std::hex << mask;  // never a channel without a pane
      if (mask != 0) last = mask;
    }
    EXPECT_EQ(last, c.panes);
  }
}

// 16-bit mono 8 kHz WAV helpers.
void WriteWav(const std::string& path, const std::vector<int16_t>& s) {
  std::ofstream f(path, std::ios::binary);
  auto le = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) f.put(static_cast<char>(v >> (8 * i)));
  };
  f.write("RIFF", 4);
  le(36 + static_cast<uint32_t>(s.size()) * 2, 4);
  f.write("WAVEfmt ", 8);
  le(16, 4);
  le(1, 2);
  le(1, 2);
  le(8000, 4);
  le(16000, 4);
  le(2, 2);
  le(16, 2);
  f.write("data", 4);
  le(static_cast<uint32_t>(s.size()) * 2, 4);
  f.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size() * 2));
}

std::vector<int16_t> ReadWavSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> out;
  for (size_t i = 44; i + 1 < b.size(); i += 2) out.push_back(static_cast<int16_t>(b[i] | (b[i + 1] << 8)));
  return out;
}

// Largest normalised correlation of b against a over small lags.
double BestCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double best = 0;
  for (int lag = 0; lag < 200; ++lag) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i + lag < b.size() && i < a.size(); ++i) {
      ab += static_cast<double>(a[i]) * b[i + lag];
      aa += static_cast<double>(a[i]) * a[i];
      bb += static_cast<double>(b[i + lag]) * b[i + lag];
    }
    if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
  }
  return best;
}

TEST(CliTalk, ATonePassesThroughEachTalkCodec) {
  const std::string dir = TempDir("talk");
  std::vector<int16_t> tone(8000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 700 * i / 8000.0));
  WriteWav(dir + "/in.wav", tone);
  for (auto [platform, codec, packets] : {std::tuple{"164", "150", 25}, {"163", "148", 32}}) {
    SCOPED_TRACE(platform);
    const std::string out = dir + "/out" + platform + ".wav";
    {
      Sim sim({"--platform", platform, "--channels", "4", "--talk-wav", out});
      CliRun run = Cli("talk", sim, {"--wav", dir + "/in.wav", "--seconds", "20"});
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), "notify 33"), run.lines.end());
      EXPECT_NE(std::find(run.lines.begin(), run.lines.end(),
                          "talk packets=" + std::to_string(packets) + " codec=" + codec),
                run.lines.end());
    }
    const std::vector<int16_t> heard = ReadWavSamples(out);
    EXPECT_GE(heard.size(), tone.size());
    EXPECT_GT(BestCorrelation(tone, heard), 0.95);
  }
}

TEST(CliTalk, RefusedAndBusyTalkExitNonZero) {
  const std::string dir = TempDir("talkno");
  WriteWav(dir + "/in.wav", std::vector<int16_t>(800, 0));
  for (auto [mode, note] : {std::pair{"refuse", "notify 29"}, {"busy", "notify 35"}}) {
    Sim sim({"--platform", "164", "--channels", "4", "--talk-mode", mode});
    CliRun run = Cli("talk", sim, {"--wav", dir + "/in.wav", "--seconds", "10"});
    EXPECT_EQ(run.status, 1) << mode;
    EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), note), run.lines.end()) << mode;
  }
  // A WAV in another format is refused before anything is sent.
  Sim sim({"--platform", "164"});
  std::ofstream(dir + "/bad.wav") << "not a wav";
  CliRun bad = Cli("talk", sim, {"--wav", dir + "/bad.wav"});
  EXPECT_EQ(bad.status, 2);
}

}  // namespace
