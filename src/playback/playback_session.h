// CPlaybackSession: the connection that plays back what a DVR recorded. It
// is admitted with the session id of its site's control session, asks for
// playback, and then delivers frame records exactly as a live stream does
// (0x4104 fragments, reassembled) to its frame callback on its own worker
// thread. The panel steers it with position and play-control requests from
// the user-interface thread; the DVR's "playing" and "ended" answers come to
// the status callback.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "protocol/connection.h"
#include "streaming/live_stream.h"

class CVideoDecoder;
class CAudioDecoder;

// Status codes of a playback session.
inline constexpr int kPlaybackStatusRunning = 57;  // the DVR plays (0x4111)
inline constexpr int kPlaybackStatusEnded = 15;    // playback ended (0x4114) or could not be asked for
// The notify callback, as for a live stream, tells the connection's own
// course: kNotifyStreamRunning once the DVR admitted it and the playback
// request went out (requests can be sent from then on), kNotifyStreamEnded
// when the worker ends for good (not when it connects again after a restart).

class CPlaybackSession : public CDvrConnection {
 public:
  static constexpr int kChannels = 16;
  static constexpr int kReceiveTimeoutS = 1;

  CPlaybackSession();
  ~CPlaybackSession() override;

  // Stores host, port and session id and starts the worker unless one runs.
  // A worker that is ending (after 0x4114, a refused open or a lost
  // connection) is replaced: it either connects again itself (when the call
  // comes while it finishes, also from its own status callback) or is joined
  // and a new one started. Ignored while Stop runs. Returns 1.
  virtual int StartPlayback(const char* host, int port, int session_id);
  // Clears the run flag, closes the socket and joins the worker; resets the
  // video decoders so that a new playback starts at a key picture.
  void Stop() override;

  // Requests; each returns whether the message was sent whole.
  bool ClosePlayback();                                    // 0x4112, one zero byte
  // 0x4126: the time to play from, in the DVR's zone as the panel shows it.
  bool SetPosition(int year, int month, int day, int hour, int minute, int second);
  bool PlayControl(int action, int direction, int step);  // 0x412C
  bool SendPlaybackMask(uint16_t mask);                    // 0x4106
  bool SendZeroRequest(uint16_t command);                  // 0x4128 or 0x412A with a u16 0
  bool ShowHiddenChannels();                               // 0x7911
  bool HideHiddenChannels();                               // 0x7912

  // The DVR reported that it plays (0x4111) and has not ended since.
  bool IsPlaying() const { return playing_.load(); }
  // The DVR admitted the connection and the playback request went out: the
  // requests above are sent only from then on (before it they would be read
  // as the admission handshake).
  bool IsAdmitted() const { return admitted_.load(); }
  int SessionId() const { return session_id_.load(); }

  // Decoder slots (channel 0..15), owned by the session; set replaces and
  // deletes the previous decoder. Users of a decoder hold the decode lock.
  CVideoDecoder* VideoDecoder(int channel) const { return decoders_.Video(channel); }
  CAudioDecoder* AudioDecoder(int channel) const { return decoders_.Audio(channel); }
  void SetVideoDecoder(int channel, CVideoDecoder* decoder) { decoders_.SetVideo(channel, decoder); }
  void SetAudioDecoder(int channel, CAudioDecoder* decoder) { decoders_.SetAudio(channel, decoder); }
  void SetDecodeLock(std::mutex* lock) { decode_lock_ = lock; }

  CFragmentAssembler::Counts AssemblyCounts() const { return assembler_.GetCounts(); }
  // Worker rounds begun so far (each opens the stream once).
  int Rounds() const { return rounds_.load(); }

  // Handles one message as the worker does (public for tests and the fuzzer).
  // Returns false when the message ends playback (0x4114).
  bool HandleMessage(uint16_t command, const uint8_t* payload, int payload_bytes);

 private:
  void WorkerMain();
  // One connection: open, request, receive until the end. True when it ended
  // in a way that reports status 15.
  bool RunRound();
  bool SendRequest(uint16_t command, const uint8_t* payload, int length);
  void ReportStatus(int code);

  std::atomic<int> session_id_{0};
  std::atomic<bool> playing_{false};
  std::atomic<bool> admitted_{false};
  std::atomic<int> rounds_{0};
  // Restart bookkeeping, under start_lock_: the worker has left its receive
  // loop (ending_), has passed its last look at restart_ (finished_), a start
  // came while it was ending (restart_), Stop is under way (stopping_). The
  // host, port and session id for the next round wait in next_*.
  std::mutex start_lock_;
  bool ending_ = false;
  bool finished_ = false;
  bool restart_ = false;
  bool stopping_ = false;
  char next_host_[33] = {};
  int next_port_ = 0;
  int next_session_id_ = 0;
  // Set while the message being handled is the current packet, which a
  // queued answer then takes over.
  bool handling_current_ = false;
  CChannelDecoders decoders_;
  std::mutex* decode_lock_ = nullptr;
  CFragmentAssembler assembler_;
};
