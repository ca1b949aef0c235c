#include "protocol/state_blocks.h"

#include <algorithm>

#include "platform/bytes.h"
#include "protocol/commands.h"

namespace {

// In-place big-endian to host order for the fields of a stored copy.
void FixU16(uint8_t* base, int size, int offset) {
  if (offset < 0 || offset + 2 > size) return;
  const uint16_t v = platform::GetU16BE(base + offset);
  std::memcpy(base + offset, &v, 2);
}
void FixU32(uint8_t* base, int size, int offset) {
  if (offset < 0 || offset + 4 > size) return;
  const uint32_t v = platform::GetU32BE(base + offset);
  std::memcpy(base + offset, &v, 4);
}
void SetU16(uint8_t* base, int size, int offset, uint16_t v) {
  if (offset >= 0 && offset + 2 <= size) std::memcpy(base + offset, &v, 2);
}

template <int N>
StateBlock<N>& CopyInto(StateBlock<N>& block, const uint8_t* payload, int payload_bytes) {
  const int n = std::clamp(payload_bytes, 0, N);
  std::memset(block.bytes, 0, N);
  if (n > 0) std::memcpy(block.bytes, payload, static_cast<size_t>(n));
  block.size_bytes = n;
  block.count = 0;
  block.received = true;
  return block;
}

// A u16 count at offset 2 followed by items from offset 4: the count is
// limited to the whole items stored and is written back as the effective one.
template <int N>
void LimitCount(StateBlock<N>& block, int item_bytes) {
  if (block.size_bytes < 4) {
    block.count = 0;
    return;
  }
  const int claimed = platform::GetU16BE(block.bytes + 2);
  const int room = (block.size_bytes - 4) / item_bytes;
  block.count = std::min(claimed, room);
}

}  // namespace

