// Message framing over loopback TCP against raw loopback TCP: the same bytes
// sent and received in the same message sizes, the framed path through
// SendMessage and ReceiveMessage, the reference through plain send and recv.
// The framed benchmark reports its throughput as a ratio of the reference's.
#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "protocol/connection.h"
#include "ratio_reporter.h"

namespace {

constexpr int kPayloadBytes = 4000;  // a typical media fragment
constexpr int kMessagesPerRound = 2000;

// A connected loopback pair.
struct Pair {
  int client = -1, server = -1;
  Pair() {
    int listener = platform::ListenTcp("127.0.0.1", 0, 1);
    client = platform::CreateStreamSocket();
    uint32_t addr;
    platform::ResolveIPv4("127.0.0.1", &addr);
    platform::SetSocketBufferSizes(client, kSocketBufferBytes);
    platform::ConnectTimed(client, addr, platform::LocalPort(listener), 5, nullptr);
    server = platform::AcceptTimed(listener, 5000);
    platform::SetSocketBufferSizes(server, kSocketBufferBytes);
    platform::CloseSocket(listener);
  }
};

void SendRaw(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    long s = platform::SendSome(fd, p, n);
    if (s < 0) return;
    p += s;
    n -= static_cast<size_t>(s);
  }
}

bool RecvRaw(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    long r = platform::RecvSome(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

void BM_RawLoopback(benchmark::State& state) {
  Pair pair;
  std::vector<uint8_t> out(kPayloadBytes + 6, 0x5A), in(kPayloadBytes + 6);
  for (auto _ : state) {
    std::thread sender([&] {
      for (int i = 0; i < kMessagesPerRound; ++i) SendRaw(pair.server, out.data(), out.size());
    });
    for (int i = 0; i < kMessagesPerRound; ++i) {
      // Header then payload, as a framed reader would.
      RecvRaw(pair.client, in.data(), 6);
      RecvRaw(pair.client, in.data() + 6, kPayloadBytes);
    }
    sender.join();
  }
  const double bytes = static_cast<double>(state.iterations()) * kMessagesPerRound * (kPayloadBytes + 6);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["bytes_per_s"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
}

void BM_FramedLoopback(benchmark::State& state) {
  Pair pair;
  CDvrConnection sender_conn, receiver_conn;
  sender_conn.AdoptSocket(pair.server);
  receiver_conn.AdoptSocket(pair.client);
  std::vector<uint8_t> payload(kPayloadBytes, 0x5A), in(kPacketPayloadCapacity);
  for (auto _ : state) {
    std::thread sender([&] {
      for (int i = 0; i < kMessagesPerRound; ++i) sender_conn.SendMessage(0x4104, payload.data(), kPayloadBytes);
    });
    uint16_t command;
    for (int i = 0; i < kMessagesPerRound; ++i) receiver_conn.ReceiveMessage(&command, in.data(), kPacketPayloadCapacity, 5);
    sender.join();
  }
  const double bytes = static_cast<double>(state.iterations()) * kMessagesPerRound * (kPayloadBytes + 6);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["bytes_per_s"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
  // Sender and receiver are two threads: compare wall time.
  benchmark::RegisterBenchmark("Loopback/raw", BM_RawLoopback)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
  benchmark::RegisterBenchmark("Loopback/framed", BM_FramedLoopback)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MinTime(1.0);
  return RunWithRatios(argc, argv, "raw", true);
}
