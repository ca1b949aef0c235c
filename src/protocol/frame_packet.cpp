#include "protocol/frame_packet.h"

#include <chrono>
#include <cstdlib>

#include "platform/notice.h"

CFramePacket::CFramePacket(int payload_capacity) {
  if (payload_capacity < 0) payload_capacity = 0;
  buffer_size_ = payload_capacity + kMessageHeaderSize;
  buffer_ = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(buffer_size_)));
  if (buffer_ == nullptr) platform::FatalExit(platform::kMallocErrorText);
}

CFramePacket::~CFramePacket() { std::free(buffer_); }

void CFramePacket::Trim() {
  int payload = payload_length < 0 ? 0 : payload_length;
  if (payload > PayloadCapacity()) payload = PayloadCapacity();
  const int size = payload + kMessageHeaderSize;
  if (size == buffer_size_) return;
  auto* resized = static_cast<uint8_t*>(std::realloc(buffer_, static_cast<size_t>(size)));
  if (resized == nullptr) platform::FatalExit(platform::kMallocErrorText);
  buffer_ = resized;
  buffer_size_ = size;
}

CFrameQueue::CFrameQueue(int capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

CFrameQueue::~CFrameQueue() { Clear(); }

int CFrameQueue::Push(CFramePacket* packet, int wait_s) {
  if (packet == nullptr) return 1;
  std::unique_lock<std::mutex> lock(mutex_);
  while (static_cast<int>(items_.size()) >= capacity_) {
    if (wait_s == 0) return 0;
    if (wait_s < 0) {
      item_removed_.wait(lock);
    } else {
      item_removed_.wait_for(lock, std::chrono::seconds(wait_s));
    }
  }
  items_.push_back(packet);
  lock.unlock();
  item_added_.notify_one();
  return 1;
}

void CFrameQueue::PushDropOldest(CFramePacket* packet) {
  if (packet == nullptr) return;
  std::unique_lock<std::mutex> lock(mutex_);
  while (static_cast<int>(items_.size()) >= capacity_) {
    delete items_.front();
    items_.pop_front();
  }
  items_.push_back(packet);
  lock.unlock();
  item_added_.notify_one();
}

CFramePacket* CFrameQueue::Pop(int wait_s) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (items_.empty()) {
    if (wait_s == 0) return nullptr;
    if (wait_s < 0) {
      item_added_.wait(lock, [this] { return !items_.empty(); });
    } else if (!item_added_.wait_for(lock, std::chrono::seconds(wait_s), [this] { return !items_.empty(); })) {
      return nullptr;
    }
  }
  CFramePacket* head = items_.front();
  items_.pop_front();
  lock.unlock();
  item_removed_.notify_one();
  return head;
}

void CFrameQueue::Clear() {
  std::deque<CFramePacket*> doomed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    doomed.swap(items_);
  }
  for (CFramePacket* p : doomed) delete p;
  item_removed_.notify_all();
}

int CFrameQueue::Size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(items_.size());
}