int StoreStateAnswer(DvrStateBlocks& b, uint16_t command, const uint8_t* payload, int payload_bytes,
                     StateBlockRef* ref) {
  int data_code = 0;
  StateBlockRef view;
  switch (command) {
    case cmd::kUserRightsAns: {
      auto& s = CopyInto(b.user_rights, payload, payload_bytes);
      FixU16(s.bytes, s.size_bytes, 0);
      FixU32(s.bytes, s.size_bytes, 4);
      FixU32(s.bytes, s.size_bytes, 9);
      view = s.Ref(command);
      data_code = 25;
      break;
    }
    case cmd::kPictureAdjustAns: {
      auto& s = CopyInto(b.picture_adjust, payload, payload_bytes);
      LimitCount(s, 4);
      FixU16(s.bytes, s.size_bytes, 0);
      SetU16(s.bytes, s.size_bytes, 2, static_cast<uint16_t>(s.count));
      view = s.Ref(command);
      data_code = 28;
      break;
    }
    case cmd::kUsersAns:
    case cmd::kUsersExtAns: {
      const bool ext = command == cmd::kUsersExtAns;
      uint8_t* bytes;
      int size;
      if (ext) {
        auto& s = CopyInto(b.users_ext, payload, payload_bytes);
        bytes = s.bytes;
        size = s.size_bytes;
      } else {
        auto& s = CopyInto(b.users, payload, payload_bytes);
        bytes = s.bytes;
        size = s.size_bytes;
      }
      const int records = ext ? 32 : 6;
      for (int i = 0; i < records; ++i) {
        const int base = i * kUserRecordBytes;
        FixU32(bytes, size, base + 32);
        FixU32(bytes, size, base + 38);
        FixU32(bytes, size, base + 42);
      }
      if (ext) {
        b.users_ext.count = std::min(records, size / kUserRecordBytes);
        view = b.users_ext.Ref(command);
        data_code = 37;
      } else {
        b.users.count = std::min(records, size / kUserRecordBytes);
        view = b.users.Ref(command);
        data_code = 36;
      }
      break;
    }
    case cmd::kUsersSetAns: {
      auto& s = CopyInto(b.users_set_result, payload, payload_bytes);
      FixU16(s.bytes, s.size_bytes, 0);
      view = s.Ref(command);
      data_code = 38;
      break;
    }
    case cmd::kUsersExtSetAns: {
      auto& s = CopyInto(b.users_ext_set_result, payload, payload_bytes);
      FixU16(s.bytes, s.size_bytes, 0);
      view = s.Ref(command);
      data_code = 39;
      break;
    }
    case cmd::kDescriptionAns: {
      auto& s = CopyInto(b.description, payload, payload_bytes);
      // The stated length is limited to what came and to the block.
      int length = s.size_bytes >= 2 ? platform::GetU16BE(s.bytes) : 0;
      length = std::min({length, s.size_bytes - 2, kDescriptionBlockBytes});
      if (length < 0) length = 0;
      // Bytes beyond the stated length are not part of the description.
      if (s.size_bytes > 2 + length) std::memset(s.bytes + 2 + length, 0, static_cast<size_t>(s.size_bytes - 2 - length));
      s.size_bytes = s.size_bytes >= 2 ? 2 + length : s.size_bytes;
      s.count = length;
      SetU16(s.bytes, s.size_bytes, 0, static_cast<uint16_t>(length));
      FixU16(s.bytes, s.size_bytes, 2 + kDescriptionChannelOffset);
      view = s.Ref(command);
      data_code = 40;
      break;
    }
    case cmd::kLegacyRecordAns:
      view = CopyInto(b.legacy_record, payload, payload_bytes).Ref(command);
      b.legacy_record.count = b.legacy_record.size_bytes / 10;
      view.count = b.legacy_record.count;
      data_code = 42;
      break;
    case cmd::kNetStreamAns:
      view = CopyInto(b.net_stream, payload, payload_bytes).Ref(command);
      data_code = 44;
      break;
    case cmd::kEventRecordAns:
      view = CopyInto(b.event_record, payload, payload_bytes).Ref(command);
      data_code = 46;
      break;
    case cmd::kNormalRecordAns:
      view = CopyInto(b.normal_record, payload, payload_bytes).Ref(command);
      data_code = 48;
      break;
    case cmd::kCameraNamesAns: {
      auto& s = CopyInto(b.camera_names, payload, payload_bytes);
      LimitCount(s, kCameraNameBytes);
      FixU16(s.bytes, s.size_bytes, 0);
      SetU16(s.bytes, s.size_bytes, 2, static_cast<uint16_t>(s.count));
      view = s.Ref(command);
      data_code = 50;
      break;
    }
    case cmd::kSystemInfo: {
      auto& s = CopyInto(b.system_info, payload, payload_bytes);
      FixU16(s.bytes, s.size_bytes, 0);
      for (int offset = 34; offset <= 42; offset += 2) FixU16(s.bytes, s.size_bytes, offset);
      view = s.Ref(command);
      data_code = 51;
      break;
    }
    case cmd::kVersionAns:
      view = CopyInto(b.versions, payload, payload_bytes).Ref(command);
      data_code = 52;
      break;
    case cmd::kSensorMapAns: {
      auto& s = CopyInto(b.sensor_map, payload, payload_bytes);
      LimitCount(s, 4);
      FixU16(s.bytes, s.size_bytes, 0);
      SetU16(s.bytes, s.size_bytes, 2, static_cast<uint16_t>(s.count));
      for (int i = 0; i < s.count; ++i) {
        FixU16(s.bytes, s.size_bytes, 4 + i * 4);
        FixU16(s.bytes, s.size_bytes, 6 + i * 4);
      }
      view = s.Ref(command);
      data_code = 53;
      break;
    }
    case cmd::kDiskAns: {
      auto& s = CopyInto(b.disks, payload, payload_bytes);
      LimitCount(s, 10);
      FixU16(s.bytes, s.size_bytes, 0);
      SetU16(s.bytes, s.size_bytes, 2, static_cast<uint16_t>(s.count));
      for (int i = 0; i < s.count; ++i) {
        FixU16(s.bytes, s.size_bytes, 4 + i * 10);
        FixU32(s.bytes, s.size_bytes, 6 + i * 10);
        FixU32(s.bytes, s.size_bytes, 10 + i * 10);
      }
      view = s.Ref(command);
      data_code = 54;
      break;
    }
    default:
      return 0;
  }
  if (ref != nullptr) *ref = view;
  return data_code;
}

