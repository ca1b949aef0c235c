#include "protocol/commands.h"

namespace {
constexpr CmdDir C2D = CmdDir::kToDvr;
constexpr CmdDir D2C = CmdDir::kToClient;
constexpr uint8_t CTL = kLinkControl;
constexpr uint8_t LIVE = kLinkLive;
constexpr uint8_t PB = kLinkPlayback;
constexpr uint8_t BK = kLinkBackup;
constexpr int VAR = kPayloadVariable;
constexpr int NR = kPayloadNotRead;

constexpr CommandInfo kCatalogue[] = {
    // Session and keep-alive
    {0x1013, C2D, CTL, 64, 0x1014, 0, "user logon request"},
    {0x1014, D2C, CTL, 4, 0, 0, "user logon answer"},
    {0x1021, C2D, LIVE | PB | BK, 2, 0x1022, 0, "stream open request"},
    {0x1022, D2C, LIVE | PB | BK, 2, 0, 0, "stream open answer"},
    {0x1040, D2C, CTL, NR, 0, 0, "keep-alive"},
    // Live streaming
    {0x4100, C2D, LIVE, 4, 0, 0, "live start"},
    {0x4104, D2C, LIVE | PB, VAR, 0, 0, "media fragment"},
    {0x4106, C2D, LIVE | PB, 2, 0, 0, "channel mask"},
    {0x7901, C2D, LIVE, 1, 0, 0, "show hidden channels"},
    {0x7902, C2D, LIVE, 1, 0, 0, "hide hidden channels"},
    // Playback and search
    {0x4110, C2D, PB, 76, 0, 0, "playback request"},
    {0x4111, D2C, PB, NR, 0, 0, "playback running"},
    {0x4112, C2D, PB, 1, 0, 0, "playback close"},
    {0x4114, D2C, PB, NR, 0, 0, "playback ended"},
    {0x4126, C2D, PB, 12, 0, 0, "playback position"},
    {0x4128, C2D, PB, 2, 0, 0, "playback request 4128"},
    {0x412A, C2D, PB, 2, 0, 0, "playback request 412A"},
    {0x412C, C2D, PB, 6, 0, 0, "play control"},
    {0x4105, D2C, PB, NR, 0, 0, "playback answer 4105"},
    {0x4113, D2C, PB, NR, 0, 0, "playback answer 4113"},
    {0x4121, D2C, PB, NR, 0, 0, "playback answer 4121"},
    {0x4123, D2C, PB, NR, 0, 0, "playback answer 4123"},
    {0x4125, D2C, PB, NR, 0, 0, "playback answer 4125"},
    {0x4127, D2C, PB, NR, 0, 0, "playback answer 4127"},
    {0x4129, D2C, PB, NR, 0, 0, "playback answer 4129"},
    {0x412B, D2C, PB, NR, 0, 0, "playback answer 412B"},
    {0x412D, D2C, PB, NR, 0, 0, "playback answer 412D"},
    {0x7911, C2D, PB, 1, 0, 0, "playback show hidden channels"},
    {0x7912, C2D, PB, 1, 0, 0, "playback hide hidden channels"},
    {0x4061, C2D, CTL, 14, 0x4062, 56, "day search"},
    {0x4062, D2C, CTL, VAR, 0, 56, "record-minute answer"},
    {0x4067, C2D, CTL, 1, 0x4068, 55, "month search"},
    {0x4068, D2C, CTL, VAR, 0, 55, "record-day answer"},
    // Events
    {0x6013, D2C, CTL, 8, 0, 0, "event type 18"},
    {0x6023, D2C, CTL, 8, 0, 0, "event type 19"},
    {0x6033, D2C, CTL, VAR, 0, 0, "event type 23 with text"},
    {0x6043, D2C, CTL, 8, 0, 0, "event type 20"},
    {0x6053, D2C, CTL, NR, 0, 0, "event ignored"},
    {0x6063, D2C, CTL, 8, 0, 0, "event type 22"},
    {0x6103, D2C, CTL, NR, 0, 0, "rights changed"},
    {0x7116, D2C, CTL, NR, 0, 0, "acknowledgement"},
    // Two-way audio
    {0x4031, C2D, CTL, 2, 0, 0, "talk request"},
    {0x4032, D2C, CTL, 2, 0, 0, "talk answer"},
    {0x4033, C2D, LIVE, VAR, 0, 0, "talk audio"},
    // Backup
    {0x4071, C2D, CTL, 12, 0x4072, 0, "backup list request"},
    {0x4072, D2C, CTL, VAR, 0, 0, "backup list answer"},
    {0x4073, C2D, BK, 32, 0, 0, "file backup start"},
    {0x4074, D2C, BK, VAR, 0, 0, "file backup data"},
    {0x4075, D2C, BK, VAR, 0, 0, "file backup end"},
    {0x4078, C2D, BK, 26, 0, 0, "channel backup start"},
    {0x4079, D2C, BK, VAR, 0, 0, "channel backup data"},
    {0x407A, D2C, BK, VAR, 0, 0, "channel backup end"},
    // Camera control
    {0x5001, C2D, CTL, 4, 0, 0, "pan and tilt"},
    {0x5002, C2D, CTL, 4, 0, 0, "lens"},
    // DVR state requests with stored answers
    {0x7E01, C2D, CTL, 32, 0x7E02, 25, "user rights request"},
    {0x7E02, D2C, CTL, VAR, 0, 25, "user rights"},
    {0x2F15, C2D, CTL, 0, 0x2F16, 28, "picture adjustment request"},
    {0x2F16, D2C, CTL, VAR, 0, 28, "picture adjustment values"},
    {0x7E03, C2D, CTL, 0, 0x7E04, 36, "user list request"},
    {0x7E04, D2C, CTL, VAR, 0, 36, "user list"},
    {0x7E07, C2D, CTL, 0, 0x7E08, 37, "extended user list request"},
    {0x7E08, D2C, CTL, VAR, 0, 37, "extended user list"},
    {0x7E05, C2D, CTL, 287, 0x7E06, 38, "user list set"},
    {0x7E06, D2C, CTL, VAR, 0, 38, "user list set result"},
    {0x7E09, C2D, CTL, 1509, 0x7E0A, 39, "extended user list set"},
    {0x7E0A, D2C, CTL, VAR, 0, 39, "extended user list set result"},
    {0x7801, C2D, CTL, 1, 0x7802, 40, "description request"},
    {0x7802, D2C, CTL, VAR, 0, 40, "description"},
    {0x2011, C2D, CTL, 1, 0x2012, 42, "legacy recording request"},
    {0x2012, D2C, CTL, VAR, 0, 42, "legacy recording items"},
    {0x7509, C2D, CTL, 1, 0x750A, 44, "network stream request"},
    {0x750A, D2C, CTL, VAR, 0, 44, "network stream items"},
    {0x7505, C2D, CTL, 1, 0x7506, 46, "event recording request"},
    {0x7506, D2C, CTL, VAR, 0, 46, "event recording items"},
    {0x7501, C2D, CTL, 1, 0x7502, 48, "normal recording request"},
    {0x7502, D2C, CTL, VAR, 0, 48, "normal recording items"},
    {0x2F11, C2D, CTL, 1, 0x2F12, 50, "camera names request"},
    {0x2F12, D2C, CTL, VAR, 0, 50, "camera names"},
    {0x2F01, C2D, CTL, 1, 0x2F01, 51, "system information request"},
    {0x2F01, D2C, CTL, VAR, 0, 51, "system information"},
    {0x1062, C2D, CTL, 1, 0x1063, 52, "version request"},
    {0x1063, D2C, CTL, VAR, 0, 52, "versions"},
    {0x2F21, C2D, CTL, 1, 0x2F22, 53, "sensor map request"},
    {0x2F22, D2C, CTL, VAR, 0, 53, "sensor map"},
    {0x2F03, C2D, CTL, 1, 0x2F04, 54, "disk request"},
    {0x2F04, D2C, CTL, VAR, 0, 54, "disks"},
    {0x7F01, C2D, CTL, 1, 0x7F02, 0, "time zone request"},
    {0x7F02, D2C, CTL, 5, 0, 0, "time zone"},
    // Configuration requests
    {0x1050, C2D, CTL, 1, 0x1051, 0, "configuration 1050"},
    {0x1051, D2C, CTL, VAR, 0, 0, "configuration answer 1051"},
    {0x2F17, C2D, CTL, 98, 0, 0, "picture adjustment reset"},
    {0x2F19, C2D, CTL, 5, 0, 0, "picture adjustment set"},
    {0x3011, C2D, CTL, VAR, 0, 0, "legacy recording set"},
    {0x3F11, C2D, CTL, 546, 0, 0, "camera names set"},
    {0x7111, C2D, CTL, 68, 0x7112, 0, "firmware upload start"},
    {0x7112, D2C, CTL, VAR, 0, 0, "firmware upload start answer"},
    {0x7113, C2D, CTL, 4100, 0x7116, 0, "firmware upload data"},
    {0x7114, C2D, CTL, 68, 0x7115, 0, "configuration 7114"},
    {0x7115, D2C, CTL, VAR, 0, 0, "configuration answer 7115"},
    {0x7121, C2D, CTL, 68, 0x7122, 0, "configuration 7121"},
    {0x7122, D2C, CTL, VAR, 0, 0, "configuration answer 7122"},
    {0x7131, C2D, CTL, 2, 0x7132, 0, "configuration 7131"},
    {0x7132, D2C, CTL, VAR, 0, 0, "configuration answer 7132"},
    {0x7133, C2D, CTL, 4100, 0, 0, "configuration data 7133"},
    {0x7134, C2D, CTL, 2, 0x7135, 0, "configuration 7134"},
    {0x7135, D2C, CTL, VAR, 0, 0, "configuration answer 7135"},
    {0x7136, C2D, CTL, 4, 0x7137, 0, "configuration 7136"},
    {0x7137, D2C, CTL, VAR, 0, 0, "configuration answer 7137"},
    {0x7138, C2D, CTL, 4, 0x7135, 0, "configuration 7138"},
    {0x7141, C2D, CTL, 1, 0x7142, 0, "configuration 7141"},
    {0x7142, D2C, CTL, VAR, 0, 0, "configuration answer 7142"},
    {0x7143, D2C, CTL, VAR, 0, 0, "configuration answer 7143"},
    {0x7144, D2C, CTL, VAR, 0, 0, "configuration answer 7144"},
    {0x7145, C2D, CTL, 1, 0x7146, 0, "configuration 7145"},
    {0x7146, D2C, CTL, VAR, 0, 0, "configuration answer 7146"},
    {0x7147, D2C, CTL, VAR, 0, 0, "configuration answer 7147"},
    {0x7201, C2D, CTL, 2, 0x7202, 0, "configuration 7201"},
    {0x7202, D2C, CTL, VAR, 0, 0, "configuration answer 7202"},
    {0x7301, C2D, CTL, 2, 0x7302, 0, "configuration 7301"},
    {0x7302, D2C, CTL, VAR, 0, 0, "configuration answer 7302"},
    {0x7307, C2D, CTL, 4, 0x7308, 0, "configuration 7307"},
    {0x7308, D2C, CTL, VAR, 0, 0, "configuration answer 7308"},
    {0x7405, C2D, CTL, 4, 0x7406, 0, "configuration 7405"},
    {0x7406, D2C, CTL, VAR, 0, 0, "configuration answer 7406"},
    {0x7407, C2D, CTL, 2, 0x7408, 0, "configuration 7407"},
    {0x7408, D2C, CTL, VAR, 0, 0, "configuration answer 7408"},
    {0x7503, C2D, CTL, VAR, 0, 0, "normal recording set"},
    {0x7507, C2D, CTL, VAR, 0, 0, "event recording set"},
    {0x750B, C2D, CTL, VAR, 0, 0, "network stream set"},
    {0x8111, C2D, CTL, 28, 0x8112, 0, "log search"},
    {0x8112, D2C, CTL, VAR, 0, 0, "log search answer"},
};
}  // namespace

std::span<const CommandInfo> CommandCatalogue() { return kCatalogue; }

const CommandInfo* FindCommand(uint16_t code, CmdDir dir) {
  for (const CommandInfo& c : kCatalogue) {
    if (c.code == code && c.dir == dir) return &c;
  }
  return nullptr;
}
