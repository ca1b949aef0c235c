// DVR state blocks: the latest answer of each kind the user interface asked
// for, stored by the control session's worker thread. Each block keeps the
// received payload with the integer fields of its kind already converted to
// host order, cut to the block's capacity, and the effective item count: a
// count inside an answer is limited to the items actually received and to
// the block's room, and the stored count field holds that effective count.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// What a data callback receives: a view of one stored block.
struct StateBlockRef {
  uint16_t command = 0;   // the answer code it was stored from
  const uint8_t* data = nullptr;
  int size_bytes = 0;     // bytes stored (zero-filled up to the capacity)
  int capacity_bytes = 0;
  int count = 0;          // effective item count, where the answer has one

  // Host-order reads within the stored bytes; 0 outside them.
  uint16_t U16(int offset) const {
    uint16_t v = 0;
    if (offset >= 0 && offset + 2 <= size_bytes) std::memcpy(&v, data + offset, 2);
    return v;
  }
  uint32_t U32(int offset) const {
    uint32_t v = 0;
    if (offset >= 0 && offset + 4 <= size_bytes) std::memcpy(&v, data + offset, 4);
    return v;
  }
  uint8_t U8(int offset) const { return offset >= 0 && offset < size_bytes ? data[offset] : 0; }
};

template <int N>
struct StateBlock {
  static constexpr int kCapacity = N;
  uint8_t bytes[N] = {};
  int size_bytes = 0;
  int count = 0;
  bool received = false;

  StateBlockRef Ref(uint16_t command) const { return StateBlockRef{command, bytes, size_bytes, N, count}; }
};

// Capacities of the stored answers (channels, sensors and disks up to 16).
inline constexpr int kMaxChannels = 16;
inline constexpr int kUserRecordBytes = 46;
inline constexpr int kDescriptionBlockBytes = 496;
inline constexpr int kDescriptionChannelOffset = 420;  // within the block
inline constexpr int kDescriptionPlatformOffset = 116; // within the block
inline constexpr int kDescriptionPlatformBytes = 16;
inline constexpr int kCameraNameBytes = 32;

struct DvrStateBlocks {
  StateBlock<16> user_rights;                                 // 0x7E02, data 25
  StateBlock<4 + kMaxChannels * 4> picture_adjust;            // 0x2F16, data 28
  StateBlock<6 * kUserRecordBytes + 3> users;                 // 0x7E04, data 36
  StateBlock<32 * kUserRecordBytes + 3> users_ext;            // 0x7E08, data 37
  StateBlock<2> users_set_result;                             // 0x7E06, data 38
  StateBlock<2> users_ext_set_result;                         // 0x7E0A, data 39
  StateBlock<2 + kDescriptionBlockBytes> description;         // 0x7802, data 40
  StateBlock<kMaxChannels * 10> legacy_record;                // 0x2012, data 42
  StateBlock<kMaxChannels * 10> net_stream;                   // 0x750A, data 44
  StateBlock<kMaxChannels * 10> event_record;                 // 0x7506, data 46
  StateBlock<kMaxChannels * 10> normal_record;                // 0x7502, data 48
  StateBlock<4 + kMaxChannels * kCameraNameBytes> camera_names;  // 0x2F12, data 50
  StateBlock<128> system_info;                                // 0x2F01, data 51
  StateBlock<32 + 20 * 4> versions;                           // 0x1063, data 52
  StateBlock<4 + kMaxChannels * 4> sensor_map;                // 0x2F22, data 53
  StateBlock<4 + kMaxChannels * 10> disks;                    // 0x2F04, data 54
};

// Stores payload (payload_bytes long, big-endian as received) of the given
// answer code into its block, converting its integer fields to host order.
// Returns the data code to report, or 0 when the code has no state block.
// The returned ref (when not null) views the stored block.
int StoreStateAnswer(DvrStateBlocks& blocks, uint16_t command, const uint8_t* payload, int payload_bytes,
                     StateBlockRef* ref);

// Copies a stored block (as a data callback sees it) into the block of the
// same answer in dst: a site's own copy of the DVR's answers. Returns false
// for a code without a block.
bool CopyStateBlock(DvrStateBlocks& dst, const StateBlockRef& src);

// Platform code and talk audio format from a stored description.
struct PlatformInfo {
  int platform_code = 163;
  int talk_format = 148;
};
PlatformInfo PlatformFromDescription(const StateBlockRef& description);
// The platform code for a platform text of at most text_bytes bytes.
PlatformInfo PlatformFromText(const char* text, size_t text_bytes);
// The channel count a description reports: 4, 8, 9 or 16; any other value
// (or a description too short to hold it) counts as 16.
int ChannelCountFromDescription(const StateBlockRef& description);
