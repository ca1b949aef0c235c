#include "dvrsim/control_answers.h"

#include "platform/bytes.h"
#include "protocol/commands.h"

namespace dvrsim {
namespace {

constexpr uint32_t kDiskCapacityMb = 1907729;  // a 2 TB disk

Bytes UserRights(const AnswerContext& ctx, std::span<const uint8_t>) {
  return PayloadWriter().U16(0).U8(1).U8(1).U32(ctx.user.rights).U8(0).U32(0).Take();
}

Bytes PictureAdjust(const AnswerContext& ctx, std::span<const uint8_t>) {
  PayloadWriter w;
  w.U16(0).U16(static_cast<uint16_t>(ctx.config.channels));
  for (int ch = 0; ch < ctx.config.channels; ++ch) {
    // Neutral is 10; nudge the values so a client that mixes channels up shows it.
    w.U8(static_cast<uint8_t>(10 + ch % 3 - 1)).U8(static_cast<uint8_t>(10 + ch % 2));
    w.U8(static_cast<uint8_t>(10 - ch % 2)).U8(10);
  }
  return w.Take();
}

// `records` user records of 46 bytes and 3 trailing bytes: the configured
// users first, then a guest and an operator account, then empty records.
Bytes UserList(const AnswerContext& ctx, size_t records) {
  std::vector<SimUser> users = ctx.config.EffectiveUsers();
  users.push_back({"guest", "", 1u << 2});
  users.push_back({"operator", "", (1u << 2) | (1u << 4)});
  PayloadWriter w;
  for (size_t i = 0; i < records; ++i) {
    if (i < users.size()) {
      w.Text(users[i].id, 32).U32(users[i].rights).U8(1).U8(0).U32(0).U32(0);
    } else {
      w.Zeros(kUserRecordBytes);
    }
  }
  w.Zeros(3);
  return w.Take();
}

Bytes Users(const AnswerContext& ctx, std::span<const uint8_t>) { return UserList(ctx, 6); }
Bytes UsersExt(const AnswerContext& ctx, std::span<const uint8_t>) { return UserList(ctx, 32); }

Bytes ResultOnly(const AnswerContext&, std::span<const uint8_t>) { return PayloadWriter().U16(0).Take(); }

Bytes Description(const AnswerContext& ctx, std::span<const uint8_t>) {
  Bytes block(kDescriptionBlockBytes, 0);
  auto put_text = [&](size_t offset, const std::string& text, size_t field) {
    for (size_t i = 0; i < text.size() && i < field; ++i) block[offset + i] = static_cast<uint8_t>(text[i]);
  };
  put_text(0, "DVR-" + std::to_string(ctx.config.channels) + "CH", 32);
  put_text(32, "3.0.3-sim", 32);
  put_text(kDescriptionPlatformOffset, ctx.config.PlatformText(), 16);
  platform::PutU16BE(&block[kDescriptionChannelsOffset], static_cast<uint16_t>(ctx.config.ReportedChannels()));
  PayloadWriter w;
  w.U16(static_cast<uint16_t>(kDescriptionBlockBytes));
  Bytes out = w.Take();
  out.insert(out.end(), block.begin(), block.end());
  return out;
}

Bytes LegacyRecording(const AnswerContext& ctx, std::span<const uint8_t>) {
  PayloadWriter w;
  for (int ch = 0; ch < ctx.config.channels; ++ch) {
    w.Zeros(3).U8(2).U8(6).Zeros(3).U8(static_cast<uint8_t>(ch)).U8(1);
  }
  return w.Take();
}

// One 5-byte item per channel: channel from 1, resolution index + 1,
// quality index, frame-rate bit. Each table varies the values a little.
Bytes RecordingItems(const AnswerContext& ctx, uint8_t resolution, uint8_t quality, uint8_t rate_bit) {
  PayloadWriter w;
  for (int ch = 0; ch < ctx.config.channels; ++ch) {
    const bool odd = ch % 2 == 1;
    w.U16(static_cast<uint16_t>(ch + 1))
        .U8(resolution)
        .U8(odd ? static_cast<uint8_t>(quality ^ 1) : quality)
        .U8(odd ? static_cast<uint8_t>(rate_bit >> 1) : rate_bit);
  }
  return w.Take();
}
Bytes NetStream(const AnswerContext& ctx, std::span<const uint8_t>) { return RecordingItems(ctx, 1, 1, 0x08); }
Bytes EventRecording(const AnswerContext& ctx, std::span<const uint8_t>) { return RecordingItems(ctx, 2, 3, 0x20); }
Bytes NormalRecording(const AnswerContext& ctx, std::span<const uint8_t>) { return RecordingItems(ctx, 2, 2, 0x10); }

Bytes CameraNames(const AnswerContext& ctx, std::span<const uint8_t>) {
  PayloadWriter w;
  w.U16(0).U16(static_cast<uint16_t>(ctx.config.channels));
  for (int ch = 0; ch < ctx.config.channels; ++ch) w.Text(ctx.config.CameraName(ch), 32);
  return w.Take();
}

Bytes SystemInfo(const AnswerContext& ctx, std::span<const uint8_t>) {
  const auto channels = static_cast<uint16_t>(ctx.config.channels);
  PayloadWriter w;
  w.U16(0).Text("Tavrel Simulator", 32);
  w.U16(channels).U16(channels < 4 ? channels : 4).U16(channels).U16(4).U16(480);
  w.Text("SIM-" + std::to_string(ctx.config.platform), 16).Text("001A2B3C4D5E", 16);
  return w.Take();
}

Bytes Versions(const AnswerContext&, std::span<const uint8_t>) {
  return PayloadWriter()
      .Text("FW 3.0.3 build 20261201\nsim", 32)
      .Text("UI 1.2", 16)
      .Text("REC 2.0", 16)
      .Text("PLY 1.1", 16)
      .Text("NET 4.4", 16)
      .Text("DB 0.9", 16)
      .Take();
}

Bytes SensorMap(const AnswerContext& ctx, std::span<const uint8_t>) {
  PayloadWriter w;
  w.U16(0).U16(static_cast<uint16_t>(ctx.config.channels));
  for (int i = 0; i < ctx.config.channels; ++i) w.U16(static_cast<uint16_t>(i)).U16(static_cast<uint16_t>(1u << i));
  return w.Take();
}

Bytes Disks(const AnswerContext&, std::span<const uint8_t>) {
  return PayloadWriter().U16(0).U16(2).U16(0).U32(kDiskCapacityMb).U32(1234567).U16(1).U32(kDiskCapacityMb).U32(20480).Take();
}

Bytes TimeZone(const AnswerContext& ctx, std::span<const uint8_t>) {
  return PayloadWriter().U32(static_cast<uint32_t>(ctx.config.timezone_seconds)).U8(ctx.config.daylight ? 1 : 0).Take();
}

Bytes LogSearch(const AnswerContext&, std::span<const uint8_t>) { return PayloadWriter().U16(0).U16(0).U16(0).Take(); }

constexpr AnswerEntry kTable[] = {
    {cmd::kUserRightsReq, cmd::kUserRightsAns, UserRights},
    {cmd::kPictureAdjustReq, cmd::kPictureAdjustAns, PictureAdjust},
    {cmd::kUsersReq, cmd::kUsersAns, Users},
    {cmd::kUsersExtReq, cmd::kUsersExtAns, UsersExt},
    {cmd::kUsersSet, cmd::kUsersSetAns, ResultOnly},
    {cmd::kUsersExtSet, cmd::kUsersExtSetAns, ResultOnly},
    {cmd::kDescriptionReq, cmd::kDescriptionAns, Description},
    {cmd::kLegacyRecordReq, cmd::kLegacyRecordAns, LegacyRecording},
    {cmd::kNetStreamReq, cmd::kNetStreamAns, NetStream},
    {cmd::kEventRecordReq, cmd::kEventRecordAns, EventRecording},
    {cmd::kNormalRecordReq, cmd::kNormalRecordAns, NormalRecording},
    {cmd::kCameraNamesReq, cmd::kCameraNamesAns, CameraNames},
    {cmd::kSystemInfo, cmd::kSystemInfo, SystemInfo},
    {cmd::kVersionReq, cmd::kVersionAns, Versions},
    {cmd::kSensorMapReq, cmd::kSensorMapAns, SensorMap},
    {cmd::kDiskReq, cmd::kDiskAns, Disks},
    {cmd::kTimeZoneReq, cmd::kTimeZoneAns, TimeZone},
    {cmd::kLogSearchReq, cmd::kLogSearchAns, LogSearch},
};

}  // namespace

std::span<const AnswerEntry> ControlAnswerTable() { return kTable; }

std::optional<Answer> AnswerControlRequest(const AnswerContext& ctx, uint16_t code,
                                           std::span<const uint8_t> payload) {
  for (const AnswerEntry& e : kTable) {
    if (e.request == code) return Answer{e.answer, e.build(ctx, payload)};
  }
  // A second login on a logged-in connection is not answered.
  if (code == cmd::kLogonReq) return std::nullopt;
  const CommandInfo* info = FindCommand(code, CmdDir::kToDvr);
  if (info == nullptr || (info->links & kLinkControl) == 0 || info->answer == 0) return std::nullopt;
  return Answer{info->answer, PayloadWriter().U16(0).Take()};
}

}  // namespace dvrsim
