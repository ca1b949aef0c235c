// Received messages and the bounded queues that hand them between threads.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "protocol/message.h"

// One received message: a 6-byte header area followed by the payload. A
// packet is created once per session with room for 4500 payload bytes and
// reused for every message until it is handed to a queue; Trim first shrinks
// it to what it holds. Readers use payload_length, never the capacity: bytes
// past payload_length may belong to an earlier message.
class CFramePacket {
 public:
  explicit CFramePacket(int payload_capacity = kPacketPayloadCapacity);
  ~CFramePacket();
  CFramePacket(const CFramePacket&) = delete;
  CFramePacket& operator=(const CFramePacket&) = delete;

  uint8_t* Buffer() { return buffer_; }
  int BufferSize() const { return buffer_size_; }
  uint8_t* Header() { return buffer_; }
  static constexpr int HeaderSize() { return kMessageHeaderSize; }
  uint8_t* Payload() { return buffer_ + kMessageHeaderSize; }
  const uint8_t* Payload() const { return buffer_ + kMessageHeaderSize; }
  int PayloadCapacity() const { return buffer_size_ - kMessageHeaderSize; }

  // Shrinks the buffer to payload_length + 6 bytes. Ends the process with
  // "Error malloc() !!" when the memory cannot be had.
  void Trim();

  uint16_t command = 0;
  int total_length = 0;
  int payload_length = 0;

 private:
  uint8_t* buffer_ = nullptr;
  int buffer_size_ = 0;
};

// Bounded first-in-first-out list of owned packets, safe for any number of
// producers and consumers. Wait times are in seconds: 0 never waits, a
// negative wait has no limit.
class CFrameQueue {
 public:
  static constexpr int kSessionCapacity = 1000;

  explicit CFrameQueue(int capacity = kSessionCapacity);
  ~CFrameQueue();
  CFrameQueue(const CFrameQueue&) = delete;
  CFrameQueue& operator=(const CFrameQueue&) = delete;

  // Appends packet; returns 1 (the queue owns it) or 0 when there was no room
  // in time (the caller keeps it). A null packet is accepted and ignored.
  // With a positive wait the producer keeps waiting in rounds of that length
  // until room appears.
  int Push(CFramePacket* packet, int wait_s);
  // Appends packet without ever blocking; when the queue is full the oldest
  // packets are deleted to make room.
  void PushDropOldest(CFramePacket* packet);
  // Removes the head, waiting up to wait_s in total; nullptr when none came.
  CFramePacket* Pop(int wait_s);
  void Clear();
  int Size();
  int Capacity() const { return capacity_; }

 private:
  const int capacity_;
  std::mutex mutex_;
  std::condition_variable item_added_;
  std::condition_variable item_removed_;
  std::deque<CFramePacket*> items_;
};
