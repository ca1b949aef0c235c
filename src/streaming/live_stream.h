// Live stream connections. A CLiveStream is admitted with the session id of
// its site's control session, asks for a set of channels and reassembles the
// media units the DVR sends in 0x4104 fragments, handing each complete frame
// record to the frame callback on its own worker thread. A CDualLiveStream is
// the pair every site owns: the primary stream (kind 1) and a secondary one
// (kind 2) that carries the shown channel while the grid shows a single pane.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "protocol/connection.h"
#include "streaming/channel_decoders.h"

class CControlSession;
class CVideoDecoder;
class CAudioDecoder;

// Notifications of a live stream.
inline constexpr int kNotifyStreamRunning = 58;
inline constexpr int kNotifyStreamEnded = 11;

// Reassembles media units from fragments. Each fragment payload starts with
// a 24-byte fragment header: unit identifier words at 2 and 4, fragment count
// at 20, fragment index at 21. A unit is collected while its fragments carry
// the identifier of the unit begun by the last index 0, and delivered with
// the fragment whose index is count - 1. Anything else drops the unit until
// the next index 0.
class CFragmentAssembler {
 public:
  static constexpr int kFragmentHeaderSize = 24;
  static constexpr int kUnitCapacity = 262144;
  // Zeroed bytes kept after every delivered unit for decoders that read ahead.
  static constexpr int kPaddingSize = 64;

  // What became of the units so far; kept across Reset.
  struct Counts {
    uint64_t units = 0;                 // delivered
    uint64_t multi_fragment_units = 0;  // delivered, collected from more than one fragment
    uint64_t dropped_oversize = 0;      // longer than the buffer
    uint64_t dropped_broken = 0;        // begun, then another unit's fragment or start came
  };

  CFragmentAssembler();
  // Feeds one fragment payload; true when it completed a unit, which Unit()
  // and UnitBytes() then show until the next Feed.
  bool Feed(const uint8_t* payload, int payload_bytes);
  void Reset();
  const uint8_t* Unit() const { return buffer_.get(); }
  int UnitBytes() const { return delivered_bytes_; }
  // Readable from any thread while another feeds.
  Counts GetCounts() const;

 private:
  void Drop();
  bool Collecting() const { return key_b_ != -1; }
  static void Bump(std::atomic<uint64_t>& counter) {
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }

  std::unique_ptr<uint8_t[]> buffer_;
  int collected_ = 0;
  int fragments_ = 0;  // of the unit being collected
  int delivered_bytes_ = 0;
  int key_a_ = -1;  // second identifier word of the unit being collected
  int key_b_ = -1;  // first identifier word
  std::atomic<uint64_t> units_{0};
  std::atomic<uint64_t> multi_fragment_units_{0};
  std::atomic<uint64_t> dropped_oversize_{0};
  std::atomic<uint64_t> dropped_broken_{0};
};

class CLiveStream : public CDvrConnection {
 public:
  static constexpr int kReceiveTimeoutMs = 1000;
  static constexpr int kChannels = 16;

  CLiveStream();
  ~CLiveStream() override;

  // Resets every video decoder of the stream, then stops it.
  void Stop() override;

  // Virtual operations continuing the connection's slot order.
  virtual void SetControlSession(CControlSession* control);
  // Take effect at the next start; ignored while a worker runs.
  virtual void SetPort(int port);
  virtual void SetHost(const char* host);
  virtual int StartThread(const char* host, int port, CControlSession* control);
  virtual int Restart();
  virtual void SetStreamKind(int kind);
  virtual void SetChannelMask(uint16_t mask);
  virtual uint16_t GetChannelMask() const;
  virtual void ShowHiddenChannels();
  virtual void HideHiddenChannels();
  virtual void ClearChannelMask();
  virtual void ResendChannelMask();

  int StreamKind() const { return stream_kind_; }
  // What the stream's reassembly has done so far (any thread).
  CFragmentAssembler::Counts AssemblyCounts() const { return assembler_.GetCounts(); }

  // Decoder slots (channel index 0..15), owned by the stream; set replaces and
  // deletes the previous decoder. Users of a decoder hold the decode lock.
  CVideoDecoder* VideoDecoder(int channel) const { return decoders_.Video(channel); }
  CAudioDecoder* AudioDecoder(int channel) const { return decoders_.Audio(channel); }
  void SetVideoDecoder(int channel, CVideoDecoder* decoder) { decoders_.SetVideo(channel, decoder); }
  void SetAudioDecoder(int channel, CAudioDecoder* decoder) { decoders_.SetAudio(channel, decoder); }
  // The lock under which the site decodes; Stop takes it to reset decoders.
  void SetDecodeLock(std::mutex* lock) { decode_lock_ = lock; }

 private:
  void WorkerMain();

  std::atomic<int> stream_kind_{0};
  std::atomic<CControlSession*> control_{nullptr};
  std::atomic<uint16_t> channel_mask_{0xFFFF};
  CChannelDecoders decoders_;
  std::mutex* decode_lock_ = nullptr;
  CFragmentAssembler assembler_;
};

class CDualLiveStream : public CLiveStream {
 public:
  CDualLiveStream();
  ~CDualLiveStream() override;

  void Stop() override;
  void SetRetryAllowed(bool allowed) override;
  void SetFrameCallback(FrameCallback fn, void* user) override;
  void ShowHiddenChannels() override;
  void HideHiddenChannels() override;

  virtual void SetPrimaryMask(uint16_t mask);
  virtual uint16_t GetPrimaryMask() const;
  virtual void SetSecondaryMask(uint16_t mask);
  virtual uint16_t GetSecondaryMask() const;
  virtual int StartPair(const char* host, int port, CControlSession* control, int secondary_empty);

  CLiveStream& Secondary() { return secondary_; }

 private:
  CLiveStream secondary_;
};
