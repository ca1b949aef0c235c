// The reference of the live measurements: bare libavcodec decoding the very
// records the simulator sends, one decoder per channel as the client keeps
// them, in the same process and the same run as the client. For every
// picture the client shows of a shadowed channel, the reference decodes the
// next record of that channel's loop (the simulator sends each loop from
// its first frame, in order), so both decode the same records in the same
// order. Optionally each picture is also scaled and converted to BGRA at a
// pane's size with libswscale, as the grid draws it.
//
// It runs on a thread of its own at the lowest scheduling priority: it takes
// the processor time the client leaves and catches up after the client has
// stopped, so the client is measured as it runs alone. Its figure is the
// processor time of its own thread.
#pragma once
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dvrsim {
class MediaStore;
}
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class LiveReference {
 public:
  struct Options {
    int sites = 1;
    int channels = 16;
    // Shadows channel c of site s when (s * 16 + c) % every == 0.
    int every = 1;
    // Scale and convert each picture to this size (0: decode only).
    int scale_width = 0;
    int scale_height = 0;
    // For checks: called on the reference's thread with each picture's luma.
    void (*on_picture)(int site, int channel, const uint8_t* luma, int pitch, int width, int height,
                       void* user) = nullptr;
    void* on_picture_user = nullptr;
  };

  // The media must hold H.264 loops (platforms 163 and 164); error() says
  // what went wrong otherwise.
  LiveReference(dvrsim::MediaStore& media, const Options& options);
  ~LiveReference();
  LiveReference(const LiveReference&) = delete;
  LiveReference& operator=(const LiveReference&) = delete;

  const std::string& error() const { return error_; }
  bool Shadows(int site, int channel) const;
  // Any thread: the client showed a picture of this channel.
  void OnClientPicture(int site, int channel);
  // Decodes what is still queued, then stops the thread.
  void Finish();

  // The thread's processor time and pictures so far (any thread).
  double CpuSeconds() const;
  long Pictures() const { return pictures_.load(); }
  long Queued();

 private:
  struct Channel {
    AVCodecContext* context = nullptr;
    size_t next = 0;
  };
  void Run();
  void DecodeNext(int site, int channel);

  dvrsim::MediaStore& media_;
  const Options options_;
  std::string error_;
  std::vector<Channel> channels_;  // site * 16 + channel
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwsContext* scaler_ = nullptr;
  int scaler_width_ = 0, scaler_height_ = 0;
  std::vector<uint8_t> scaled_;

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<int> queue_;  // site * 16 + channel
  bool finishing_ = false;
  std::atomic<long> pictures_{0};
  std::atomic<double> final_cpu_s_{-1};
  clockid_t clock_{};
  std::atomic<bool> clock_ready_{false};
  std::thread thread_;
};
