// Every command code that travels on the DVR connections, with its direction,
// connection and payload size. Code, the simulator and the tests use this one
// table; the named constants below are the codes the code refers to.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

enum class CmdDir : uint8_t { kToDvr, kToClient };

// Connections a command may use (bit set).
enum CmdLink : uint8_t {
  kLinkControl = 1,
  kLinkLive = 2,
  kLinkPlayback = 4,
  kLinkBackup = 8,
};

inline constexpr int kPayloadVariable = -1;  // size depends on content
inline constexpr int kPayloadNotRead = -2;   // the receiver reads no payload

struct CommandInfo {
  uint16_t code;
  CmdDir dir;
  uint8_t links;
  int payload_bytes;     // exact size, kPayloadVariable or kPayloadNotRead
  uint16_t answer;       // awaited or stored answer code, 0 for none
  int data_code;         // data code the stored answer reports (0 for none)
  const char* name;
};

namespace cmd {
// Session and keep-alive
inline constexpr uint16_t kLogonReq = 0x1013;
inline constexpr uint16_t kLogonAns = 0x1014;
inline constexpr uint16_t kStreamOpenReq = 0x1021;
inline constexpr uint16_t kStreamOpenAns = 0x1022;
inline constexpr uint16_t kKeepAlive = 0x1040;
// Live
inline constexpr uint16_t kLiveStart = 0x4100;
inline constexpr uint16_t kFragment = 0x4104;
inline constexpr uint16_t kChannelMask = 0x4106;
inline constexpr uint16_t kShowHidden = 0x7901;
inline constexpr uint16_t kHideHidden = 0x7902;
// Playback and search
inline constexpr uint16_t kPlaybackReq = 0x4110;
inline constexpr uint16_t kPlaybackRunning = 0x4111;
inline constexpr uint16_t kPlaybackClose = 0x4112;
inline constexpr uint16_t kPlaybackEnded = 0x4114;
inline constexpr uint16_t kPlaybackPosition = 0x4126;
inline constexpr uint16_t kPlayback4128 = 0x4128;
inline constexpr uint16_t kPlayback412A = 0x412A;
inline constexpr uint16_t kPlayControl = 0x412C;
inline constexpr uint16_t kPlaybackShowHidden = 0x7911;
inline constexpr uint16_t kPlaybackHideHidden = 0x7912;
inline constexpr uint16_t kDaySearchReq = 0x4061;
inline constexpr uint16_t kDaySearchAns = 0x4062;
inline constexpr uint16_t kMonthSearchReq = 0x4067;
inline constexpr uint16_t kMonthSearchAns = 0x4068;
// Events
inline constexpr uint16_t kEventMotion = 0x6013;
inline constexpr uint16_t kEventSensor = 0x6023;
inline constexpr uint16_t kEventSystem = 0x6033;
inline constexpr uint16_t kEventVideoLoss = 0x6043;
inline constexpr uint16_t kEvent6053 = 0x6053;
inline constexpr uint16_t kEventAlarm = 0x6063;
inline constexpr uint16_t kRightsChanged = 0x6103;
inline constexpr uint16_t kAckEvent = 0x7116;
// Two-way audio
inline constexpr uint16_t kTalkReq = 0x4031;
inline constexpr uint16_t kTalkAns = 0x4032;
inline constexpr uint16_t kTalkData = 0x4033;
// Backup
inline constexpr uint16_t kBackupListReq = 0x4071;
inline constexpr uint16_t kBackupListAns = 0x4072;
inline constexpr uint16_t kBackupStartReq = 0x4073;
inline constexpr uint16_t kBackupData = 0x4074;
inline constexpr uint16_t kBackupEnd = 0x4075;
inline constexpr uint16_t kBackupChStartReq = 0x4078;
inline constexpr uint16_t kBackupChData = 0x4079;
inline constexpr uint16_t kBackupChEnd = 0x407A;
// Camera control
inline constexpr uint16_t kPtzMove = 0x5001;
inline constexpr uint16_t kPtzLens = 0x5002;
// DVR state requests and their stored answers
inline constexpr uint16_t kUserRightsReq = 0x7E01;
inline constexpr uint16_t kUserRightsAns = 0x7E02;
inline constexpr uint16_t kUsersReq = 0x7E03;
inline constexpr uint16_t kUsersAns = 0x7E04;
inline constexpr uint16_t kUsersSet = 0x7E05;
inline constexpr uint16_t kUsersSetAns = 0x7E06;
inline constexpr uint16_t kUsersExtReq = 0x7E07;
inline constexpr uint16_t kUsersExtAns = 0x7E08;
inline constexpr uint16_t kUsersExtSet = 0x7E09;
inline constexpr uint16_t kUsersExtSetAns = 0x7E0A;
inline constexpr uint16_t kPictureAdjustReq = 0x2F15;
inline constexpr uint16_t kPictureAdjustAns = 0x2F16;
inline constexpr uint16_t kDescriptionReq = 0x7801;
inline constexpr uint16_t kDescriptionAns = 0x7802;
inline constexpr uint16_t kLegacyRecordReq = 0x2011;
inline constexpr uint16_t kLegacyRecordAns = 0x2012;
inline constexpr uint16_t kNetStreamReq = 0x7509;
inline constexpr uint16_t kNetStreamAns = 0x750A;
inline constexpr uint16_t kEventRecordReq = 0x7505;
inline constexpr uint16_t kEventRecordAns = 0x7506;
inline constexpr uint16_t kNormalRecordReq = 0x7501;
inline constexpr uint16_t kNormalRecordAns = 0x7502;
inline constexpr uint16_t kCameraNamesReq = 0x2F11;
inline constexpr uint16_t kCameraNamesAns = 0x2F12;
inline constexpr uint16_t kSystemInfo = 0x2F01;  // request and answer
inline constexpr uint16_t kVersionReq = 0x1062;
inline constexpr uint16_t kVersionAns = 0x1063;
inline constexpr uint16_t kSensorMapReq = 0x2F21;
inline constexpr uint16_t kSensorMapAns = 0x2F22;
inline constexpr uint16_t kDiskReq = 0x2F03;
inline constexpr uint16_t kDiskAns = 0x2F04;
inline constexpr uint16_t kTimeZoneReq = 0x7F01;
inline constexpr uint16_t kTimeZoneAns = 0x7F02;
// Configuration
inline constexpr uint16_t kConfig1050 = 0x1050;
inline constexpr uint16_t kConfig1051 = 0x1051;
inline constexpr uint16_t kPictureReset = 0x2F17;
inline constexpr uint16_t kPictureAdjustSet = 0x2F19;
inline constexpr uint16_t kLegacyRecordSet = 0x3011;
inline constexpr uint16_t kCameraNamesSet = 0x3F11;
inline constexpr uint16_t kFirmwareStartReq = 0x7111;
inline constexpr uint16_t kFirmwareStartAns = 0x7112;
inline constexpr uint16_t kFirmwareData = 0x7113;
inline constexpr uint16_t kConfig7114 = 0x7114;
inline constexpr uint16_t kConfig7115 = 0x7115;
inline constexpr uint16_t kConfig7121 = 0x7121;
inline constexpr uint16_t kConfig7122 = 0x7122;
inline constexpr uint16_t kConfig7131 = 0x7131;
inline constexpr uint16_t kConfig7132 = 0x7132;
inline constexpr uint16_t kConfig7133 = 0x7133;
inline constexpr uint16_t kConfig7134 = 0x7134;
inline constexpr uint16_t kConfig7135 = 0x7135;
inline constexpr uint16_t kConfig7136 = 0x7136;
inline constexpr uint16_t kConfig7137 = 0x7137;
inline constexpr uint16_t kConfig7138 = 0x7138;
inline constexpr uint16_t kConfig7141 = 0x7141;
inline constexpr uint16_t kConfig7142 = 0x7142;
inline constexpr uint16_t kConfig7143 = 0x7143;
inline constexpr uint16_t kConfig7144 = 0x7144;
inline constexpr uint16_t kConfig7145 = 0x7145;
inline constexpr uint16_t kConfig7146 = 0x7146;
inline constexpr uint16_t kConfig7147 = 0x7147;
inline constexpr uint16_t kConfig7201 = 0x7201;
inline constexpr uint16_t kConfig7202 = 0x7202;
inline constexpr uint16_t kConfig7301 = 0x7301;
inline constexpr uint16_t kConfig7302 = 0x7302;
inline constexpr uint16_t kConfig7307 = 0x7307;
inline constexpr uint16_t kConfig7308 = 0x7308;
inline constexpr uint16_t kConfig7405 = 0x7405;
inline constexpr uint16_t kConfig7406 = 0x7406;
inline constexpr uint16_t kConfig7407 = 0x7407;
inline constexpr uint16_t kConfig7408 = 0x7408;
inline constexpr uint16_t kNormalRecordSet = 0x7503;
inline constexpr uint16_t kEventRecordSet = 0x7507;
inline constexpr uint16_t kNetStreamSet = 0x750B;
inline constexpr uint16_t kLogSearchReq = 0x8111;
inline constexpr uint16_t kLogSearchAns = 0x8112;
}  // namespace cmd

// The whole catalogue.
std::span<const CommandInfo> CommandCatalogue();

// The entry of a code sent in the given direction, or nullptr. A code that
// is both a request and its own answer (0x2F01) has one entry per direction.
const CommandInfo* FindCommand(uint16_t code, CmdDir dir);
