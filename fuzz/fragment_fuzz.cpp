// Feeds a sequence of fragment payloads to the live streams' reassembler and
// checks every answer against a model of the rules written out plainly: a
// unit starts at index 0, collects while the two identifier words match,
// is delivered with index count - 1 and is dropped by anything else or by
// growing past the unit capacity. A delivered unit must be the model's
// bytes followed by the zeroed padding that decoders read ahead into.
//
// Input: fragments, each a repeat count byte, a 16-bit big-endian length and
// that many bytes, which make the fragment 1 + repeat times over.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "streaming/live_stream.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fragment_fuzz: %s\n", what);
    std::abort();
  }
}

class Model {
 public:
  // The unit this fragment completes, or nullptr.
  const std::vector<uint8_t>* Feed(const uint8_t* p, size_t n) {
    if (n < 24) return nullptr;  // ignored: the unit being collected stays
    const unsigned first = (p[2] << 8) | p[3];
    const unsigned second = (p[4] << 8) | p[5];
    const unsigned count = p[20];
    const unsigned index = p[21];
    if (index == 0) {
      collecting_ = true;
      first_ = first;
      second_ = second;
      bytes_.clear();
    }
    if (!collecting_ || first != first_ || second != second_ ||
        bytes_.size() + (n - 24) > static_cast<size_t>(CFragmentAssembler::kUnitCapacity)) {
      collecting_ = false;
      return nullptr;
    }
    bytes_.insert(bytes_.end(), p + 24, p + n);
    if (index + 1 != count) return nullptr;
    collecting_ = false;
    delivered_.swap(bytes_);
    bytes_.clear();
    return &delivered_;
  }

 private:
  bool collecting_ = false;
  unsigned first_ = 0;
  unsigned second_ = 0;
  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> delivered_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CFragmentAssembler assembler;
  assembler.Reset();
  Model model;
  std::vector<uint8_t> fragment;
  size_t pos = 0;
  while (pos + 3 <= size) {
    const size_t repeat = data[pos];
    const size_t want = (static_cast<size_t>(data[pos + 1]) << 8) | data[pos + 2];
    pos += 3;
    const size_t take = want < size - pos ? want : size - pos;
    fragment.assign(data + pos, data + pos + take);
    pos += take;
    // A repeat count lets short inputs make long fragments, so units can
    // reach the capacity.
    for (size_t r = 0; r < repeat; ++r) fragment.insert(fragment.end(), data + pos - take, data + pos);
    // An exact-size copy, so reading past the fragment shows up.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[fragment.size() + 1]);
    if (!fragment.empty()) std::memcpy(exact.get(), fragment.data(), fragment.size());

    const std::vector<uint8_t>* expected = model.Feed(exact.get(), fragment.size());
    const bool done = assembler.Feed(exact.get(), static_cast<int>(fragment.size()));
    Check(done == (expected != nullptr), "a unit delivered when the rules say otherwise, or not delivered");
    if (!done) {
      Check(assembler.UnitBytes() == 0, "a byte count without a unit");
      continue;
    }
    const int n = assembler.UnitBytes();
    Check(n >= 0 && n <= CFragmentAssembler::kUnitCapacity, "unit size out of range");
    Check(static_cast<size_t>(n) == expected->size(), "unit size differs");
    Check(n == 0 || std::memcmp(assembler.Unit(), expected->data(), static_cast<size_t>(n)) == 0,
          "unit bytes differ");
    for (int i = 0; i < CFragmentAssembler::kPaddingSize; ++i) {
      Check(assembler.Unit()[n + i] == 0, "padding after the unit is not zero");
    }
  }
  return 0;
}