namespace {

// Calls fn with the block that stores answers of command; false when none does.
template <typename Fn>
bool WithBlock(DvrStateBlocks& b, uint16_t command, Fn&& fn) {
  switch (command) {
    case cmd::kUserRightsAns: fn(b.user_rights); return true;
    case cmd::kPictureAdjustAns: fn(b.picture_adjust); return true;
    case cmd::kUsersAns: fn(b.users); return true;
    case cmd::kUsersExtAns: fn(b.users_ext); return true;
    case cmd::kUsersSetAns: fn(b.users_set_result); return true;
    case cmd::kUsersExtSetAns: fn(b.users_ext_set_result); return true;
    case cmd::kDescriptionAns: fn(b.description); return true;
    case cmd::kLegacyRecordAns: fn(b.legacy_record); return true;
    case cmd::kNetStreamAns: fn(b.net_stream); return true;
    case cmd::kEventRecordAns: fn(b.event_record); return true;
    case cmd::kNormalRecordAns: fn(b.normal_record); return true;
    case cmd::kCameraNamesAns: fn(b.camera_names); return true;
    case cmd::kSystemInfo: fn(b.system_info); return true;
    case cmd::kVersionAns: fn(b.versions); return true;
    case cmd::kSensorMapAns: fn(b.sensor_map); return true;
    case cmd::kDiskAns: fn(b.disks); return true;
    default: return false;
  }
}

}  // namespace

bool CopyStateBlock(DvrStateBlocks& dst, const StateBlockRef& src) {
  return WithBlock(dst, src.command, [&](auto& block) {
    const int n = std::clamp<int>(src.size_bytes, 0, sizeof block.bytes);
    std::memset(block.bytes, 0, sizeof block.bytes);
    if (n > 0) std::memcpy(block.bytes, src.data, static_cast<size_t>(n));
    block.size_bytes = n;
    block.count = src.count;
    block.received = true;
  });
}

PlatformInfo PlatformFromText(const char* text, size_t text_bytes) {
  struct Entry {
    const char* text;
    int platform_code;
    int talk_format;
  };
  static constexpr Entry kPlatforms[] = {
      {"SOLO6010", 161, 148}, {"SOLO6110", 163, 148}, {"AT2041", 160, 148},
      {"AH844", 162, 149},    {"HI3515", 164, 150},
  };
  for (const Entry& e : kPlatforms) {
    // Compared with its terminator, within the field: a text that fills the
    // field up to its end without a terminator matches nothing.
    const size_t n = std::strlen(e.text) + 1;
    if (n <= text_bytes && std::memcmp(text, e.text, n) == 0) return {e.platform_code, e.talk_format};
  }
  return {};
}

PlatformInfo PlatformFromDescription(const StateBlockRef& description) {
  const int start = 2 + kDescriptionPlatformOffset;
  if (description.data == nullptr || description.size_bytes <= start) return {};
  const size_t available = static_cast<size_t>(std::min(description.size_bytes - start, kDescriptionPlatformBytes));
  return PlatformFromText(reinterpret_cast<const char*>(description.data + start), available);
}

int ChannelCountFromDescription(const StateBlockRef& description) {
  const int channels = description.U16(2 + kDescriptionChannelOffset);
  return (channels == 4 || channels == 8 || channels == 9 || channels == 16) ? channels : 16;
}
